// The chart server's automation objects on the pptxgenjs deck: the data sheet as the engine
// uses it (two blocks in a row), charts without a title or without a workbook, and the failures.

#include <gtest/gtest.h>

#include <fstream>

#include "graph_support.h"
#include "office/compound/compound_file.h"
#include "office/excel/embedded.h"
#include "office/graph/chart_part.h"
#include "support/office_error.h"

namespace {

using namespace graph_test;
namespace gd = office::graph::detail;

std::shared_ptr<office::graph::Application> serverFor(const ObjectSite& site) {
    return office::As<office::graph::Application>(
        office::detail::openChartObject(site)->GetProperty("Application"));
}

std::vector<std::string> categoriesOf(const pugi::xml_document& chart) {
    return cachePoints(chart.select_node("//c:ser/c:cat//c:strCache").node());
}

TEST(GraphServer, ASecondSmallerBlockKeepsTheCellsOfTheFirstOutsideIt) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    fill(site, block(7, 4, "First"), "one");
    fill(site, block(3, 2, "Second"), "two");

    auto app = serverFor(site);
    auto sheet = app->DataSheet();
    EXPECT_EQ(sheet->Cells(2, 1)->Value().asText(), "Second 1");
    EXPECT_EQ(sheet->Cells(4, 1)->Value().asText(), "First 3");
    EXPECT_EQ(sheet->Cells(1, 3)->Value().asText(), "New series 2");
    EXPECT_EQ(sheet->Cells(7, 4)->Value().asNumber(), 63.5);
    const auto& chart = document->package.xml(site.objectPart);
    EXPECT_EQ(categoriesOf(chart), (std::vector<std::string>{"Second 1", "Second 2", "First 3",
                                                             "First 4", "First 5", "First 6"}));
    EXPECT_EQ(chart.select_nodes("//c:ser").size(), 3u);
    EXPECT_EQ(gd::titleText(chart), "two");
}

// Pastes `data` at the first cell, updates, and gives what is left from before the paste.
office::graph::Leftovers leftoversAfter(const ObjectSite& site, const office::CellBlock& data) {
    office::Clipboard::instance().set(data);
    auto app = serverFor(site);
    app->DataSheet()->Cells(1, 1)->Paste();
    EXPECT_TRUE(app->LeftoverData().series.empty()) << "leftovers before Update";
    app->Update();
    app->Quit();
    return app->LeftoverData();
}

TEST(GraphServer, NamesTheSeriesAndCategoriesLeftBeyondASmallerBlock) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    const auto none = leftoversAfter(site, block(7, 4, "First"));
    EXPECT_TRUE(none.series.empty());
    EXPECT_TRUE(none.categories.empty());

    const auto left = leftoversAfter(site, block(3, 2, "Second"));
    EXPECT_EQ(left.series, (std::vector<std::string>{"New series 2", "New series 3"}));
    EXPECT_EQ(left.categories,
              (std::vector<std::string>{"First 3", "First 4", "First 5", "First 6"}));

    // A block as wide but shorter: only categories are left.
    const auto rows = leftoversAfter(site, block(6, 4, "Third"));
    EXPECT_TRUE(rows.series.empty());
    EXPECT_EQ(rows.categories, (std::vector<std::string>{"First 6"}));
}

TEST(GraphServer, SetValueWritesOneCellAndGrowsTheData) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    auto app = serverFor(site);
    app->DataSheet()->Cells(6, 1)->SetValue(office::Value::text("Central"));
    app->DataSheet()->Cells(6, 2)->SetValue(office::Value::number(42));
    app->Update();
    const auto& chart = document->package.xml(site.objectPart);
    EXPECT_EQ(categoriesOf(chart).back(), "Central");
    EXPECT_EQ(cachePoints(chart.select_node("//c:ser/c:val//c:numCache").node()).back(), "42");
}

TEST(GraphServer, AChartWithoutTitleKeepsNone) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).back();
    auto app = serverFor(site);
    EXPECT_FALSE(app->Chart()->HasTitle());
    EXPECT_OFFICE_ERROR(app->Chart()->ChartTitle(), office::ErrorCode::InvalidArgument,
                        "charts.pptx: slide 13, shape \"Chart 0\": the chart has no title");
    fill(site, block(3, 3), "ignored");
    EXPECT_FALSE(document->package.xml(site.objectPart).select_node("//c:title"));
}

TEST(GraphServer, AChartWithCachedDataOnlyGetsANewEmbeddedWorkbook) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    auto& package = document->package;
    // Drop the workbook: the chart keeps only its caches.
    pugi::xml_node space = package.xml(site.objectPart).child("c:chartSpace");
    auto rels = package.relationships(site.objectPart);
    rels.remove(space.child("c:externalData").attribute("r:id").value());
    package.setRelationships(site.objectPart, rels);
    space.remove_child("c:externalData");
    package.markDirty(site.objectPart);

    auto app = serverFor(site);
    EXPECT_EQ(app->DataSheet()->Cells(2, 1)->Value().asText(), "North");
    EXPECT_EQ(app->DataSheet()->Cells(1, 3)->Value().asText(), "2024");
    EXPECT_EQ(app->DataSheet()->Cells(5, 3)->Value().asNumber(), 18);
    app->DataSheet()->Cells(5, 3)->SetValue(office::Value::number(99));
    app->Update();

    const fs::path out = scratch() / "cached.pptx";
    package.saveFile(out.string());
    auto reopened = openDocument(out.string());
    auto& chart = reopened->package.xml(site.objectPart);
    const auto newRels = reopened->package.relationships(site.objectPart);
    const auto* rel =
        newRels.find(chart.select_node("//c:externalData").node().attribute("r:id").value());
    ASSERT_NE(rel, nullptr);
    EXPECT_TRUE(rel->type.ends_with("/package"));
    const std::string part = office::package::resolveTarget(site.objectPart, rel->target);
    EXPECT_EQ(reopened->package.contentType(part),
              "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet");
    const std::string raw = reopened->package.read(part);
    auto sheet = openSheet({raw.begin(), raw.end()}, part, "Sheet1");
    const auto cells = sheet.read({1, 1, 5, 3});
    EXPECT_EQ(cells.at({2, 1}).value.asText(), "North");
    EXPECT_EQ(cells.at({5, 3}).value.asNumber(), 99);
    if (validatorPresent()) {
        const auto verdict = validateAgainst(out.string(), chartFixture("charts.pptx"));
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

// A block of many rows goes into the chart's caches and the data sheet's new rows as text
// rather than as elements; saved and read back, the chart and its workbook hold every cell of
// it, texts with markup characters included, and the file passes the validator.
TEST(GraphServer, ALargeBlockReadsBackWholeFromTheCachesAndTheWorkbook) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    constexpr int kRows = 1201;  // far more points and cells than are kept as elements
    const auto data = block(kRows, 4, "Row <\"&\">");
    fill(site, data, "Large");
    const fs::path out = scratch() / "large_block.pptx";
    document->package.saveFile(out.string());

    auto reopened = openDocument(out.string());
    const auto& chart = reopened->package.xml(site.objectPart);
    const auto categories = categoriesOf(chart);
    ASSERT_EQ(categories.size(), static_cast<std::size_t>(kRows - 1));
    EXPECT_EQ(categories.front(), "Row <\"&\"> 1");
    EXPECT_EQ(categories.back(), "Row <\"&\"> 1200");
    const auto series = chart.select_nodes("//c:ser");
    ASSERT_EQ(series.size(), 3u);
    const auto values = cachePoints(series[2].node().select_node("c:val//c:numCache").node());
    ASSERT_EQ(values.size(), static_cast<std::size_t>(kRows - 1));
    for (int r = 1; r < kRows; r += 397) {
        EXPECT_EQ(values[r - 1], office::numberText(data.at(r, 3).value.asNumber())) << r;
    }
    EXPECT_EQ(chart.select_node("//c:pt[@formatCode]"), pugi::xpath_node());
    // The text markers are gone from what was written.
    EXPECT_EQ(reopened->package.read(site.objectPart).find("<?", 5), std::string::npos);

    auto sheet = serverFor(chartSites(reopened).front())->DataSheet();
    EXPECT_EQ(sheet->Cells(2, 1)->Value().asText(), "Row <\"&\"> 1");
    EXPECT_EQ(sheet->Cells(kRows, 1)->Value().asText(), "Row <\"&\"> 1200");
    EXPECT_EQ(sheet->Cells(kRows, 4)->Value().asNumber(), data.at(kRows - 1, 3).value.asNumber());
    EXPECT_EQ(sheet->Cells(600, 2)->Value().asNumber(), data.at(599, 1).value.asNumber());
    if (validatorPresent()) {
        const auto verdict = validateAgainst(out.string(), chartFixture("charts.pptx"));
        EXPECT_EQ(verdict.status, 0) << verdict.output;
    }
}

TEST(GraphServer, FailsClearlyAfterQuitWithoutABlockAndOnAClosedDocument) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    office::Clipboard::instance().clear();
    auto app = serverFor(site);
    const std::string shape = "charts.pptx: slide 1, shape \"Chart 0\": ";
    EXPECT_OFFICE_ERROR(app->DataSheet()->Cells(1, 1)->CallMethod("Paste"),
                        office::ErrorCode::InvalidArgument,
                        shape + "nothing to paste: the clipboard holds no cells");
    EXPECT_OFFICE_ERROR(app->DataSheet()->Cells(0, 1), office::ErrorCode::InvalidArgument,
                        shape + "no data sheet cell (0, 1): rows and columns count from 1");
    EXPECT_OFFICE_ERROR(app->CallMethod("Recalculate"), office::ErrorCode::NoSuchMember,
                        "a GraphApplication has no method \"Recalculate\"");
    auto sheet = app->DataSheet();
    app->Quit();
    EXPECT_OFFICE_ERROR(sheet->Cells(1, 1)->Value(), office::ErrorCode::ObjectClosed,
                        shape + "object closed: the chart server has quit");
    auto other = serverFor(site);
    document->open = false;
    EXPECT_OFFICE_ERROR(other->Update(), office::ErrorCode::ObjectClosed,
                        "charts.pptx: object closed: the document was closed");
}

TEST(GraphServer, FillsAWorkbookKeptInAnOleObjectPart) {
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    auto& package = document->package;
    // Wrap the chart's workbook in a compound file, as some versions of Office keep it.
    auto rels = package.relationships(site.objectPart);
    const std::string id = package.xml(site.objectPart)
                               .select_node("//c:externalData")
                               .node()
                               .attribute("r:id")
                               .value();
    auto& rel = *std::find_if(rels.items().begin(), rels.items().end(),
                              [&](const auto& r) { return r.id == id; });
    const std::string xlsx = office::package::resolveTarget(site.objectPart, rel.target);
    const std::string raw = package.read(xlsx);
    const std::map<std::string, office::compound::Bytes> streams = {
        {"Package", {raw.begin(), raw.end()}},
        {"\1Ole", office::compound::Bytes(20, 0)},
        {"\2OlePres000", office::compound::Bytes(5000, 7)}};
    const office::compound::ClassId sheetId = {0x30, 0x08, 0x02, 0, 0, 0, 0, 0,
                                               0xC0, 0,    0,    0, 0, 0, 0, 0x46};
    const auto file = office::compound::create(streams, {{"", sheetId}});
    package.remove(xlsx);
    package.write("ppt/embeddings/oleObject1.bin", std::string(file.begin(), file.end()));
    package.setContentType("ppt/embeddings/oleObject1.bin",
                           "application/vnd.openxmlformats-officedocument.oleObject");
    rel.target = "../embeddings/oleObject1.bin";
    rel.type = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/oleObject";
    package.setRelationships(site.objectPart, rels);

    fill(site, block(6, 4), "wrapped");
    const std::string saved = package.read("ppt/embeddings/oleObject1.bin");
    const auto back = office::compound::File::openBytes({saved.begin(), saved.end()}, "saved");
    EXPECT_EQ(back.readStream("\1Ole"), streams.at("\1Ole"));
    EXPECT_EQ(back.classId(), sheetId);
    EXPECT_FALSE(back.hasStream("\2OlePres000"));  // it showed the old data
    const auto inner = back.readStream("Package");
    auto sheet = openSheet(inner, "wrapped", "Sheet1");
    const auto cells = sheet.read({1, 1, 6, 4});
    EXPECT_EQ(cells.at({6, 1}).value.asText(), "Cat 5");
    EXPECT_EQ(cells.at({6, 4}).value.asNumber(), 53.5);
    EXPECT_EQ(cells.at({1, 4}).value.asText(), "New series 3");
}

// A pie as an office suite writes one over cells of its workbook's third sheet, its categories
// and values lists of areas (later_sheet.xlsx, made by make_later_sheet.py, has merges on its
// first sheet and on the third).
constexpr const char* kLaterPie =
    R"(<c:chartSpace xmlns:c="http://schemas.openxmlformats.org/drawingml/2006/chart" xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"><c:chart><c:plotArea><c:pieChart><c:varyColors val="1"/><c:ser><c:idx val="0"/><c:order val="0"/><c:tx><c:strRef><c:f>Data!$B$1</c:f><c:strCache><c:ptCount val="1"/><c:pt idx="0"><c:v>Share</c:v></c:pt></c:strCache></c:strRef></c:tx><c:cat><c:strRef><c:f>(Data!$A$2:$A$3,Data!$A$5)</c:f><c:strCache><c:ptCount val="3"/><c:pt idx="0"><c:v>Q1</c:v></c:pt><c:pt idx="1"><c:v>Q2</c:v></c:pt><c:pt idx="2"><c:v>Q4</c:v></c:pt></c:strCache></c:strRef></c:cat><c:val><c:numRef><c:f>(Data!$B$2:$B$3,Data!$B$5)</c:f><c:numCache><c:formatCode>#,##0</c:formatCode><c:ptCount val="3"/><c:pt idx="0"><c:v>1000</c:v></c:pt><c:pt idx="1"><c:v>2000</c:v></c:pt><c:pt idx="2"><c:v>4000</c:v></c:pt></c:numCache></c:numRef></c:val></c:ser><c:firstSliceAngle val="0"/></c:pieChart></c:plotArea></c:chart><c:externalData r:id="rId1"><c:autoUpdate val="0"/></c:externalData></c:chartSpace>)";

std::vector<std::string> mergesOf(const office::package::Package& book, const std::string& part) {
    std::vector<std::string> refs;
    const auto sheet = book.readXml(part);
    for (pugi::xpath_node m : sheet.select_nodes("//*[local-name()='mergeCell']")) {
        refs.push_back(m.node().attribute("ref").value());
    }
    return refs;
}

// Filled with six categories, the block lands on the sheet the references name, where the merge
// it covers goes; the first and second sheets stay as they were, and the caches read the cells.
TEST(GraphServer, APieReadingALaterSheetIsFilledThereAlone) {
    const fs::path folder = scratch();
    auto document = openDocument(chartFixture("charts.pptx"));
    const ObjectSite site = chartSites(document).front();
    auto& package = document->package;
    const auto rels = package.relationships(site.objectPart);
    const std::string part =
        office::package::resolveTarget(site.objectPart, rels.findByType("/package")->target);
    const auto original =
        office::package::Package::openFile(chartFixture("later_sheet.xlsx"), "workbook");
    std::ifstream fixture(chartFixture("later_sheet.xlsx"), std::ios::binary);
    package.write(part, std::string(std::istreambuf_iterator<char>(fixture), {}));
    ASSERT_TRUE(package.xml(site.objectPart).load_string(kLaterPie));
    package.markDirty(site.objectPart);
    package.saveFile((folder / "in.pptx").string());
    fill(site, block(7, 2), "");
    package.saveFile((folder / "out.pptx").string());

    const std::string bytes = package.read(part);
    const auto book = office::package::Package::openBytes(
        std::vector<std::uint8_t>(bytes.begin(), bytes.end()), "data.xlsx", "workbook");
    for (const char* sheet : {"xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"}) {
        EXPECT_EQ(book.read(sheet), original.read(sheet)) << sheet;
    }
    EXPECT_EQ(mergesOf(book, "xl/worksheets/sheet3.xml"), std::vector<std::string>{"D10:E10"});
    const auto& chart = package.xml(site.objectPart);
    EXPECT_STREQ(chart.select_node("//c:val//c:f").node().text().get(), "Data!$B$2:$B$7");
    auto data = openSheet(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), "data", "Data");
    std::vector<std::string> cells;
    for (const auto& [pos, cell] : data.read({2, 2, 7, 2})) {
        cells.push_back(cell.value.toString());
    }
    EXPECT_EQ(cachePoints(chart.select_node("//c:val//c:numCache").node()), cells);
    EXPECT_EQ(cells.size(), 6u);
    if (validatorPresent()) {
        EXPECT_EQ(
            validateAgainst((folder / "out.pptx").string(), (folder / "in.pptx").string()).output,
            "");
    }
}

}  // namespace
