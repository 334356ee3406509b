// What a run tells about itself: the warnings it collects for what it left undone or did on a
// guess, the shapes it filled, a dry run that writes nothing, sheets that are no worksheets,
// and failures that say which file, worksheet, block, slide and shape they came from.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/error.h"
#include "support/office_error.h"

namespace {

namespace fs = std::filesystem;
using engine_test::Link;
using engine_test::txt;
using Kind = MDL_PptReport::RunWarning::Kind;

constexpr int kBarSlide = 1;
constexpr int kLineSlide = 2;
constexpr int kPairSlide = 4;  // "Chart 1", then "Chart 10"

class RunReport : public engine_test::EngineRun {
protected:
    MDL_PptReport::RunStatistics convert(const std::string& workbook,
                                         MDL_PptReport::RunOptions options = {}) {
        MDL_PptReport::RunStatistics statistics;
        MDL_PptReport::ConvertReport(engine_test::fixture(workbook).string(), template_.string(),
                                     output_.string(), &statistics, options);
        return statistics;
    }

    static std::vector<std::string> texts(const MDL_PptReport::RunStatistics& run, Kind kind) {
        std::vector<std::string> found;
        for (const auto& warning : run.warnings) {
            if (warning.kind == kind) {
                found.push_back(warning.text);
            }
        }
        return found;
    }
};

TEST_F(RunReport, ShapeNamedExactlyAsTheTagWinsOverAnEarlierPartialMatch) {
    // "Chart 1" stands first and occurs in "Chart 10"; the exact name decides.
    link({{kPairSlide, "Dated", "Chart 10"}});
    const auto run = convert("blocks.xlsx");
    EXPECT_EQ(engine_test::readChart(output_, kPairSlide, "Chart 10", 2, 2).grid[1][0],
              txt("Pens"));
    EXPECT_EQ(engine_test::readChart(output_, kPairSlide, "Chart 1", 2, 2).grid[1][0], txt("x"));
    EXPECT_TRUE(texts(run, Kind::ShapeChosenByPart).empty());
    ASSERT_EQ(run.filled.size(), 1u);
    EXPECT_EQ(run.filled[0].shape, "Chart 10");
    EXPECT_EQ(run.filled[0].slideIndex, kPairSlide);
    EXPECT_EQ(run.filled[0].blocks, 1);
}

TEST_F(RunReport, ShapeFoundByPartOfTheTagIsFilledAndNamedInAWarning) {
    link({{kPairSlide, "Dated", "the Chart 10 of slide four"}});
    const auto run = convert("blocks.xlsx");
    EXPECT_EQ(engine_test::readChart(output_, kPairSlide, "Chart 1", 2, 2).grid[1][0], txt("Pens"));
    EXPECT_EQ(texts(run, Kind::ShapeChosenByPart),
              std::vector<std::string>{
                  "template.pptx: slide 4 (\"Dated\"): no shape is named \"the Chart 10 of slide "
                  "four\" as its tag \"name\" says; filled \"Chart 1\", whose name occurs in it"});
}

TEST_F(RunReport, WorksheetsThatFillNoSlideAreEachNamedOnce) {
    link({{kBarSlide, "Sales", "Bar Chart"}});
    const auto run = convert("blocks.xlsx");
    const auto unused = texts(run, Kind::SheetFillsNoSlide);
    EXPECT_NE(std::find(unused.begin(), unused.end(),
                        "blocks.xlsx: worksheet \"Gap9\" fills no slide: template.pptx has no "
                        "slide of that name"),
              unused.end());
    // Every worksheet but Sales: Gap9, Gap10, Under, Borders, Lines, Empty, Dated, Untitled,
    // Share, Table.
    EXPECT_EQ(unused.size(), 10u);
    for (const auto& text : unused) {
        EXPECT_EQ(text.find("\"Sales\""), std::string::npos) << text;
    }
}

TEST_F(RunReport, LinkedSlideWithoutAWorksheetOfItsNameIsNamed) {
    // A trailing blank: the worksheet is "Sales", the slide "Sales ".
    link({{kBarSlide, "Sales", "Bar Chart"}, {kLineSlide, "Sales ", "Line Chart"}});
    const auto run = convert("blocks.xlsx");
    EXPECT_EQ(texts(run, Kind::SlideWithoutSheet),
              std::vector<std::string>{"template.pptx: slide 2 (\"Sales \") is linked, but "
                                       "blocks.xlsx has no worksheet of that name"});
    // Unlinked slides of other names are no concern.
    EXPECT_EQ(run.slides, 1);
}

TEST_F(RunReport, WorksheetWithoutATableBlockIsNamedWithItsSlide) {
    link({{kBarSlide, "Empty", "Bar Chart"}});
    const auto run = convert("blocks.xlsx");
    EXPECT_EQ(texts(run, Kind::SheetWithoutBlock),
              std::vector<std::string>{
                  "blocks.xlsx: worksheet \"Empty\" has no table block (rows 1 to 10 of column A "
                  "are blank), so slide 1 (\"Empty\") keeps the template's data"});
    EXPECT_TRUE(run.filled.empty());
}

TEST_F(RunReport, CleanRunHasNoWarningsAndNamesTheFileItWrote) {
    link({{kBarSlide, "Sales", "Bar Chart"}, {kLineSlide, "Later", "Line Chart"}});
    output_ = folder_ / "report";  // no extension: the host adds .pptx
    const auto run = convert("clean.xlsx");
    EXPECT_TRUE(run.warnings.empty()) << run.warnings.front().text;
    EXPECT_EQ(fs::path(run.writtenPath), folder_ / "report.pptx");
    EXPECT_TRUE(fs::exists(folder_ / "report.pptx"));
    EXPECT_FALSE(fs::exists(folder_ / "report"));
}

TEST_F(RunReport, DryRunFillsEverythingAndWritesNothing) {
    link({{kBarSlide, "Sales", "Bar Chart"}, {kLineSlide, "Gap9", "Line Chart"}});
    const auto run = convert("blocks.xlsx", {.dryRun = true});
    EXPECT_FALSE(fs::exists(output_));
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1)
        << "only the template is in the folder";
    EXPECT_TRUE(run.writtenPath.empty());
    ASSERT_EQ(run.filled.size(), 2u);
    EXPECT_EQ(run.filled[0].sheet, "Sales");
    EXPECT_EQ(run.filled[0].shape, "Bar Chart");
    EXPECT_EQ(run.filled[0].blocks, 2);
    EXPECT_EQ(run.filled[1].sheet, "Gap9");
    EXPECT_EQ(run.filled[1].slideIndex, kLineSlide);
    EXPECT_EQ(run.blocks, 4);
    EXPECT_EQ(MDL_PptReport::EngineXlsApp, nullptr) << "a dry run ends as a run does";
    EXPECT_EQ(MDL_PptReport::EnginePptApp, nullptr);
}

TEST_F(RunReport, ChartDialogAndMacroSheetsBetweenWorksheetsArePassedOver) {
    link({{kBarSlide, "Sales", "Bar Chart"}, {kLineSlide, "Later", "Line Chart"}});
    const auto run = convert("mixed.xlsx");
    EXPECT_EQ(run.slides, 2);
    EXPECT_EQ(run.sheets, 3) << "Sales, Later and Wide are the worksheets";
    EXPECT_EQ(engine_test::readChart(output_, kLineSlide, "Line Chart", 2, 2).grid[1][0], txt("x"));
    const auto printed = engine_test::validate(output_, template_);
    if (printed) {
        EXPECT_EQ(*printed, "");
    }
}

TEST_F(RunReport, FormulaWithoutAComputedValueIsNamedWithItsSheetAndCell) {
    link({{kBarSlide, "Sales", "Bar Chart"}, {kLineSlide, "Later", "Line Chart"}});
    const auto run = convert("mixed.xlsx");
    EXPECT_EQ(texts(run, Kind::FormulaWithoutValue),
              std::vector<std::string>{
                  "mixed.xlsx: worksheet \"Later\", cell C4: the formula has no computed value "
                  "and is filled in as blank; opening and saving the workbook in an office suite "
                  "computes it"});
    EXPECT_EQ(engine_test::readChart(output_, kLineSlide, "Line Chart", 2, 3).grid[1][2],
              office::Value());
}

TEST_F(RunReport, ChartThatKeepsTemplateDataBeyondTheBlockNamesSeriesAndCategories) {
    // One series over one category into a chart of three series over four quarters.
    link({{kBarSlide, "Dated", "Bar Chart"}});
    const auto run = convert("blocks.xlsx");
    EXPECT_EQ(
        texts(run, Kind::DataKeptBeyondBlock),
        std::vector<std::string>{
            "template.pptx: slide 1 (\"Dated\"), shape \"Bar Chart\": the chart keeps data beyond "
            "the last block pasted into it: series \"Old B\", \"Old C\"; categories \"Q2\", "
            "\"Q3\", \"Q4\""});
}

TEST_F(RunReport, ChartWhoseDataTheBlockCoversKeepsNothingToWarnOf) {
    // The bordered table is three series over four rows, as large as the chart's old data.
    link({{kBarSlide, "Borders", "Bar Chart"}});
    const auto run = convert("blocks.xlsx");
    EXPECT_TRUE(texts(run, Kind::DataKeptBeyondBlock).empty())
        << texts(run, Kind::DataKeptBeyondBlock).front();
}

TEST_F(RunReport, ChartSheetOfALinkedSlidesNameCountsAsNoWorksheet) {
    link({{kBarSlide, "Sales", "Bar Chart"}, {kLineSlide, "Chart1", "Line Chart"}});
    const auto run = convert("mixed.xlsx");
    EXPECT_EQ(texts(run, Kind::SlideWithoutSheet).size(), 1u);
    EXPECT_EQ(run.slides, 1);
}

TEST_F(RunReport, FailureInsideABlockNamesWorkbookSheetBlockTemplateSlideAndShape) {
    // The header row of "Wide" runs to the last column: the edge search reads beyond it.
    link({{kBarSlide, "Wide", "Bar Chart"}});
    EXPECT_OFFICE_ERROR(convert("mixed.xlsx"), office::ErrorCode::OutOfSheet,
                        "mixed.xlsx: worksheet \"Wide\", block from row 1; template.pptx: slide 1 "
                        "(\"Wide\"), shape \"Bar Chart\": the cell at row 3, column 16385 lies "
                        "beyond the worksheet");
    EXPECT_FALSE(fs::exists(output_));
}

}  // namespace

TEST_F(RunReport, ProgressCountsTheSlidesThatWorksheetsFill) {
    link({{kBarSlide, "Sales", "Bar Chart"}, {kLineSlide, "Gap9", "Line Chart"}});
    std::vector<std::pair<int, int>> told;
    MDL_PptReport::RunOptions options;
    options.progress = [&](int done, int linked) { told.emplace_back(done, linked); };
    convert("blocks.xlsx", options);
    EXPECT_EQ(told, (std::vector<std::pair<int, int>>{{0, 2}, {1, 2}, {2, 2}}));
}
