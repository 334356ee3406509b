// The look of a sheet's cells read from a workbook made by openpyxl
// (tests/fixtures/make_styled_table.py), with its usual default namespace and with every
// SpreadsheetML part under the prefix "x:".

#include "office/excel/look.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using office::excel::HorizontalAlign;
using office::excel::readSheetLook;
using office::excel::SheetLook;

std::string fixture(const std::string& name) {
    return std::string(TABULON_FIXTURES_DIR) + "/xlsx/" + name;
}

// True when two colours differ by at most `slack` in every channel.
bool near(std::uint32_t a, std::uint32_t b, int slack = 2) {
    for (int shift : {16, 8, 0}) {
        const int x = static_cast<int>((a >> shift) & 0xFF);
        const int y = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(x - y) > slack) {
            return false;
        }
    }
    return true;
}

class ExcelLook : public ::testing::TestWithParam<std::string> {
protected:
    SheetLook read(int firstRow = 1, int lastRow = 100) {
        auto package = office::package::Package::openFile(fixture(GetParam()), "workbook");
        return readSheetLook(package, firstRow, lastRow);
    }
};

TEST_P(ExcelLook, FontsFillsAndAlignmentOfTheTitleAndHeader) {
    const SheetLook look = read();
    const auto& title = look.lookAt(1, 1);
    EXPECT_TRUE(title.bold);
    EXPECT_DOUBLE_EQ(title.fontSize, 16);
    EXPECT_EQ(title.fontName, "Calibri");
    EXPECT_EQ(title.fontColor, 0x1F4E78u);
    EXPECT_EQ(title.align, HorizontalAlign::Center);
    EXPECT_FALSE(title.fill);

    const auto& header = look.lookAt(2, 3);
    EXPECT_TRUE(header.bold);
    EXPECT_FALSE(header.italic);
    EXPECT_EQ(header.fontColor, 0xFFFFFFu);
    ASSERT_TRUE(header.fill);
    EXPECT_EQ(*header.fill, 0x1F4E78u);
    EXPECT_EQ(header.align, HorizontalAlign::Center);
    EXPECT_DOUBLE_EQ(header.fontSize, 11);  // the font names no size: the default
}

TEST_P(ExcelLook, BordersThemeColoursWithTintAndTheDefaultLook) {
    const SheetLook look = read();
    const auto& number = look.lookAt(3, 2);
    for (const auto* edge : {&number.left, &number.right, &number.top, &number.bottom}) {
        EXPECT_EQ(edge->width, 1);
        EXPECT_EQ(edge->color, 0x000000u);
    }
    EXPECT_EQ(number.align, HorizontalAlign::General);
    EXPECT_FALSE(number.fill);

    const auto& note = look.lookAt(5, 1);
    EXPECT_TRUE(note.italic);
    EXPECT_TRUE(note.underline);
    ASSERT_TRUE(note.fill);
    // Accent 1 of the theme (4F81BD) lightened by 40%, as Excel shows it.
    EXPECT_TRUE(near(*note.fill, 0x95B3D7)) << std::hex << *note.fill;

    const auto& blank = look.lookAt(9, 9);
    EXPECT_FALSE(blank.bold);
    EXPECT_FALSE(blank.fill);
    EXPECT_EQ(blank.left.width, 0);
}

TEST_P(ExcelLook, MergedAreasWidthsAndHeights) {
    const SheetLook look = read();
    ASSERT_EQ(look.merges.size(), 1u);
    EXPECT_EQ(look.merges[0].top, 1);
    EXPECT_EQ(look.merges[0].left, 1);
    EXPECT_EQ(look.merges[0].bottom, 1);
    EXPECT_EQ(look.merges[0].right, 4);
    EXPECT_EQ(look.columnPixels(1), 140);
    EXPECT_EQ(look.columnPixels(4), 98);
    EXPECT_EQ(look.columnPixels(5), 64);  // the default of baseColWidth 8
    EXPECT_EQ(look.rowPixels(2), 20);     // 15 points
}

TEST_P(ExcelLook, RowsOutsideTheShownOnesAreNotIndexed) {
    const SheetLook look = read(3, 3);
    EXPECT_FALSE(look.lookAt(2, 2).fill);
    EXPECT_EQ(look.lookAt(3, 2).top.width, 1);
}

INSTANTIATE_TEST_SUITE_P(Prefixes, ExcelLook,
                         ::testing::Values("styled_table.xlsx", "styled_table_prefixed.xlsx"),
                         [](const auto& info) {
                             return info.param.find("prefixed") == std::string::npos
                                        ? std::string("DefaultNamespace")
                                        : std::string("Prefixed");
                         });

}  // namespace
