#pragma once

// Cells, cell areas and the sheet references that a chart part writes in its c:f elements.

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "office/clipboard.h"
#include "office/value.h"

namespace office::graph::detail {

// A cell's value with its number format: the same record that the host's clipboard carries.
using CellData = office::ClipCell;

struct CellPos {
    int row = 0;
    int column = 0;
    auto operator<=>(const CellPos&) const = default;
};

// A rectangle of sheet cells, 1-based, corners included.
struct Area {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;

    int rows() const noexcept { return bottom - top + 1; }
    int columns() const noexcept { return right - left + 1; }
    bool operator==(const Area&) const = default;
};

struct SheetRef {
    std::string sheet;  // empty when the reference names none
    Area area;
};

// The cells of one sheet by position.
using CellMap = std::map<CellPos, CellData>;

// "A", "Z", "AA", ... for 1, 26, 27, ...
std::string columnName(int column);
// "B3", or "$B$3" with absolute set.
std::string cellName(int row, int column, bool absolute = false);
// Reads "B3" or "$B$3"; nothing for anything else.
std::optional<CellPos> parseCellName(std::string_view text);
// Reads "Sheet1!$B$2:$B$5", "'My Sheet'!B2" or "$B$2"; nothing for anything else (a list of
// areas, a defined name, a reference to another workbook).
std::optional<SheetRef> parseRef(std::string_view formula);
// "Sheet1!$B$2:$B$5", the sheet name quoted where it needs to be; one cell as "Sheet1!$B$2".
std::string formatRef(std::string_view sheet, const Area& area);

// The number at the start of a cached value or cell text ("12.5"); 0 when there is none.
double parseNumber(std::string_view text);

// The code of a built-in number format id; empty for an id without one.
std::string builtinFormat(int id);
// The built-in id of a format code, or -1.
int builtinFormatId(std::string_view code);
// True when the code shows a date or time (d, m, y, h or s outside quotes and brackets).
bool isDateFormat(std::string_view code);

}  // namespace office::graph::detail
