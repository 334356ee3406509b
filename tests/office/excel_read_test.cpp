// Reading workbooks made by another program: sheets, values of every kind, number formats as
// displayed, dates in both systems, borders, merged cells, strings of every storage.

#include <gtest/gtest.h>

#include "excel_test_support.h"
#include "office/excel.h"
#include "support/office_error.h"

namespace {

using namespace office::excel;
using office::ErrorCode;
using office::Value;

class BasicWorkbook : public ::testing::Test {
protected:
    void SetUp() override {
        opened_ = excel_test::open(excel_test::fixture("basic.xlsx"));
        data_ = opened_.sheet(1);
    }
    Value value(const char* address) { return data_->Range(address)->Value(); }
    std::string text(const char* address) { return data_->Range(address)->Text(); }

    excel_test::Opened opened_;
    std::shared_ptr<Worksheet> data_;
};

TEST_F(BasicWorkbook, SheetsKeepWorkbookOrderAndWorksheetsSkipChartSheets) {
    auto sheets = opened_.book->Sheets();
    ASSERT_EQ(sheets->Count(), 3);
    EXPECT_EQ(sheets->Item(1)->Name(), "Data");
    EXPECT_EQ(sheets->Item(2)->Name(), "Chart1");
    EXPECT_EQ(sheets->Item(3)->Name(), "Second");
    auto worksheets = opened_.book->Worksheets();
    ASSERT_EQ(worksheets->Count(), 2);
    EXPECT_EQ(worksheets->Item(2)->Name(), "Second");
    EXPECT_EQ(worksheets->Item(2)->Range("B2")->Value(), Value::number(7));

    EXPECT_FALSE(sheets->Item(2)->IsWorksheet());
    EXPECT_OFFICE_ERROR(office::As<Worksheet>(sheets->Item(2)), ErrorCode::TypeMismatch,
                        "a Chart is not a Worksheet");
    EXPECT_NO_THROW(office::As<Worksheet>(sheets->Item(3)));
    EXPECT_OFFICE_ERROR(sheets->Item(4), ErrorCode::IndexOutOfRange,
                        "basic.xlsx: sheet 4 of 3 does not exist");
    EXPECT_OFFICE_ERROR(worksheets->Item(0), ErrorCode::IndexOutOfRange,
                        "basic.xlsx: worksheet 0 of 2 does not exist");
}

TEST_F(BasicWorkbook, ValuesOfEveryKind) {
    EXPECT_EQ(value("A1"), Value::text("Label"));
    EXPECT_EQ(value("B2"), Value::number(42));
    EXPECT_EQ(value("B5"), Value::number(-1234.5));
    EXPECT_EQ(value("B17"), Value::boolean(true));
    EXPECT_EQ(value("B18"), Value::boolean(false));
    EXPECT_EQ(value("B19"), Value::error("#DIV/0!"));
    EXPECT_EQ(value("B20"), Value::error("#N/A"));
    EXPECT_EQ(value("A24"), Value::text("中文"));
    EXPECT_EQ(value("B24"), Value::text("销售额"));
    EXPECT_TRUE(value("Z99").isEmpty());
}

TEST_F(BasicWorkbook, FormulasReadAsTheirCachedValues) {
    EXPECT_EQ(value("B21"), Value::number(1276.5678));
    EXPECT_EQ(value("B22"), Value::text("integer!"));
    EXPECT_TRUE(value("B23").isEmpty()) << "a formula without a cached value reads empty";
}

TEST_F(BasicWorkbook, RichInlineAndMergedCells) {
    EXPECT_EQ(value("H1"), Value::text("Bold and plain")) << "runs joined, phonetic run left out";
    EXPECT_EQ(value("H2"), Value::text("inline text"));
    EXPECT_EQ(value("D1"), Value::text("merged title"));
    EXPECT_TRUE(value("E1").isEmpty());
    EXPECT_TRUE(value("F2").isEmpty());
}

TEST_F(BasicWorkbook, NumberFormatsAsDisplayed) {
    EXPECT_EQ(data_->Range("B3")->NumberFormat(), "0.00");
    EXPECT_EQ(data_->Range("B2")->NumberFormat(), "General");
    EXPECT_EQ(text("B2"), "42");
    EXPECT_EQ(text("B3"), "1234.57");
    EXPECT_EQ(text("B4"), "1,234,568");
    EXPECT_EQ(text("B5"), "-1,234.50");
    EXPECT_EQ(text("B6"), "26%");
    EXPECT_EQ(text("B7"), "12.35%");
    EXPECT_EQ(text("B8"), "¥1,234.50");
    EXPECT_EQ(text("B9"), "(5.0)");
    EXPECT_EQ(text("B10"), "1.23E+05");
    EXPECT_EQ(text("B11"), "as text");
    EXPECT_EQ(text("B17"), "TRUE");
    EXPECT_EQ(text("B19"), "#DIV/0!");
    EXPECT_EQ(text("A1"), "Label");
}

TEST_F(BasicWorkbook, DatesAreDatesOnlyUnderDateFormats) {
    const Value date = value("B13");
    ASSERT_EQ(date.kind(), Value::Kind::Date);
    EXPECT_DOUBLE_EQ(date.asNumber(), 45366);  // 2024-03-15
    EXPECT_EQ(date.toString(), "2024-03-15");
    EXPECT_EQ(text("B13"), "2024-03-15");
    EXPECT_EQ(text("B14"), "3/15/2024 13:45");
    EXPECT_EQ(text("B15"), "6:05 PM");
    EXPECT_EQ(text("B16"), "2023年12月1日");
    EXPECT_EQ(value("B3").kind(), Value::Kind::Number);
}

TEST_F(BasicWorkbook, BordersMapToLineStyles) {
    struct Expected {
        const char* cell;
        int lineStyle;
        int weight;
    };
    const Expected expected[] = {
        {"D5", xlContinuous, 2},  {"D6", xlContinuous, -4138},
        {"D7", xlContinuous, 4},  {"D8", xlDash, 2},
        {"D9", xlDot, 2},         {"D10", xlDouble, 4},
        {"D11", xlContinuous, 1}, {"D12", xlDashDot, 2},
        {"D13", xlDashDotDot, 2}, {"D14", xlSlantDashDot, -4138},
    };
    for (const auto& e : expected) {
        const auto range = data_->Range(e.cell);
        EXPECT_EQ(range->Borders(xlRight).LineStyle(), e.lineStyle) << e.cell;
        EXPECT_EQ(range->Borders(xlEdgeRight).Weight(), e.weight) << e.cell;
        EXPECT_EQ(range->Borders(xlLeft).LineStyle(), xlNone) << e.cell;
    }
    const auto e5 = data_->Range("E5");
    EXPECT_EQ(e5->Borders(xlLeft).LineStyle(), xlContinuous);
    EXPECT_EQ(e5->Borders(xlTop).LineStyle(), xlContinuous);
    EXPECT_EQ(e5->Borders(xlEdgeBottom).LineStyle(), xlDouble);
    EXPECT_EQ(e5->Borders(xlRight).LineStyle(), xlNone);
    EXPECT_EQ(data_->Range("Q40")->Borders(xlRight).LineStyle(), xlNone);
    EXPECT_OFFICE_ERROR(e5->Borders(3), ErrorCode::InvalidArgument,
                        "border index 3 is not an XlBordersIndex");
}

TEST_F(BasicWorkbook, AddressesAndNavigation) {
    auto range = data_->Range("$b$2:c9");
    EXPECT_EQ(range->Address(), "$B$2:$C$9");
    EXPECT_EQ(range->Row(), 2);
    EXPECT_EQ(range->Column(), 2);
    EXPECT_EQ(range->RowCount(), 8);
    EXPECT_EQ(range->Offset(1, 1)->Address(), "$C$3:$D$10");
    EXPECT_EQ(range->Item(2, 1)->Address(), "$B$3");
    EXPECT_EQ(range->Item(2, 1)->Value(), Value::number(1234.5678));
    auto spanned = data_->Range(data_->Cells(5, 4), data_->Range("B2"));
    EXPECT_EQ(spanned->Address(), "$B$2:$D$5");
    EXPECT_EQ(data_->Cells(1, 16384)->Address(), "$XFD$1");
    EXPECT_EQ(data_->Range("A1048576")->Row(), 1048576);
}

TEST_F(BasicWorkbook, CellsBeyondTheSheetFail) {
    const std::string belowLastRow = "the cell at row 1048577, column 1 lies beyond the worksheet";
    const std::string rightOfLastColumn =
        "the cell at row 1, column 16385 lies beyond the worksheet";
    EXPECT_OFFICE_ERROR(data_->Range("A1048577"), ErrorCode::OutOfSheet, belowLastRow);
    EXPECT_OFFICE_ERROR(data_->Range("XFE1"), ErrorCode::OutOfSheet, rightOfLastColumn);
    EXPECT_OFFICE_ERROR(data_->Cells(1048577, 1), ErrorCode::OutOfSheet, belowLastRow);
    EXPECT_OFFICE_ERROR(data_->Range("A1048576")->Offset(1, 0), ErrorCode::OutOfSheet,
                        belowLastRow);
    EXPECT_OFFICE_ERROR(data_->Range("XFD1")->Offset(0, 1), ErrorCode::OutOfSheet,
                        rightOfLastColumn);
    EXPECT_OFFICE_ERROR(data_->Range("A1")->Offset(-1, 0), ErrorCode::OutOfSheet,
                        "the cell at row 0, column 1 lies beyond the worksheet");
    EXPECT_OFFICE_ERROR(data_->Range("1A"), ErrorCode::InvalidArgument,
                        "\"1A\" is not a cell address");
    EXPECT_OFFICE_ERROR(data_->Range("A0"), ErrorCode::InvalidArgument,
                        "\"A0\" is not a cell address");
    EXPECT_OFFICE_ERROR(data_->Range(""), ErrorCode::InvalidArgument, "\"\" is not a cell address");
}

TEST(ExcelApplication, StateWorkbooksAndQuit) {
    auto app = Application::Create();
    EXPECT_FALSE(app->Visible());
    app->SetVisible(true);
    app->SetWindowState(xlMinimized);
    EXPECT_EQ(app->WindowState(), xlMinimized);
    EXPECT_OFFICE_ERROR(app->SetWindowState(3), ErrorCode::InvalidArgument,
                        "window state 3 is not one of xlMaximized, xlMinimized, xlNormal");
    app->SetDisplayAlerts(false);
    EXPECT_FALSE(app->DisplayAlerts());

    auto books = app->Workbooks();
    auto first = books->Open(excel_test::fixture("basic.xlsx"));
    auto second = books->Open(excel_test::fixture("blocks.xlsx"));
    EXPECT_EQ(books->Count(), 2);
    EXPECT_EQ(books->Item(2)->Name(), "blocks.xlsx");
    EXPECT_EQ(first->Application()->Workbooks()->Count(), 2);
    auto cell = first->Worksheets()->Item(1)->Range("A1");

    first->Close();
    EXPECT_EQ(books->Count(), 1) << "closing moves the later workbooks down";
    EXPECT_EQ(books->Item(1)->Name(), "blocks.xlsx");
    EXPECT_OFFICE_ERROR(cell->Value(), ErrorCode::ObjectClosed,
                        "the workbook of sheet \"Data\" was closed or its application quit");
    EXPECT_OFFICE_ERROR(first->Sheets(), ErrorCode::ObjectClosed,
                        "basic.xlsx: the workbook was closed or its application quit");

    auto survivor = second->Worksheets()->Item(1)->Range("A2");
    app->Quit();
    EXPECT_FALSE(app->IsRunning());
    EXPECT_OFFICE_ERROR(survivor->Value(), ErrorCode::ObjectClosed,
                        "the workbook of sheet \"Sales\" was closed or its application quit");
    EXPECT_OFFICE_ERROR(second->Name(), ErrorCode::ObjectClosed,
                        "blocks.xlsx: the workbook was closed or its application quit");
    const std::string quit = "the spreadsheet application has quit";
    EXPECT_OFFICE_ERROR(books->Count(), ErrorCode::ObjectClosed, quit);
    EXPECT_OFFICE_ERROR(app->Visible(), ErrorCode::ObjectClosed, quit);
    EXPECT_OFFICE_ERROR(app->Quit(), ErrorCode::ObjectClosed, quit);
}

TEST(ExcelDates, The1904SystemReadsAsThe1900Serial) {
    auto opened = excel_test::open(excel_test::fixture("date1904.xlsx"));
    EXPECT_TRUE(opened.book->Date1904());
    auto sheet = opened.sheet(1);
    const Value date = sheet->Range("A1")->Value();
    ASSERT_EQ(date.kind(), Value::Kind::Date);
    EXPECT_DOUBLE_EQ(date.asNumber(), 45366);
    EXPECT_EQ(sheet->Range("A1")->Text(), "2024-03-15");
    EXPECT_EQ(sheet->Range("A2")->Text(), "31-Dec-99 12:00");
    EXPECT_EQ(sheet->Range("A3")->Value(), Value::number(100));
}

TEST(ExcelBlocks, BlockLayoutReadsAsTheEngineWalksIt) {
    auto opened = excel_test::open(excel_test::fixture("blocks.xlsx"));
    auto sheet = opened.sheet(1);
    EXPECT_EQ(sheet->Name(), "Sales");
    EXPECT_TRUE(sheet->Range("A3")->Value().isBlank());
    EXPECT_EQ(sheet->Range("B3")->Value(), Value::number(2023));
    EXPECT_EQ(sheet->Range("A2")->Value(), Value::text("Sales by region"));
    // The bordered table: blank first-column cell with a line on its right edge.
    EXPECT_TRUE(sheet->Range("A9")->Value().isBlank());
    const auto blank = sheet->Range("A11");
    EXPECT_TRUE(blank->Value().isBlank());
    EXPECT_EQ(blank->Borders(xlRight).LineStyle(), xlContinuous);
    EXPECT_EQ(sheet->Range("C9")->Borders(xlRight).LineStyle(), xlContinuous);
    EXPECT_EQ(sheet->Range("D9")->Borders(xlLeft).LineStyle(), xlNone);
    EXPECT_EQ(sheet->Range("A4")->Offset(1, 2)->Text(), "9.5");
}

}  // namespace

#include <fstream>

#include "office/excel/embedded.h"
#include "office/package/package.h"

namespace {

// The first worksheet of tables.xlsx replaced by sheetXml, opened from memory.
std::shared_ptr<office::excel::Workbook> withSheet(const std::string& sheetXml) {
    std::ifstream in(excel_test::fixture("tables.xlsx"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    auto package = office::package::Package::openBytes(bytes, "lenient.xlsx", "workbook");
    package.write("xl/worksheets/sheet1.xml", sheetXml);
    return office::excel::openWorkbookFromBytes(package.saveBytes(), "lenient.xlsx", nullptr);
}

TEST(ExcelLenientReading, ImpliedReferencesPrefixesAndOrder) {
    // Rows and cells without r count on from the one before; rows out of order and a repeated
    // row are put in order; a prefixed namespace reads like the default one; _xHHHH_ escapes
    // and an ISO date cell are decoded.
    auto book = withSheet(
        "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<x:sheetData>"
        "<x:row r=\"3\"><x:c><x:v>31</x:v></x:c><x:c "
        "r=\"C3\"><x:v>33</x:v></x:c><x:c><x:v>34</x:v></x:c></x:row>"
        "<x:row r=\"1\"><x:c r=\"B1\" "
        "t=\"inlineStr\"><x:is><x:t>a_x000A_b</x:t></x:is></x:c></x:row>"
        "<x:row><x:c r=\"A2\" t=\"b\"><x:v>1</x:v></x:c></x:row>"
        "<x:row r=\"1\"><x:c r=\"A1\"><x:v> 11 </x:v></x:c></x:row>"
        "<x:row r=\"5\"><x:c r=\"A5\" t=\"d\" s=\"0\"><x:v>2024-03-15T12:00:00</x:v></x:c></x:row>"
        "</x:sheetData></x:worksheet>");
    auto sheet = book->Worksheets()->Item(1);
    EXPECT_EQ(sheet->Range("A3")->Value(), Value::number(31));
    EXPECT_EQ(sheet->Range("C3")->Value(), Value::number(33));
    EXPECT_EQ(sheet->Range("D3")->Value(), Value::number(34));
    EXPECT_EQ(sheet->Range("B1")->Value(), Value::text("a\nb"));
    EXPECT_EQ(sheet->Range("A1")->Value(), Value::number(11));
    EXPECT_EQ(sheet->Range("A2")->Value(), Value::boolean(true)) << "a row without r follows row 1";
    EXPECT_EQ(sheet->Range("A5")->Value(), Value::number(45366.5));
}

TEST(ExcelLenientReading, WrittenCellsLandInOrderInASparseSheet) {
    auto saved = std::make_shared<std::vector<std::uint8_t>>();
    std::ifstream in(excel_test::fixture("tables.xlsx"), std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    auto book = office::excel::openWorkbookFromBytes(
        bytes, "order.xlsx", [saved](std::vector<std::uint8_t> out) { *saved = std::move(out); });
    auto sheet = book->Worksheets()->Item(1);
    sheet->Range("C10")->SetValue(Value::number(3));
    sheet->Range("A10")->SetValue(Value::number(1));
    sheet->Range("B7")->SetValue(Value::number(2));
    sheet->Range("A2")->SetValue(Value());  // emptied
    book->Save();
    ASSERT_FALSE(saved->empty());
    auto package = office::package::Package::openBytes(*saved, "order.xlsx", "workbook");
    const auto doc = package.readXml("xl/worksheets/sheet1.xml");
    std::vector<std::string> order;
    for (const auto& row : doc.document_element().child("sheetData").children("row")) {
        for (const auto& c : row.children("c")) {
            order.push_back(c.attribute("r").value());
        }
    }
    const std::vector<std::string> expected = {"A1", "B1", "C1", "G1", "B2",  "C2",
                                               "A3", "B3", "C3", "B7", "A10", "C10"};
    EXPECT_EQ(order, expected);
    book->Close();
}

}  // namespace
