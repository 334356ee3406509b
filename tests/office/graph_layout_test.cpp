// How a pasted block lands on a chart's own layout: combination charts whose plots list their
// series in another order than their columns, multi-level categories with and without labels
// above them, per-series x columns, skipped columns, pies without a label column, colours of
// added series, dates under the category axis, and references that span the whole sheet. Each
// chart is written here as chart XML and put in place of the first chart of the pptxgenjs deck,
// so that it is filled through the chart server with the deck's embedded workbook.

#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "graph_support.h"
#include "office/graph/chart_part.h"

namespace {

using namespace graph_test;
namespace gd = office::graph::detail;

// One series of a test chart: its plot and references ("" for none) and its fill colour.
struct Ser {
    std::string plot;  // "barChart", "lineChart", ...
    int idx = 0;
    std::string name, cat, val, xVal, yVal, size;
    std::string fill = "<a:srgbClr val=\"112233\"/>";
};

std::string ref(const char* role, const std::string& kind, const std::string& formula) {
    if (formula.empty()) {
        return "";
    }
    return std::string("<c:") + role + "><c:" + kind + "><c:f>" + formula + "</c:f></c:" + kind +
           "></c:" + role + ">";
}

std::string serXml(const Ser& s) {
    std::string xml = "<c:ser><c:idx val=\"" + std::to_string(s.idx) + "\"/><c:order val=\"" +
                      std::to_string(s.idx) + "\"/>" + ref("tx", "strRef", s.name) +
                      "<c:spPr><a:solidFill>" + s.fill + "</a:solidFill></c:spPr>";
    const auto cat = gd::parseRef(s.cat);
    const std::string catKind = cat && cat->area.columns() > 1 ? "multiLvlStrRef" : "strRef";
    xml += ref("cat", catKind, s.cat) + ref("val", "numRef", s.val) +
           ref("xVal", "numRef", s.xVal) + ref("yVal", "numRef", s.yVal) +
           ref("bubbleSize", "numRef", s.size);
    return xml + "</c:ser>";
}

// A chart part with the series in the plots as listed (plots in the order they first appear)
// and one category axis with the given number format.
std::string chartXml(const std::vector<Ser>& series, const std::string& axisFormat =
                                                         "<c:numFmt formatCode=\"General\" "
                                                         "sourceLinked=\"0\"/>") {
    std::vector<std::string> plots;
    for (const Ser& s : series) {
        if (std::find(plots.begin(), plots.end(), s.plot) == plots.end()) {
            plots.push_back(s.plot);
        }
    }
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><c:chartSpace "
        "xmlns:c=\"http://schemas.openxmlformats.org/drawingml/2006/chart\" "
        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
        "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
        "<c:date1904 val=\"0\"/><c:chart><c:autoTitleDeleted val=\"1\"/><c:plotArea><c:layout/>";
    for (const std::string& plot : plots) {
        xml += "<c:" + plot + ">";
        if (plot == "barChart") {
            xml += "<c:barDir val=\"col\"/><c:grouping val=\"clustered\"/>";
        } else if (plot == "lineChart" || plot == "areaChart") {
            xml += "<c:grouping val=\"standard\"/>";
        } else if (plot == "scatterChart") {
            xml += "<c:scatterStyle val=\"lineMarker\"/>";
        }
        xml += "<c:varyColors val=\"0\"/>";
        for (const Ser& s : series) {
            if (s.plot == plot) {
                xml += serXml(s);
            }
        }
        if (plot == "lineChart") {
            xml += "<c:marker val=\"1\"/>";
        }
        if (plot != "pieChart") {
            xml += "<c:axId val=\"10\"/><c:axId val=\"20\"/>";
        }
        xml += "</c:" + plot + ">";
    }
    if (series.front().plot != "pieChart") {
        const bool xy = series.front().plot == "scatterChart";
        xml += std::string(xy ? "<c:valAx>" : "<c:catAx>") +
               "<c:axId val=\"10\"/><c:scaling><c:orientation val=\"minMax\"/></c:scaling>"
               "<c:delete val=\"0\"/><c:axPos val=\"b\"/>" +
               axisFormat +
               "<c:majorTickMark val=\"out\"/><c:minorTickMark val=\"none\"/>"
               "<c:tickLblPos val=\"nextTo\"/><c:crossAx val=\"20\"/>" +
               (xy ? "<c:crossBetween val=\"midCat\"/></c:valAx>" : "</c:catAx>") +
               "<c:valAx><c:axId val=\"20\"/><c:scaling><c:orientation val=\"minMax\"/>"
               "</c:scaling><c:delete val=\"0\"/><c:axPos val=\"l\"/><c:majorTickMark "
               "val=\"out\"/><c:minorTickMark val=\"none\"/><c:tickLblPos val=\"nextTo\"/>"
               "<c:crossAx val=\"10\"/><c:crossBetween val=\"between\"/></c:valAx>";
    }
    return xml +
           "</c:plotArea><c:plotVisOnly val=\"1\"/></c:chart><c:externalData "
           "r:id=\"rId1\"><c:autoUpdate val=\"0\"/></c:externalData></c:chartSpace>";
}

// The deck with its first chart replaced by `xml`, and that chart's site.
struct Deck {
    std::shared_ptr<OpenDocument> document;
    ObjectSite site;

    explicit Deck(const std::string& xml) : document(openDocument(chartFixture("charts.pptx"))) {
        site = chartSites(document).front();
        pugi::xml_document& chart = document->package.xml(site.objectPart);
        EXPECT_TRUE(chart.load_string(xml.c_str()));
        document->package.markDirty(site.objectPart);
    }
    pugi::xml_document& chart() { return document->package.xml(site.objectPart); }

    office::graph::Leftovers fill(const office::CellBlock& data) {
        office::Clipboard::instance().set(data);
        auto app = office::As<office::graph::Application>(
            office::detail::openChartObject(site)->GetProperty("Application"));
        app->DataSheet()->Cells(1, 1)->Paste();
        app->Update();
        app->Quit();
        return app->LeftoverData();
    }

    // Saves the deck and runs the validator on it.
    void validate(const std::string& name) {
        const fs::path out = scratch() / name;
        document->package.saveFile(out.string());
        if (validatorPresent()) {
            const auto verdict = validateAgainst(out.string(), chartFixture("charts.pptx"));
            EXPECT_EQ(verdict.status, 0) << verdict.output;
        }
    }
};

std::string formula(pugi::xml_node ser, const char* role) {
    return ser.child(role).first_child().child("c:f").text().get();
}

std::string nameOf(pugi::xml_node ser) {
    return ser.select_node("c:tx//c:v").node().text().get();
}

std::string fillOf(pugi::xml_node ser) {
    return office::package::nodeText(ser.child("c:spPr").child("a:solidFill"));
}

// The series of the chart in data sheet order (by their value columns).
std::vector<pugi::xml_node> seriesByColumn(const pugi::xml_document& chart) {
    std::vector<pugi::xml_node> all;
    for (pugi::xpath_node s : chart.select_nodes("//c:plotArea/*/c:ser")) {
        all.push_back(s.node());
    }
    std::stable_sort(all.begin(), all.end(), [](pugi::xml_node a, pugi::xml_node b) {
        const auto ra = gd::parseRef(formula(a, a.child("c:yVal") ? "c:yVal" : "c:val"));
        const auto rb = gd::parseRef(formula(b, b.child("c:yVal") ? "c:yVal" : "c:val"));
        return ra->area.left < rb->area.left;
    });
    return all;
}

std::string column(int c) {
    return gd::columnName(c);
}

// The combination chart of a share monitor: an area series in column I listed first, line
// series in B to H and J after it.
std::vector<Ser> shareMonitor() {
    std::vector<Ser> series;
    const auto one = [](const std::string& plot, int c) {
        Ser s;
        s.plot = plot;
        s.idx = c - 2;
        s.name = "Sheet1!$" + column(c) + "$1";
        s.cat = "Sheet1!$A$2:$A$5";
        s.val = "Sheet1!$" + column(c) + "$2:$" + column(c) + "$5";
        s.fill = "<a:srgbClr val=\"0000" + std::to_string(10 + c) + "\"/>";
        return s;
    };
    series.push_back(one("areaChart", 9));
    for (int c : {2, 3, 4, 5, 6, 7, 8, 10}) {
        series.push_back(one("lineChart", c));
    }
    return series;
}

TEST(GraphLayout, CombinationSeriesKeepTheirPlotColumnAndFormattingWithMoreSeries) {
    Deck deck(chartXml(shareMonitor()));
    deck.fill(block(6, 12));
    const auto series = seriesByColumn(deck.chart());
    ASSERT_EQ(series.size(), 11u);
    for (int k = 0; k < 11; ++k) {
        const std::string c = column(k + 2);
        SCOPED_TRACE(c);
        EXPECT_EQ(formula(series[k], "c:val"), "Sheet1!$" + c + "$2:$" + c + "$6");
        EXPECT_EQ(nameOf(series[k]), "New series " + std::to_string(k + 1));
        const std::string plot = series[k].parent().name();
        EXPECT_EQ(plot, k == 7 ? "c:areaChart" : "c:lineChart");
        if (k < 9) {
            EXPECT_NE(fillOf(series[k]).find("0000" + std::to_string(12 + k)), std::string::npos)
                << fillOf(series[k]);
        }
    }
    // The added series follow the series of the last column, in its plot, with new indexes.
    EXPECT_EQ(series[9].child("c:idx").attribute("val").as_int(), 9);
    EXPECT_EQ(series[10].child("c:idx").attribute("val").as_int(), 10);
    EXPECT_EQ(deck.chart().select_nodes("//c:areaChart/c:ser").size(), 1u);
    deck.validate("more.pptx");
}

TEST(GraphLayout, CombinationSeriesKeepTheirPlotAndColumnWithFewerSeries) {
    Deck deck(chartXml(shareMonitor()));
    deck.fill(block(6, 10, "Old"));
    const auto left = deck.fill(block(4, 4, "New"));
    const auto series = seriesByColumn(deck.chart());
    ASSERT_EQ(series.size(), 9u);
    EXPECT_EQ(nameOf(series[0]), "New series 1");
    EXPECT_EQ(nameOf(series[7]), "New series 8");  // from the first block, beyond the second
    EXPECT_EQ(std::string(series[7].parent().name()), "c:areaChart");
    EXPECT_EQ(formula(series[7], "c:val"), "Sheet1!$I$2:$I$6");
    EXPECT_EQ(cachePoints(series[7].select_node("c:val//c:numCache").node()),
              (std::vector<std::string>{"18.5", "28.5", "38.5", "48.5", "58.5"}));
    EXPECT_EQ(left.series,
              (std::vector<std::string>{"New series 4", "New series 5", "New series 6",
                                        "New series 7", "New series 8", "New series 9"}));
    EXPECT_EQ(left.categories, (std::vector<std::string>{"Old 4", "Old 5"}));
    deck.validate("fewer.pptx");
}

// A block whose first `levels` columns are categories: an outer level that changes every
// second row, inner levels on every row.
office::CellBlock levelBlock(int levels, int series, bool labelled) {
    office::CellBlock b = block(5, levels + series);
    for (int c = 0; c < levels; ++c) {
        b.cells[c].value =
            labelled ? office::Value::text("Level " + std::to_string(c + 1)) : office::Value();
        for (int r = 1; r < 5; ++r) {
            const bool outerRepeat = levels > 1 && c == 0 && r % 2 == 0;
            b.cells[r * b.columns + c].value =
                outerRepeat
                    ? office::Value()
                    : office::Value::text("L" + std::to_string(c + 1) + "-" + std::to_string(r));
        }
    }
    for (int c = levels; c < b.columns; ++c) {
        b.cells[c].value = office::Value::text("S" + std::to_string(c - levels + 1));
    }
    return b;
}

std::vector<Ser> twoLevelChart() {
    std::vector<Ser> series;
    for (int c : {3, 4}) {
        Ser s;
        s.plot = "barChart";
        s.idx = c - 3;
        s.name = "Sheet1!$" + column(c) + "$1";
        s.cat = "Sheet1!$A$2:$B$5";
        s.val = "Sheet1!$" + column(c) + "$2:$" + column(c) + "$5";
        series.push_back(s);
    }
    return series;
}

TEST(GraphLayout, MultiLevelCategoriesComeFromLabelledAndUnlabelledCategoryColumns) {
    for (int levels : {1, 2, 3}) {
        for (bool labelled : {true, false}) {
            SCOPED_TRACE(std::to_string(levels) + (labelled ? " labelled" : " unlabelled"));
            Deck deck(chartXml(twoLevelChart()));
            deck.fill(levelBlock(levels, 3, labelled));
            const auto series = seriesByColumn(deck.chart());
            ASSERT_EQ(series.size(), 3u);
            const std::string last = column(levels);
            for (int k = 0; k < 3; ++k) {
                EXPECT_EQ(nameOf(series[k]), "S" + std::to_string(k + 1));
                const std::string c = column(levels + 1 + k);
                EXPECT_EQ(formula(series[k], "c:val"), "Sheet1!$" + c + "$2:$" + c + "$5");
                EXPECT_EQ(formula(series[k], "c:cat"),
                          levels == 1 ? "Sheet1!$A$2:$A$5" : "Sheet1!$A$2:$" + last + "$5");
            }
            const pugi::xml_node multi = series[0].child("c:cat").child("c:multiLvlStrRef");
            if (levels == 1) {
                EXPECT_FALSE(multi);
                EXPECT_EQ(cachePoints(series[0].select_node("c:cat//c:strCache").node()),
                          (std::vector<std::string>{"L1-1", "L1-2", "L1-3", "L1-4"}));
                continue;
            }
            ASSERT_TRUE(multi);
            const auto lvls = multi.child("c:multiLvlStrCache").children("c:lvl");
            EXPECT_EQ(std::distance(lvls.begin(), lvls.end()), levels);
            // The innermost level first; the outer level has a label every second row.
            const pugi::xml_node inner = multi.child("c:multiLvlStrCache").child("c:lvl");
            const auto innerPoints = inner.children("c:pt");
            EXPECT_EQ(std::distance(innerPoints.begin(), innerPoints.end()), 4);
            const auto outerPoints =
                multi.child("c:multiLvlStrCache").last_child().children("c:pt");
            EXPECT_EQ(std::distance(outerPoints.begin(), outerPoints.end()), 2);
            EXPECT_STREQ(inner.first_child().child("c:v").text().get(),
                         ("L" + std::to_string(levels) + "-1").c_str());
            deck.validate("levels.pptx");
        }
    }
}

std::vector<std::string> fillsOf(const pugi::xml_document& chart) {
    std::vector<std::string> fills;
    for (pugi::xml_node s : seriesByColumn(chart)) {
        fills.push_back(fillOf(s));
    }
    return fills;
}

std::vector<Ser> accentChart(int count) {
    std::vector<Ser> series;
    for (int k = 0; k < count; ++k) {
        Ser s;
        s.plot = "barChart";
        s.idx = k;
        const std::string c = column(k + 2);
        s.name = "Sheet1!$" + c + "$1";
        s.cat = "Sheet1!$A$2:$A$5";
        s.val = "Sheet1!$" + c + "$2:$" + c + "$5";
        s.fill = "<a:schemeClr val=\"accent" + std::to_string(k + 1) + "\"/>";
        series.push_back(s);
    }
    return series;
}

TEST(GraphLayout, AddedSeriesTakeShadedAccentsAfterTheSixth) {
    for (const auto& [from, to] : {std::pair{1, 8}, std::pair{3, 12}}) {
        SCOPED_TRACE(std::to_string(from) + " to " + std::to_string(to));
        Deck deck(chartXml(accentChart(from)));
        deck.fill(block(5, to + 1));
        const auto fills = fillsOf(deck.chart());
        ASSERT_EQ(fills.size(), static_cast<std::size_t>(to));
        EXPECT_EQ(std::set<std::string>(fills.begin(), fills.end()).size(), fills.size());
        EXPECT_EQ(fills[5], "<a:solidFill><a:schemeClr val=\"accent6\"/></a:solidFill>");
        EXPECT_EQ(fills[6],
                  "<a:solidFill><a:schemeClr val=\"accent1\"><a:lumMod val=\"60000\"/>"
                  "</a:schemeClr></a:solidFill>");
        if (to > 11) {
            EXPECT_EQ(fills[11],
                      "<a:solidFill><a:schemeClr val=\"accent6\"><a:lumMod val=\"60000\"/>"
                      "</a:schemeClr></a:solidFill>");
        }
        deck.validate("colours.pptx");
    }
}

TEST(GraphLayout, AddedSeriesFollowTheChartsColourStyle) {
    Deck deck(chartXml(accentChart(1)));
    auto& package = deck.document->package;
    package.write("ppt/charts/colors1.xml",
                  "<cs:colorStyle xmlns:cs=\"http://schemas.microsoft.com/office/drawing/2012/"
                  "chartStyle\" xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
                  "meth=\"cycle\" id=\"12\"><a:schemeClr val=\"accent2\"/><a:srgbClr "
                  "val=\"00FF00\"/><cs:variation/><cs:variation><a:lumMod val=\"75000\"/>"
                  "</cs:variation></cs:colorStyle>");
    package.setContentType("ppt/charts/colors1.xml",
                           "application/vnd.ms-office.chartcolorstyle+xml");
    auto rels = package.relationships(deck.site.objectPart);
    rels.add("http://schemas.microsoft.com/office/2011/relationships/chartColorStyle",
             "colors1.xml");
    package.setRelationships(deck.site.objectPart, rels);

    deck.fill(block(5, 5));
    const auto fills = fillsOf(deck.chart());
    ASSERT_EQ(fills.size(), 4u);
    EXPECT_EQ(fills[1], "<a:solidFill><a:srgbClr val=\"00FF00\"/></a:solidFill>");
    EXPECT_EQ(fills[2],
              "<a:solidFill><a:schemeClr val=\"accent2\"><a:lumMod val=\"75000\"/>"
              "</a:schemeClr></a:solidFill>");
    EXPECT_EQ(fills[3],
              "<a:solidFill><a:srgbClr val=\"00FF00\"><a:lumMod val=\"75000\"/></a:srgbClr>"
              "</a:solidFill>");
}

office::CellBlock dateBlock() {
    office::CellBlock b = block(5, 3);
    for (int r = 1; r < 5; ++r) {
        b.cells[r * b.columns].value = office::Value::date(45658 + 31 * (r - 1));
        b.cells[r * b.columns].numberFormat = "d-mmm-yy";
    }
    return b;
}

TEST(GraphLayout, DateCategoriesLinkAnUnchosenAxisFormatAndKeepAChosenOne) {
    Deck general(chartXml(accentChart(2)));
    general.fill(dateBlock());
    const pugi::xml_node cache = general.chart().select_node("//c:cat/c:numRef/c:numCache").node();
    EXPECT_STREQ(cache.child("c:formatCode").text().get(), "d-mmm-yy");
    EXPECT_EQ(cachePoints(cache), (std::vector<std::string>{"45658", "45689", "45720", "45751"}));
    const pugi::xml_node axis = general.chart().select_node("//c:catAx/c:numFmt").node();
    EXPECT_STREQ(axis.attribute("formatCode").value(), "d-mmm-yy");
    EXPECT_STREQ(axis.attribute("sourceLinked").value(), "1");
    general.validate("general.pptx");

    Deck chosen(chartXml(accentChart(2), "<c:numFmt formatCode=\"mmm yyyy\" sourceLinked=\"0\"/>"));
    chosen.fill(dateBlock());
    const pugi::xml_node kept = chosen.chart().select_node("//c:catAx/c:numFmt").node();
    EXPECT_STREQ(kept.attribute("formatCode").value(), "mmm yyyy");
    EXPECT_STREQ(kept.attribute("sourceLinked").value(), "0");

    // Text categories leave the axis alone.
    Deck text(chartXml(accentChart(2)));
    text.fill(block(4, 3));
    EXPECT_STREQ(
        text.chart().select_node("//c:catAx/c:numFmt").node().attribute("sourceLinked").value(),
        "0");
}

TEST(GraphLayout, ScatterSeriesWithTheirOwnXColumnsEachTakeTheBlocksXColumn) {
    std::vector<Ser> series;
    for (int k = 0; k < 2; ++k) {
        Ser s;
        s.plot = "scatterChart";
        s.idx = k;
        const std::string x = column(1 + 2 * k);
        const std::string y = column(2 + 2 * k);
        s.name = "Sheet1!$" + y + "$1";
        s.xVal = "Sheet1!$" + x + "$2:$" + x + "$5";
        s.yVal = "Sheet1!$" + y + "$2:$" + y + "$5";
        series.push_back(s);
    }
    Deck deck(chartXml(series));
    office::CellBlock data = block(5, 4);
    for (int r = 1; r < 5; ++r) {
        data.cells[r * 4].value = office::Value::number(r * 3);
    }
    deck.fill(data);
    const auto all = seriesByColumn(deck.chart());
    ASSERT_EQ(all.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const std::string x = column(1 + 2 * k);
        const std::string y = column(2 + 2 * k);
        EXPECT_EQ(formula(all[k], "c:xVal"), "Sheet1!$" + x + "$2:$" + x + "$5");
        EXPECT_EQ(formula(all[k], "c:yVal"), "Sheet1!$" + y + "$2:$" + y + "$5");
        EXPECT_EQ(nameOf(all[k]), "New series " + std::to_string(k + 1));
        EXPECT_EQ(cachePoints(all[k].select_node("c:xVal//c:numCache").node()),
                  (std::vector<std::string>{"3", "6", "9", "12"}));
        EXPECT_EQ(cachePoints(all[k].select_node("c:yVal//c:numCache").node()).front(),
                  data.at(1, k + 1).value.toString());
    }
    deck.validate("scatter.pptx");
}

TEST(GraphLayout, SeriesThatSkipAColumnKeepTheirColumnsAndTheFirstSeries) {
    std::vector<Ser> series = accentChart(2);
    for (int k = 0; k < 2; ++k) {
        const std::string c = column(k + 3);  // C and D: column B is skipped
        series[k].name = "Sheet1!$" + c + "$1";
        series[k].val = "Sheet1!$" + c + "$2:$" + c + "$5";
    }
    Deck deck(chartXml(series));
    deck.fill(block(5, 4));
    const auto all = seriesByColumn(deck.chart());
    ASSERT_EQ(all.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        const std::string c = column(k + 3);
        EXPECT_EQ(nameOf(all[k]), "New series " + std::to_string(k + 1));
        EXPECT_EQ(formula(all[k], "c:val"), "Sheet1!$" + c + "$2:$" + c + "$5");
        EXPECT_EQ(formula(all[k], "c:cat"), "Sheet1!$A$2:$A$5");
    }
}

TEST(GraphLayout, APieWithoutALabelColumnTakesTheBlocksLabels) {
    Ser pie;
    pie.plot = "pieChart";
    pie.name = "Sheet1!$B$1";
    pie.val = "Sheet1!$B$2:$B$5";
    Deck deck(chartXml({pie}));
    deck.fill(block(5, 2, "Slice"));
    const auto all = seriesByColumn(deck.chart());
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(formula(all[0], "c:cat"), "Sheet1!$A$2:$A$5");
    EXPECT_EQ(cachePoints(all[0].select_node("c:cat//c:strCache").node()),
              (std::vector<std::string>{"Slice 1", "Slice 2", "Slice 3", "Slice 4"}));
    EXPECT_EQ(cachePoints(all[0].select_node("c:val//c:numCache").node()),
              (std::vector<std::string>{"11.5", "21.5", "31.5", "41.5"}));
    deck.validate("pie.pptx");
}

TEST(GraphLayout, AReferenceOverTheWholeSheetIsReadOnlyAsFarAsItsCells) {
    std::vector<Ser> series = accentChart(2);
    series[0].cat = series[1].cat = "Sheet1!$A$2:$A$1048576";
    series[0].val = "Sheet1!$B$2:$B$1048576";
    series[1].val = "Sheet1!$C$2:$C$1048576";
    Deck deck(chartXml(series));
    deck.fill(block(4, 3));
    const auto all = seriesByColumn(deck.chart());
    ASSERT_EQ(all.size(), 2u);
    // The deck's workbook holds four categories below its header; the block three.
    EXPECT_EQ(formula(all[1], "c:val"), "Sheet1!$C$2:$C$5");
    EXPECT_EQ(all[1].select_node("c:val//c:ptCount").node().attribute("val").as_int(), 4);
}

}  // namespace

std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos;
         at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The chart as the helpers read it: the part keeps its own prefixes, which are put back to
// "c:" and "a:" here.
pugi::xml_document withPlainPrefixes(const pugi::xml_document& chart) {
    std::string xml = std::regex_replace(office::package::toXml(chart),
                                         std::regex("<(/?)([A-Za-z]\\w*[\\s/>])"), "<$1c:$2");
    xml =
        replaced(replaced(replaced(xml, "<dr:", "<a:"), "</dr:", "</a:"), "xmlns:dr=", "xmlns:a=");
    pugi::xml_document doc;
    doc.load_string(replaced(xml, "xmlns=", "xmlns:c=").c_str());
    return doc;
}

TEST(GraphLayout, AChartWrittenWithOtherPrefixesFillsAsAnyOther) {
    std::string xml = chartXml(accentChart(2));
    xml = replaced(replaced(replaced(xml, "<c:", "<"), "</c:", "</"), "xmlns:c=", "xmlns=");
    xml =
        replaced(replaced(replaced(xml, "<a:", "<dr:"), "</a:", "</dr:"), "xmlns:a=", "xmlns:dr=");
    ASSERT_EQ(xml.find("<c:"), std::string::npos);
    Deck deck(xml);
    deck.fill(block(5, 4));
    const auto plain = withPlainPrefixes(deck.chart());
    const auto series = seriesByColumn(plain);
    ASSERT_EQ(series.size(), 3u);
    EXPECT_EQ(nameOf(series[2]), "New series 3");
    EXPECT_EQ(formula(series[2], "c:val"), "Sheet1!$D$2:$D$5");
    EXPECT_EQ(fillOf(series[2]), "<a:solidFill><a:schemeClr val=\"accent3\"/></a:solidFill>");
    deck.validate("prefixes.pptx");
}

TEST(GraphLayout, DropsTextThatXmlCannotHoldFromCachesAndTitle) {
    Deck deck(chartXml(accentChart(1)));
    office::CellBlock data = block(3, 2);
    data.cells[1].value = office::Value::text("Sales\x01 2025");
    data.cells[2].value = office::Value::text("North\x0b");
    deck.fill(data);
    const auto series = seriesByColumn(deck.chart());
    ASSERT_EQ(series.size(), 1u);
    EXPECT_EQ(nameOf(series[0]), "Sales 2025");
    EXPECT_EQ(cachePoints(series[0].select_node("c:cat//c:strCache").node()).front(), "North");
    // The chart part as it is saved: no character that an XML reader refuses, raw or escaped.
    const std::string saved = office::package::toXml(deck.chart());
    for (const char* bad : {"\x01", "\x0b", "&#1;", "&#11;", "&#x1;", "&#xb;"}) {
        EXPECT_EQ(saved.find(bad), std::string::npos) << bad;
    }
}

TEST(GraphLayout, AScatterChartsTextColumnStaysASeriesAndItsXValuesOneLevel) {
    std::vector<Ser> series;
    for (int k = 0; k < 2; ++k) {
        Ser s;
        s.plot = "scatterChart";
        s.idx = k;
        const std::string y = column(2 + k);
        s.name = "Sheet1!$" + y + "$1";
        s.xVal = "Sheet1!$A$2:$A$5";
        s.yVal = "Sheet1!$" + y + "$2:$" + y + "$5";
        series.push_back(s);
    }
    Deck deck(chartXml(series));
    office::CellBlock data = block(5, 3);
    for (int r = 1; r < 5; ++r) {
        data.cells[r * 3].value = office::Value::number(r);
        data.cells[r * 3 + 1].value = office::Value::text("n/a");
    }
    deck.fill(data);
    const auto all = seriesByColumn(deck.chart());
    ASSERT_EQ(all.size(), 2u);
    EXPECT_FALSE(deck.chart().select_node("//c:multiLvlStrRef"));
    EXPECT_EQ(formula(all[0], "c:xVal"), "Sheet1!$A$2:$A$5");
    EXPECT_EQ(formula(all[0], "c:yVal"), "Sheet1!$B$2:$B$5");
    EXPECT_EQ(nameOf(all[0]), "New series 1");
}
