#pragma once

// The preview picture of an embedded spreadsheet object: the visible cells drawn as the sheet
// shows them (fonts, fills, borders, alignment, merged areas, column widths), as the slide
// shows the object without opening it. Texts are measured with the workbook's own fonts (or
// the installed font that stands in for one), and what does not fit is shown as the sheet
// shows it: a number as "###", a text running on over empty neighbours, a wrapped text wrapped.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "office/excel/look.h"

namespace office::embed {

struct PreviewCell {
    std::string text;
    bool alignRight = false;  // numbers and dates, where the look's alignment is General
    excel::CellLook look;
    // A merged area is drawn as one cell at its top left one, spanning the others, which are
    // marked covered and drawn not at all.
    int rowSpan = 1;
    int columnSpan = 1;
    bool covered = false;
};

struct PreviewTable {
    std::vector<std::vector<PreviewCell>> rows;
    // Pixels; when empty, columns are as wide as their texts and rows as high as their fonts.
    std::vector<int> columnWidths;
    std::vector<int> rowHeights;
    // The rows whose height the sheet sets; the others grow to fit their wrapped texts.
    std::vector<bool> customHeights;
    // The look of the sheet's default style: its font's digits are what column widths count.
    excel::CellLook sheetFont;
};

struct Preview {
    std::string png;  // the PNG file's bytes
    int width = 0;    // pixels of the picture
    int height = 0;
    // The table's size on the sheet, in pixels at 96 per inch: the picture's size over its
    // scale.
    int sheetWidth = 0;
    int sheetHeight = 0;
};

// What a cell shows: its value as displayed (its number format applied), and whether it is a
// number or a date (right-aligned unless its style says otherwise).
struct ShownCell {
    std::string text;
    bool numeric = false;
};

// The cells of rows top..top+rows-1 and columns left..left+columns-1 with the sheet's look:
// their styles, merged areas (cut to the shown cells), column widths and row heights.
PreviewTable tableOf(const excel::SheetLook& look, int top, int left, int rows, int columns,
                     const std::function<ShownCell(int row, int column)>& shown);

// Draws the table with `scale` picture pixels for each pixel of the sheet (96 per inch), and
// the picture's density stored to match. Works without a display: where the process has no
// QGuiApplication yet, one is made on the offscreen platform.
Preview drawTable(const PreviewTable& table, int scale = 1);
// Draws the table for a shape of cx x cy EMU: sharp at twice the screen's density, so with at
// least 192 pixels per inch of the shape each way (up to a bounded picture size).
Preview drawTableForShape(const PreviewTable& table, std::int64_t cx, std::int64_t cy);
// Draws plain rows of cells with the default look, each column as wide as its texts.
Preview drawTable(const std::vector<std::vector<PreviewCell>>& rows);

}  // namespace office::embed
