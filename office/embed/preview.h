#pragma once

// The preview picture of an embedded spreadsheet object: the visible cells drawn as the sheet
// shows them (fonts, fills, borders, alignment, merged areas, column widths), as the slide
// shows the object without opening it.

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
};

struct Preview {
    std::string png;  // the PNG file's bytes
    int width = 0;    // pixels
    int height = 0;
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

// Draws the table. Works without a display: where the process has no QGuiApplication yet, one
// is made on the offscreen platform.
Preview drawTable(const PreviewTable& table);
// Draws plain rows of cells with the default look, each column as wide as its texts.
Preview drawTable(const std::vector<std::vector<PreviewCell>>& rows);

}  // namespace office::embed
