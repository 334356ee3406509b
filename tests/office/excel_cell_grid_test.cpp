// The compact grid of a chart's data sheet gives back what was put in, as a map of clipboard
// cells would: every kind of value with its number format, in row and column order whatever the
// order of writing, the last write of a cell winning.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "office/excel/cell_grid.h"

namespace {

namespace xd = office::excel::detail;
using office::ClipCell;
using office::Value;

ClipCell cell(Value value, std::string format = "General") {
    ClipCell c;
    c.value = std::move(value);
    c.numberFormat = std::move(format);
    return c;
}

std::string listed(const xd::CellGrid& grid, const xd::Area* area = nullptr) {
    std::string out;
    auto add = [&](xd::CellPos pos, const ClipCell& c) {
        out += xd::cellName(pos.row, pos.column) + "=" + c.value.toString() + "|" + c.numberFormat +
               " ";
    };
    if (area) {
        grid.forEachIn(*area, add);
    } else {
        grid.forEach(add);
    }
    return out;
}

TEST(CellGrid, KeepsEveryKindOfValueWithItsFormatAndTheLastWriteWins) {
    xd::CellGrid grid;
    grid.set({3, 2}, cell(Value::number(2.5), "0.00"));
    grid.set({1, 4}, cell(Value::text("Región ☃")));
    grid.set({1, 1}, cell(Value::date(45000), "yyyy-mm-dd"));
    grid.set({2, 3}, cell(Value::boolean(true)));
    grid.set({2, 1}, cell(Value::error("#N/A")));
    grid.set({2, 2}, cell(Value()));  // a blank cell is a cell
    grid.set({3, 2}, cell(Value::number(7), "#,##0"));
    grid.setValue({1, 4}, Value::text("kept format"));
    grid.setValue({4, 9}, Value::text("new"));

    EXPECT_EQ(grid.size(), 7u);
    EXPECT_TRUE(grid.contains({2, 2}));
    EXPECT_FALSE(grid.contains({2, 4}));
    EXPECT_FALSE(grid.find({5, 1}));
    const auto date = grid.find({1, 1});
    ASSERT_TRUE(date);
    EXPECT_EQ(date->value.kind(), Value::Kind::Date);
    EXPECT_EQ(date->value.asNumber(), 45000);
    EXPECT_EQ(date->numberFormat, "yyyy-mm-dd");
    EXPECT_EQ(grid.find({2, 1})->value, Value::error("#N/A"));
    EXPECT_EQ(grid.find({2, 3})->value, Value::boolean(true));
    EXPECT_TRUE(grid.find({2, 2})->value.isEmpty());
    EXPECT_EQ(grid.find({3, 2})->value, Value::number(7));
    EXPECT_EQ(grid.find({3, 2})->numberFormat, "#,##0");

    const xd::CellMap map = grid.toMap();
    ASSERT_EQ(map.size(), 7u);
    EXPECT_EQ(map.begin()->first, (xd::CellPos{1, 1}));
    EXPECT_EQ(map.at({1, 4}).value, Value::text("kept format"));
    EXPECT_EQ(map.at({4, 9}).numberFormat, "General");
    EXPECT_EQ(listed(xd::CellGrid(map)), listed(grid)) << "a map converts both ways";
}

TEST(CellGrid, WalksRowsThenColumnsInsideAnAreaAndKnowsItsBounds) {
    xd::CellGrid grid;
    EXPECT_FALSE(grid.bounds());
    for (int row : {5, 1, 3}) {
        for (int column : {4, 2, 6}) {
            grid.set({row, column}, cell(Value::number(row * 10 + column)));
        }
    }
    const auto bounds = grid.bounds();
    ASSERT_TRUE(bounds);
    EXPECT_EQ(*bounds, (xd::Area{1, 2, 5, 6}));
    const xd::Area inner{2, 3, 5, 4};
    EXPECT_EQ(listed(grid, &inner), "D3=34|General D5=54|General ");
    const std::string all = listed(grid);
    EXPECT_EQ(all.substr(0, 42), "B1=12|General D1=14|General F1=16|General ");
    EXPECT_EQ(all.substr(all.size() - 14), "F5=56|General ");
}

}  // namespace
