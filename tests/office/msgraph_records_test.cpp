// The reader of Graph chart objects: the real objects of the corpus, compared with what an
// independent reader (tests/fixtures/msgraph/read_graph.py, over python3-olefile) finds in
// their records, and streams built record by record for the kinds, colours, titles and faults
// the corpus does not show.

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <set>

#include "msgraph_support.h"
#include "office/error.h"
#include "office/graph/msgraph/native_chart.h"
#include "office/graph/msgraph/records.h"
#include "support/office_error.h"
#include "support/validator.h"

namespace {

using namespace msgraph_test;
namespace mg = office::graph::msgraph;
namespace fs = std::filesystem;

mg::GraphChart read(const Stream& stream) {
    return mg::readGraphChart(stream.bytes(), "deck.pptx: slide 1, shape \"Chart 1\"");
}

std::string cellText(const mg::GraphChart& chart, int row, int column) {
    const auto it = chart.sheet.cells.find({row, column});
    return it == chart.sheet.cells.end() ? std::string("<none>") : it->second.value.toString();
}

// ---- the corpus, against the independent reader ---------------------------------------------

class GraphCorpus : public ::testing::TestWithParam<std::string> {};

TEST_P(GraphCorpus, MatchesTheIndependentReader) {
    const fs::path file = fs::path(TABULON_REALWORLD_DIR) / "pptx-ole" / GetParam();
    if (!fs::exists(file)) {
        GTEST_SKIP() << file << " is absent";
    }
    if (std::system("/usr/bin/python3 -c 'import olefile' >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "python3-olefile is not installed";
    }
    const auto result = tabulon::testing::runCommand("/usr/bin/python3 '" TABULON_SOURCE_DIR
                                                     "/tests/fixtures/msgraph/read_graph.py' '" +
                                                     file.string() + "'");
    ASSERT_EQ(result.status, 0) << result.output;
    const QJsonObject expected =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.output)).object();
    ASSERT_FALSE(expected.isEmpty()) << result.output;

    auto package = office::package::Package::openFile(file.string(), "presentation");
    for (const QString& part : expected.keys()) {
        SCOPED_TRACE(part.toStdString());
        const QJsonObject want = expected[part].toObject();
        const Bytes stream = workbookStream(package, part.toStdString());
        ASSERT_FALSE(stream.empty());
        const mg::GraphChart chart = mg::readGraphChart(stream, part.toStdString());

        // Every cell of the data sheet, and no other.
        const QJsonObject cells = want["cells"].toObject();
        EXPECT_EQ(chart.sheet.cells.size(), static_cast<std::size_t>(cells.size()));
        for (const QString& key : cells.keys()) {
            const auto at = key.split(',');
            const auto it = chart.sheet.cells.find({at[0].toInt(), at[1].toInt()});
            ASSERT_NE(it, chart.sheet.cells.end()) << key.toStdString();
            if (cells[key].isString()) {
                EXPECT_EQ(it->second.value.asText(), cells[key].toString().toStdString());
            } else {
                EXPECT_EQ(it->second.value.kind(), office::Value::Kind::Number);
                EXPECT_DOUBLE_EQ(it->second.value.asNumber(), cells[key].toDouble());
            }
        }

        const mg::ChartLook& look = chart.look;
        const std::string kind = want["kind"].toString().toStdString();
        EXPECT_EQ(look.kind, kind == "bar" ? mg::Kind::Bar : mg::Kind::Pie);
        EXPECT_EQ(chart.sheet.seriesInRows, want["seriesInRows"].toBool());
        EXPECT_EQ(look.threeD, want["threeD"].toBool());
        if (kind == "bar") {
            EXPECT_EQ(look.horizontal, want["horizontal"].toBool());
            EXPECT_EQ(look.grouping, mg::Grouping::Standard);
        }
        EXPECT_EQ(look.hasLegend, !want["legend"].isNull());
        if (look.hasLegend) {
            EXPECT_EQ(want["legend"].toString(), "right");
            EXPECT_EQ(look.legendPosition, mg::LegendPosition::Right);
        }
        EXPECT_EQ(look.title.has_value(), !want["title"].isNull());
        EXPECT_EQ(look.valueAxis.majorGridlines, want["valueGrid"].toBool());
        EXPECT_EQ(look.categoryAxis.majorGridlines, want["categoryGrid"].toBool());
        const int labels = want["labels"].toInt();
        EXPECT_EQ(look.labels.value, (labels & 1) != 0);
        EXPECT_EQ(look.labels.percent, (labels & 6) != 0);
        // The look beyond kind and colours: the 3-D view, the category axis' direction, the
        // ticks, the fonts of the axes and of the whole chart, the markers, the lines left out.
        if (want["view"].isObject()) {
            const QJsonObject view = want["view"].toObject();
            ASSERT_TRUE(look.view);
            EXPECT_EQ(look.view->rotation, view["rotation"].toInt());
            EXPECT_EQ(look.view->elevation, view["elevation"].toInt());
            EXPECT_EQ(look.view->rightAngles, !view["perspective"].toBool());
            EXPECT_EQ(look.view->clustered, view["clustered"].toBool());
        } else {
            EXPECT_FALSE(look.view);
        }
        EXPECT_EQ(look.categoryAxis.scaling.reversed, want["categoryReversed"].toBool());
        const QJsonObject ticks = want["ticks"].toObject();
        for (const QString& axis : ticks.keys()) {
            const mg::Axis& a = axis == "0" ? look.categoryAxis : look.valueAxis;
            EXPECT_EQ(static_cast<int>(a.majorTicks), ticks[axis].toInt()) << axis.toStdString();
        }
        auto sameFont = [](const mg::TextLook& font, const QJsonObject& expected) {
            EXPECT_TRUE(font.known);
            EXPECT_EQ(font.family, expected["name"].toString().toStdString());
            EXPECT_EQ(font.size, expected["size"].toInt());
            EXPECT_EQ(font.bold, expected["bold"].toBool());
            EXPECT_EQ(font.italic, expected["italic"].toBool());
        };
        const QJsonObject axisFonts = want["axisFonts"].toObject();
        for (const QString& axis : axisFonts.keys()) {
            SCOPED_TRACE("axis " + axis.toStdString());
            sameFont(axis == "0" ? look.categoryAxis.font : look.valueAxis.font,
                     axisFonts[axis].toObject());
        }
        if (want["font"].isObject()) {
            sameFont(look.font, want["font"].toObject());
        }
        const QJsonObject markers = want["markers"].toObject();
        for (const QString& index : markers.keys()) {
            ASSERT_LT(index.toInt(), static_cast<int>(look.series.size()));
            const auto& marker = look.series[static_cast<std::size_t>(index.toInt())].marker;
            ASSERT_TRUE(marker);
            EXPECT_EQ(marker->automatic, markers[index].toObject()["automatic"].toBool());
            EXPECT_EQ(static_cast<int>(marker->symbol),
                      markers[index].toObject()["symbol"].toInt());
        }
        auto lines = [](const QJsonValue& list) {
            std::set<int> out;
            for (const QJsonValue& line : list.toArray()) {
                out.insert(line.toInt());
            }
            return out;
        };
        EXPECT_EQ(chart.sheet.excludedRows, lines(want["excludedRows"]));
        EXPECT_EQ(chart.sheet.excludedColumns, lines(want["excludedColumns"]));

        // The gridlines' own dashes (a pattern of 0 to 4), where their line is not automatic.
        const QJsonObject gridlines = want["gridlines"].toObject();
        for (const QString& axis : gridlines.keys()) {
            const auto& own = (axis == "0" ? look.categoryAxis : look.valueAxis).majorGridlineLook;
            EXPECT_EQ(own.has_value(), !gridlines[axis].isNull()) << axis.toStdString();
            if (own && !gridlines[axis].isNull()) {
                EXPECT_EQ(static_cast<int>(own->dash), gridlines[axis].toInt());
            }
        }

        // The frames of the plot area, chart area and legend.
        const QJsonObject frames = want["frames"].toObject();
        for (const QString& name : frames.keys()) {
            SCOPED_TRACE(name.toStdString());
            const mg::Box& box = name == "plot"    ? look.plotArea
                                 : name == "chart" ? look.chartArea
                                                   : look.legendBox;
            auto modeOf = [](const std::optional<mg::Paint>& paint) {
                if (!paint) {
                    return std::string("<none>");
                }
                return paint->mode == mg::Paint::Mode::None        ? std::string("none")
                       : paint->mode == mg::Paint::Mode::Automatic ? std::string("auto")
                                                                   : mg::hexColor(paint->color);
            };
            const QJsonObject frame = frames[name].toObject();
            EXPECT_EQ(modeOf(box.line), frame["line"].toString("<none>").toStdString());
            EXPECT_EQ(modeOf(box.fill), frame["fill"].toString("<none>").toStdString());
        }

        // The native chart shows the same: its 3-D view, the category axis' direction, the
        // axes' fonts.
        const pugi::xml_document native = mg::nativeChart(chart, "Sheet1", part.toStdString());
        auto value = [&native](const char* path, const char* name = "val") {
            return std::string(native.select_node(path).node().attribute(name).value());
        };
        if (want["view"].isObject()) {
            const QJsonObject view = want["view"].toObject();
            EXPECT_EQ(value("//c:view3D/c:rotY"), std::to_string(view["rotation"].toInt()));
            EXPECT_EQ(value("//c:view3D/c:rotX"), std::to_string(view["elevation"].toInt()));
        }
        if (kind == "bar") {
            EXPECT_EQ(value("//c:catAx/c:scaling/c:orientation"),
                      want["categoryReversed"].toBool() ? "maxMin" : "minMax");
        }
        for (const QString& axis : axisFonts.keys()) {
            const std::string path =
                std::string(axis == "0" ? "//c:catAx" : "//c:valAx") + "/c:txPr//a:defRPr";
            const QJsonObject font = axisFonts[axis].toObject();
            EXPECT_EQ(value(path.c_str(), "sz"), std::to_string(font["size"].toInt()));
            EXPECT_EQ(value((path + "/a:latin").c_str(), "typeface"),
                      font["name"].toString().toStdString());
        }

        const QJsonObject fills = want["series"].toObject();
        for (const QString& index : fills.keys()) {
            ASSERT_LT(index.toInt(), static_cast<int>(look.series.size()));
            EXPECT_EQ(fills[index].toString(), "auto");
            EXPECT_EQ(look.series[static_cast<std::size_t>(index.toInt())].fill.mode,
                      mg::Paint::Mode::Automatic);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealWorld, GraphCorpus,
                         ::testing::Values("openxmlsdk__typical_msgraph.pptx",
                                           "tika__testMSChart-govdocs-428996.pptx"));

TEST(GraphRecords, CorpusPercentCellsKeepTheirNumberFormat) {
    const fs::path file =
        fs::path(TABULON_REALWORLD_DIR) / "pptx-ole" / "openxmlsdk__typical_msgraph.pptx";
    if (!fs::exists(file)) {
        GTEST_SKIP() << file << " is absent";
    }
    auto package = office::package::Package::openFile(file.string(), "presentation");
    const auto chart =
        mg::readGraphChart(workbookStream(package, "ppt/embeddings/oleObject1.bin"), "deck");
    EXPECT_EQ(chart.sheet.cells.at({2, 2}).numberFormat, "0%");
    EXPECT_EQ(chart.sheet.cells.at({1, 2}).numberFormat, "General");
    // The pie keeps the colour Graph gave its automatic fill: the object's palette (the
    // presentation's colour scheme, not the default one) at the first automatic fill.
    const auto pie =
        mg::readGraphChart(workbookStream(package, "ppt/embeddings/oleObject2.bin"), "deck");
    ASSERT_FALSE(pie.look.series.empty());
    EXPECT_EQ(pie.look.series[0].fill.mode, mg::Paint::Mode::Automatic);
    EXPECT_EQ(mg::hexColor(pie.look.series[0].fill.color), "00E4A8");
    EXPECT_EQ(mg::hexColor(pie.automaticFill(0)), "00E4A8");
    EXPECT_NE(mg::hexColor(pie.automaticFill(0)), mg::hexColor(pie.automaticFill(1)));
}

// ---- streams built record by record -------------------------------------------------------

TEST(GraphRecords, StackedLineWithTitlesColoursAndColumns) {
    Stream s;
    s.add(0x0092, Body().u16(56).rgb(1, 2, 3).zeros(55 * 4));  // colour 8 changed
    s.label(0, 1, "North").number(1, 1, 12.5, 2).label(1, 0, "Q1");
    s.add(0x1055, Body().u8(0).u16(0).u16(0).u8(1));  // series in columns
    s.add(0x1002, Body().zeros(16)).begin();
    s.add(0x1003, Body().u16(3).u16(1).u16(1).u16(1).u16(1).u16(0)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin();
    s.add(0x1007, Body().rgb(0x12, 0x34, 0x56).u16(0).u16(1).u16(0).u16(8));
    s.add(0x100A, Body().rgb(0xAA, 0xBB, 0xCC).rgb(0, 0, 0).u16(1).u16(0).u16(8).u16(9));
    s.end();
    s.add(0x105D, Body().u16(1));
    s.end();
    s.text(1, "Sales").text(2, "Units").text(3, "Quarter");
    s.add(0x101D, Body().u16(1).zeros(16)).begin();
    s.add(0x1021, Body().u16(1)).add(0x1007, Body().rgb(0, 0, 0).u16(0).u16(0).u16(1).u16(8));
    s.add(0x1021, Body().u16(2)).add(0x1007, Body().rgb(0, 0, 0).u16(5).u16(0).u16(1).u16(8));
    s.add(0x104E, Body().u16(3));
    s.end();
    s.add(0x1014, Body().zeros(20)).begin();
    s.add(0x1018, Body().u16(1));
    s.add(0x1015, Body().zeros(16).u8(0).u8(1).u16(0));
    s.end().end().finish();

    const mg::GraphChart chart = read(s);
    EXPECT_FALSE(chart.sheet.seriesInRows);
    EXPECT_EQ(cellText(chart, 1, 2), "North");
    EXPECT_EQ(cellText(chart, 2, 2), "12.5");
    EXPECT_EQ(chart.sheet.cells.at({2, 2}).numberFormat, "0.00");
    EXPECT_EQ(cellText(chart, 2, 1), "Q1");

    const mg::ChartLook& look = chart.look;
    EXPECT_EQ(look.kind, mg::Kind::Line);
    EXPECT_EQ(look.grouping, mg::Grouping::Stacked);
    EXPECT_TRUE(look.smoothLines);
    EXPECT_EQ(look.title, "Sales");
    EXPECT_EQ(look.valueAxis.title, "Units");
    EXPECT_EQ(look.categoryAxis.title, "Quarter");
    EXPECT_TRUE(look.valueAxis.majorGridlines);
    EXPECT_FALSE(look.valueAxis.minorGridlines);  // its line is "none"
    EXPECT_EQ(look.valueAxis.numberFormat, "#,##0");
    EXPECT_TRUE(look.hasLegend);
    EXPECT_EQ(look.legendPosition, mg::LegendPosition::Bottom);
    ASSERT_EQ(look.series.size(), 1u);
    EXPECT_EQ(look.series[0].line.mode, mg::Paint::Mode::Explicit);
    EXPECT_EQ(mg::hexColor(look.series[0].line.color), "123456");
    EXPECT_EQ(look.series[0].fill.mode, mg::Paint::Mode::Explicit);
    EXPECT_EQ(mg::hexColor(look.series[0].fill.color), "AABBCC");
    EXPECT_EQ(mg::hexColor(chart.palette[0]), "010203");
}

TEST(GraphRecords, ChartKindsAndVariants) {
    struct Case {
        int id;
        Body body;
        mg::Kind kind;
        mg::Grouping grouping;
        bool horizontal;
    };
    const std::vector<Case> cases = {
        {0x1017, Body().u16(0).u16(150).u16(0), mg::Kind::Bar, mg::Grouping::Standard, false},
        {0x1017, Body().u16(0).u16(50).u16(3), mg::Kind::Bar, mg::Grouping::Stacked, true},
        {0x1017, Body().u16(0).u16(50).u16(4), mg::Kind::Bar, mg::Grouping::Percent, false},
        {0x1018, Body().u16(2), mg::Kind::Line, mg::Grouping::Percent, false},
        {0x101A, Body().u16(1), mg::Kind::Area, mg::Grouping::Stacked, false},
        {0x1019, Body().u16(90).u16(0).u16(0), mg::Kind::Pie, mg::Grouping::Standard, false},
        {0x1019, Body().u16(0).u16(40).u16(0), mg::Kind::Doughnut, mg::Grouping::Standard, false},
        {0x101B, Body().u16(100).u16(1).u16(0), mg::Kind::Scatter, mg::Grouping::Standard, false},
        {0x103E, Body().u16(0), mg::Kind::Radar, mg::Grouping::Standard, false},
        {0x1040, Body().u16(0), mg::Kind::FilledRadar, mg::Grouping::Standard, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        Stream s;
        s.add(0x1014, Body().zeros(20)).begin().add(c.id, c.body).end().finish();
        const mg::ChartLook look = read(s).look;
        EXPECT_EQ(look.kind, c.kind);
        EXPECT_EQ(look.grouping, c.grouping);
        EXPECT_EQ(look.horizontal, c.horizontal);
        EXPECT_FALSE(look.threeD);
    }
    Stream spaced;  // a negative overlap is a space between the bars
    spaced.add(0x1014, Body().zeros(20)).begin();
    spaced.add(0x1017, Body().u16(0x10000 - 25).u16(60).u16(0)).end().finish();
    EXPECT_EQ(read(spaced).look.overlap, -25);
    EXPECT_EQ(read(spaced).look.gapWidth, 60);

    Stream pie;
    pie.add(0x1014, Body().zeros(20)).begin();
    pie.add(0x1019, Body().u16(30).u16(0).u16(0));
    pie.add(0x103A, Body().zeros(14)).end().finish();
    const mg::ChartLook look = read(pie).look;
    EXPECT_TRUE(look.threeD);
    EXPECT_TRUE(look.varyColors);
    EXPECT_EQ(look.firstSliceAngle, 30);
}

TEST(GraphRecords, ExplodedSliceShapeAndLabels) {
    Stream s;
    // The chart's own size, 360 x 270.5 points in 16.16 fixed point, and labels placed best.
    s.add(0x1002, Body().u32(0).u32(0).u32(360u << 16).u32((270u << 16) + 0x8000));
    s.add(0x1025, Body().zeros(28).u16(9).u16(0)).begin();
    s.add(0x1027, Body().u16(4).u16(0).u16(0)).end();
    s.add(0x1003, Body().zeros(12)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin();
    s.add(0x100B, Body().u16(25));
    s.add(0x100C, Body().u16(0x40));
    s.end();
    s.add(0x105F, Body().u8(1).u8(1));
    s.end();
    s.add(0x1014, Body().zeros(20)).begin();
    s.add(0x1019, Body().u16(0).u16(0).u16(0));
    // The group's default format: values on every point. A single point's format (a point
    // index other than 0xFFFF) is not taken for the series.
    s.add(0x1006, Body().u16(0).u16(0).u16(0xFFFD).u16(0)).begin();
    s.add(0x100C, Body().u16(0x01)).end();
    s.add(0x1006, Body().u16(3).u16(0).u16(0).u16(0)).begin();
    s.add(0x100B, Body().u16(80)).add(0x100C, Body().u16(0x10)).end();
    s.end().finish();
    const mg::ChartLook look = read(s).look;
    ASSERT_EQ(look.series.size(), 1u);
    EXPECT_EQ(look.series[0].explosion, 25);
    EXPECT_EQ(look.shape, mg::BarShape::Cone);
    EXPECT_TRUE(look.labels.value);
    EXPECT_TRUE(look.labels.seriesName);
    EXPECT_FALSE(look.labels.category);
    EXPECT_FALSE(look.hasLegend);
    EXPECT_EQ(look.widthPoints, 360);
    EXPECT_EQ(look.heightPoints, 270.5);
    EXPECT_EQ(look.labels.position, mg::LabelPosition::BestFit);
}

TEST(GraphRecords, LabelsInSixteenBitCharacters) {
    Stream s;
    Body body;
    body.u16(0).u16(1).zeros(3).u16(2).u8(1).u16(0x00E9).u16(0x4E2D);
    s.add(0x0004, body);
    s.add(0x1014, Body().zeros(20)).begin().add(0x1018, Body().u16(0)).end().finish();
    EXPECT_EQ(cellText(read(s), 1, 2), "\xC3\xA9\xE4\xB8\xAD");
}

TEST(GraphRecords, KindsWithoutANativeFormFailNamingTheObject) {
    struct Kind {
        int id;
        Body body;
        std::string name;
    };
    const std::vector<Kind> kinds = {
        {0x101B, Body().u16(100).u16(1).u16(1), "a bubble chart"},
        {0x103F, Body().u16(0), "a surface chart"},
        {0x1061, Body().zeros(18), "a pie or bar of pie"},
    };
    const std::string shape = "deck.pptx: slide 1, shape \"Chart 1\": the chart object is ";
    for (const auto& kind : kinds) {
        Stream s;
        s.add(0x1014, Body().zeros(20)).begin().add(kind.id, kind.body).end().finish();
        EXPECT_OFFICE_ERROR(read(s), office::ErrorCode::NotSupported,
                            shape + kind.name + ", which has no native chart form");
    }
    Stream combination;
    combination.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end();
    combination.add(0x1014, Body().zeros(20)).begin().add(0x1018, Body().zeros(2)).end();
    EXPECT_OFFICE_ERROR(read(combination.finish()), office::ErrorCode::NotSupported,
                        shape + "a combination of chart kinds, which has no native chart form");
}

TEST(GraphRecords, DamagedStreamsFailAsCorrupt) {
    const std::string where = "deck.pptx: slide 2, shape \"Object 3\"";
    const auto corrupt = office::ErrorCode::CorruptPart;
    Stream good;
    good.number(1, 1, 3).add(0x1014, Body().zeros(20)).begin();
    good.add(0x1017, Body().zeros(6)).end().finish();
    Bytes cut = good.bytes();
    cut.resize(cut.size() - 7);  // inside the Bar record
    EXPECT_OFFICE_ERROR(
        mg::readGraphChart(cut, where), corrupt,
        where + ": the chart object's data ends inside a record header at offset 101");

    Stream shortCell;
    shortCell.add(0x0003, Body().u16(1).u16(1).zeros(3).u16(7));  // a number of two bytes
    shortCell.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end().finish();
    EXPECT_OFFICE_ERROR(mg::readGraphChart(shortCell.bytes(), where), corrupt,
                        where + ": the chart object's record 0x0003 at offset 44 is cut short");

    Stream badLabel;
    badLabel.add(0x0004, Body().u16(0).u16(1).zeros(3).u16(9).u8('a'));
    badLabel.finish();
    EXPECT_OFFICE_ERROR(mg::readGraphChart(badLabel.bytes(), where), corrupt,
                        where +
                            ": the chart object's record 0x0004 at offset 44 holds a label "
                            "whose length does not match the record");

    Stream noChart;  // cells, but no chart kind at all
    noChart.number(1, 1, 2).finish();
    EXPECT_OFFICE_ERROR(mg::readGraphChart(noChart.bytes(), where), corrupt,
                        where + ": the chart object's data holds no chart records");
    EXPECT_OFFICE_ERROR(
        mg::readGraphChart(Bytes{0x01, 0x02, 0x03}, where), corrupt,
        where + ": the chart object's data ends inside a record header at offset 0");
    EXPECT_OFFICE_ERROR(mg::readGraphChart(Bytes{0x09, 0x08, 0x02, 0x00, 0x00, 0x05}, where),
                        corrupt,
                        where +
                            ": the chart object's record 0x0809 at offset 0 is of a workbook "
                            "format older than the one Graph 97 and later write");
}

}  // namespace
