// One workbook model for every workbook: a chart's data workbook and an embedded table object are
// read and written by the workbook code. The same writes through the chart path and through the
// table-object path give the same cells and strings; workbooks with a namespace prefix, sheet
// entries without a relationship id, text that XML cannot hold and binary workbooks are handled
// on both paths.

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "graph_support.h"
#include "office/excel.h"
#include "office/excel/a1.h"
#include "office/excel/embedded.h"
#include "office/excel/number_format.h"
#include "support/office_error.h"

namespace {

using namespace graph_test;
namespace xd = office::excel::detail;
using Bytes = std::vector<std::uint8_t>;
using office::Value;

std::string prefixedFixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/prefixed/" + name;
}

// The cells as text, one line each: position, kind, value and number format, so that two maps
// compare by meaning and a mismatch prints both sides.
std::string describe(const xd::CellMap& cells) {
    std::string text;
    for (const auto& [pos, cell] : cells) {
        text += xd::cellName(pos.row, pos.column) + " " +
                std::to_string(static_cast<int>(cell.value.kind())) + " " + cell.value.toString() +
                " | " + cell.numberFormat + "\n";
    }
    return text;
}

// The workbook part of an embedded workbook package, as text.
std::string partText(const Bytes& workbook, const std::string& part) {
    auto package = office::package::Package::openBytes(workbook, "wb", "workbook");
    return package.has(part) ? package.read(part) : std::string();
}

std::shared_ptr<office::excel::Workbook> openObject(const ObjectSite& site) {
    return office::As<office::excel::Workbook>(office::detail::openEmbeddedWorkbook(site));
}

// ---- number formats ----

TEST(WorkbookNumberFormats, LookUpExcelsTextsAndTheStandardsSpellings) {
    for (int id = 0; id <= 49; ++id) {
        const std::string code = xd::builtinNumberFormat(id);
        if (code.empty()) {
            continue;
        }
        // The locale formats share texts (27 and 36 alike): the first id of a text is found.
        const int found = xd::builtinNumberFormatId(code);
        EXPECT_LE(found, id) << code;
        EXPECT_EQ(xd::builtinNumberFormat(found), code);
    }
    EXPECT_EQ(xd::builtinNumberFormatId("#,##0 ;(#,##0)"), 37);
    EXPECT_EQ(xd::builtinNumberFormatId("#,##0 ;[Red](#,##0)"), 38);
    EXPECT_EQ(xd::builtinNumberFormatId("#,##0.00;(#,##0.00)"), 39);
    EXPECT_EQ(xd::builtinNumberFormatId("#,##0.00;[Red](#,##0.00)"), 40);
    EXPECT_EQ(xd::builtinNumberFormatId("mmss.0"), 47);
    EXPECT_EQ(xd::builtinNumberFormat(47), "mm:ss.0");
    EXPECT_EQ(xd::builtinNumberFormatId("0.000"), -1);
    EXPECT_EQ(xd::builtinNumberFormatId(""), -1);
    // The locale formats are rendered, but a code is never looked up as one of them.
    EXPECT_FALSE(xd::builtinNumberFormat(31).empty());
    EXPECT_LT(xd::builtinNumberFormatId(xd::builtinNumberFormat(31)), 50);
}

TEST(WorkbookNumberFormats, AccountingCellsShowTheirFormat) {
    EXPECT_EQ(xd::formatValue(Value::number(182500.5), xd::builtinNumberFormat(44)),
              " $182,500.50 ");
}

// ---- A1 references ----

TEST(WorkbookA1, ReadsAndSpellsCellsAndAreas) {
    EXPECT_EQ(xd::cellName(3, 28), "AB3");
    EXPECT_EQ(xd::cellName(3, 28, true), "$AB$3");
    EXPECT_EQ(xd::areaName({2, 2, 2, 2}), "B2");
    EXPECT_EQ(xd::areaName({1, 1, 9, 3}), "A1:C9");
    EXPECT_EQ(xd::parseArea("$C$9:a1"), (xd::Area{1, 1, 9, 3}));
    EXPECT_EQ(xd::parseArea("XFD1048576"), (xd::Area{1048576, 16384, 1048576, 16384}));
    EXPECT_FALSE(xd::parseArea("XFE1"));
    EXPECT_FALSE(xd::parseArea("A1048577"));
    EXPECT_FALSE(xd::parseArea("A0"));
    EXPECT_FALSE(xd::parseArea("A1:"));
    EXPECT_FALSE(xd::parseArea("Sheet1"));
}

// ---- a workbook written from scratch through SheetCells ----

office::excel::SheetCells newSheet(const std::string& name = "Data") {
    return openSheet(office::excel::newWorkbookBytes(name), "new", name);
}

TEST(WorkbookSheetCells, ANewWorkbookHoldsWhatIsWrittenWithItsFormats) {
    auto sheet = newSheet("Q&A <1>");
    EXPECT_EQ(sheet.sheetName(), "Q&A <1>");
    xd::CellMap cells;
    cells[{1, 1}] = {Value::text("Region"), "General"};
    cells[{2, 2}] = {Value::number(182500.5), xd::builtinNumberFormat(44)};
    cells[{3, 2}] = {Value::date(45000), xd::builtinNumberFormat(31)};
    cells[{4, 3}] = {Value::number(0.25), "0.0%"};
    cells[{5, 1}] = {Value::boolean(true), "General"};
    sheet.write(cells);
    const Bytes saved = sheet.save();
    auto back = openSheet(saved, "saved", "");
    EXPECT_EQ(describe(back.read({1, 1, 10, 10})), describe(cells));
    // Built-in formats keep their ids; only the custom one is added.
    const std::string styles = partText(saved, "xl/styles.xml");
    EXPECT_NE(styles.find("numFmtId=\"44\""), std::string::npos) << styles;
    EXPECT_NE(styles.find("numFmtId=\"31\""), std::string::npos) << styles;
    EXPECT_NE(styles.find("formatCode=\"0.0%\""), std::string::npos) << styles;
}

// Many new strings go into the shared strings part as one text in the tree; they read back in
// their order, with the characters XML cannot hold, spaces and markup kept, also after strings
// added by a second save of the same workbook.
TEST(WorkbookSheetCells, ManyNewStringsReadBackInTheirOrderAcrossTwoSaves) {
    auto sheet = newSheet();
    xd::CellMap cells;
    const std::vector<std::string> special = {" lead",  "trail ", "a\nb", "ctrl \x01 _x0041_",
                                              "<&>\"'", "?>"};
    for (int i = 0; i < 600; ++i) {
        const std::string text = i < 6 ? special[i] : "Item " + std::to_string(i);
        cells[{i + 1, 1}] = {Value::text(text), "General"};
    }
    xd::CellMap first(cells.begin(), cells.find({301, 1}));
    xd::CellMap second(cells.find({301, 1}), cells.end());
    second[{1, 2}] = {Value::text("small"), "General"};
    cells[{1, 2}] = second[{1, 2}];
    sheet.write(first);
    const Bytes once = sheet.save();
    EXPECT_EQ(describe(openSheet(once, "once", "").read({1, 1, 700, 2})), describe(first));
    sheet.write(second);
    const Bytes twice = sheet.save();
    EXPECT_EQ(describe(openSheet(twice, "twice", "").read({1, 1, 700, 2})), describe(cells));
    const std::string strings = partText(twice, "xl/sharedStrings.xml");
    EXPECT_EQ(strings.find("<?", 5), std::string::npos) << "no marker is left in the part";
}

TEST(WorkbookSheetCells, ReadsOnlyTheAreaAndWritesBlanksAsEmptyCells) {
    auto sheet = newSheet();
    sheet.write({{{1, 1}, {Value::number(1), "General"}},
                 {{2, 2}, {Value::number(2), "General"}},
                 {{3, 3}, {Value::number(3), "General"}}});
    EXPECT_EQ(sheet.read({2, 2, 3, 2}).size(), 1u);
    sheet.write({{{2, 2}, {Value(), "General"}}});
    auto back = openSheet(sheet.save(), "saved", "");
    const auto cells = back.read({1, 1, 5, 5});
    EXPECT_EQ(cells.size(), 2u);
    EXPECT_FALSE(cells.contains({2, 2}));
}

TEST(WorkbookSheetCells, AFormatTheWorkbookHasLeavesItsStylesAsTheyAre) {
    auto first = newSheet();
    first.write({{{1, 1}, {Value::number(0.5), "0.0%"}}});
    const Bytes once = first.save();
    auto second = openSheet(once, "once", "");
    second.write(
        {{{2, 1}, {Value::number(0.25), "0.0%"}}, {{3, 1}, {Value::number(2), "General"}}});
    const Bytes twice = second.save();
    EXPECT_EQ(partText(twice, "xl/styles1.xml"), partText(once, "xl/styles1.xml"));
    EXPECT_EQ(openSheet(twice, "twice", "").read({2, 1, 2, 1}).at({2, 1}).numberFormat, "0.0%");
}

TEST(WorkbookSheetCells, WritesOnlyTheCellsInsideTheAreas) {
    xd::CellMap cells;
    for (int r = 1; r <= 4; ++r) {
        for (int c = 1; c <= 4; ++c) {
            cells[{r, c}] = {Value::number(r * 10 + c), "General"};
        }
    }
    auto sheet = newSheet();
    sheet.write(cells, {{2, 2, 3, 3}, {4, 4, 4, 4}, {9, 9, 9, 9}});
    auto back = openSheet(sheet.save(), "saved", "");
    const auto written = back.read({1, 1, 10, 10});
    std::set<xd::CellPos> positions;
    for (const auto& [pos, cell] : written) {
        positions.insert(pos);
        EXPECT_EQ(cell.value.asNumber(), pos.row * 10 + pos.column);
    }
    EXPECT_EQ(positions, (std::set<xd::CellPos>{{2, 2}, {2, 3}, {3, 2}, {3, 3}, {4, 4}}));
}

TEST(WorkbookSheetCells, KeepsTheVisibleAreaAsARange) {
    auto sheet = newSheet();
    EXPECT_FALSE(sheet.visibleArea());
    sheet.setVisibleArea({1, 1, 1, 1});
    sheet.setVisibleArea({1, 1, 6, 5});
    const Bytes saved = sheet.save();
    EXPECT_EQ(openSheet(saved, "saved", "").visibleArea(), (xd::Area{1, 1, 6, 5}));
    const std::string workbook = partText(saved, "xl/workbook.xml");
    EXPECT_NE(workbook.find("<oleSize ref=\"A1:E6\"/>"), std::string::npos) << workbook;
}

// ---- text that XML cannot hold ----

TEST(WorkbookEscapes, ControlCharactersGoOutEscapedAndComeBackAsThemselves) {
    const std::string text = std::string("a\x01") + "b\x1b" + "c\xEF\xBF\xBF" + "d_x0041_e_x00";
    auto sheet = newSheet();
    sheet.write({{{1, 1}, {Value::text(text), "General"}}});
    const Bytes saved = sheet.save();
    const std::string strings = partText(saved, "xl/sharedStrings.xml");
    EXPECT_NE(strings.find("a_x0001_b_x001B_c_xFFFF_d_x005F_x0041_e_x00"), std::string::npos)
        << strings;
    for (char c : strings) {
        const auto u = static_cast<unsigned char>(c);
        EXPECT_TRUE(u >= 0x20 || c == '\n' || c == '\r' || c == '\t') << static_cast<int>(u);
    }
    EXPECT_EQ(strings.find("\xEF\xBF\xBF"), std::string::npos);
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(strings.c_str()));
    EXPECT_EQ(openSheet(saved, "saved", "").read({1, 1, 1, 1}).at({1, 1}).value.asText(), text);
}

// A reference to a character XML cannot hold ("&#1;", as some writers put it) reads as that
// character: the workbook's parts keep it as an escape instead of dropping it.
TEST(WorkbookEscapes, AReferenceToAControlCharacterReadsAsThatCharacter) {
    auto package =
        office::package::Package::openBytes(office::excel::newWorkbookBytes("S"), "wb", "workbook");
    std::string sheet = package.read("xl/worksheets/sheet1.xml");
    const auto data = sheet.find("<sheetData/>");
    ASSERT_NE(data, std::string::npos) << sheet;
    sheet.replace(data, 12,
                  "<sheetData><row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>a&#1;b"
                  "</t></is></c></row></sheetData>");
    package.write("xl/worksheets/sheet1.xml", sheet);
    auto cells = office::excel::SheetCells(std::move(package), "S");
    EXPECT_EQ(cells.read({1, 1, 1, 1}).at({1, 1}).value.asText(),
              "a\x01"
              "b");
}

TEST(WorkbookEscapes, EscapedSurrogatePairsAreOneCharacter) {
    auto package =
        office::package::Package::openBytes(office::excel::newWorkbookBytes("S"), "wb", "workbook");
    auto& sheet = package.xml("xl/worksheets/sheet1.xml");
    const std::string row =
        "<row r=\"1\"><c r=\"A1\" t=\"inlineStr\"><is><t>_xD83D__xDE00_|_xD800_</t></is></c>"
        "</row>";
    ASSERT_TRUE(sheet.document_element().child("sheetData").append_buffer(row.data(), row.size()));
    package.markDirty("xl/worksheets/sheet1.xml");
    auto cells = office::excel::SheetCells(std::move(package), "S").read({1, 1, 1, 1});
    // A lone surrogate is no character: it stays as written.
    EXPECT_EQ(cells.at({1, 1}).value.asText(), "\xF0\x9F\x98\x80|_xD800_");
}

// ---- sheet entries without a relationship id ----

Bytes withGhostSheet(const Bytes& workbook) {
    auto package = office::package::Package::openBytes(workbook, "wb", "workbook");
    auto& doc = package.xml("xl/workbook.xml");
    auto sheets = office::package::child(doc.document_element(), "sheets");
    auto ghost = sheets.prepend_child("sheet");
    ghost.append_attribute("name") = "Ghost";
    ghost.append_attribute("sheetId") = 9;
    ghost.append_attribute("r:id") = "";
    package.markDirty("xl/workbook.xml");
    return package.saveBytes();
}

TEST(WorkbookGhostSheet, AnEntryWithAnEmptyRelationshipIdIsASheetWithoutCells) {
    std::ifstream in(prefixedFixture("source_default.xlsx"), std::ios::binary);
    const Bytes source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Bytes ghost = withGhostSheet(source);
    auto book = office::excel::openWorkbookFromBytes(ghost, "ghost.xlsx", nullptr);
    ASSERT_EQ(book->Sheets()->Count(), 2);
    EXPECT_EQ(book->Sheets()->Item(1)->Name(), "Ghost");
    EXPECT_EQ(book->Worksheets()->Count(), 1);
    EXPECT_EQ(book->Worksheets()->Item(1)->Name(), "Data");
    // The data sheet of a chart and the first sheet of a table object pass over it.
    auto sheet = openSheet(ghost, "ghost.xlsx", "Ghost");
    EXPECT_EQ(sheet.sheetName(), "Data");
    EXPECT_EQ(sheet.read({1, 1, 1, 1}).at({1, 1}).value.asText(), "Region");
}

// ---- binary workbooks ----

// A package whose main document is a binary workbook part.
Bytes binaryWorkbook() {
    auto package =
        office::package::Package::openBytes(office::excel::newWorkbookBytes("S"), "wb", "workbook");
    package.write("xl/workbook.bin", std::string(64, '\x01'));
    package.setContentType("xl/workbook.bin",
                           "application/vnd.ms-excel.sheet.binary.macroEnabled.main");
    office::package::Relationships rels;
    rels.add("http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument",
             "xl/workbook.bin");
    package.setRelationships("", rels);
    return package.saveBytes();
}

void expectRefusedAsBinary(const std::function<void()>& open) {
    try {
        open();
        ADD_FAILURE() << "a binary workbook was opened";
    } catch (const office::Error& error) {
        EXPECT_EQ(error.code(), office::ErrorCode::NotSupported);
        const std::string text = error.what();
        EXPECT_NE(text.find("slide 1, shape \""), std::string::npos) << text;
        EXPECT_NE(text.find(".xlsb"), std::string::npos) << text;
        EXPECT_EQ(text.find("no document element"), std::string::npos) << text;
    }
}

TEST(WorkbookBinary, ChartAndTableObjectRefuseABinaryWorkbookNamingTheShape) {
    auto charts = openDocument(std::string(TABULON_FIXTURES_DIR) + "/pptx/three_charts.pptx");
    const ObjectSite chart = chartSites(charts).front();
    const auto rels = charts->package.relationships(chart.objectPart);
    const auto* package = rels.findByType("/package");
    ASSERT_NE(package, nullptr);
    const Bytes binary = binaryWorkbook();
    charts->package.write(office::package::resolveTarget(chart.objectPart, package->target),
                          std::string(binary.begin(), binary.end()));
    expectRefusedAsBinary([&] { office::detail::openChartObject(chart); });

    auto deck = openDocument(prefixedFixture("object_default.pptx"));
    const auto site = oleSite(deck);
    ASSERT_TRUE(site);
    deck->package.write(site->objectPart, std::string(binary.begin(), binary.end()));
    expectRefusedAsBinary([&] { openObject(*site); });

    EXPECT_OFFICE_ERROR(office::excel::openWorkbookFromBytes(binary, "book.xlsb", nullptr),
                        office::ErrorCode::NotSupported,
                        "book.xlsb: the workbook is in the binary format (.xlsb, xl/workbook.bin), "
                        "whose cells cannot be read");
}

}  // namespace
