// The chart-part engine on small hand-written parts: sheet references, caches written from
// cells (blanks, number formats, dates in the 1904 system, multi-level categories), titles.

#include <gtest/gtest.h>

#include "graph_support.h"
#include "office/graph/chart_part.h"

namespace {

namespace gd = office::graph::detail;
using graph_test::cachePoints;

TEST(GraphRefs, QuotesSheetNamesThatNeedItAndReadsThemBack) {
    EXPECT_EQ(gd::formatRef("Sheet1", {2, 2, 9, 2}), "Sheet1!$B$2:$B$9");
    EXPECT_EQ(gd::formatRef("My Sheet", {2, 2, 2, 2}), "'My Sheet'!$B$2");
    EXPECT_EQ(gd::formatRef("O'Brien", {1, 1, 1, 3}), "'O''Brien'!$A$1:$C$1");
    EXPECT_EQ(gd::formatRef("A1", {1, 1, 1, 1}), "'A1'!$A$1");
    const auto ref = gd::parseRef("'O''Brien'!$A$1:$AB$10");
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->sheet, "O'Brien");
    EXPECT_EQ(ref->area, (gd::Area{1, 1, 10, 28}));
    EXPECT_FALSE(gd::parseRef("(Sheet1!$A$1,Sheet1!$A$3)"));
    EXPECT_FALSE(gd::parseRef("[1]Sheet1!$A$1"));
    EXPECT_FALSE(gd::parseRef("Sheet1!$A$0"));
}

constexpr const char* kChart = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><c:date1904 val="0"/><c:chart><c:title><c:tx><c:rich><a:bodyPr/><a:p><a:r><a:rPr b="1" sz="1800"/><a:t>Old</a:t></a:r><a:r><a:rPr i="1"/><a:t> title</a:t></a:r></a:p><a:p><a:r><a:t>second line</a:t></a:r></a:p></c:rich></c:tx></c:title><c:autoTitleDeleted val="1"/><c:plotArea><c:barChart><c:barDir val="col"/><c:ser><c:idx val="0"/><c:order val="0"/><c:tx><c:strRef><c:f>Sheet1!$B$1</c:f></c:strRef></c:tx><c:spPr><a:solidFill><a:srgbClr val="FF0000"/></a:solidFill></c:spPr><c:cat><c:strRef><c:f>Sheet1!$A$2:$A$3</c:f></c:strRef></c:cat><c:val><c:numRef><c:f>Sheet1!$B$2:$B$3</c:f></c:numRef></c:val></c:ser><c:axId val="1"/><c:axId val="2"/></c:barChart></c:plotArea></c:chart></c:chartSpace>)";

gd::CellData cell(office::Value v, std::string format = "General") {
    return gd::CellData{std::move(v), std::move(format)};
}

TEST(GraphChartPart, WritesBlanksAsMissingPointsAndKeepsNumberFormats) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(kChart));
    auto data = gd::readChart(doc, "t");
    auto layout = gd::layoutFromRanges(data.series);
    ASSERT_TRUE(layout);
    gd::CellMap cells;
    cells[{1, 2}] = cell(office::Value::text("Sales"));
    cells[{1, 3}] = cell(office::Value::text("Cost"));
    cells[{2, 1}] = cell(office::Value::text("Jan"));
    cells[{3, 1}] = cell(office::Value::text("Feb"));
    cells[{4, 1}] = cell(office::Value::text("Mar"));
    cells[{2, 2}] = cell(office::Value::number(1.5), "0.00");
    cells[{4, 2}] = cell(office::Value::number(0.25), "0%");  // B3 stays blank
    cells[{2, 3}] = cell(office::Value::date(45000), "d-mmm-yy");
    gd::growLayout(*layout, 4, 3, cells);
    gd::writeChart(doc, data, *layout, cells, true);

    const auto series = doc.select_nodes("//c:ser");
    ASSERT_EQ(series.size(), 2u);
    const pugi::xml_node first = series[0].node();
    const pugi::xml_node cache = first.select_node("c:val/c:numRef/c:numCache").node();
    EXPECT_STREQ(first.select_node("c:val/c:numRef/c:f").node().text().get(), "Sheet1!$B$2:$B$4");
    EXPECT_STREQ(cache.child("c:formatCode").text().get(), "0.00");
    EXPECT_EQ(cachePoints(cache), (std::vector<std::string>{"1.5", "", "0.25"}));
    EXPECT_STREQ(cache.find_child_by_attribute("c:pt", "idx", "2").attribute("formatCode").value(),
                 "0%");
    // The new series: its own index, order and accent colour; the date in the 1904 system.
    const pugi::xml_node second = series[1].node();
    EXPECT_EQ(second.child("c:idx").attribute("val").as_int(), 1);
    EXPECT_EQ(second.child("c:order").attribute("val").as_int(), 1);
    EXPECT_STREQ(second.select_node("c:spPr//a:schemeClr").node().attribute("val").value(),
                 "accent2");
    EXPECT_STREQ(first.select_node("c:spPr//a:srgbClr").node().attribute("val").value(), "FF0000");
    EXPECT_EQ(cachePoints(second.select_node("c:val//c:numCache").node()),
              (std::vector<std::string>{"43538", "", ""}));
    EXPECT_STREQ(doc.select_node("//c:date1904").node().attribute("val").value(), "1");
    EXPECT_STREQ(second.select_node("c:tx//c:v").node().text().get(), "Cost");
    EXPECT_EQ(cachePoints(second.select_node("c:cat//c:strCache").node()),
              (std::vector<std::string>{"Jan", "Feb", "Mar"}));
}

TEST(GraphChartPart, MakesCategoriesMultiLevelOnlyWhenTheBlockHasSeveralLabelColumns) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(kChart));
    auto data = gd::readChart(doc, "t");
    auto layout = *gd::layoutFromRanges(data.series);
    gd::CellMap cells;
    cells[{1, 3}] = cell(office::Value::text("Sales"));
    cells[{2, 1}] = cell(office::Value::text("2024"));
    cells[{2, 2}] = cell(office::Value::text("Q1"));
    cells[{3, 2}] = cell(office::Value::text("Q2"));
    cells[{2, 3}] = cell(office::Value::number(5));
    cells[{3, 3}] = cell(office::Value::number(6));
    gd::growLayout(layout, 3, 3, cells);
    gd::writeChart(doc, data, layout, cells, false);
    ASSERT_EQ(doc.select_nodes("//c:ser").size(), 1u);
    const pugi::xml_node multi = doc.select_node("//c:cat/c:multiLvlStrRef").node();
    ASSERT_TRUE(multi);
    EXPECT_STREQ(multi.child("c:f").text().get(), "Sheet1!$A$2:$B$3");
    const pugi::xml_node inner = multi.child("c:multiLvlStrCache").child("c:lvl");
    EXPECT_EQ(cachePoints(inner.parent()).size(), 2u);
    EXPECT_STREQ(inner.first_child().child("c:v").text().get(), "Q1");
    EXPECT_STREQ(inner.next_sibling().first_child().child("c:v").text().get(), "2024");

    // Numbers down the first column: a numeric, single-level category range.
    pugi::xml_document flat;
    ASSERT_TRUE(flat.load_string(kChart));
    auto flatData = gd::readChart(flat, "t");
    auto flatLayout = *gd::layoutFromRanges(flatData.series);
    gd::CellMap numbers;
    numbers[{2, 1}] = cell(office::Value::number(2019));
    numbers[{3, 1}] = cell(office::Value::number(2020));
    numbers[{2, 2}] = cell(office::Value::number(1));
    gd::growLayout(flatLayout, 3, 2, numbers);
    gd::writeChart(flat, flatData, flatLayout, numbers, false);
    EXPECT_TRUE(flat.select_node("//c:cat/c:numRef"));
    EXPECT_FALSE(flat.select_node("//c:multiLvlStrRef"));
}

TEST(GraphChartPart, ReplacesTheTitleKeepingItsFirstRunsFormatting) {
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(kChart));
    EXPECT_TRUE(gd::hasTitle(doc));
    EXPECT_EQ(gd::titleText(doc), "Old title\nsecond line");
    gd::setTitleText(doc, "销售 & <Umsatz>");
    EXPECT_EQ(gd::titleText(doc), "销售 & <Umsatz>");
    const auto runs = doc.select_nodes("//c:title//a:r");
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_STREQ(runs[0].node().child("a:rPr").attribute("sz").value(), "1800");
    EXPECT_STREQ(doc.select_node("//c:autoTitleDeleted").node().attribute("val").value(), "0");
    gd::setTitleText(doc, "");
    EXPECT_EQ(gd::titleText(doc), "");
}

// A part written with a default namespace for charts, another prefix for DrawingML and the
// Strict URIs is read and filled as any other, at a size written as elements and at one held
// as text until the part is saved: the tree reads back the same, and new elements take the
// part's own prefixes.
TEST(GraphChartPart, FillsAPartOfOtherPrefixesAtBothSizes) {
    std::string xml = kChart;
    for (auto [from, to] :
         {std::pair<std::string, std::string>{"<c:", "<"},
          {"</c:", "</"},
          {"<a:", "<d:"},
          {"</a:", "</d:"},
          {"xmlns:a=", "xmlns:d="},
          {"xmlns:c=", "xmlns="},
          {"schemas.openxmlformats.org/drawingml/2006", "purl.oclc.org/ooxml/drawingml"}}) {
        for (auto at = xml.find(from); at != std::string::npos; at = xml.find(from, at)) {
            xml.replace(at, from.size(), to);
        }
    }
    for (const int count : {3, 300}) {
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(xml.c_str()));
        auto data = gd::readChart(doc, "t");
        auto layout = gd::layoutFromRanges(data.series);
        ASSERT_TRUE(layout);
        gd::CellMap cells;
        cells[{1, 2}] = cell(office::Value::text("Sales"));
        cells[{1, 3}] = cell(office::Value::text("Cost"));
        for (int row = 2; row < count + 2; ++row) {
            cells[{row, 1}] = cell(office::Value::text("c" + std::to_string(row)));
            cells[{row, 2}] = cell(office::Value::number(row));
            cells[{row, 3}] = cell(office::Value::number(-row));
        }
        gd::growLayout(*layout, count + 1, 3, cells);
        gd::writeChart(doc, data, *layout, cells, false);

        auto reread = gd::readChart(doc, "t");
        ASSERT_EQ(reread.series.size(), 2u);
        const auto back = gd::cellsFromCaches(reread, *gd::layoutFromRanges(reread.series));
        for (const auto& [pos, expected] : cells) {
            ASSERT_TRUE(back.find(pos)) << count << " " << pos.row << "," << pos.column;
            EXPECT_EQ(back.find(pos)->value.toString(), expected.value.toString());
        }
        const std::string written = office::package::toXml(doc);
        EXPECT_EQ(written.find("c:"), std::string::npos);
        EXPECT_NE(written.find("<d:schemeClr val=\"accent2\"/>"), std::string::npos);
    }
}

// Charts as an office suite writes them (# marks the plot): a scatter whose second series has no
// data yet; a column chart whose series name no cells, their data from the sheet's first row on.
constexpr const char* kChartOf =
    R"(<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><c:chart><c:plotArea><c:layout/>#<c:valAx><c:axId val="20"/><c:scaling><c:orientation val="minMax"/></c:scaling><c:delete val="0"/><c:axPos val="l"/><c:crossAx val="10"/></c:valAx></c:plotArea></c:chart></c:chartSpace>)";
constexpr const char* kScatter =
    R"(<c:scatterChart><c:scatterStyle val="lineMarker"/><c:varyColors val="0"/><c:ser><c:idx val="0"/><c:order val="0"/><c:tx><c:strRef><c:f>Sheet1!$B$1</c:f><c:strCache><c:ptCount val="1"/><c:pt idx="0"><c:v>Y</c:v></c:pt></c:strCache></c:strRef></c:tx><c:spPr><a:ln><a:solidFill><a:schemeClr val="accent1"/></a:solidFill></a:ln></c:spPr><c:marker><c:symbol val="circle"/></c:marker><c:xVal><c:numRef><c:f>Sheet1!$A$2:$A$3</c:f><c:numCache><c:formatCode>General</c:formatCode><c:ptCount val="2"/><c:pt idx="0"><c:v>1</c:v></c:pt><c:pt idx="1"><c:v>2</c:v></c:pt></c:numCache></c:numRef></c:xVal><c:yVal><c:numRef><c:f>Sheet1!$B$2:$B$3</c:f><c:numCache><c:formatCode>General</c:formatCode><c:ptCount val="2"/><c:pt idx="0"><c:v>5</c:v></c:pt><c:pt idx="1"><c:v>6</c:v></c:pt></c:numCache></c:numRef></c:yVal><c:smooth val="0"/></c:ser><c:ser><c:idx val="1"/><c:order val="1"/><c:spPr><a:ln><a:solidFill><a:schemeClr val="accent2"/></a:solidFill></a:ln></c:spPr><c:marker><c:symbol val="none"/></c:marker><c:smooth val="0"/></c:ser><c:axId val="10"/><c:axId val="20"/></c:scatterChart><c:valAx><c:axId val="10"/><c:scaling><c:orientation val="minMax"/></c:scaling><c:delete val="0"/><c:axPos val="b"/><c:crossAx val="20"/></c:valAx>)";
constexpr const char* kUnnamed =
    R"(<c:barChart><c:barDir val="col"/><c:grouping val="clustered"/><c:varyColors val="0"/><c:ser><c:idx val="0"/><c:order val="0"/><c:invertIfNegative val="0"/><c:cat><c:strRef><c:f>Sheet1!$A$1:$A$2</c:f><c:strCache><c:ptCount val="2"/><c:pt idx="0"><c:v>a</c:v></c:pt><c:pt idx="1"><c:v>b</c:v></c:pt></c:strCache></c:strRef></c:cat><c:val><c:numRef><c:f>Sheet1!$B$1:$B$2</c:f><c:numCache><c:formatCode>General</c:formatCode><c:ptCount val="2"/><c:pt idx="0"><c:v>1</c:v></c:pt><c:pt idx="1"><c:v>2</c:v></c:pt></c:numCache></c:numRef></c:val></c:ser><c:ser><c:idx val="1"/><c:order val="1"/><c:invertIfNegative val="0"/><c:cat><c:strRef><c:f>Sheet1!$A$1:$A$2</c:f></c:strRef></c:cat><c:val><c:numRef><c:f>Sheet1!$C$1:$C$2</c:f></c:numRef></c:val></c:ser><c:gapWidth val="150"/><c:axId val="10"/><c:axId val="20"/></c:barChart><c:catAx><c:axId val="10"/><c:scaling><c:orientation val="minMax"/></c:scaling><c:delete val="0"/><c:axPos val="b"/><c:crossAx val="20"/></c:catAx>)";

// Filled with a block (the deck unlinked from its workbook: the caches are the data), every
// series is named by the header row and takes the rows below in the elements its kind allows.
TEST(GraphChartKinds, EmptyScatterSeriesAndSeriesWithoutNamesTakeTheBlock) {
    const auto folder = graph_test::scratch();
    for (const auto& [name, plot] : {std::pair{"scatter", kScatter}, {"bar", kUnnamed}}) {
        const std::string in = (folder / name).string() + ".pptx", out = in + ".out.pptx";
        auto deck = graph_test::openDocument(graph_test::chartFixture("charts.pptx"));
        const auto site = graph_test::chartSites(deck).front();
        std::string xml = kChartOf;
        ASSERT_TRUE(deck->package.xml(site.objectPart)
                        .load_string(xml.replace(xml.find('#'), 1, plot).c_str()));
        deck->package.markDirty(site.objectPart);
        deck->package.saveFile(in);
        graph_test::fill(site, graph_test::block(4, 3), "T");
        deck->package.saveFile(out);
        const auto series = deck->package.xml(site.objectPart).select_nodes("//c:ser");
        ASSERT_EQ(series.size(), 2u) << name;
        for (int k = 0; k < 2; ++k) {
            const std::string n = std::to_string(k + 1),
                              roles = plot == kScatter ? "xVal yVal" : "cat val";
            const auto at = [&](std::string path) {
                return cachePoints(series[k].node().select_node(path.c_str()).node());
            };
            EXPECT_EQ(at("c:tx//c:strCache"), std::vector<std::string>{"New series " + n}) << name;
            EXPECT_EQ(at("c:" + roles.substr(0, roles.find(' ')) + "//c:strCache"),
                      (std::vector<std::string>{"Cat 1", "Cat 2", "Cat 3"}))
                << name;
            EXPECT_EQ(at("c:" + roles.substr(roles.find(' ') + 1) + "//c:numCache")[2],
                      "3" + n + ".5")
                << name;
        }
        if (graph_test::validatorPresent()) {
            EXPECT_EQ(graph_test::validateAgainst(out, in).output, "") << name;
        }
    }
}

// A pie as PowerPoint writes one: four slices, each with its own accent and a white outline.
std::string pieOfFour() {
    std::string points;
    for (int i = 0; i < 4; ++i) {
        points += "<c:dPt><c:idx val=\"" + std::to_string(i) +
                  "\"/><c:bubble3D val=\"0\"/><c:spPr><a:solidFill><a:schemeClr val=\"accent" +
                  std::to_string(i + 1) +
                  "\"/></a:solidFill><a:ln><a:solidFill><a:schemeClr "
                  "val=\"lt1\"/></a:solidFill></a:ln></c:spPr></c:dPt>";
    }
    return R"(<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><c:chart><c:plotArea><c:pieChart><c:varyColors val="1"/><c:ser><c:idx val="0"/><c:order val="0"/><c:tx><c:strRef><c:f>Sheet1!$B$1</c:f></c:strRef></c:tx>)" +
           points +
           R"(<c:cat><c:strRef><c:f>Sheet1!$A$2:$A$5</c:f></c:strRef></c:cat><c:val><c:numRef><c:f>Sheet1!$B$2:$B$5</c:f></c:numRef></c:val></c:ser><c:firstSliceAngle val="0"/></c:pieChart></c:plotArea></c:chart></c:chartSpace>)";
}

// Filled with six categories, the two new slices follow the chart's colour style (its bases,
// then their variation) or, without one, the accents after the four; outlines as the last.
TEST(GraphChartPart, NewPieSlicesTakeTheNextColours) {
    pugi::xml_document style;
    ASSERT_TRUE(style.load_string(
        R"(<cs:colorStyle xmlns:cs="http://schemas.microsoft.com/office/drawing/2012/chartStyle" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" meth="cycle" id="10"><a:schemeClr val="accent6"/><a:schemeClr val="accent5"/><a:schemeClr val="accent4"/><a:schemeClr val="accent3"/><cs:variation/><cs:variation><a:lumMod val="60000"/></cs:variation></cs:colorStyle>)"));
    for (const pugi::xml_node colours : {pugi::xml_node(), style.document_element()}) {
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(pieOfFour().c_str()));
        auto data = gd::readChart(doc, "t");
        auto layout = gd::layoutFromRanges(data.series);
        ASSERT_TRUE(layout);
        gd::CellMap cells;
        for (int r = 2; r <= 7; ++r) {
            cells[{r, 1}] = cell(office::Value::text("Q" + std::to_string(r - 1)));
            cells[{r, 2}] = cell(office::Value::number(r));
        }
        gd::growLayout(*layout, 7, 2, cells);
        gd::writeChart(doc, data, *layout, cells, false, colours);
        std::vector<std::string> fills;
        for (pugi::xpath_node dPt : doc.select_nodes("//c:dPt")) {
            const pugi::xml_node clr = dPt.node().select_node("c:spPr/a:solidFill/*").node();
            fills.push_back(std::string(clr.attribute("val").value()) +
                            clr.child("a:lumMod").attribute("val").value());
            EXPECT_TRUE(dPt.node().select_node("c:spPr/a:ln//a:schemeClr[@val='lt1']"));
        }
        const std::vector<std::string> expected =
            colours ? std::vector<std::string>{"accent1", "accent2",      "accent3",
                                               "accent4", "accent660000", "accent560000"}
                    : std::vector<std::string>{"accent1", "accent2", "accent3",
                                               "accent4", "accent5", "accent6"};
        EXPECT_EQ(fills, expected);
    }
}

// A mmm-yy date column with one text cell: text categories, each as the column shows it; all
// dates in one format: date categories whose axis takes it; in two formats: the axis keeps its.
TEST(GraphChartPart, CategoriesShowTheCellsTextsAndTheAxisTheirCommonFormat) {
    for (const std::string odd : {"text", "same", "other"}) {
        pugi::xml_document doc;
        std::string xml = kChart;
        xml.replace(xml.find("</c:barChart>"), 13,
                    "</c:barChart><c:dateAx><c:axId val=\"1\"/><c:numFmt formatCode=\"General\" "
                    "sourceLinked=\"1\"/></c:dateAx>");
        ASSERT_TRUE(doc.load_string(xml.c_str()));
        auto data = gd::readChart(doc, "t");
        auto layout = gd::layoutFromRanges(data.series);
        gd::CellMap cells;
        cells[{2, 1}] = cell(office::Value::date(38718), "mmm-yy");  // 2006-01-01
        cells[{3, 1}] = odd == "text" ? cell(office::Value::text("Total"))
                                      : cell(office::Value::date(38749),
                                             odd == "same" ? "mmm-yy" : "yyyy-mm-dd");
        cells[{2, 2}] = cell(office::Value::number(1234.5), "#,##0");
        gd::writeChart(doc, data, *layout, cells, false);
        const pugi::xml_node cat = doc.select_node("//c:ser/c:cat").node();
        const std::string axis =
            doc.select_node("//c:dateAx/c:numFmt/@formatCode").attribute().value();
        if (odd == "text") {
            EXPECT_EQ(cachePoints(cat.select_node("c:strRef/c:strCache").node()),
                      (std::vector<std::string>{"Jan-06", "Total"}));
        } else {
            EXPECT_EQ(cachePoints(cat.select_node("c:numRef/c:numCache").node()),
                      (std::vector<std::string>{"38718", "38749"}));
        }
        EXPECT_EQ(axis, odd == "same" ? "mmm-yy" : "General") << odd;
    }
}

}  // namespace
