// The block search and the table extent, run on the fixture workbook through the spreadsheet
// host: where a block's marker is found, where a table ends, and which area is transferred.
#include <gtest/gtest.h>

#include <memory>

#include "engine/MDL_PptReport.h"
#include "engine/engine_support.h"
#include "office/error.h"
#include "office/excel.h"
#include "support/office_error.h"

namespace {

namespace excel = office::excel;
using engine_test::fixture;

class BlockExtent : public testing::Test {
protected:
    void SetUp() override {
        app_ = excel::Application::Create();
        book_ = app_->Workbooks()->Open(fixture("blocks.xlsx").string());
    }
    void TearDown() override {
        if (app_->IsRunning()) {
            app_->Quit();
        }
    }

    std::shared_ptr<excel::Worksheet> sheet(const std::string& name) {
        auto sheets = book_->Worksheets();
        for (int i = 1; i <= sheets->Count(); ++i) {
            if (sheets->Item(i)->Name() == name) {
                return sheets->Item(i);
            }
        }
        throw std::runtime_error("no worksheet " + name);
    }

    // The table area for the table whose first cell is at address, and the row after it.
    std::pair<std::string, int> area(const std::string& sheetName, const std::string& address) {
        auto ws = sheet(sheetName);
        int nextRow = 0;
        auto range = MDL_PptReport::GetBlockRange(ws, ws->Range(address), nextRow);
        return {range->Address(), nextRow};
    }

    // Runs the marker search from address; returns whether it found nothing and where the
    // reference stands afterwards.
    std::pair<bool, std::string> skip(const std::string& sheetName, const std::string& address) {
        auto cell = sheet(sheetName)->Range(address);
        const bool none = MDL_PptReport::SkipToNextBlock(cell);
        return {none, cell->Address()};
    }

    std::shared_ptr<excel::Application> app_;
    std::shared_ptr<excel::Workbook> book_;
};

TEST_F(BlockExtent, ExampleLayoutGivesTheAreaWithItsBlankCornerAndTheNextMarker) {
    EXPECT_EQ(skip("Sales", "A1"), std::make_pair(false, std::string("$A$1")));
    EXPECT_EQ(area("Sales", "A3"), std::make_pair(std::string("$A$3:$C$5"), 6));
    EXPECT_EQ(skip("Sales", "A6"), std::make_pair(false, std::string("$A$7")));
    EXPECT_EQ(area("Sales", "A9"), std::make_pair(std::string("$A$9:$B$10"), 11));
}

TEST_F(BlockExtent, SearchExaminesExactlyTenCells) {
    // Nine blank cells before the marker: it is the tenth cell examined.
    EXPECT_EQ(skip("Gap9", "A5"), std::make_pair(false, std::string("$A$14")));
    // Ten blank cells: not found, and the reference stands ten rows lower.
    EXPECT_EQ(skip("Gap10", "A5"), std::make_pair(true, std::string("$A$15")));
    EXPECT_EQ(skip("Empty", "A1"), std::make_pair(true, std::string("$A$11")));
}

TEST_F(BlockExtent, MarkerDirectlyUnderATableExtendsTheTable) {
    EXPECT_EQ(area("Under", "A3"), std::make_pair(std::string("$A$3:$B$8"), 9));
}

TEST_F(BlockExtent, GridLinesKeepBlankCellsAndNothingOutsideTheFirstRowAndColumnCounts) {
    // Blank A3, C3 and A5 are lined; F3 lies past the blank, unlined E3; B8 below a bottom
    // border does not lengthen the table.
    EXPECT_EQ(area("Borders", "A3"), std::make_pair(std::string("$A$3:$D$7"), 8));
}

TEST_F(BlockExtent, TableEndTestNeedsBlankAndNoVerticalLineOnEitherSide) {
    auto ws = sheet("Lines");
    EXPECT_TRUE(MDL_PptReport::IsBeyondBlock(ws->Range("A1")));
    EXPECT_FALSE(MDL_PptReport::IsBeyondBlock(ws->Range("A2"))) << "own right border";
    EXPECT_FALSE(MDL_PptReport::IsBeyondBlock(ws->Range("A3"))) << "neighbour's left border";
    EXPECT_FALSE(MDL_PptReport::IsBeyondBlock(ws->Range("A4"))) << "zero is a value";
    EXPECT_TRUE(MDL_PptReport::IsBeyondBlock(ws->Range("A5"))) << "a bottom border is no line";
    EXPECT_FALSE(MDL_PptReport::IsBeyondBlock(ws->Range("A6")));
}

TEST_F(BlockExtent, FirstCellIsNeverTested) {
    // A blank, unlined first cell in an empty region still gives one row and one column.
    auto ws = sheet("Lines");
    EXPECT_EQ(MDL_PptReport::FindBlockEdge(ws->Range("H20"), true), 20);
    EXPECT_EQ(MDL_PptReport::FindBlockEdge(ws->Range("H20"), false), 8);
    // Down from A4 (holding 0) the blank A5 with only a bottom border ends the table.
    EXPECT_EQ(MDL_PptReport::FindBlockEdge(ws->Range("A4"), true), 4);
    // Down from A1 the lines of A2 and A3 and the value of A4 carry the table to row 4.
    EXPECT_EQ(MDL_PptReport::FindBlockEdge(ws->Range("A1"), true), 4);
}

TEST_F(BlockExtent, LinesOfColumnFormatsReachNoFurtherThanTheSheetsCells) {
    // Every column's format lines every blank cell; the table still ends with the cells.
    auto ws =
        app_->Workbooks()->Open(fixture("column_borders.xlsx").string())->Worksheets()->Item(1);
    int nextRow = 0;
    EXPECT_EQ(MDL_PptReport::GetBlockRange(ws, ws->Range("A3"), nextRow)->Address(), "$A$3:$C$5");
    EXPECT_EQ(nextRow, 6);
}

TEST_F(BlockExtent, WalksThatReachTheSheetsEdgeFail) {
    auto ws = sheet("Lines");
    // The right neighbour of the last column is not read.
    EXPECT_OFFICE_ERROR(MDL_PptReport::IsBeyondBlock(ws->Cells(1, excel::kMaxColumns)),
                        office::ErrorCode::OutOfSheet,
                        "the cell at row 1, column 16385 lies beyond the worksheet");
    // Nor does the search go past the last row.
    auto cell = ws->Cells(excel::kMaxRows - 3, 1);
    EXPECT_OFFICE_ERROR(MDL_PptReport::SkipToNextBlock(cell), office::ErrorCode::OutOfSheet,
                        "the cell at row 1048577, column 1 lies beyond the worksheet");
}

}  // namespace
