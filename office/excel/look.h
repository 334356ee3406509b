#pragma once

// How the cells of a workbook's first worksheet look: fonts, fills, borders and horizontal
// alignment of their styles, the sheet's column widths, row heights and merged areas. Read from
// the workbook package's own parts (styles, theme, the sheet part), for drawing a picture of the
// cells; values and number formats come from the workbook model.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "office/package/package.h"

namespace office::excel {

// Colours are 0xRRGGBB.
struct BorderLook {
    int width = 0;  // pixels: 0 none, 1 thin (hair, dotted, dashed), 2 medium, 3 thick or double
    std::uint32_t color = 0x000000;
};

enum class HorizontalAlign { General, Left, Center, Right };

struct CellLook {
    std::string fontName = "Calibri";
    double fontSize = 11;  // points
    bool bold = false;
    bool italic = false;
    bool underline = false;
    std::uint32_t fontColor = 0x000000;
    std::optional<std::uint32_t> fill;
    BorderLook left, right, top, bottom;
    HorizontalAlign align = HorizontalAlign::General;
    bool wrap = false;  // the text wraps at the cell's width instead of running on
};

struct MergedArea {
    int top = 0, left = 0, bottom = 0, right = 0;
};

// One <col> entry: the format of columns first..last.
struct ColumnRange {
    int first = 0, last = 0;
    std::optional<double> width;  // in characters of the default font, padding included
    std::optional<std::uint32_t> style;
};

struct SheetLook {
    std::vector<CellLook> styles;  // by cellXfs index; styles[0] is the default look
    // The style index of each styled cell, by (row, column); a cell that is absent shows its
    // row's style, else its column's, else the default.
    std::map<std::pair<int, int>, std::uint32_t> cellStyles;
    std::map<int, std::uint32_t> rowStyles;
    std::vector<ColumnRange> columns;
    double defaultColumnWidth = 64.0 / 7;
    std::map<int, double> rowHeights;  // points
    double defaultRowHeight = 15;
    std::vector<MergedArea> merges;

    // The look of the cell at (row, column): its own style, else its row's or column's.
    const CellLook& lookAt(int row, int column) const;
    // The width of a column in pixels (a character of the default font is 7 pixels wide).
    int columnPixels(int column) const;
    int rowPixels(int row) const;
};

// Reads the look of the first worksheet of the workbook package. Cells outside rows
// [firstRow, lastRow] are not indexed. Parts that are missing give the default look; a part that
// is not well-formed fails with CorruptPart naming it.
SheetLook readSheetLook(package::Package& workbook, int firstRow, int lastRow);

}  // namespace office::excel
