// Writing cells and saving: values, formats and styles travel with Copy, the package is edited
// in place (other parts byte for byte), tables grow, calcChain goes when formulas are
// overwritten, and every saved file passes the schema validator against its original.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "excel_test_support.h"
#include "office/clipboard.h"
#include "office/excel.h"
#include "office/excel/embedded.h"
#include "office/package/package.h"
#include "support/office_error.h"
#include "support/validator.h"
#include "support/workbook_check.h"

namespace {

using namespace office::excel;
using office::Value;
using office::package::Package;

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string copyOf(const std::string& fixture, const std::string& name) {
    const auto target = excel_test::scratch(name);
    std::filesystem::copy_file(excel_test::fixture(fixture), target,
                               std::filesystem::copy_options::overwrite_existing);
    return target.string();
}

// The validator's verdict: empty when the saved file has no problem that the original lacks
// (or when the validator cannot run here).
std::string validate(const std::string& saved, const std::string& original) {
    if (!tabulon::testing::validatorPresent()) {
        return {};
    }
    const auto result = tabulon::testing::validateAgainst(saved, original);
    if (result.status == 0) {
        return {};
    }
    return result.output.empty() ? "validator failed" : result.output;
}

TEST(ExcelWrite, CopyAcrossWorkbooksCarriesValuesFormatsAndStyles) {
    const std::string source = excel_test::fixture("basic.xlsx");
    const auto sourceBytes = fileBytes(source);
    const std::string original = excel_test::fixture("tables.xlsx");
    const std::string target = copyOf("tables.xlsx", "copy-target.xlsx");
    {
        auto app = Application::Create();
        auto from = app->Workbooks()->Open(source);
        auto to = app->Workbooks()->Open(target);
        auto data = from->Worksheets()->Item(1);
        auto other = to->Worksheets()->Item(2);
        data->Range("B2:B16")->Copy(other->Range("C5"));
        data->Range("G1:G2")->Copy(other->Range("A1"));
        data->Range("D5:D7")->Copy(other->Range("H1"));
        // Read back before saving: the destination shows what was copied.
        EXPECT_EQ(other->Range("C6")->Text(), "1234.57");
        EXPECT_EQ(other->Range("C16")->Value().kind(), Value::Kind::Date);
        EXPECT_EQ(other->Range("H2")->Borders(xlRight).Weight(), -4138);
        to->Save();
    }
    EXPECT_EQ(fileBytes(source), sourceBytes) << "the source workbook was written";
    EXPECT_EQ(validate(target, original), "");

    auto reopened = excel_test::open(target);
    auto other = reopened.sheet(2);
    EXPECT_EQ(other->Range("C5")->Value(), Value::number(42));
    EXPECT_EQ(other->Range("C6")->NumberFormat(), "0.00");
    EXPECT_EQ(other->Range("C7")->Text(), "1,234,568");
    EXPECT_EQ(other->Range("C11")->Text(), "¥1,234.50");
    EXPECT_EQ(other->Range("C12")->Text(), "(5.0)");
    EXPECT_EQ(other->Range("C14")->Value(), Value::text("as text"));
    EXPECT_EQ(other->Range("C15")->Value(), Value());
    EXPECT_EQ(other->Range("C16")->Text(), "2024-03-15");
    EXPECT_EQ(other->Range("C16")->Value(), Value::date(45366));
    EXPECT_EQ(other->Range("A1")->Value(), Value::text("bold red"));
    EXPECT_EQ(other->Range("A2")->Text(), "3.142");
    EXPECT_EQ(other->Range("A1")->Borders(xlTop).Weight(), -4138);
    EXPECT_EQ(other->Range("H3")->Borders(xlRight).Weight(), 4);
    EXPECT_EQ(other->Range("A1")->Borders(xlRight).LineStyle(), xlContinuous);
    const std::string styles = Package::openFile(target, "workbook").read("xl/styles.xml");
    EXPECT_NE(styles.find("Arial"), std::string::npos) << "the font did not travel";
    EXPECT_NE(styles.find("FFFFFF00"), std::string::npos) << "the fill did not travel";
    // Untouched cells and sheets stay as they were.
    EXPECT_EQ(other->Range("A3")->Value(), Value());
    EXPECT_EQ(reopened.sheet(1)->Range("B2")->Value(), Value::number(1));
}

// The refs of a saved worksheet's merges, and the names of the worksheet's children in order.
struct SavedMerges {
    std::vector<std::string> refs;
    int count = -1;  // the list's count attribute; -1 when there is no list
    std::vector<std::string> order;
};

SavedMerges savedMerges(const std::string& path, const std::string& part) {
    const auto doc = Package::openFile(path, "workbook").readXml(part);
    SavedMerges merges;
    for (auto node : doc.document_element().children()) {
        merges.order.emplace_back(node.name());
    }
    const auto list = doc.document_element().child("mergeCells");
    if (list) {
        merges.count = list.attribute("count").as_int();
    }
    for (auto cell : list.children("mergeCell")) {
        merges.refs.emplace_back(cell.attribute("ref").value());
    }
    return merges;
}

TEST(ExcelWrite, CopyCarriesMergedAreasAndReplacesOverlappedOnes) {
    const std::string source = excel_test::fixture("basic.xlsx");  // D1:F2 merged, "merged title"
    const std::string original = excel_test::fixture("tables.xlsx");
    const std::string target = copyOf("tables.xlsx", "copy-merges.xlsx");
    {
        auto app = Application::Create();
        auto data = app->Workbooks()->Open(source)->Worksheets()->Item(1);
        auto to = app->Workbooks()->Open(target);
        auto other = to->Worksheets()->Item(2);
        data->Range("C1:G3")->Copy(other->Range("B4"));
        data->Range("C1:G3")->Copy(other->Range("B20"));
        data->Range("A1:B2")->Copy(other->Range("E21"));  // overlaps C20:E21, which goes
        data->Range("E1:G2")->Copy(other->Range("A30"));  // holds only part of D1:F2
        to->Save();
    }
    EXPECT_EQ(validate(target, original), "");
    const auto merges = savedMerges(target, "xl/worksheets/sheet2.xml");
    EXPECT_EQ(merges.refs, std::vector<std::string>{"C4:E5"});
    EXPECT_EQ(merges.count, 1);
    const auto at = [&](const std::string& name) {
        return std::find(merges.order.begin(), merges.order.end(), name) - merges.order.begin();
    };
    EXPECT_EQ(at("mergeCells"), at("sheetData") + 1);
    EXPECT_EQ(at("pageMargins"), at("mergeCells") + 1);

    auto reopened = excel_test::open(target);
    EXPECT_EQ(reopened.sheet(2)->Range("C4")->Text(), "merged title");
}

TEST(ExcelWrite, CopyWithinASheetMovesItsMergesAndDropsAnEmptyList) {
    const std::string target = copyOf("basic.xlsx", "copy-merges-same.xlsx");
    {
        auto opened = excel_test::open(target);
        auto sheet = opened.sheet(1);
        sheet->Range("D1:F2")->Copy(sheet->Range("D10"));
        sheet->Range("D10:F11")->Copy(sheet->Range("H20"));  // a merge pasted a moment ago
        sheet->Range("A1:B2")->Copy(sheet->Range("E2"));     // over the file's own D1:F2
        opened.book->Save();
    }
    EXPECT_EQ(validate(target, excel_test::fixture("basic.xlsx")), "");
    EXPECT_EQ(savedMerges(target, "xl/worksheets/sheet1.xml").refs,
              (std::vector<std::string>{"D10:F11", "H20:J21"}));
    {
        auto opened = excel_test::open(target);
        auto sheet = opened.sheet(1);
        sheet->Range("A1:B2")->Copy(sheet->Range("F11"));
        sheet->Range("A1:B2")->Copy(sheet->Range("I21"));
        opened.book->Save();
    }
    const auto merges = savedMerges(target, "xl/worksheets/sheet1.xml");
    EXPECT_TRUE(merges.refs.empty());
    EXPECT_EQ(merges.count, -1) << "an empty list is left out";
}

TEST(ExcelWrite, SaveEditsOnlyWhatChangedAndGrowsTables) {
    const std::string original = excel_test::fixture("tables.xlsx");
    const std::string path = copyOf("tables.xlsx", "grow.xlsx");
    {
        auto opened = excel_test::open(path);
        auto sheet = opened.sheet(1);
        sheet->Range("D1")->SetValue(Value::text("Series 3"));
        sheet->Range("D2")->SetValue(Value::number(5));
        sheet->Range("A4")->SetValue(Value::text("C"));
        sheet->Range("B1")->SetValue(Value::text("Renamed"));
        sheet->Range("G1")->SetValue(Value::number(99));  // overwrites the formula
        opened.book->Save();
    }
    EXPECT_EQ(validate(path, original), "");
    const auto before = Package::openFile(original, "workbook");
    const auto after = Package::openFile(path, "workbook");
    EXPECT_EQ(after.read("xl/worksheets/sheet2.xml"), before.read("xl/worksheets/sheet2.xml"));
    EXPECT_EQ(after.read("xl/theme/theme1.xml"), before.read("xl/theme/theme1.xml"));
    EXPECT_FALSE(after.has("xl/calcChain.xml")) << "calcChain stays after a formula went";
    EXPECT_EQ(after.relationships("xl/workbook.xml").findByType("/calcChain"), nullptr);

    const auto tableDoc = after.readXml("xl/tables/table1.xml");
    const auto table = tableDoc.document_element();
    EXPECT_STREQ(table.attribute("ref").value(), "A1:D4");
    const auto columns = table.child("tableColumns");
    EXPECT_EQ(columns.attribute("count").as_int(), 4);
    std::vector<std::string> names;
    for (const auto& column : columns.children("tableColumn")) {
        names.push_back(column.attribute("name").value());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Category", "Renamed", "Series 2", "Series 3"}));
    const auto sheetDoc = after.readXml("xl/worksheets/sheet1.xml");
    const auto sheet = sheetDoc.document_element();
    EXPECT_STREQ(sheet.child("dimension").attribute("ref").value(), "A1:G4");

    auto reopened = excel_test::open(path);
    auto data = reopened.sheet(1);
    EXPECT_EQ(data->Range("D1")->Value(), Value::text("Series 3"));
    EXPECT_EQ(data->Range("A4")->Value(), Value::text("C"));
    EXPECT_EQ(data->Range("G1")->Value(), Value::number(99));
    EXPECT_EQ(data->Range("A2")->Value(), Value::text("A"));
}

TEST(ExcelWrite, ARealWorkbookEditedInPlaceStaysSound) {
    const std::string original =
        std::string(TABULON_REALWORLD_DIR) + "/xlsx/poi__simple-monthly-budget.xlsx";
    if (!std::filesystem::exists(original)) {
        GTEST_SKIP() << "the real-world corpus is absent: " << original;
    }
    const auto path = excel_test::scratch("budget.xlsx").string();
    {
        auto app = Application::Create();
        auto book = app->Workbooks()->Open(original);
        auto sheet = book->Worksheets()->Item(1);
        sheet->Range("E4")->SetValue(Value::number(1234));  // a formula goes
        auto blocks = app->Workbooks()->Open(excel_test::fixture("blocks.xlsx"));
        blocks->Worksheets()->Item(1)->Range("A9:C12")->Copy(sheet->Range("J30"));
        book->SaveAs(path);
    }
    EXPECT_EQ(validate(path, original), "");
    const auto before = Package::openFile(original, "workbook");
    const auto after = Package::openFile(path, "workbook");
    EXPECT_TRUE(before.has("xl/calcChain.xml"));
    EXPECT_FALSE(after.has("xl/calcChain.xml"));
    for (const char* part :
         {"xl/media/image1.jpeg", "xl/charts/chart1.xml", "xl/drawings/drawing1.xml",
          "customXml/item1.xml", "xl/theme/theme1.xml"}) {
        EXPECT_EQ(after.read(part), before.read(part)) << part;
    }
    auto reopened = excel_test::open(path);
    auto sheet = reopened.sheet(1);
    EXPECT_EQ(sheet->Range("E4")->Value(), Value::number(1234));
    EXPECT_EQ(sheet->Range("K30")->Value(), Value::text("Q1"));
    EXPECT_EQ(sheet->Range("J31")->Borders(xlRight).LineStyle(), xlContinuous);
    EXPECT_EQ(sheet->Range("C5")->Text(), "$2,500.00");
}

TEST(ExcelWrite, SharedStringCountsFollowTheCells) {
    const std::string path = copyOf("blocks.xlsx", "strings.xlsx");
    {
        auto opened = excel_test::open(path);
        auto sheet = opened.sheet(1);
        sheet->Range("A20:B21")->SetValue(Value::text("new text"));
        sheet->Range("A4")->SetValue(Value::number(1));  // was "North"
        opened.book->SaveAs(path);
    }
    EXPECT_EQ(validate(path, excel_test::fixture("blocks.xlsx")), "");
    const auto package = Package::openFile(path, "workbook");
    const auto sstDoc = package.readXml("xl/sharedStrings.xml");
    const auto sst = sstDoc.document_element();
    const auto beforeDoc = Package::openFile(excel_test::fixture("blocks.xlsx"), "workbook")
                               .readXml("xl/sharedStrings.xml");
    const auto before = beforeDoc.document_element();
    EXPECT_EQ(sst.attribute("uniqueCount").as_int(), before.attribute("uniqueCount").as_int() + 1);
    EXPECT_EQ(sst.attribute("count").as_int(), before.attribute("count").as_int() + 4 - 1);
}

TEST(ExcelWrite, SetNumberFormatAndDatesKeepTheirMeaning) {
    const std::string path = copyOf("date1904.xlsx", "formats.xlsx");
    {
        auto opened = excel_test::open(path);
        auto sheet = opened.sheet(1);
        sheet->Range("B1")->SetValue(Value::date(45366));  // 2024-03-15, whatever the system
        sheet->Range("B2")->SetValue(Value::number(0.5));
        sheet->Range("B2")->SetNumberFormat("0.0%");
        sheet->Range("B3")->SetValue(Value::number(2));
        sheet->Range("B3")->SetNumberFormat("0.0%");
        EXPECT_EQ(sheet->Range("B2")->Text(), "50.0%");
        opened.book->Save();
    }
    EXPECT_EQ(validate(path, excel_test::fixture("date1904.xlsx")), "");
    auto reopened = excel_test::open(path);
    auto sheet = reopened.sheet(1);
    EXPECT_EQ(sheet->Range("B1")->Value(), Value::date(45366));
    EXPECT_EQ(sheet->Range("B1")->Text(), "3/15/2024");
    EXPECT_EQ(sheet->Range("B2")->NumberFormat(), "0.0%");
    EXPECT_EQ(sheet->Range("B3")->Text(), "200.0%");
    EXPECT_EQ(sheet->Range("A1")->Value(), Value::date(45366));
}

TEST(ExcelWrite, ClipboardCopyHoldsValuesAndFormats) {
    auto opened = excel_test::open(excel_test::fixture("blocks.xlsx"));
    opened.sheet(1)->Range("A3:C5")->Copy();
    const auto& block = office::Clipboard::instance().block();
    ASSERT_EQ(block.rows, 3);
    ASSERT_EQ(block.columns, 3);
    EXPECT_TRUE(block.at(0, 0).value.isEmpty());
    EXPECT_EQ(block.at(0, 1).value, Value::number(2023));
    EXPECT_EQ(block.at(0, 1).numberFormat, "0");
    EXPECT_EQ(block.at(2, 2).value, Value::number(9.5));
    EXPECT_EQ(block.at(2, 2).numberFormat, "0.0");
    EXPECT_EQ(block.at(1, 0).value, Value::text("North"));
    EXPECT_EQ(block.at(1, 0).numberFormat, "General");
}

TEST(ExcelWrite, EmbeddedWorkbookHandsBackItsBytesOnCloseAfterAChange) {
    const auto bytes = fileBytes(excel_test::fixture("tables.xlsx"));
    int calls = 0;
    std::vector<std::uint8_t> saved;
    auto book = openWorkbookFromBytes(bytes, "Microsoft_Excel_Worksheet1.xlsx",
                                      [&](std::vector<std::uint8_t> out) {
                                          ++calls;
                                          saved = std::move(out);
                                      });
    EXPECT_EQ(book->Name(), "Microsoft_Excel_Worksheet1.xlsx");
    EXPECT_FALSE(book->Application()->Visible());
    auto source = excel_test::open(excel_test::fixture("blocks.xlsx"));
    source.sheet(1)->Range("A3:C5")->Copy(book->Worksheets()->Item(1)->Range("A1"));
    book->Close();
    ASSERT_EQ(calls, 1);
    EXPECT_OFFICE_ERROR(
        book->Worksheets(), office::ErrorCode::ObjectClosed,
        "Microsoft_Excel_Worksheet1.xlsx: the workbook was closed or its application quit");

    auto again = openWorkbookFromBytes(saved, "again.xlsx", [&](auto) { ++calls; });
    auto sheet = again->Worksheets()->Item(1);
    EXPECT_TRUE(sheet->Range("A1")->Value().isEmpty());
    EXPECT_EQ(sheet->Range("B1")->Value(), Value::number(2023));
    EXPECT_EQ(sheet->Range("C3")->Text(), "9.5");
    EXPECT_EQ(sheet->Range("A2")->Value(), Value::text("North"));
    again->Close();
    EXPECT_EQ(calls, 1) << "closing without a change wrote back";
}

// Every cell of the saved workbook names formats and strings that its parts hold, as another
// reader sees them; `label` names the path that wrote it.
void expectSoundIndexes(const std::string& path, const std::string& label) {
    EXPECT_EQ(support::missingIndexes(Package::openFile(path, "workbook")),
              std::vector<std::string>{})
        << label;
    EXPECT_EQ(support::openpyxlVerdict(path).value_or(""), "") << label;
}

std::string saved(const std::vector<std::uint8_t>& bytes, const std::string& name) {
    const std::string path = excel_test::scratch(name).string();
    std::ofstream(path, std::ios::binary) << std::string(bytes.begin(), bytes.end());
    return path;
}

// Each way cells are written: set in place (texts, dates, number formats, over a cell whose
// format index lies past its source's formats), copied into a new workbook (its styles and
// strings parts made on the way), and the chart data path, new rows as elements and as text.
TEST(ExcelWrite, EveryFormatAndStringIndexWrittenOrLeftExists) {
    Package broken = Package::openFile(excel_test::fixture("tables.xlsx"), "workbook");
    broken.xml("xl/worksheets/sheet1.xml")
        .select_node("//*[local-name()='c'][@r='B2']")
        .node()
        .append_attribute("s") = 99;
    broken.markDirty("xl/worksheets/sheet1.xml");
    const std::string inPlace = saved(broken.saveBytes(), "indexes-in-place.xlsx");
    {
        auto opened = excel_test::open(inPlace);
        auto sheet = opened.sheet(1);
        sheet->Range("B2")->SetValue(Value::number(4));
        sheet->Range("A5:C6")->SetValue(Value::text("added"));
        sheet->Range("B7")->SetValue(Value::date(45366));
        sheet->Range("C7")->SetNumberFormat("0.000");
        opened.book->Save();
    }
    expectSoundIndexes(inPlace, "set in place");
    EXPECT_EQ(validate(inPlace, excel_test::fixture("tables.xlsx")), "");

    std::string copied;
    auto book = openWorkbookFromBytes(newWorkbookBytes("Data"), "new.xlsx", [&](auto bytes) {
        copied = saved(bytes, "indexes-copied.xlsx");
    });
    auto source = excel_test::open(excel_test::fixture("styled_table.xlsx"));
    source.sheet(1)->UsedRange()->Copy(book->Worksheets()->Item(1)->Range("B2"));
    book->Close();
    expectSoundIndexes(copied, "copied into a new workbook");

    for (const int rows : {3, 400}) {
        SheetCells sheet(Package::openBytes(newWorkbookBytes("Sheet1"), "chart.xlsx", "workbook"),
                         "Sheet1");
        office::excel::detail::CellMap cells;
        for (int r = 1; r <= rows; ++r) {
            cells[{r, 1}] = office::ClipCell{Value::text("Row " + std::to_string(r)), "General"};
            cells[{r, 2}] = office::ClipCell{Value::number(r), r % 2 ? "0.0%" : "#,##0"};
        }
        sheet.write(cells);
        const std::string label = "chart data of " + std::to_string(rows) + " rows";
        expectSoundIndexes(saved(sheet.save(), label + ".xlsx"), label);
    }
    if (!support::openpyxlPresent()) {
        GTEST_SKIP() << "openpyxl is absent (python3-openpyxl): only our own index check ran";
    }
}

}  // namespace
