// Workbooks saved by real spreadsheet applications (../shared/realworld/xlsx): every one opens,
// and names, values, formats, dates and borders read as the file says.

#include <gtest/gtest.h>

#include <filesystem>

#include "excel_test_support.h"
#include "office/excel.h"

namespace {

using namespace office::excel;
using office::Value;

std::string realworld(const std::string& name) {
    return std::string(TABULON_REALWORLD_DIR) + "/xlsx/" + name;
}

#define REQUIRE_REALWORLD(path)                                        \
    if (!std::filesystem::exists(path)) {                              \
        GTEST_SKIP() << "the real-world corpus is absent: " << (path); \
    }

TEST(ExcelRealworld, EveryWorkbookOpensAndEveryCellReads) {
    const auto folder = realworld("");
    REQUIRE_REALWORLD(folder);
    int books = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() != ".xlsx") {
            continue;
        }
        SCOPED_TRACE(entry.path().filename().string());
        auto opened = excel_test::open(entry.path().string());
        auto sheets = opened.book->Sheets();
        ASSERT_GE(sheets->Count(), 1);
        auto worksheets = opened.book->Worksheets();
        for (int i = 1; i <= worksheets->Count(); ++i) {
            auto sheet = worksheets->Item(i);
            EXPECT_FALSE(sheet->Name().empty());
            for (int row = 1; row <= 40; ++row) {
                for (int column = 1; column <= 12; ++column) {
                    auto cell = sheet->Cells(row, column);
                    cell->Value();
                    cell->Text();
                    cell->Borders(xlRight).LineStyle();
                }
            }
        }
        ++books;
    }
    EXPECT_GE(books, 10);
}

TEST(ExcelRealworld, ChartSheetsAreSheetsButNotWorksheets) {
    const auto path = realworld("poi__WithChartSheet.xlsx");
    REQUIRE_REALWORLD(path);
    auto opened = excel_test::open(path);
    auto sheets = opened.book->Sheets();
    int charts = 0;
    for (int i = 1; i <= sheets->Count(); ++i) {
        charts += sheets->Item(i)->IsWorksheet() ? 0 : 1;
    }
    EXPECT_EQ(charts, 1);
    EXPECT_EQ(opened.book->Worksheets()->Count(), sheets->Count() - 1);

    const auto stress = realworld("poi__stress024_chartsheets.xlsx");
    REQUIRE_REALWORLD(stress);
    auto second = excel_test::open(stress);
    EXPECT_EQ(second.book->Sheets()->Count() - second.book->Worksheets()->Count(), 2);
}

TEST(ExcelRealworld, InlineStringsWithoutSharedStrings) {
    const auto path = realworld("poi__bug66675_inlinestr_report.xlsx");
    REQUIRE_REALWORLD(path);
    auto opened = excel_test::open(path);
    auto sheet = opened.sheet(1);
    int texts = 0;
    for (int row = 1; row <= 20; ++row) {
        for (int column = 1; column <= 10; ++column) {
            texts += sheet->Cells(row, column)->Value().kind() == Value::Kind::Text ? 1 : 0;
        }
    }
    EXPECT_GT(texts, 5);
}

TEST(ExcelRealworld, TableWithoutSharedStrings) {
    const auto path = realworld("powertools__SH006-Table-No-SharedStrings.xlsx");
    REQUIRE_REALWORLD(path);
    auto opened = excel_test::open(path);
    auto sheet = opened.sheet(1);
    EXPECT_FALSE(sheet->Range("A1")->Value().isEmpty());
}

TEST(ExcelRealworld, The1904FlagsSheetReadsAsWritten) {
    const auto path = realworld("poi__DateFormatTests_1904.xlsx");
    REQUIRE_REALWORLD(path);
    auto opened = excel_test::open(path);
    auto flags = opened.sheet(1);
    EXPECT_EQ(flags->Name(), "Flags");
    EXPECT_EQ(flags->Range("A1")->Value(), Value::text("Flag Name"));
    EXPECT_EQ(flags->Range("C3")->Value(), Value::text("Run only tests that have this category"));
    EXPECT_EQ(flags->Range("B1")->NumberFormat(), "@");
}

}  // namespace
