// The two ways a block reaches a workbook inside a presentation: pasted into a chart's data
// sheet, and copied into an embedded table object. Both go through the workbook code, so the
// same writes give the same cells and strings; and both fill workbooks whose SpreadsheetML or
// relationship parts use a namespace prefix, writing nothing outside a declared namespace.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "graph_support.h"
#include "office/excel.h"
#include "office/excel/a1.h"
#include "office/excel/embedded.h"
#include "office/excel/number_format.h"

namespace {

using namespace graph_test;
namespace xd = office::excel::detail;
using Bytes = std::vector<std::uint8_t>;
using office::Value;

constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";

std::string prefixedFixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/prefixed/" + name;
}

Bytes partBytes(const office::package::Package& package, const std::string& part) {
    const std::string raw = package.read(part);
    return Bytes(raw.begin(), raw.end());
}

std::string describe(const xd::CellMap& cells) {
    std::string text;
    for (const auto& [pos, cell] : cells) {
        text += xd::cellName(pos.row, pos.column) + " " +
                std::to_string(static_cast<int>(cell.value.kind())) + " " + cell.value.toString() +
                " | " + cell.numberFormat + "\n";
    }
    return text;
}

xd::CellMap allCells(const Bytes& workbook) {
    return openSheet(workbook, "workbook", "").read({1, 1, 200, 50});
}

// The namespace a prefix ("" for the default) has at the element; empty when none is declared.
std::string namespaceOf(pugi::xml_node node, const std::string& prefix) {
    const std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    for (; node && node.type() == pugi::node_element; node = node.parent()) {
        if (const auto declared = node.attribute(attribute.c_str())) {
            return declared.value();
        }
    }
    return {};
}

// The elements of a part whose prefix is declared nowhere in scope, or that are in no namespace
// at all: what an office suite offers to repair.
std::vector<std::string> strayElements(const std::string& xml) {
    pugi::xml_document doc;
    if (!doc.load_string(xml.c_str())) {
        return {"(not well-formed)"};
    }
    std::vector<std::string> stray;
    std::vector<pugi::xml_node> pending{doc.document_element()};
    while (!pending.empty()) {
        const pugi::xml_node node = pending.back();
        pending.pop_back();
        const std::string name = node.name();
        const auto colon = name.find(':');
        const std::string prefix = colon == std::string::npos ? "" : name.substr(0, colon);
        if (namespaceOf(node, prefix).empty()) {
            stray.push_back(name);
        }
        for (pugi::xml_node next : node.children()) {
            if (next.type() == pugi::node_element) {
                pending.push_back(next);
            }
        }
    }
    return stray;
}

// Every SpreadsheetML and relationship part of the workbook package lies in declared namespaces.
void expectNoStrayElements(const Bytes& workbook, const std::string& what) {
    auto package = office::package::Package::openBytes(workbook, what, "workbook");
    for (const std::string& part : package.partNames()) {
        if (!part.ends_with(".xml") && !part.ends_with(".rels")) {
            continue;
        }
        EXPECT_EQ(strayElements(package.read(part)), std::vector<std::string>{})
            << what << ": " << part;
    }
}

void expectValid(const std::string& output, const std::string& input) {
    if (!validatorPresent()) {
        return;
    }
    const auto verdict = validateAgainst(output, input);
    EXPECT_EQ(verdict.status, 0) << verdict.output;
}

// The workbook part of a chart, or of an embedded object, in a saved deck.
std::string chartWorkbookPart(const office::package::Package& package, const ObjectSite& site) {
    const auto rels = package.relationships(site.objectPart);
    const auto* rel = rels.findByType("/package");
    return rel ? office::package::resolveTarget(site.objectPart, rel->target) : std::string();
}

// ---- prefixed fixtures ----

TEST(WorkbookPrefixes, ASourceWorkbookWithAPrefixReadsAsItsTwin) {
    auto app = office::excel::Application::Create();
    auto plain = app->Workbooks()->Open(prefixedFixture("source_default.xlsx"));
    auto prefixed = app->Workbooks()->Open(prefixedFixture("source_x.xlsx"));
    for (const auto& book : {plain, prefixed}) {
        auto sheet = book->Worksheets()->Item(1);
        EXPECT_EQ(sheet->Name(), "Data");
        EXPECT_EQ(sheet->Cells(2, 2)->Value().asNumber(), 182500.5);
        EXPECT_EQ(sheet->Cells(2, 2)->NumberFormat(), xd::builtinNumberFormat(44));
        EXPECT_EQ(sheet->Cells(2, 2)->Text(), " $182,500.50 ");
        // The text holds the escaped control character as the character itself.
        EXPECT_EQ(sheet->Cells(4, 1)->Value().asText(),
                  "a\x01"
                  "b");
    }
    app->Quit();
}

TEST(WorkbookPrefixes, ChartsWhoseWorkbooksUseAPrefixAreFilledInTheirWorkbooksToo) {
    const std::string deck = prefixedFixture("charts_prefixed.pptx");
    auto document = openDocument(deck);
    const auto sites = chartSites(document);
    ASSERT_EQ(sites.size(), 3u);
    for (const auto& site : sites) {
        fill(site, block(6, 4, "Row"), "Filled");
    }
    const fs::path out = scratch() / "charts.pptx";
    document->package.saveFile(out.string());
    auto reopened = openDocument(out.string());
    const auto after = chartSites(reopened);
    for (const auto& site : after) {
        const std::string part = chartWorkbookPart(reopened->package, site);
        ASSERT_FALSE(part.empty()) << site.objectPart;
        const Bytes workbook = partBytes(reopened->package, part);
        const auto cells = allCells(workbook);
        ASSERT_TRUE(cells.contains({6, 1})) << part << "\n" << describe(cells);
        EXPECT_EQ(cells.at({6, 1}).value.asText(), "Row 5") << part;
        EXPECT_EQ(cells.at({6, 4}).value.asNumber(), 53.5) << part;
        EXPECT_EQ(cells.at({1, 4}).value.asText(), "New series 3") << part;
        expectNoStrayElements(workbook, part);
    }
    // The partly prefixed workbook keeps its prefix in the parts that had one.
    const Bytes second =
        partBytes(reopened->package, chartWorkbookPart(reopened->package, after[1]));
    auto package = office::package::Package::openBytes(second, "second", "workbook");
    EXPECT_NE(package.read("xl/sharedStrings.xml").find("<ssml:si>"), std::string::npos);
    EXPECT_EQ(package.read("xl/sharedStrings.xml").find("<si>"), std::string::npos);
    expectValid(out.string(), deck);
}

// Copies the source's block A1:C4 into the deck's table object and returns the saved deck.
fs::path copyIntoObject(const std::string& source, const std::string& deck) {
    auto app = office::excel::Application::Create();
    auto from = app->Workbooks()->Open(source);
    auto document = openDocument(deck);
    const auto site = oleSite(document);
    EXPECT_TRUE(site);
    auto book = office::As<office::excel::Workbook>(office::detail::openEmbeddedWorkbook(*site));
    from->Worksheets()->Item(1)->Range("A1:C4")->Copy(book->Worksheets()->Item(1)->Range("A1"));
    book->Close();
    app->Quit();
    const fs::path out = scratch() / fs::path(deck).filename();
    document->package.saveFile(out.string());
    return out;
}

TEST(WorkbookPrefixes, TableObjectsTakeStyledBlocksWhateverThePrefixesOnEitherSide) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"source_x.xlsx", "object_default.pptx"},
        {"source_default.xlsx", "object_x.pptx"},
        {"source_x.xlsx", "object_x.pptx"},
    };
    for (const auto& [source, deck] : cases) {
        SCOPED_TRACE(source + " into " + deck);
        const fs::path out = copyIntoObject(prefixedFixture(source), prefixedFixture(deck));
        auto document = openDocument(out.string());
        const auto site = oleSite(document);
        ASSERT_TRUE(site);
        const Bytes workbook = partBytes(document->package, site->objectPart);
        expectNoStrayElements(workbook, site->objectPart);
        const auto cells = allCells(workbook);
        ASSERT_TRUE(cells.contains({2, 2})) << describe(cells);
        EXPECT_EQ(cells.at({1, 1}).value.asText(), "Region");
        EXPECT_EQ(cells.at({2, 2}).numberFormat, xd::builtinNumberFormat(44));
        EXPECT_EQ(cells.at({4, 1}).value.asText(),
                  "a\x01"
                  "b");
        // The header's bold font came along.
        auto package = office::package::Package::openBytes(workbook, "object", "workbook");
        std::string styles;
        for (const std::string& part : package.partNames()) {
            if (part.find("styles") != std::string::npos) {
                styles += package.read(part);
            }
        }
        EXPECT_NE(styles.find("b val=\"1\""), std::string::npos) << styles;
        expectValid(out.string(), prefixedFixture(deck));
    }
}

TEST(WorkbookChartServer, ASecondUpdateWritesIntoTheWorkbookTheFirstOneSaved) {
    auto document = openDocument(std::string(TABULON_FIXTURES_DIR) + "/pptx/three_charts.pptx");
    const ObjectSite site = chartSites(document).front();
    office::Clipboard::instance().set(block(4, 3, "First"));
    auto object = office::detail::openChartObject(site);
    auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
    app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
    app->Update();
    app->DataSheet()->Cells(2, 2)->SetValue(Value::number(-7));
    app->Update();
    app->Quit();
    const auto cells =
        allCells(partBytes(document->package, chartWorkbookPart(document->package, site)));
    EXPECT_EQ(cells.at({2, 2}).value.asNumber(), -7);
    EXPECT_EQ(cells.at({2, 2}).numberFormat, "0.0");
    EXPECT_EQ(cells.at({4, 1}).value.asText(), "First 3");
    EXPECT_EQ(cells.at({3, 3}).value.asNumber(), 22.5);
}

// ---- the differential suite ----

// The chart's data workbook of three_charts.pptx (a table over A1:C5), with a formula in B2 and
// a calculation chain: the workbook both paths start from.
Bytes startWorkbook() {
    auto deck = office::package::Package::openFile(
        std::string(TABULON_FIXTURES_DIR) + "/pptx/three_charts.pptx", "presentation");
    auto package = office::package::Package::openBytes(
        partBytes(deck, "ppt/embeddings/Microsoft_Excel_Worksheet1.xlsx"), "start", "workbook");
    auto& sheet = package.xml("xl/worksheets/sheet1.xml");
    pugi::xml_node b2 = sheet.select_node("//*[local-name()='c'][@r='B2']").node();
    EXPECT_TRUE(b2);
    b2.remove_attribute("t");
    b2.remove_children();
    b2.append_child("f").text().set("1+1");
    b2.append_child("v").text().set("2");
    package.markDirty("xl/worksheets/sheet1.xml");
    // The table's ref as the generator wrote it ends in a stray quote; it is mended so that the
    // table can grow.
    auto table = package.xml("xl/tables/table1.xml").document_element();
    EXPECT_EQ(std::string(table.attribute("ref").value()), "A1:C5'");
    table.attribute("ref") = "A1:C5";
    package.markDirty("xl/tables/table1.xml");
    package.write("xl/calcChain.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                  "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/"
                  "main\"><c r=\"B2\" i=\"1\"/></calcChain>");
    package.setContentType("xl/calcChain.xml",
                           "application/vnd.openxmlformats-officedocument.spreadsheetml."
                           "calcChain+xml");
    auto rels = package.relationships("xl/workbook.xml");
    rels.add("http://schemas.openxmlformats.org/officeDocument/2006/relationships/calcChain",
             "calcChain.xml");
    package.setRelationships("xl/workbook.xml", rels);
    return package.saveBytes();
}

const std::string kControlText = std::string("a\x01") + "b\x1b" + "c\xEF\xBF\xBF" + "d_x0041_";

// The block both paths write, 7 rows by 5 columns (taller and wider than the old A1:C5): a blank
// corner, a duplicate header, a text with control characters, formats 31 and 44, and a value
// over the formula cell B2.
Bytes sourceWorkbook() {
    auto sheet = openSheet(office::excel::newWorkbookBytes("Source"), "source", "Source");
    xd::CellMap cells;
    const std::vector<std::string> header = {"", "Revenue", "Q", "Q", kControlText};
    for (int c = 1; c <= 5; ++c) {
        if (!header[c - 1].empty()) {
            cells[{1, c}] = {Value::text(header[c - 1]), "General"};
        }
    }
    for (int r = 2; r <= 7; ++r) {
        cells[{r, 1}] = {Value::text("Region " + std::to_string(r - 1)), "General"};
        cells[{r, 2}] = {Value::number(182500.5 * r), xd::builtinNumberFormat(44)};
        cells[{r, 3}] = {Value::date(45000 + r), xd::builtinNumberFormat(31)};
        cells[{r, 4}] = {Value::number(r), "General"};
        cells[{r, 5}] = {Value::text(r % 2 ? kControlText : "even"), "General"};
    }
    sheet.write(cells);
    return sheet.save();
}

std::shared_ptr<office::excel::Range> sourceBlock(
    const std::shared_ptr<office::excel::Workbook>& source) {
    return source->Worksheets()->Item(1)->Range("A1:E7");
}

Bytes throughTheChart(const Bytes& start, const Bytes& source) {
    auto document = openDocument(std::string(TABULON_FIXTURES_DIR) + "/pptx/three_charts.pptx");
    const ObjectSite site = chartSites(document).front();
    const std::string part = chartWorkbookPart(document->package, site);
    document->package.write(part, std::string(start.begin(), start.end()));
    auto book = office::excel::openWorkbookFromBytes(source, "source.xlsx", nullptr);
    sourceBlock(book)->Copy();
    auto object = office::detail::openChartObject(site);
    auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
    app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
    app->Update();
    app->Quit();
    return partBytes(document->package, part);
}

Bytes throughTheTableObject(const Bytes& start, const Bytes& source) {
    auto document = openDocument(prefixedFixture("object_default.pptx"));
    const auto site = oleSite(document);
    EXPECT_TRUE(site);
    document->package.write(site->objectPart, std::string(start.begin(), start.end()));
    auto from = office::excel::openWorkbookFromBytes(source, "source.xlsx", nullptr);
    auto book = office::As<office::excel::Workbook>(office::detail::openEmbeddedWorkbook(*site));
    sourceBlock(from)->Copy(book->Worksheets()->Item(1)->Range("A1"));
    book->Close();
    return partBytes(document->package, site->objectPart);
}

// The shared-string items of a workbook as written, escapes and all.
std::multiset<std::string> stringItems(const Bytes& workbook) {
    auto package = office::package::Package::openBytes(workbook, "wb", "workbook");
    std::multiset<std::string> items;
    for (pugi::xml_node si : package.xml("xl/sharedStrings.xml").document_element().children()) {
        items.insert(office::package::nodeText(si));
    }
    return items;
}

std::string tableText(const Bytes& workbook) {
    auto package = office::package::Package::openBytes(workbook, "wb", "workbook");
    const auto table = package.xml("xl/tables/table1.xml").document_element();
    std::string text = std::string(table.attribute("ref").value()) + ":";
    for (pugi::xml_node column : office::package::child(table, "tableColumns").children()) {
        text += std::string(" ") + column.attribute("name").value();
    }
    return text;
}

TEST(WorkbookDifferential, TheChartAndTheTableObjectPathsWriteTheSameWorkbook) {
    const Bytes start = startWorkbook();
    const Bytes source = sourceWorkbook();
    const Bytes chart = throughTheChart(start, source);
    const Bytes table = throughTheTableObject(start, source);

    const auto chartCells = allCells(chart);
    EXPECT_EQ(describe(chartCells), describe(allCells(table)));
    EXPECT_EQ(stringItems(chart), stringItems(table));
    EXPECT_EQ(tableText(chart), tableText(table));

    // And what they wrote is what was meant.
    EXPECT_EQ(chartCells.at({1, 5}).value.asText(), kControlText);
    EXPECT_EQ(chartCells.at({2, 2}).value.asNumber(), 365001);
    EXPECT_EQ(chartCells.at({2, 2}).numberFormat, xd::builtinNumberFormat(44));
    EXPECT_EQ(chartCells.at({3, 3}).value.kind(), Value::Kind::Date);
    EXPECT_EQ(chartCells.at({3, 3}).numberFormat, xd::builtinNumberFormat(31));
    EXPECT_FALSE(chartCells.contains({1, 1}));
    const std::string ref = tableText(chart);
    EXPECT_EQ(ref.substr(0, ref.find(':', 3)), "A1:E7");
    for (const Bytes* workbook : {&chart, &table}) {
        auto package = office::package::Package::openBytes(*workbook, "wb", "workbook");
        const std::string sheet = package.read("xl/worksheets/sheet1.xml");
        EXPECT_EQ(sheet.find("<f>"), std::string::npos) << "the formula was overwritten";
        EXPECT_FALSE(package.has("xl/calcChain.xml"));
        const std::string strings = package.read("xl/sharedStrings.xml");
        EXPECT_NE(strings.find("a_x0001_b_x001B_c_xFFFF_d_x005F_x0041_"), std::string::npos);
        EXPECT_EQ(strings.find('\x01'), std::string::npos);
        expectNoStrayElements(*workbook, "workbook");
    }
    // Column names are unique and none is blank.
    std::set<std::string> names;
    std::string rest = ref.substr(ref.find(':', 3) + 1);
    for (std::size_t at = 0; (at = rest.find(' ')) != std::string::npos;) {
        rest = rest.substr(at + 1);
        const std::string name = rest.substr(0, rest.find(' '));
        EXPECT_FALSE(name.empty());
        EXPECT_TRUE(names.insert(name).second) << ref;
    }
    EXPECT_EQ(names.size(), 5u) << ref;
}

}  // namespace
