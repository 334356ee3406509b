// A table picture read back by OCR (tesseract): every cell shows its text as the sheet shows
// it, a number too wide for its column shows as "###" and never as part of itself, and a long
// text runs on into an empty neighbour and stops before a full one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "office/embed/preview.h"
#include "ppt_test_support.h"
#include "support/validator.h"

namespace {

using office::embed::PreviewCell;
using office::embed::PreviewTable;

PreviewCell cell(std::string text, bool numeric = false) {
    PreviewCell made;
    made.text = std::move(text);
    made.alignRight = numeric;
    return made;
}

// Five columns of 80, 100, 80, 90 and 28 pixels, four rows of 24.
PreviewTable ledger() {
    PreviewTable table;
    table.columnWidths = {80, 100, 80, 90, 28};
    table.rowHeights.assign(4, 24);
    table.rows = {
        {cell("Item"), cell("Amount"), cell("Share"), cell("Due"), cell("No")},
        {cell("Rent"), cell("15,000.00", true), cell("45.5%", true), cell("2026-01-31", true),
         cell("7", true)},
        {cell("Travel"), cell("-3,179.75", true), cell("-12.25%", true), cell("2026-02-28", true),
         cell("123456", true)},
        {cell("Consulting fees and other services"), cell(""), cell("Full"),
         cell("2026-03-15", true), cell("9", true)},
    };
    return table;
}

std::string ocr(const std::string& png) {
    const auto folder = ppt_test::scratch();
    const std::string path = (folder / "table.png").string();
    std::ofstream(path, std::ios::binary) << png;
    const auto result = tabulon::testing::runCommand("tesseract '" + path + "' stdout --psm 6");
    EXPECT_EQ(result.status, 0) << result.output;
    return result.output;
}

TEST(EmbedPictureOcr, ReadsEveryCellAsTheSheetShowsIt) {
    if (std::system("tesseract --version >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "tesseract (Debian tesseract-ocr) is not installed";
    }
    const auto picture = office::embed::drawTable(ledger(), 3);
    EXPECT_EQ(picture.width, 3 * picture.sheetWidth);
    const std::string text = ocr(picture.png);
    for (const char* shown :
         {"Item", "Amount", "Share", "Due", "No", "Rent", "15,000.00", "45.5%", "2026-01-31", "7",
          "Travel", "-3,179.75", "-12.25%", "2026-02-28", "###", "Full", "2026-03-15", "9"}) {
        EXPECT_NE(text.find(shown), std::string::npos) << shown << " not read in:\n" << text;
    }
    // The long text shows words past its own cell, and none past the full cell's edge; the wide
    // number shows no digit of itself.
    EXPECT_NE(text.find("fees and"), std::string::npos) << text;
    EXPECT_EQ(text.find("services"), std::string::npos) << text;
    for (const char* part : {"123", "456"}) {
        EXPECT_EQ(text.find(part), std::string::npos) << part << " read in:\n" << text;
    }
}

}  // namespace
