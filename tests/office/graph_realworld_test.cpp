// Fills every chart of the decks made by other programs (../shared/realworld/pptx-charts) with
// blocks larger than their data, saves, and reads the result back: caches, ranges, the
// embedded workbook, the formatting of the series, and the validator's verdict.

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "graph_support.h"
#include "office/excel/embedded.h"
#include "office/graph/chart_part.h"
#include "support/office_error.h"

namespace {

using namespace graph_test;
namespace gd = office::graph::detail;

struct SeriesView {
    std::string plot;
    std::string name;
    std::vector<std::string> categories;
    std::vector<std::string> values;
    std::string valueRef;
};

std::vector<SeriesView> seriesOf(const pugi::xml_document& chart) {
    std::vector<SeriesView> all;
    for (pugi::xpath_node ser : chart.select_nodes("//c:plotArea/*/c:ser")) {
        SeriesView view;
        const pugi::xml_node s = ser.node();
        view.plot = s.parent().name();
        view.name = s.select_node("c:tx//c:v").node().text().get();
        const bool xy = static_cast<bool>(s.child("c:yVal"));
        const pugi::xml_node cat = s.child(xy ? "c:xVal" : "c:cat");
        const pugi::xml_node val = s.child(xy ? "c:yVal" : "c:val");
        if (pugi::xml_node cache = cat.select_node(".//c:strCache|.//c:numCache").node()) {
            view.categories = cachePoints(cache);
        } else if (pugi::xml_node multi = cat.select_node(".//c:multiLvlStrCache").node()) {
            view.categories = cachePoints(multi.child("c:lvl"));
            view.categories.resize(multi.child("c:ptCount").attribute("val").as_int());
        }
        view.values = cachePoints(val.select_node(".//c:numCache").node());
        view.valueRef = val.select_node(".//c:f").node().text().get();
        all.push_back(view);
    }
    return all;
}

struct ChartCase {
    std::string file;
    std::string part;
    std::string shape;
};

std::vector<ChartCase> chartsIn(const fs::path& folder) {
    std::vector<ChartCase> cases;
    if (!fs::exists(folder)) {
        return cases;
    }
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".pptx") {
            continue;
        }
        auto document = openDocument(entry.path().string());
        for (const ObjectSite& site : chartSites(document)) {
            cases.push_back({entry.path().string(), site.objectPart, site.shapeName});
        }
    }
    std::sort(cases.begin(), cases.end(),
              [](const auto& a, const auto& b) { return a.file + a.part < b.file + b.part; });
    return cases;
}

// A numeric first column for scatter and bubble charts, text categories elsewhere.
office::CellBlock blockFor(const pugi::xml_document& chart, int rows, int columns) {
    office::CellBlock b = block(rows, columns);
    if (!chart.select_node("//c:scatterChart|//c:bubbleChart")) {
        return b;
    }
    for (int r = 1; r < rows; ++r) {
        b.cells[r * columns].value = office::Value::number(r * 2);
    }
    return b;
}

office::CellBlock transposed(const office::CellBlock& b) {
    office::CellBlock t;
    t.rows = b.columns;
    t.columns = b.rows;
    for (int r = 0; r < t.rows; ++r) {
        for (int c = 0; c < t.columns; ++c) {
            t.cells.push_back(b.at(c, r));
        }
    }
    return t;
}

// True when the chart's series run along rows of its sheet.
bool seriesInRows(const std::vector<SeriesView>& series) {
    if (series.empty()) {
        return false;
    }
    const auto ref = gd::parseRef(series.front().valueRef);
    return ref && ref->area.rows() == 1 && ref->area.columns() > 1;
}

// Fills every chart of the cases and checks the saved result; returns the numbers of charts
// filled and refused.
void fillAll(const std::vector<ChartCase>& cases, const fs::path& folder, int& filled,
             int& refused) {
    for (const ChartCase& c : cases) {
        SCOPED_TRACE(c.file + " " + c.part);
        auto document = openDocument(c.file);
        ObjectSite site;
        for (const ObjectSite& s : chartSites(document)) {
            if (s.objectPart == c.part) {
                site = s;
            }
        }
        const auto before = seriesOf(document->package.xml(c.part));
        const bool chartEx = c.part.find("chartEx") != std::string::npos;
        if (chartEx) {
            EXPECT_OFFICE_ERROR(fill(site, block(3, 3), "x"), office::ErrorCode::NotSupported,
                                "slide " + std::to_string(site.slideIndex) + ", shape \"" +
                                    site.shapeName + "\": the chart is of a newer kind");
            ++refused;
            continue;
        }
        // Data that starts on the sheet's first line has no line of series names to paste
        // into; the pasted names become data there, which the checks below do not model.
        const auto firstRef = before.empty() ? std::nullopt : gd::parseRef(before[0].valueRef);
        if (firstRef && firstRef->area.top == 1 && before[0].name.empty()) {
            continue;
        }
        const int oldSeries = static_cast<int>(before.size());
        std::size_t points = 3;
        for (const auto& s : before) {
            points = std::max(points, s.values.size());
        }
        const int rows = 2 + static_cast<int>(points) + 1;
        pugi::xml_document original;
        original.reset(document->package.xml(c.part));
        // Bubble series take two columns each: y values and sizes.
        const int stride = original.select_node("//c:bubbleChart") ? 2 : 1;
        const int columns = 1 + stride * (oldSeries + 1);
        // The block as the engine would paste it: series run the way the chart has them.
        const auto data = blockFor(original, rows, columns);
        const bool inRows = seriesInRows(before);
        const bool titled = static_cast<bool>(original.select_node("//c:chart/c:title"));
        fill(site, inRows ? transposed(data) : data, "新标题 " + std::to_string(filled));

        const fs::path out = folder / (fs::path(c.file).stem().string() + "_" +
                                       fs::path(c.part).stem().string() + ".pptx");
        document->package.saveFile(out.string());
        auto reopened = openDocument(out.string());
        pugi::xml_document& chart = reopened->package.xml(c.part);
        const auto after = seriesOf(chart);

        // One series per pasted column, each in the plot it was in; new ones after them.
        // Old cells beyond the block stay part of the data, so there may be more.
        ASSERT_GE(static_cast<int>(after.size()), oldSeries + 1);
        std::multiset<std::string> plotsBefore, plotsAfter;
        for (const auto& s : before) {
            plotsBefore.insert(s.plot);
        }
        for (const auto& s : after) {
            plotsAfter.insert(s.plot);
        }
        for (const auto& plot : plotsBefore) {
            EXPECT_GE(plotsAfter.count(plot), plotsBefore.count(plot)) << plot;
        }
        // Every series carries the pasted values, names and categories in its caches.
        std::string lastRef;
        for (int k = 0; k <= oldSeries; ++k) {
            const int column = 1 + k * stride;
            const SeriesView* found = nullptr;
            for (const auto& s : after) {
                if (s.name == "New series " + std::to_string(column)) {
                    found = &s;
                }
            }
            ASSERT_NE(found, nullptr) << "New series " << column;
            ASSERT_GE(static_cast<int>(found->values.size()), rows - 1) << found->valueRef;
            lastRef = found->valueRef;
            for (int r = 1; r < rows; ++r) {
                EXPECT_EQ(found->values[r - 1], data.at(r, column).value.toString());
                EXPECT_EQ(found->categories.at(r - 1), data.at(r, 0).value.toString());
            }
        }
        if (titled) {
            EXPECT_EQ(gd::titleText(chart), "新标题 " + std::to_string(filled));
        }
        // The workbook behind the chart holds the same numbers at the ranges' cells.
        const auto rels = reopened->package.relationships(c.part);
        const auto* rel =
            rels.find(chart.select_node("//c:externalData").node().attribute("r:id").value());
        ASSERT_NE(rel, nullptr);
        const std::string wbPart = office::package::resolveTarget(c.part, rel->target);
        const std::string raw = reopened->package.read(wbPart);
        const auto ref = gd::parseRef(lastRef);
        ASSERT_TRUE(ref) << lastRef;
        auto sheet = openSheet({raw.begin(), raw.end()}, wbPart, ref->sheet);
        const auto cells = sheet.read(ref->area);
        ASSERT_GE(static_cast<int>(cells.size()), rows - 1) << lastRef;
        EXPECT_EQ(cells.begin()->second.value.asNumber(),
                  data.at(1, 1 + oldSeries * stride).value.asNumber());

        if (validatorPresent()) {
            const auto verdict = validateAgainst(out.string(), c.file);
            EXPECT_EQ(verdict.status, 0) << verdict.output;
        }
        ++filled;
    }
}

TEST(GraphRealWorld, FillsEveryClassicChartWithMoreSeriesAndCategories) {
    const auto cases = chartsIn(realworld("pptx-charts"));
    if (cases.empty()) {
        GTEST_SKIP() << "../shared/realworld/pptx-charts is absent";
    }
    int filled = 0;
    int refused = 0;
    fillAll(cases, scratch(), filled, refused);
    EXPECT_GT(filled, 20);
    EXPECT_GE(refused, 1);
}

TEST(GraphChartKinds, FillsEveryKindThatPptxgenjsWrites) {
    const auto cases = chartsIn(chartFixture(""));
    ASSERT_EQ(cases.size(), 13u);
    int filled = 0;
    int refused = 0;
    fillAll(cases, scratch(), filled, refused);
    EXPECT_EQ(filled, 13);
    EXPECT_EQ(refused, 0);
}

}  // namespace

namespace {

// The site of chart part `part` in a deck of the realworld folder; nothing when it is absent.
std::optional<ObjectSite> realworldChart(std::shared_ptr<OpenDocument>& document,
                                         const std::string& file, const std::string& part) {
    const std::string path = realworld("pptx-charts/" + file);
    if (!fs::exists(path)) {
        return std::nullopt;
    }
    document = openDocument(path);
    for (const ObjectSite& site : chartSites(document)) {
        if (site.objectPart == part) {
            return site;
        }
    }
    return std::nullopt;
}

pugi::xml_node seriesNamed(const pugi::xml_document& chart, const std::string& name) {
    for (pugi::xpath_node s : chart.select_nodes("//c:plotArea/*/c:ser")) {
        if (s.node().select_node("c:tx//c:v").node().text().get() == name) {
            return s.node();
        }
    }
    return {};
}

TEST(GraphRealWorld, ACombinationChartsAreaSeriesKeepsItsColumnAndPlot) {
    std::shared_ptr<OpenDocument> document;
    const auto site = realworldChart(document, "shapecrawler__021.pptx", "ppt/charts/chart3.xml");
    if (!site) {
        GTEST_SKIP() << "../shared/realworld/pptx-charts/shapecrawler__021.pptx is absent";
    }
    // The area series reads column I but is listed first, before the line series of B to H
    // and J.
    fill(*site, block(6, 11), "Shares");
    const auto& chart = document->package.xml(site->objectPart);
    const pugi::xml_node area = seriesNamed(chart, "New series 8");
    ASSERT_TRUE(area);
    EXPECT_STREQ(area.parent().name(), "c:areaChart");
    EXPECT_STREQ(area.select_node("c:val//c:f").node().text().get(),
                 "'ShareMonitor figures'!$I$11:$I$846");
    EXPECT_STREQ(area.select_node("c:spPr/a:solidFill/a:srgbClr").node().attribute("val").value(),
                 "FF6000");
    const pugi::xml_node added = seriesNamed(chart, "New series 10");
    ASSERT_TRUE(added);
    EXPECT_STREQ(added.parent().name(), "c:lineChart");
    EXPECT_STREQ(added.select_node("c:val//c:f").node().text().get(),
                 "'ShareMonitor figures'!$K$11:$K$846");
    EXPECT_EQ(chart.select_nodes("//c:areaChart/c:ser").size(), 1u);
}

TEST(GraphRealWorld, AThreeLevelChartTakesALabelledBlockOfThreeCategoryColumns) {
    std::shared_ptr<OpenDocument> document;
    const auto site =
        realworldChart(document, "python-pptx__cht-category-access.pptx", "ppt/charts/chart2.xml");
    if (!site) {
        GTEST_SKIP() << "../shared/realworld/pptx-charts/python-pptx__cht-category-access.pptx "
                        "is absent";
    }
    office::CellBlock data = block(9, 5);
    const char* headers[] = {"Region", "Country", "City"};
    for (int c = 0; c < 3; ++c) {
        data.cells[c].value = office::Value::text(headers[c]);
        for (int r = 1; r < 9; ++r) {
            data.cells[r * 5 + c].value =
                office::Value::text(std::string(headers[c]) + " " + std::to_string(r));
        }
    }
    fill(*site, data, "Cities");
    const auto& chart = document->package.xml(site->objectPart);
    EXPECT_FALSE(seriesNamed(chart, "City"));
    EXPECT_FALSE(seriesNamed(chart, "Country"));
    const pugi::xml_node first = seriesNamed(chart, "New series 3");
    ASSERT_TRUE(first);
    EXPECT_STREQ(first.select_node("c:cat/c:multiLvlStrRef/c:f").node().text().get(),
                 "Sheet1!$A$2:$C$9");
    EXPECT_STREQ(first.select_node("c:val//c:f").node().text().get(), "Sheet1!$D$2:$D$9");
    EXPECT_EQ(first.select_nodes("c:cat//c:lvl").size(), 3u);
}

}  // namespace
