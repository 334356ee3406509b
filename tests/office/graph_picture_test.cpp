// Pictures of Graph charts, judged by their pixels: bars as long as their values, slices as
// large as their shares, each series in its colour, the legend where the look puts it, the
// title readable by OCR (tesseract); charts made here and the real Graph objects of the corpus.

#include <gtest/gtest.h>

#include <QImage>

#include <algorithm>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>

#include "msgraph_support.h"
#include "office/binary/palette.h"
#include "office/graph/chart_picture.h"
#include "office/graph/msgraph/records.h"
#include "office/ppt/binary/deck.h"
#include "ppt_test_support.h"
#include "support/office_error.h"

namespace {

namespace fs = std::filesystem;
namespace mg = office::graph::msgraph;
using office::graph::drawGraphChart;

constexpr std::int64_t kInch = 914400;

// A chart with series in rows over the categories, Graph's default palette, both axes shown.
mg::GraphChart madeChart(mg::Kind kind, const std::vector<std::string>& categories,
                         const std::vector<std::vector<double>>& series) {
    mg::GraphChart chart;
    for (std::size_t i = 0; i < chart.palette.size(); ++i) {
        const std::uint32_t c = office::binary::kDefaultPalette[i];
        chart.palette[i] = {std::uint8_t(c >> 16), std::uint8_t(c >> 8), std::uint8_t(c)};
    }
    for (std::size_t c = 0; c < categories.size(); ++c) {
        chart.sheet.cells[{1, int(c) + 2}].value = office::Value::text(categories[c]);
    }
    for (std::size_t s = 0; s < series.size(); ++s) {
        chart.sheet.cells[{int(s) + 2, 1}].value = office::Value::text("S" + std::to_string(s));
        for (std::size_t c = 0; c < series[s].size(); ++c) {
            chart.sheet.cells[{int(s) + 2, int(c) + 2}].value = office::Value::number(series[s][c]);
        }
    }
    chart.look.kind = kind;
    chart.look.categoryAxis.present = chart.look.valueAxis.present = true;
    return chart;
}

QImage decoded(const office::graph::ChartPicture& picture) {
    QImage image = QImage::fromData(reinterpret_cast<const uchar*>(picture.png.data()),
                                    static_cast<int>(picture.png.size()), "PNG");
    EXPECT_EQ(image.width(), picture.width);
    EXPECT_EQ(image.height(), picture.height);
    return image.convertToFormat(QImage::Format_RGB32);
}

std::string ocr(const QImage& image) {
    const std::string path = (ppt_test::scratch() / "chart.png").string();
    image.save(QString::fromStdString(path));
    const auto result = tabulon::testing::runCommand("tesseract '" + path + "' stdout --psm 11");
    EXPECT_EQ(result.status, 0) << result.output;
    return result.output;
}

bool hasTesseract() {
    return std::system("tesseract --version >/dev/null 2>&1") == 0;
}

QRgb rgbOf(mg::Rgb c) {
    return qRgb(c.red, c.green, c.blue);
}

// The pixels of exactly this colour within the rectangle.
int count(const QImage& image, const QRect& area, QRgb color) {
    int n = 0;
    const QRect r = area.intersected(image.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            n += image.pixel(x, y) == color;
        }
    }
    return n;
}

// The runs of the colour along one line of pixels (a row, or a column when `down`): their
// middles.
std::vector<int> runs(const QImage& image, int line, bool down, QRgb color) {
    std::vector<int> middles;
    const int length = down ? image.height() : image.width();
    int start = -1;
    for (int i = 0; i <= length; ++i) {
        const bool on = i < length && image.pixel(down ? line : i, down ? i : line) == color;
        if (on && start < 0) {
            start = i;
        } else if (!on && start >= 0) {
            middles.push_back((start + i) / 2);
            start = -1;
        }
    }
    return middles;
}

// Lengths in proportion to the values: on one line through zero, give or take the outlines'
// pixels at each end.
void expectProportional(const std::vector<int>& lengths, const std::vector<double>& values) {
    ASSERT_EQ(lengths.size(), values.size());
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    const std::size_t a = low - values.begin();
    const std::size_t b = high - values.begin();
    const double slope = (lengths[b] - lengths[a]) / (values[b] - values[a]);
    EXPECT_NEAR(lengths[a] - slope * values[a], 0, 4) << "length of a zero value";
    for (std::size_t i = 0; i < values.size(); ++i) {
        EXPECT_NEAR(lengths[i], lengths[a] + slope * (values[i] - values[a]), 2) << i;
    }
}

TEST(ChartPicture, BarLengthsFollowTheValues) {
    const std::vector<double> values = {10, 25, 40, 5};
    for (bool horizontal : {false, true}) {
        SCOPED_TRACE(horizontal ? "bars" : "columns");
        mg::GraphChart chart = madeChart(mg::Kind::Bar, {"A", "B", "C", "D"}, {values});
        chart.look.horizontal = horizontal;
        const auto picture = drawGraphChart(chart, 4 * kInch, 3 * kInch);
        EXPECT_EQ(picture.width, 768);
        EXPECT_EQ(picture.height, 576);
        const QImage image = decoded(picture);
        const QRgb fill = rgbOf(chart.automaticFill(0));
        // A line across the bars near their common base finds the four; each bar's length is
        // its pixels of the series' colour along its middle.
        const int across = horizontal ? image.width() / 6 : image.height() * 5 / 6;
        const std::vector<int> bars = runs(image, across, horizontal, fill);
        ASSERT_EQ(bars.size(), 4u);
        std::vector<int> lengths;
        for (int middle : bars) {
            const QRect line = horizontal ? QRect(0, middle, image.width(), 1)
                                          : QRect(middle, 0, 1, image.height());
            lengths.push_back(count(image, line, fill));
        }
        // The first category is the leftmost column, and the lowest bar.
        if (horizontal) {
            std::reverse(lengths.begin(), lengths.end());
        }
        expectProportional(lengths, values);
    }
}

TEST(ChartPicture, TitleLegendAndTickLabelsReadBack) {
    if (!hasTesseract()) {
        GTEST_SKIP() << "tesseract (Debian tesseract-ocr) is not installed";
    }
    mg::GraphChart chart = madeChart(mg::Kind::Line, {"North", "South"}, {{1500, 4200}});
    chart.look.title = "Quarterly Revenue";
    chart.look.titleFont = {"Arial", 1600, true, false, std::nullopt, true};
    chart.look.valueAxis.numberFormat = "#,##0";
    chart.look.hasLegend = true;
    chart.sheet.cells[{2, 1}].value = office::Value::text("Turnover");
    const std::string text = ocr(decoded(drawGraphChart(chart, 5 * kInch, 3 * kInch)));
    for (const char* word : {"Quarterly Revenue", "North", "South", "Turnover", "4,000", "1,000"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word << " in:\n" << text;
    }
}

TEST(ChartPicture, StackedSeriesAndPieSlicesShareByValue) {
    // Two stacked series: each column as long as its sum, each part as its value.
    mg::GraphChart stacked = madeChart(mg::Kind::Bar, {"A", "B"}, {{10, 30}, {30, 10}});
    stacked.look.grouping = mg::Grouping::Stacked;
    stacked.look.series.resize(2);
    stacked.look.series[1].fill = {mg::Paint::Mode::Explicit, {0x20, 0x80, 0x20}};
    const QImage bars = decoded(drawGraphChart(stacked, 4 * kInch, 3 * kInch));
    const QRgb first = rgbOf(stacked.automaticFill(0));
    const QRgb second = qRgb(0x20, 0x80, 0x20);
    const std::vector<int> columns = runs(bars, bars.height() * 5 / 6, false, first);
    ASSERT_EQ(columns.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const QRect line(columns[i], 0, 1, bars.height());
        expectProportional({count(bars, line, first), count(bars, line, second)},
                           i == 0 ? std::vector<double>{10, 30} : std::vector<double>{30, 10});
    }

    // A pie with one colour per slice, its legend below: the slices' areas as the values.
    mg::GraphChart pie = madeChart(mg::Kind::Pie, {"A", "B", "C"}, {{1, 2, 3}});
    pie.look.varyColors = true;
    pie.look.hasLegend = true;
    pie.look.legendPosition = mg::LegendPosition::Bottom;
    const QImage slices = decoded(drawGraphChart(pie, 4 * kInch, 3 * kInch));
    const QRect above(0, 0, slices.width(), slices.height() * 4 / 5);
    const QRect below(0, slices.height() * 4 / 5, slices.width(), slices.height());
    std::vector<int> areas;
    for (int i = 0; i < 3; ++i) {
        areas.push_back(count(slices, above, rgbOf(pie.automaticFill(i))));
        EXPECT_GT(count(slices, below, rgbOf(pie.automaticFill(i))), 20) << "legend key " << i;
    }
    EXPECT_NEAR(areas[0] / double(areas[2]), 1 / 3.0, 0.02);
    EXPECT_NEAR(areas[1] / double(areas[2]), 2 / 3.0, 0.02);
}

TEST(ChartPicture, FrameSizes) {
    const mg::GraphChart chart = madeChart(mg::Kind::Line, {"A", "B"}, {{1, 2}});
    // 192 pixels per inch, less where the picture would pass 8192 pixels a side or 16 million.
    EXPECT_EQ(drawGraphChart(chart, kInch / 2, kInch / 4).width, 96);
    const auto wide = drawGraphChart(chart, 100 * kInch, kInch);
    EXPECT_EQ(wide.width, 8192);
    EXPECT_EQ(wide.height, 81);
    const auto large = drawGraphChart(chart, 40 * kInch, 30 * kInch);
    EXPECT_LE(double(large.width) * large.height, 16e6);
    EXPECT_NEAR(large.width / double(large.height), 4 / 3.0, 0.01);
    // Values at the ends of the doubles' range, and an axis whose records give no usable
    // bounds or a unit too small to draw, still make a picture.
    mg::GraphChart extreme = madeChart(mg::Kind::Bar, {"A", "B"}, {{1e308, -1e308}});
    extreme.look.valueAxis.scaling.min = std::numeric_limits<double>::quiet_NaN();
    extreme.look.valueAxis.scaling.majorUnit = 1e-300;
    EXPECT_EQ(drawGraphChart(extreme, kInch, kInch).width, 192);
    EXPECT_OFFICE_ERROR(drawGraphChart(chart, 0, kInch), office::ErrorCode::InvalidArgument,
                        "a chart picture needs a frame with an area, not 0 x 914400 EMU");
}

// The rows of the image that hold pixels darker than mid-grey within the columns.
int inkRows(const QImage& image, int left, int right) {
    int rows = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = left; x < right; ++x) {
            if (qGray(image.pixel(x, y)) < 128) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

TEST(ChartPicture, TextsScaleWithTheChartsOwnSizeAndPieLabelsGoWhereTheRecordsSay) {
    // A title set for a chart of the frame's size, then for one twice as large: half as high.
    mg::GraphChart titled = madeChart(mg::Kind::Pie, {"A"}, {{0}});
    titled.look.title = "Revenue";
    titled.look.widthPoints = 288;
    titled.look.heightPoints = 216;
    const int full = inkRows(decoded(drawGraphChart(titled, 4 * kInch, 3 * kInch)), 0, 768);
    titled.look.widthPoints = 576;
    titled.look.heightPoints = 432;
    const int half = inkRows(decoded(drawGraphChart(titled, 4 * kInch, 3 * kInch)), 0, 768);
    EXPECT_NEAR(half / double(full), 0.5, 0.15) << full << " rows against " << half;

    // Value labels of a pie whose two thin slices point right: beside the slices only where
    // they go outside (outside end, or best fit for slices too thin to hold them).
    mg::GraphChart pie = madeChart(mg::Kind::Pie, {"A", "B", "C"}, {{1, 1, 60}});
    pie.look.labels.value = pie.look.varyColors = true;
    pie.look.firstSliceAngle = 90;
    for (const auto position : {mg::LabelPosition::Automatic, mg::LabelPosition::OutsideEnd,
                                mg::LabelPosition::BestFit}) {
        pie.look.labels.position = position;
        const QImage image = decoded(drawGraphChart(pie, 4 * kInch, 2 * kInch));
        int left = image.width(), right = 0;  // the columns the slices cover
        for (int x = 0; x < image.width(); ++x) {
            if (count(image, QRect(x, 0, 1, image.height()), rgbOf(pie.automaticFill(2))) > 0) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        const int beside = inkRows(image, right + 4, image.width());
        EXPECT_EQ(beside > 0, position != mg::LabelPosition::Automatic) << int(position);
        EXPECT_EQ(inkRows(image, 0, left - 4) > 0, position == mg::LabelPosition::OutsideEnd)
            << "the large slice's label, " << int(position);
    }
}

// ---- the real Graph objects of the corpus ----------------------------------------------------

struct CorpusChart {
    std::string where;
    mg::GraphChart chart;
};

void addChart(std::vector<CorpusChart>& charts, const std::string& where,
              const office::compound::File& storage) {
    if (storage.hasStream("Workbook")) {
        charts.push_back({where, mg::readGraphChart(storage.readStream("Workbook"), where)});
    }
}

void addShapes(std::vector<CorpusChart>& charts, const office::ppt::binary::Deck& deck,
               const std::vector<office::ppt::binary::ShapeInfo>& shapes, const std::string& file) {
    for (const auto& shape : shapes) {
        addShapes(charts, deck, shape.members, file);
        const auto* object = shape.objectId ? deck.object(*shape.objectId) : nullptr;
        if (object && object->progId.starts_with("MSGraph")) {
            addChart(charts, file + " shape " + std::to_string(shape.id),
                     office::compound::File::openBytes(deck.objectStorage(*shape.objectId), file));
        }
    }
}

// The Graph charts of the .ppt files (by their objects' ProgID) and of the .pptx files (the
// embedded objects that name Graph's class).
std::vector<CorpusChart> corpusCharts() {
    std::vector<CorpusChart> charts;
    const fs::path root(TABULON_REALWORLD_DIR);
    std::error_code absent;
    for (const auto& entry : fs::directory_iterator(root / "ppt", absent)) {
        const auto deck = office::ppt::binary::Deck::open(
            office::compound::File::openFile(entry.path().string()));
        for (std::size_t i = 0; i < deck->slideCount(); ++i) {
            addShapes(charts, *deck, deck->shapes(i), entry.path().filename().string());
        }
    }
    for (const auto& entry : fs::directory_iterator(root / "pptx-ole", absent)) {
        const auto package =
            office::package::Package::openFile(entry.path().string(), "presentation");
        for (const std::string& part : package.partNames()) {
            const std::string raw = package.read(part);
            if (part.ends_with(".bin") && raw.find("MSGraph") != std::string::npos) {
                addChart(charts, entry.path().filename().string() + " " + part,
                         office::compound::File::openBytes(
                             msgraph_test::Bytes(raw.begin(), raw.end()), part));
            }
        }
    }
    return charts;
}

// The colour series (or point, with one colour per point) `index` is drawn in: its own, else
// the palette's automatic one; bars, slices and areas by their fill, lines by their line.
QRgb seriesColor(const mg::GraphChart& chart, int index, bool perPoint) {
    const bool lines = chart.look.kind == mg::Kind::Line || chart.look.kind == mg::Kind::Scatter ||
                       chart.look.kind == mg::Kind::Radar;
    const auto& series = chart.look.series;
    std::optional<mg::Paint> paint;
    if (perPoint && !series.empty() && series[0].points.contains(index)) {
        paint = series[0].points.at(index).fill;
    } else if (!perPoint && index < int(series.size())) {
        paint = lines ? series[index].line : series[index].fill;
    }
    if (paint && paint->mode == mg::Paint::Mode::Explicit) {
        return rgbOf(paint->color);
    }
    return rgbOf(lines ? chart.automaticLine(index) : chart.automaticFill(index));
}

TEST(ChartPicture, RealGraphObjectsShowSeriesLegendAndTitle) {
    const std::vector<CorpusChart> charts = corpusCharts();
    if (charts.empty()) {
        GTEST_SKIP() << "the real-world corpus is absent: " << TABULON_REALWORLD_DIR;
    }
    const bool tesseract = hasTesseract();
    for (const CorpusChart& item : charts) {
        SCOPED_TRACE(item.where);
        const mg::GraphChart& chart = item.chart;
        EXPECT_GT(chart.look.widthPoints * chart.look.heightPoints, 0) << "the chart's own size";
        const QImage image = decoded(drawGraphChart(chart, 4 * kInch, 3 * kInch));
        const bool perPoint = chart.look.varyColors || chart.look.kind == mg::Kind::Pie ||
                              chart.look.kind == mg::Kind::Doughnut;
        const int shown = perPoint ? 3 : 2;
        int colours = 0;
        for (int line = 2; line < 2 + shown; ++line) {
            const bool rows = chart.sheet.seriesInRows != perPoint;
            colours += chart.sheet.cells.contains(rows ? office::graph::detail::CellPos{line, 2}
                                                       : office::graph::detail::CellPos{2, line});
        }
        // Each series (or each of the first points) shows its colour, and where the legend
        // stands on the right, its keys show there too, beside the plot.
        const QRect right(image.width() * 11 / 20, 0, image.width() * 9 / 20, image.height());
        for (int i = 0; i < colours; ++i) {
            EXPECT_GT(count(image, image.rect(), seriesColor(chart, i, perPoint)), 40) << i;
            if (chart.look.hasLegend && chart.look.legendPosition == mg::LegendPosition::Right) {
                EXPECT_GT(count(image, right, seriesColor(chart, i, perPoint)), 20)
                    << "legend key " << i;
            }
        }
        if (tesseract && chart.look.title) {
            const std::string word = chart.look.title->substr(0, chart.look.title->find(' '));
            EXPECT_NE(ocr(image).find(word), std::string::npos) << *chart.look.title;
        }
    }
}
}  // namespace
