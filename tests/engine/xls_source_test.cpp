// A conversion from a .xls workbook gives what the same conversion from the same workbook
// saved as .xlsx gives: the fixture blocks.xls is blocks.xlsx saved by LibreOffice. Several
// blocks stacked in column A fill one chart, a bordered table with blank cells is read by its
// border rule, and an embedded table object takes values and number formats.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/excel.h"
#include "support/validator.h"

namespace {

namespace fs = std::filesystem;
using engine_test::num;
using engine_test::txt;
using office::Value;
using Grid = std::vector<std::vector<Value>>;

constexpr int kBarSlide = 1;
constexpr int kLineSlide = 2;
constexpr int kTextSlide = 5;
constexpr int kEmbedSlide = 6;

class XlsSource : public engine_test::EngineRun {
protected:
    MDL_PptReport::RunStatistics convert(const std::string& workbook, const fs::path& output) {
        MDL_PptReport::RunStatistics statistics;
        MDL_PptReport::ConvertReport(engine_test::fixture(workbook).string(), template_.string(),
                                     output.string(), &statistics);
        return statistics;
    }
};

TEST_F(XlsSource, AConversionFromXlsGivesWhatTheSameWorkbookAsXlsxGives) {
    link({{kBarSlide, "Sales", "Bar Chart"},
          {kLineSlide, "Borders", "Line Chart"},
          {kTextSlide, "Share", "Chart Beside Text"},
          {kEmbedSlide, "Table", "Cost Table", "ExcelTable"}});
    const fs::path fromXls = folder_ / "from-xls.pptx";
    const auto xlsRun = convert("blocks.xls", fromXls);
    const auto xlsxRun = convert("blocks.xlsx", output_);
    EXPECT_EQ(xlsRun.slides, xlsxRun.slides);
    EXPECT_EQ(xlsRun.shapes, xlsxRun.shapes);
    EXPECT_EQ(xlsRun.blocks, xlsxRun.blocks);
    EXPECT_EQ(xlsRun.blocks, 5);

    // Two blocks of "Sales" stacked in column A: the second overwrites the first from (1, 1).
    const auto sales = engine_test::readChart(fromXls, kBarSlide, "Bar Chart", 5, 4);
    EXPECT_EQ(sales.grid, engine_test::readChart(output_, kBarSlide, "Bar Chart", 5, 4).grid);
    EXPECT_EQ(sales.grid[1][0], txt("East"));
    EXPECT_EQ(sales.grid[1][1], num(50));
    EXPECT_EQ(sales.title, "Second");

    // The bordered table keeps its blank cells: the border rule found its extent.
    const auto bordered = engine_test::readChart(fromXls, kLineSlide, "Line Chart", 5, 5);
    EXPECT_EQ(bordered.grid, engine_test::readChart(output_, kLineSlide, "Line Chart", 5, 5).grid);
    EXPECT_EQ(bordered.grid[1], (std::vector<Value>{txt("Jan"), num(1), num(2), num(3), Value()}));
    EXPECT_EQ(bordered.grid[2][0], Value());
    EXPECT_EQ(bordered.grid[4][3], num(12));

    const auto share = engine_test::readChart(fromXls, kTextSlide, "Chart Beside Text", 2, 2);
    EXPECT_EQ(share.title, "12.5%");
    EXPECT_EQ(share.grid,
              engine_test::readChart(output_, kTextSlide, "Chart Beside Text", 2, 2).grid);

    const auto table = engine_test::readEmbedded(fromXls, kEmbedSlide, "Cost Table", 5, 4);
    const auto same = engine_test::readEmbedded(output_, kEmbedSlide, "Cost Table", 5, 4);
    EXPECT_EQ(table.grid, same.grid);
    EXPECT_EQ(table.formats, same.formats);
    EXPECT_EQ(table.formats[1][1], "#,##0.00");
    EXPECT_EQ(table.grid[1][1], num(1250.5));

    const auto printed = engine_test::validate(fromXls, template_);
    if (printed) {
        EXPECT_EQ(*printed, "") << "the validator found faults in the output";
    }
}

// Every column's format lines every blank cell (column_borders.xlsx saved as .xls by LibreOffice
// here): the table still ends where the worksheet's cells end.
TEST_F(XlsSource, ColumnFormatsThatLineEveryCellFillTheBlocksTrueSize) {
    const fs::path xls = folder_ / "column_borders.xls";
    tabulon::testing::runCommand("soffice -env:UserInstallation=file://" + folder_.string() +
                                 "/profile --headless --convert-to xls --outdir '" +
                                 folder_.string() + "' '" +
                                 engine_test::fixture("column_borders.xlsx").string() + "'");
    if (!fs::exists(xls)) {
        GTEST_SKIP() << "needs LibreOffice Calc (soffice, libreoffice-calc-nogui) to save the "
                        "workbook as .xls";
    }
    // The column formats came over: a blank cell far from the table reads as lined.
    auto app = office::excel::Application::Create();
    auto sheet = app->Workbooks()->Open(xls.string())->Worksheets()->Item(1);
    EXPECT_FALSE(MDL_PptReport::IsBeyondBlock(sheet->Range("F9")));
    app->Quit();

    link({{kEmbedSlide, "Data", "Cost Table", "ExcelTable"}});
    MDL_PptReport::ConvertReport(xls.string(), template_.string(), output_.string());
    const auto table = engine_test::readEmbedded(output_, kEmbedSlide, "Cost Table", 4, 4);
    EXPECT_EQ(table.grid[2], (std::vector<Value>{txt("South"), num(3), num(4), txt("old 3D")}));
    EXPECT_EQ(table.grid[3][0], txt("old 4A"));
}

}  // namespace
