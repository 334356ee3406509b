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

TEST(ExcelRealworld, ValuesFormatsAndDatesAsTheFileSays) {
    const auto path = realworld("poi__45540_classic_Header.xlsx");
    REQUIRE_REALWORLD(path);
    auto opened = excel_test::open(path);
    auto sheets = opened.book->Sheets();
    ASSERT_EQ(sheets->Count(), 7);
    EXPECT_EQ(sheets->Item(1)->Name(), "Profile of Class");
    EXPECT_EQ(sheets->Item(7)->Name(), "Job Source");
    auto profile = opened.sheet(1);
    EXPECT_EQ(profile->Range("A1")->Value(),
              Value::text("The University of Chicago Graduate School of Business"));
    const auto date = profile->Range("A5");
    EXPECT_EQ(date->Value().kind(), Value::Kind::Date);
    EXPECT_EQ(date->Value().toString(), "2006-09-11");
    EXPECT_EQ(date->NumberFormat(), "[$-409]mmmm\\ d\\,\\ yyyy;@");
    EXPECT_EQ(date->Text(), "September 11, 2006");
    EXPECT_EQ(profile->Range("C10")->Value(), Value::number(532));
    EXPECT_EQ(profile->Range("B10")->NumberFormat(), "0.0%");
    EXPECT_EQ(profile->Range("B10")->Text(), "93.8%") << "the cached result of =C10/567";
}

TEST(ExcelRealworld, BordersAsTheFileSays) {
    const auto budgetPath = realworld("poi__simple-monthly-budget.xlsx");
    REQUIRE_REALWORLD(budgetPath);
    auto budget = excel_test::open(budgetPath);
    auto sheet = budget.sheet(1);
    EXPECT_EQ(sheet->Name(), "Simple Monthly Budget");
    EXPECT_EQ(sheet->Range("C5")->Text(), "$2,500.00");
    EXPECT_EQ(sheet->Range("E4")->Borders(xlLeft).LineStyle(), xlContinuous);
    EXPECT_EQ(sheet->Range("E4")->Borders(xlLeft).Weight(), 4);
    EXPECT_EQ(sheet->Range("H5")->Borders(xlRight).LineStyle(), xlContinuous);
    EXPECT_TRUE(sheet->Range("H5")->Value().isEmpty());
    EXPECT_EQ(sheet->Range("B5")->Borders(xlRight).LineStyle(), xlNone);

    const auto tablesPath = realworld("poi__Tables.xlsx");
    REQUIRE_REALWORLD(tablesPath);
    auto tables = excel_test::open(tablesPath);
    EXPECT_EQ(tables.book->Worksheets()->Count(), 12);
    EXPECT_EQ(tables.sheet(2)->Name(), "Exp2 (2)");
    auto exp1 = tables.sheet(1);
    EXPECT_EQ(exp1->Range("A7")->Value(), Value::text("GROSS"));
    EXPECT_EQ(exp1->Range("A7")->Borders(xlRight).LineStyle(), xlContinuous);
    EXPECT_EQ(exp1->Range("A7")->Borders(xlLeft).LineStyle(), xlContinuous);
    EXPECT_TRUE(exp1->Range("A9")->Value().isBlank());
    EXPECT_EQ(exp1->Range("A9")->Borders(xlRight).LineStyle(), xlContinuous)
        << "a blank cell inside a bordered table";
    EXPECT_EQ(exp1->Range("A9")->NumberFormat(), "#,##0");
}

}  // namespace
