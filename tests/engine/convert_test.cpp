// Conversion runs end to end through ConvertReport on real files: the fixture template is
// linked through the office host, converted from the fixture workbook, and the output is read
// back through the host (and checked by the independent validator where it is installed).
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"

namespace {

namespace fs = std::filesystem;
using engine_test::ChartContent;
using engine_test::Link;
using engine_test::num;
using engine_test::txt;
using office::Value;
using Grid = std::vector<std::vector<Value>>;

// The shapes of the fixture template charts.pptx, by slide.
constexpr int kBarSlide = 1;    // "Bar Chart": titled "Old title", 3 series x 4 categories
constexpr int kLineSlide = 2;   // "Line Chart": no title, same data
constexpr int kPieSlide = 3;    // "Pie Chart": titled, one series
constexpr int kPairSlide = 4;   // "Chart 1" and "Chart 10"
constexpr int kTextSlide = 5;   // "Text Box", then "Chart Beside Text"
constexpr int kEmbedSlide = 6;  // "Heading", then the embedded workbook "Cost Table"

// The bar chart's data before any run: corner, three series over four quarters.
Grid originalBarGrid() {
    return {{Value(), txt("Old A"), txt("Old B"), txt("Old C")},
            {txt("Q1"), num(1), num(5), num(9)},
            {txt("Q2"), num(2), num(6), num(10)},
            {txt("Q3"), num(3), num(7), num(11)},
            {txt("Q4"), num(4), num(8), num(12)}};
}

std::string show(const Grid& grid) {
    std::string text;
    for (const auto& row : grid) {
        for (const auto& value : row) {
            text += "[" + value.toString() + "]";
        }
        text += "\n";
    }
    return text;
}

// Compares every cell but the corner (1, 1), whose original content is the chart maker's.
void expectGridWithoutCorner(const Grid& actual, const Grid& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t r = 0; r < expected.size(); ++r) {
        for (size_t c = 0; c < expected[r].size(); ++c) {
            if (r == 0 && c == 0) {
                continue;
            }
            EXPECT_EQ(actual[r][c], expected[r][c])
                << "cell (" << r + 1 << ", " << c + 1 << ")\nactual:\n"
                << show(actual) << "expected:\n"
                << show(expected);
        }
    }
}

class Convert : public engine_test::EngineRun {
protected:
    MDL_PptReport::RunStatistics convert(const std::string& workbook = "blocks.xlsx") {
        MDL_PptReport::RunStatistics statistics;
        MDL_PptReport::ConvertReport(engine_test::fixture(workbook).string(), template_.string(),
                                     output_.string(), &statistics);
        return statistics;
    }

    ChartContent chart(int slide, const std::string& shape, int rows = 5, int columns = 4) {
        return engine_test::readChart(output_, slide, shape, rows, columns);
    }

    void expectValid() {
        const auto printed = engine_test::validate(output_, template_);
        if (printed) {
            EXPECT_EQ(*printed, "") << "the validator found faults in the output";
        }
    }
};

TEST_F(Convert, TwoBlocksGoIntoOneChartTheSecondOverwritingTheFirstFromTheCorner) {
    link({{kBarSlide, "Sales", "Bar Chart"}});
    const auto statistics = convert();

    // Block 1 (A3:C5) then block 2 (A9:B10) pasted at (1, 1); the rest of the old data stays.
    Grid expected = originalBarGrid();
    expected[0] = {Value(), num(2025), num(2024), txt("Old C")};
    expected[1] = {txt("East"), num(50), num(20), num(9)};
    expected[2] = {txt("South"), num(30), num(40), num(10)};
    const auto content = chart(kBarSlide, "Bar Chart");
    expectGridWithoutCorner(content.grid, expected);
    EXPECT_TRUE(content.hasTitle);
    EXPECT_EQ(content.title, "Second");

    EXPECT_EQ(statistics.slides, 1);
    EXPECT_EQ(statistics.shapes, 1);
    EXPECT_EQ(statistics.blocks, 2);
    expectValid();
}

TEST_F(Convert, UnlinkedSlidesAreSavedUnchanged) {
    link({{kBarSlide, "Sales", "Bar Chart"}});
    convert();
    const auto before = engine_test::readChart(template_, kPieSlide, "Pie Chart", 5, 2);
    const auto after = chart(kPieSlide, "Pie Chart", 5, 2);
    EXPECT_EQ(after.grid, before.grid);
    EXPECT_EQ(after.title, "Pie title");
    EXPECT_EQ(engine_test::slideNames(output_), engine_test::slideNames(template_));
}

TEST_F(Convert, NextMarkerIsFoundAfterNineBlankCellsButNotAfterTen) {
    link({{kBarSlide, "Gap9", "Bar Chart"}, {kLineSlide, "Gap10", "Line Chart"}});
    const auto statistics = convert();
    EXPECT_EQ(statistics.blocks, 3);

    const auto nine = chart(kBarSlide, "Bar Chart", 2, 2);
    EXPECT_EQ(nine.grid, (Grid{{txt("Item"), txt("Value")}, {txt("b"), num(2)}}));
    EXPECT_EQ(nine.title, "Second");
    const auto ten = chart(kLineSlide, "Line Chart", 2, 2);
    EXPECT_EQ(ten.grid, (Grid{{txt("Item"), txt("Value")}, {txt("a"), num(1)}}));
}

TEST_F(Convert, MarkerDirectlyUnderATableIsReadAsMoreRowsOfIt) {
    link({{kBarSlide, "Under", "Bar Chart"}});
    EXPECT_EQ(convert().blocks, 1);
    const auto content = chart(kBarSlide, "Bar Chart", 6, 2);
    EXPECT_EQ(content.grid, (Grid{{txt("Item"), txt("Value")},
                                  {txt("a"), num(1)},
                                  {txt("b"), num(2)},
                                  {txt("second"), Value()},
                                  {txt("Second"), Value()},
                                  {txt("c"), num(3)}}));
    EXPECT_EQ(content.title, "First");
}

TEST_F(Convert, GridLinesKeepBlankCellsInsideTheTable) {
    link({{kBarSlide, "Borders", "Bar Chart"}});
    convert();
    // A3:D7 lands on (1, 1) to (5, 4): the blank C3 and A5 are pasted as blanks over the old
    // data; F3 and B8 stay out.
    const auto content = chart(kBarSlide, "Bar Chart", 5, 5);
    const Grid expected = {
        {Value(), txt("East"), Value(), txt("West"), Value()},
        {txt("Jan"), num(1), num(2), num(3), Value()},
        {Value(), num(4), num(5), num(6), Value()},
        {txt("Mar"), num(7), num(8), num(9), Value()},
        {txt("Apr"), num(10), num(11), num(12), Value()},
    };
    expectGridWithoutCorner(content.grid, expected);
    EXPECT_EQ(content.title, "Bordered");
}

TEST_F(Convert, SheetsMatchSlidesByExactCaseSensitiveName) {
    link({{kBarSlide, "Sales", "Bar Chart"},
          {kLineSlide, "sales", "Line Chart"},
          {kTextSlide, "Sales ", "Chart Beside Text"}});
    const auto statistics = convert();
    EXPECT_EQ(statistics.slides, 1);
    EXPECT_EQ(chart(kBarSlide, "Bar Chart").title, "Second");
    expectGridWithoutCorner(chart(kLineSlide, "Line Chart").grid, originalBarGrid());
    const auto untouched = chart(kTextSlide, "Chart Beside Text");
    expectGridWithoutCorner(untouched.grid, originalBarGrid());
    EXPECT_EQ(untouched.title, "Beside text");
}

TEST_F(Convert, EverySlideOfTheSheetsNameIsFilled) {
    link({{kBarSlide, "Dated", "Bar Chart"}, {kTextSlide, "Dated", "Chart Beside Text"}});
    const auto statistics = convert();
    EXPECT_EQ(statistics.slides, 2);
    EXPECT_EQ(chart(kBarSlide, "Bar Chart", 2, 2).grid,
              (Grid{{Value(), txt("Units")}, {txt("Pens"), num(12)}}));
    EXPECT_EQ(chart(kTextSlide, "Chart Beside Text", 2, 2).grid,
              (Grid{{Value(), txt("Units")}, {txt("Pens"), num(12)}}));
}

TEST_F(Convert, WorksheetWithoutABlockLeavesItsSlideAsItWas) {
    link({{kBarSlide, "Empty", "Bar Chart"}});
    const auto statistics = convert();
    EXPECT_EQ(statistics.slides, 0);
    const auto content = chart(kBarSlide, "Bar Chart");
    expectGridWithoutCorner(content.grid, originalBarGrid());
    EXPECT_EQ(content.title, "Old title");
}

TEST_F(Convert, TitleIsTheCellAsDisplayedAndOnlyWhereTheChartShowsOne) {
    link({{kBarSlide, "Dated", "Bar Chart"},
          {kPieSlide, "Untitled", "Pie Chart"},
          {kTextSlide, "Share", "Chart Beside Text"},
          {kLineSlide, "Sales", "Line Chart"}});
    convert();
    EXPECT_EQ(chart(kBarSlide, "Bar Chart").title, "November 2026");
    const auto blank = chart(kPieSlide, "Pie Chart", 2, 2);
    EXPECT_TRUE(blank.hasTitle);
    EXPECT_EQ(blank.title, "");
    EXPECT_EQ(chart(kTextSlide, "Chart Beside Text").title, "12.5%");
    const auto untitled = chart(kLineSlide, "Line Chart", 2, 2);
    EXPECT_FALSE(untitled.hasTitle);
    EXPECT_EQ(untitled.grid[1][0], txt("East"));
    expectValid();
}

TEST_F(Convert, TargetIsTheFirstShapeWhoseNameOccursInTheTagIgnoringCase) {
    // "Chart 1" stands before "Chart 10" and occurs in "chart 10".
    link({{kPairSlide, "Dated", "chart 10"}});
    convert();
    EXPECT_EQ(chart(kPairSlide, "Chart 1", 2, 2).grid[1][0], txt("Pens"));
    const auto ten = chart(kPairSlide, "Chart 10", 2, 2);
    EXPECT_EQ(ten.grid[1][0], txt("x"));
    EXPECT_EQ(ten.title, "Ten");
}

TEST_F(Convert, EmbeddedWorkbookReceivesTheTableAtA1OfItsFirstWorksheet) {
    link({{kEmbedSlide, "Table", "Cost Table", "ExcelTable"}});
    const auto statistics = convert();
    EXPECT_EQ(statistics.shapes, 1);

    const auto content = engine_test::readEmbedded(output_, kEmbedSlide, "Cost Table", 5, 4);
    EXPECT_EQ(content.grid[0],
              (std::vector<Value>{txt("Item"), txt("Cost"), txt("Share"), txt("old 1D")}));
    EXPECT_EQ(content.grid[1],
              (std::vector<Value>{txt("Rent"), num(1250.5), num(0.625), txt("old 2D")}));
    EXPECT_EQ(content.grid[2][1], num(750.25));
    EXPECT_EQ(content.grid[3][0], txt("old 4A"));
    EXPECT_EQ(content.grid[4][3], txt("old 5D"));
    EXPECT_EQ(content.formats[1][1], "#,##0.00");
    EXPECT_EQ(content.formats[1][2], "0.0%");
    EXPECT_EQ(content.sheetNames, (std::vector<std::string>{"Data", "Notes"}));
    EXPECT_EQ(content.secondSheetA1, "untouched");
    expectValid();
}

}  // namespace
