// The look of a Graph chart carried over into its native chart: the formats of single points,
// markers, fonts, axis scales and ticks, the 3-D view, and the rows and columns left out of the
// chart. Streams are built record by record; the native chart part is read back by meaning.

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>

#include "msgraph_support.h"
#include "office/error.h"
#include "office/graph/msgraph/native_chart.h"
#include "office/graph/msgraph/records.h"
#include "support/office_error.h"
#include "support/validator.h"

namespace {

using namespace msgraph_test;
namespace mg = office::graph::msgraph;

constexpr const char* kWhere = "deck.pptx: slide 1, shape \"Chart 1\"";

mg::GraphChart read(const Stream& stream) {
    return mg::readGraphChart(stream.bytes(), kWhere);
}

// What the chart schema says about a chart part (empty when it is valid), checked by lxml on
// its own; nothing when the schemas or lxml are not here.
std::optional<std::string> schemaProblems(const pugi::xml_document& doc) {
    namespace fs = std::filesystem;
    const fs::path schema =
        fs::path(TABULON_SOURCE_DIR) / ".." / "shared" / "ooxml-schemas" / "dml-chart.xsd";
    if (!fs::exists(schema) || !tabulon::testing::validatorPresent()) {
        return std::nullopt;
    }
    const fs::path file =
        fs::temp_directory_path() /
        ("msgraph_look_" + std::to_string(::getpid()) + ".xml");  // one per test process
    doc.save_file(file.c_str());
    const auto result = tabulon::testing::runCommand(
        "/usr/bin/python3 -c \"import sys; from lxml import etree; "
        "s = etree.XMLSchema(etree.parse(sys.argv[1])); d = etree.parse(sys.argv[2]); "
        "print('' if s.validate(d) else s.error_log)\" '" +
        schema.string() + "' '" + file.string() + "'");
    fs::remove(file);
    std::string text = result.output;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
        text.pop_back();
    }
    return result.status == 0 ? text : "lxml failed: " + result.output;
}

#define EXPECT_SCHEMA_VALID(doc)                                       \
    do {                                                               \
        if (const auto problems = schemaProblems(doc)) {               \
            EXPECT_EQ(*problems, "") << "the chart part is not valid"; \
        }                                                              \
    } while (false)

std::string attribute(const pugi::xml_document& doc, const std::string& path,
                      const char* name = "val") {
    return doc.select_node(path.c_str()).node().attribute(name).value();
}

TEST(GraphLook, RecordsOfPointsMarkersFontsAndScales) {
    const mg::GraphChart chart = read(lineChartWithLook());
    const mg::ChartLook& look = chart.look;
    ASSERT_EQ(look.series.size(), 2u);
    const mg::SeriesFormat& first = look.series[0];
    ASSERT_TRUE(first.marker);
    EXPECT_FALSE(first.marker->automatic);
    EXPECT_EQ(first.marker->symbol, mg::Marker::Symbol::Circle);
    EXPECT_EQ(first.marker->size, 10);
    EXPECT_EQ(mg::hexColor(first.marker->line), "112233");
    EXPECT_EQ(mg::hexColor(first.marker->fill), "445566");
    ASSERT_EQ(first.points.size(), 1u);
    const mg::PointFormat& point = first.points.at(1);
    ASSERT_TRUE(point.fill && point.line && point.marker);
    EXPECT_EQ(mg::hexColor(point.fill->color), "AA0011");
    EXPECT_EQ(point.line->mode, mg::Paint::Mode::None);
    EXPECT_TRUE(point.marker->noFill);
    // The series' own line is not the point's.
    EXPECT_EQ(first.line.mode, mg::Paint::Mode::Explicit);
    EXPECT_EQ(first.line.dash, mg::Paint::Dash::Dash);
    EXPECT_EQ(first.line.width, 28575);
    ASSERT_TRUE(look.valueAxis.majorGridlines && look.valueAxis.majorGridlineLook);
    EXPECT_EQ(look.valueAxis.majorGridlineLook->dash, mg::Paint::Dash::Dot);
    EXPECT_TRUE(look.series[1].marker && look.series[1].marker->automatic);

    EXPECT_EQ(look.font.family, "Courier");
    EXPECT_EQ(look.font.size, 1400);
    EXPECT_TRUE(look.font.bold);
    EXPECT_EQ(look.titleFont.family, "Tahoma");
    EXPECT_EQ(look.labelsFont.family, "Times");
    EXPECT_TRUE(look.labelsFont.italic);
    ASSERT_TRUE(look.labelsFont.color);
    EXPECT_EQ(mg::hexColor(*look.labelsFont.color), "008000");  // the text's over the font's
    EXPECT_EQ(look.legendFont.family, "Verdana");
    EXPECT_EQ(look.categoryAxis.font.family, "Verdana");
    EXPECT_EQ(look.valueAxis.font.family, "Arial");
    ASSERT_TRUE(look.valueAxis.font.color);
    EXPECT_EQ(mg::hexColor(*look.valueAxis.font.color), "0000FF");  // the tick labels' colour

    const mg::Scaling& values = look.valueAxis.scaling;
    EXPECT_EQ(values.min, 1);
    EXPECT_EQ(values.max, 1000);
    EXPECT_EQ(values.majorUnit, 10);
    EXPECT_FALSE(values.minorUnit);
    EXPECT_FALSE(values.crossesAt);
    EXPECT_TRUE(values.logarithmic);
    EXPECT_TRUE(look.categoryAxis.scaling.reversed);
    EXPECT_EQ(look.categoryAxis.scaling.crossesAt, 2);
    EXPECT_EQ(look.categoryAxis.majorTicks, mg::TickMark::Inside);
    EXPECT_EQ(look.categoryAxis.tickLabels, mg::TickLabels::High);
    EXPECT_EQ(look.valueAxis.majorTicks, mg::TickMark::Cross);

    EXPECT_EQ(chart.sheet.excludedRows, (std::set<int>{3}));
    EXPECT_TRUE(chart.sheet.excludedColumns.empty());
}

TEST(GraphLook, NativeChartShowsPointsMarkersFontsAndScales) {
    const pugi::xml_document doc = mg::nativeChart(read(lineChartWithLook()), "Sheet1", kWhere);
    EXPECT_SCHEMA_VALID(doc);
    const std::string ser = "//c:lineChart/c:ser[c:idx/@val='0']";
    EXPECT_EQ(attribute(doc, ser + "/c:marker/c:symbol"), "circle");
    EXPECT_EQ(attribute(doc, ser + "/c:marker/c:size"), "10");
    EXPECT_EQ(attribute(doc, ser + "/c:marker/c:spPr/a:solidFill/a:srgbClr"), "445566");
    EXPECT_EQ(attribute(doc, ser + "/c:marker/c:spPr/a:ln/a:solidFill/a:srgbClr"), "112233");
    const std::string dPt = ser + "/c:dPt[c:idx/@val='1']";
    EXPECT_EQ(attribute(doc, dPt + "/c:marker/c:symbol"), "triangle");
    EXPECT_TRUE(doc.select_node((dPt + "/c:marker/c:spPr/a:noFill").c_str()));
    EXPECT_TRUE(doc.select_node((dPt + "/c:spPr/a:ln/a:noFill").c_str()));
    EXPECT_EQ(attribute(doc, "//c:lineChart/c:ser[c:idx/@val='1']/c:marker/c:symbol"), "auto");
    // The series' own line: its colour, weight and dashes; the gridlines' own line.
    EXPECT_EQ(attribute(doc, ser + "/c:spPr/a:ln", "w"), "28575");
    EXPECT_EQ(attribute(doc, ser + "/c:spPr/a:ln/a:prstDash"), "dash");
    EXPECT_EQ(attribute(doc, ser + "/c:spPr/a:ln/a:solidFill/a:srgbClr"), "123456");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:majorGridlines/c:spPr/a:ln", "w"), "3175");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:majorGridlines/c:spPr/a:ln/a:prstDash"), "sysDot");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:majorGridlines/c:spPr/a:ln/a:solidFill/a:srgbClr"),
              "808080");
    EXPECT_FALSE(doc.select_node("//c:catAx/c:majorGridlines"));

    // The chart's default font, the title's run, the labels, the legend and the axes.
    EXPECT_EQ(attribute(doc, "/c:chartSpace/c:txPr//a:defRPr/a:latin", "typeface"), "Courier");
    EXPECT_EQ(attribute(doc, "/c:chartSpace/c:txPr//a:defRPr", "sz"), "1400");
    EXPECT_EQ(attribute(doc, "/c:chartSpace/c:txPr//a:defRPr", "b"), "1");
    EXPECT_EQ(attribute(doc, "//c:chart/c:title//a:r/a:rPr/a:latin", "typeface"), "Tahoma");
    EXPECT_EQ(attribute(doc, "//c:chart/c:title//a:r/a:rPr", "sz"), "1800");
    EXPECT_EQ(attribute(doc, "//c:dLbls/c:txPr//a:defRPr", "i"), "1");
    EXPECT_EQ(attribute(doc, "//c:dLbls/c:txPr//a:defRPr/a:solidFill/a:srgbClr"), "008000");
    EXPECT_EQ(attribute(doc, "//c:legend/c:txPr//a:latin", "typeface"), "Verdana");
    EXPECT_EQ(attribute(doc, "//c:catAx/c:txPr//a:latin", "typeface"), "Verdana");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:txPr//a:solidFill/a:srgbClr"), "0000FF");

    // Scales, crossings and ticks.
    EXPECT_EQ(attribute(doc, "//c:valAx/c:scaling/c:logBase"), "10");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:scaling/c:max"), "1000");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:scaling/c:min"), "1");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:scaling/c:orientation"), "minMax");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:majorUnit"), "10");
    EXPECT_FALSE(doc.select_node("//c:valAx/c:minorUnit"));
    EXPECT_EQ(attribute(doc, "//c:valAx/c:crossesAt"), "2");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:majorTickMark"), "cross");
    EXPECT_EQ(attribute(doc, "//c:catAx/c:scaling/c:orientation"), "maxMin");
    EXPECT_EQ(attribute(doc, "//c:catAx/c:crosses"), "autoZero");
    EXPECT_EQ(attribute(doc, "//c:catAx/c:majorTickMark"), "in");
    EXPECT_EQ(attribute(doc, "//c:catAx/c:tickLblPos"), "high");

    // The row left out of the chart is in no range: S1 and S3 are its series.
    const auto series = doc.select_nodes("//c:ser");
    ASSERT_EQ(series.size(), 2u);
    EXPECT_EQ(std::string(series[1].node().select_node("c:val//c:f").node().text().get()),
              "Sheet1!$B$4:$D$4");
    EXPECT_EQ(std::string(series[1].node().select_node("c:tx//c:v").node().text().get()), "S3");
}

TEST(GraphLook, AxesAndLabelsTakeTheDefaultOfTheAxes) {
    // DefaultText 3 gives the axes and data labels Georgia; the category axis' tick labels
    // are red of their own, the value axis says nothing, and no default for the whole chart.
    Stream s;
    s.add(0x0031, font(200, false, false, 0x7FFF, "Arial"));
    s.add(0x0031, font(220, true, false, 0x7FFF, "Georgia"));
    s.label(0, 1, "A").label(1, 0, "S").number(1, 1, 4);
    s.add(0x1003, Body().zeros(12)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin();
    s.add(0x100C, Body().u16(0x01)).end().end();
    s.add(0x1024, Body().u16(3));
    textBlock(s, 0, 1);
    s.add(0x101D, Body().u16(0).zeros(16)).begin();
    s.add(0x101E, Body().u8(2).u8(0).u8(3).u8(1).rgb(0xFF, 0, 0).zeros(16).u16(0).zeros(4));
    s.end();
    s.add(0x101D, Body().u16(1).zeros(16)).begin().end();
    s.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end();
    const pugi::xml_document doc = mg::nativeChart(read(s.finish()), "Sheet1", kWhere);
    EXPECT_SCHEMA_VALID(doc);
    EXPECT_EQ(attribute(doc, "//c:catAx/c:txPr//a:latin", "typeface"), "Georgia");
    EXPECT_EQ(attribute(doc, "//c:catAx/c:txPr//a:defRPr", "sz"), "1100");
    EXPECT_EQ(attribute(doc, "//c:catAx/c:txPr//a:solidFill/a:srgbClr"), "FF0000");
    EXPECT_EQ(attribute(doc, "//c:valAx/c:txPr//a:latin", "typeface"), "Georgia");
    EXPECT_FALSE(doc.select_node("//c:valAx/c:txPr//a:solidFill"));
    EXPECT_EQ(attribute(doc, "//c:dLbls/c:txPr//a:latin", "typeface"), "Georgia");
    EXPECT_FALSE(doc.select_node("/c:chartSpace/c:txPr"));
}

TEST(GraphLook, ChartAreaPlotAreaAndLegendFrames) {
    // The chart area grey without a border, the plot area without an inside and with a grey
    // border, the legend with Graph's automatic border and inside.
    Stream s;
    s.label(0, 1, "A").label(1, 0, "S").number(1, 1, 4);
    s.add(0x1002, Body().zeros(16)).begin();
    s.add(0x1032, Body().u16(0).u16(3)).begin();
    s.add(0x1007, Body().rgb(0, 0, 0).u16(5).u16(0).u16(0).u16(8));
    s.add(0x100A, Body().rgb(0xEE, 0xEE, 0xEE).rgb(0, 0, 0).u16(1).u16(0).u16(8).u16(9)).end();
    s.add(0x1035, Body()).add(0x1032, Body().u16(0).u16(3)).begin();
    s.add(0x1007, Body().rgb(0x80, 0x80, 0x80).u16(0).u16(0).u16(0).u16(8));
    s.add(0x100A, Body().rgb(0xFF, 0xFF, 0xFF).rgb(0, 0, 0).u16(0).u16(0).u16(8).u16(9)).end();
    s.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6));
    s.add(0x1015, Body().zeros(16).u8(3).u8(1).u16(0)).begin();
    s.add(0x1032, Body().u16(0).u16(3)).begin();
    s.add(0x1007, Body().rgb(0, 0, 0).u16(0).u16(0).u16(1).u16(8));
    s.add(0x100A, Body().rgb(0xFF, 0xFF, 0xFF).rgb(0, 0, 0).u16(1).u16(1).u16(8).u16(9)).end();
    s.end().end().end();
    const mg::GraphChart chart = read(s.finish());
    ASSERT_TRUE(chart.look.plotArea.line && chart.look.chartArea.fill);
    EXPECT_EQ(mg::hexColor(chart.look.plotArea.line->color), "808080");
    EXPECT_EQ(chart.look.chartArea.line->mode, mg::Paint::Mode::None);

    const pugi::xml_document doc = mg::nativeChart(chart, "Sheet1", kWhere);
    EXPECT_SCHEMA_VALID(doc);
    EXPECT_EQ(attribute(doc, "/c:chartSpace/c:spPr/a:solidFill/a:srgbClr"), "EEEEEE");
    EXPECT_TRUE(doc.select_node("/c:chartSpace/c:spPr/a:ln/a:noFill"));
    EXPECT_TRUE(doc.select_node("//c:plotArea/c:spPr/a:noFill"));
    EXPECT_EQ(attribute(doc, "//c:plotArea/c:spPr/a:ln/a:solidFill/a:srgbClr"), "808080");
    EXPECT_FALSE(doc.select_node("//c:legend/c:spPr/a:solidFill"));
    EXPECT_EQ(attribute(doc, "//c:legend/c:spPr/a:ln/a:solidFill/a:prstClr"), "black");
}

// A 3-D chart of kind `id` with the given Chart3d record.
Stream threeDChart(int id, const Body& kind, const Body& view) {
    Stream s;
    s.label(0, 1, "A").label(0, 2, "B").label(1, 0, "S1").number(1, 1, 1).number(1, 2, 2);
    s.add(0x1003, Body().zeros(12)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin().end();
    // The second slice: a colour and an explosion of its own.
    s.add(0x1006, Body().u16(1).u16(0).u16(0).u16(0)).begin();
    s.add(0x100A, Body().rgb(0x20, 0x40, 0x60).rgb(0, 0, 0).u16(1).u16(0).u16(8).u16(9));
    s.add(0x100B, Body().u16(35)).end();
    s.end();
    s.add(0x1014, Body().zeros(20)).begin().add(id, kind).add(0x103A, view).end();
    return s.finish();
}

TEST(GraphLook, ThreeDViewAndSlicesOfTheirOwn) {
    // Rotation 40, elevation 25, perspective 60, height 120 %, depth 150 %, with perspective,
    // series in depth.
    const Body view = Body().u16(40).u16(25).u16(60).u16(120).u16(150).u16(150).u16(0x01);
    const auto columns = mg::nativeChart(
        read(threeDChart(0x1017, Body().u16(0).u16(150).u16(0), view)), "Sheet1", kWhere);
    EXPECT_SCHEMA_VALID(columns);
    EXPECT_EQ(attribute(columns, "//c:view3D/c:rotX"), "25");
    EXPECT_EQ(attribute(columns, "//c:view3D/c:rotY"), "40");
    EXPECT_EQ(attribute(columns, "//c:view3D/c:perspective"), "60");
    EXPECT_EQ(attribute(columns, "//c:view3D/c:rAngAx"), "0");
    EXPECT_EQ(attribute(columns, "//c:view3D/c:hPercent"), "120");
    EXPECT_EQ(attribute(columns, "//c:view3D/c:depthPercent"), "150");
    EXPECT_EQ(attribute(columns, "//c:bar3DChart/c:grouping"), "standard");
    EXPECT_TRUE(columns.select_node("//c:serAx"));
    EXPECT_EQ(columns.select_nodes("//c:bar3DChart/c:axId").size(), 3u);
    EXPECT_EQ(attribute(columns, "//c:ser/c:dPt[c:idx/@val='1']/c:spPr/a:solidFill/a:srgbClr"),
              "204060");

    // Clustered and without perspective: right-angled axes, no series axis.
    const Body flat = Body().u16(20).u16(15).u16(30).u16(100).u16(100).u16(150).u16(0x02);
    const auto clustered = mg::nativeChart(
        read(threeDChart(0x1017, Body().u16(0).u16(150).u16(0), flat)), "Sheet1", kWhere);
    EXPECT_SCHEMA_VALID(clustered);
    EXPECT_EQ(attribute(clustered, "//c:bar3DChart/c:grouping"), "clustered");
    EXPECT_EQ(attribute(clustered, "//c:view3D/c:rAngAx"), "1");
    EXPECT_FALSE(clustered.select_node("//c:serAx"));

    // A pie: its elevation, and the second slice's colour and explosion over the palette's.
    const auto pie = mg::nativeChart(read(threeDChart(0x1019, Body().u16(0).u16(0).u16(0), flat)),
                                     "Sheet1", kWhere);
    EXPECT_SCHEMA_VALID(pie);
    EXPECT_EQ(attribute(pie, "//c:view3D/c:rotX"), "15");
    EXPECT_EQ(attribute(pie, "//c:view3D/c:rotY"), "20");
    const std::string slice = "//c:pie3DChart/c:ser/c:dPt[c:idx/@val='1']";
    EXPECT_EQ(attribute(pie, slice + "/c:spPr/a:solidFill/a:srgbClr"), "204060");
    EXPECT_EQ(attribute(pie, slice + "/c:explosion"), "35");
    // The first slice keeps the palette's automatic colour and Graph's black outline.
    const std::string first = "//c:pie3DChart/c:ser/c:dPt[c:idx/@val='0']/c:spPr";
    EXPECT_EQ(attribute(pie, first + "/a:solidFill/a:srgbClr"),
              mg::hexColor(read(threeDChart(0x1019, Body().zeros(6), flat)).automaticFill(0)));
    EXPECT_EQ(attribute(pie, first + "/a:ln/a:solidFill/a:prstClr"), "black");
}

// A pie's labels placed best (the label text's placement bits) keep that place in the native
// chart, where the schema puts it.
TEST(GraphLook, PieLabelsKeepTheirPlaceInTheNativeChart) {
    Stream s;
    s.number(0, 1, 5).number(0, 2, 3);
    s.add(0x1025, Body().zeros(28).u16(9).u16(0)).begin();
    s.add(0x1027, Body().u16(4).u16(0).u16(0)).end();
    s.add(0x1014, Body().zeros(20)).begin();
    s.add(0x1019, Body().u16(0).u16(0).u16(0));
    s.add(0x1006, Body().u16(0).u16(0).u16(0xFFFD).u16(0)).begin();
    s.add(0x100C, Body().u16(0x01)).end();
    s.end().finish();
    const auto pie = mg::nativeChart(read(s), "Sheet1", kWhere);
    EXPECT_SCHEMA_VALID(pie);
    EXPECT_EQ(attribute(pie, "//c:pieChart/c:dLbls/c:dLblPos"), "bestFit");
}

TEST(GraphLook, LeftOutColumnsAndRows) {
    // Series in columns: column C (the third) is left out, and the rows after the data are
    // unused, not left out.
    Stream s;
    s.label(0, 1, "North").label(0, 2, "South").label(0, 3, "East");
    for (int row = 1; row <= 3; ++row) {
        s.label(row, 0, "Q" + std::to_string(row));
        for (int column = 1; column <= 3; ++column) {
            s.number(row, column, row + column);
        }
    }
    s.add(0x1053, Body().u16(0).u16(9));
    s.add(0x1054, Body().u16(0).u16(2).u16(3).u16(9));
    s.add(0x1055, Body().u8(0).u16(0).u16(0).u8(1));
    s.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end().finish();
    const mg::GraphChart chart = read(s);
    EXPECT_EQ(chart.sheet.excludedColumns, (std::set<int>{3}));
    EXPECT_TRUE(chart.sheet.excludedRows.empty());
    const auto layout = mg::dataLayout(chart.sheet, "Sheet1");
    ASSERT_EQ(layout.series.size(), 2u);
    EXPECT_EQ(layout.series[0].value, 2);
    EXPECT_EQ(layout.series[1].value, 4);
    EXPECT_EQ(layout.records, 4);

    // The last category left out: the categories end before it.
    Stream last;
    last.label(0, 1, "A").label(0, 2, "B").label(0, 3, "C").label(1, 0, "S");
    last.number(1, 1, 1).number(1, 2, 2).number(1, 3, 3);
    last.add(0x1054, Body().u16(0).u16(3));
    last.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end().finish();
    EXPECT_EQ(mg::dataLayout(read(last).sheet, "Sheet1").records, 3);

    // A category left out between others cannot be: a range has no gaps.
    Stream gap;
    gap.label(0, 1, "A").label(0, 2, "B").label(0, 3, "C").label(1, 0, "S");
    gap.number(1, 1, 1).number(1, 2, 2).number(1, 3, 3);
    gap.add(0x1054, Body().u16(0).u16(2).u16(3).u16(4));
    gap.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end().finish();
    EXPECT_OFFICE_ERROR(mg::nativeChart(read(gap), "Sheet1", kWhere),
                        office::ErrorCode::NotSupported,
                        std::string(kWhere) +
                            ": the chart leaves out the data sheet's column B between "
                            "categories it shows, which a native chart cannot do");

    // A record without change points says nothing.
    Stream empty;
    empty.label(0, 1, "A").label(1, 0, "S").number(1, 1, 1).add(0x1053, Body());
    empty.add(0x1014, Body().zeros(20)).begin().add(0x1017, Body().zeros(6)).end().finish();
    EXPECT_TRUE(read(empty).sheet.excludedRows.empty());
}

// Every byte of a stream rich in look records, changed in turn: the reader and the writer
// either make a chart or fail with an office error; nothing else (ASan and UBSan watch).
TEST(GraphLook, DamagedLookRecordsFailCleanly) {
    const Bytes good = lineChartWithLook().bytes();
    int failures = 0;
    for (std::size_t at = 0; at < good.size(); ++at) {
        for (const std::uint8_t value :
             {std::uint8_t{0x00}, std::uint8_t{0xFF}, std::uint8_t{0x34}}) {
            Bytes bad = good;
            bad[at] = value;
            try {
                mg::nativeChart(mg::readGraphChart(bad, kWhere), "Sheet1", kWhere);
            } catch (const office::Error& e) {
                ++failures;
                EXPECT_TRUE(e.text().starts_with(kWhere)) << e.text();
            }
        }
    }
    EXPECT_GT(failures, 0);

    // Series records inside an unclosed DataFormat block: the formats after them belong to no
    // series the reader still holds (the list of series grows under them).
    Stream open;
    open.label(0, 1, "A").label(1, 0, "S").number(1, 1, 1);
    open.add(0x1003, Body().zeros(12)).begin();
    open.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin();
    for (int i = 0; i < 5; ++i) {
        open.add(0x1007, Body().rgb(1, 2, 3 + i).u16(0).u16(0).u16(0).u16(8));
        open.add(0x1009, markerBody(2, 0, 100));
        open.add(0x1003, Body().zeros(12));
    }
    open.add(0x1014, Body().zeros(20)).begin().add(0x1018, Body().u16(0)).end();
    const mg::GraphChart chart = read(open.finish());
    ASSERT_EQ(chart.look.series.size(), 6u);
    EXPECT_EQ(mg::hexColor(chart.look.series[0].line.color), "010203");
    EXPECT_EQ(chart.look.series[5].line.mode, mg::Paint::Mode::Automatic);
}

}  // namespace
