// Runs that fill native tables: the fixture tables.pptx (pptxgenjs) linked with "Type" =
// "Table", converted from tables.xlsx (openpyxl), and read back through the host and checked
// by the validator.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/error.h"
#include "office/powerpoint.h"
#include "support/office_error.h"
#include "support/validator.h"
#include "support/zip_entries.h"

namespace {

namespace fs = std::filesystem;
namespace ppt = office::ppt;
using engine_test::Link;
using Texts = std::vector<std::vector<std::string>>;

std::string tablesTemplate() {
    return std::string(TABULON_FIXTURES_DIR) + "/pptx/tables.pptx";
}

// Every cell text of the table of the shape named `name` on the slide.
Texts readTable(const fs::path& path, int slide, const std::string& name) {
    auto app = ppt::Application::Create();
    auto shapes = app->Presentations()->Open(path.string())->Slides()->Item(slide)->Shapes();
    Texts texts;
    for (int i = 1; i <= shapes->Count(); ++i) {
        if (shapes->Item(i)->Name() != name) {
            continue;
        }
        auto table = shapes->Item(i)->Table();
        for (int r = 1; r <= table->RowCount(); ++r) {
            auto& row = texts.emplace_back();
            for (int c = 1; c <= table->ColumnCount(); ++c) {
                row.push_back(table->CellText(r, c));
            }
        }
    }
    app->Quit();
    return texts;
}

class TableRun : public ::testing::Test {
protected:
    void convert(const std::vector<Link>& links) {
        engine_test::linkTemplate(tablesTemplate(), linked, links);
        MDL_PptReport::ConvertReport(engine_test::fixture("tables.xlsx").string(), linked.string(),
                                     output.string());
    }

    void expectValid() {
        if (auto problems = tabulon::testing::Validate(output.string(), tablesTemplate())) {
            EXPECT_EQ(*problems, "");
        }
    }

    // The text of the office::Error that the run fails with, which must have `code`; nothing
    // is written then.
    std::string failure(const std::vector<Link>& links, office::ErrorCode code) {
        try {
            convert(links);
        } catch (const office::Error& error) {
            EXPECT_EQ(error.code(), code) << error.text();
            EXPECT_FALSE(fs::exists(output));
            return error.text();
        }
        ADD_FAILURE() << "the run did not fail";
        return {};
    }

    fs::path folder = engine_test::scratchFolder();
    fs::path linked = folder / "linked.pptx";
    fs::path output = folder / "out.pptx";
};

TEST_F(TableRun, FillsEachTableWithTheTextsTheWorkbookShows) {
    convert({{1, "Grow", "Sales table", "Table"},
             {2, "Merged", "Merged table", "Table"},
             {3, "Shrink", "CJK table", "Table"}});
    expectValid();
    const Texts grown = {{"Region", "Share", "Revenue", "Closed", "Note"},
                         {"North", "12.5%", "$1,234.50", "2024-03-31", "#N/A"},
                         {"South", "50.0%", "$99.00", "2024-12-01", "ok"},
                         {"华北", "100.0%", "$0.00", "2025-01-15", "东京"},
                         {"West", "6.3%", "-$12.25", "2025-06-30", "last"}};
    EXPECT_EQ(readTable(output, 1, "Sales table"), grown);
    // The merged cells of the workbook lie over the merged cells of the table.
    const Texts merged = {{"Land", "2025", ""},
                          {"", "Jan-Jun", "Jul-Dec"},
                          {"Bayern", "10", "20"},
                          {"Hessen", "30", "40"}};
    EXPECT_EQ(readTable(output, 2, "Merged table"), merged);
    EXPECT_EQ(readTable(output, 3, "CJK table"), (Texts{{"Area", "Q1"}, {"East", "5"}}));
    // A table has no title: the block's title line goes nowhere.
    for (const auto& [name, bytes] : support::readZipEntries(output.string())) {
        EXPECT_EQ(bytes.find("Not used by a table"), std::string::npos) << name;
    }
}

TEST_F(TableRun, TheLastBlockOfASheetIsAllThatTheTableHolds) {
    convert({{1, "Twice", "Sales table", "Table"}});
    expectValid();
    EXPECT_EQ(readTable(output, 1, "Sales table"), (Texts{{"x", "y"}, {"z", "w"}}));
}

TEST_F(TableRun, ABlockThatWouldSplitAMergedCellEndsTheRunNamingSlideShapeAndCell) {
    const std::string text =
        failure({{2, "Split", "Merged table", "Table"}}, office::ErrorCode::NotSupported);
    EXPECT_NE(text.find("slide 2, shape \"Merged table\""), std::string::npos) << text;
    EXPECT_NE(text.find("split the merged cell at row 1, column 2"), std::string::npos) << text;
}

TEST_F(TableRun, OnlyTheTypeTagTableSendsABlockToATable) {
    // Linked as anything else, a table is what it always was: no embedded object.
    const std::string asChart =
        failure({{1, "Shrink", "Sales table", "Chart"}}, office::ErrorCode::TypeMismatch);
    EXPECT_NE(asChart.find("holds no embedded object: it is a table"), std::string::npos)
        << asChart;
    // And a "Table" link to a shape without a table says what the shape is.
    engine_test::linkTemplate(engine_test::fixture("charts.pptx"), linked,
                              {{1, "Sales", "Bar Chart", "Table"}});
    EXPECT_OFFICE_ERROR(MDL_PptReport::ConvertReport(engine_test::fixture("blocks.xlsx").string(),
                                                     linked.string(), output.string()),
                        office::ErrorCode::TypeMismatch,
                        "linked.pptx: slide 1, shape \"Bar Chart\" holds no table: it is an "
                        "embedded object");
}

}  // namespace
