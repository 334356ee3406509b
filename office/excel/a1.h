#pragma once

// Cell positions, rectangular areas and their A1 names ("B3", "$B$3", "A1:C9"): the one place
// where the host spells and reads cell references.

#include <compare>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "office/clipboard.h"
#include "office/excel.h"

namespace office::excel::detail {

struct CellPos {
    int row = 0;
    int column = 0;
    auto operator<=>(const CellPos&) const = default;
};

// True when a position (1-based) lies on a worksheet, A1 to XFD1048576.
constexpr bool onSheet(CellPos pos) noexcept {
    return pos.row >= 1 && pos.row <= kMaxRows && pos.column >= 1 && pos.column <= kMaxColumns;
}

// Why a position is not on a worksheet, in the words with which every reader refuses such a
// cell: "a cell lies in column 16385, beyond the last column".
inline std::string beyondSheet(CellPos pos) {
    if (pos.column < 1 || pos.column > kMaxColumns) {
        return "a cell lies in column " + std::to_string(pos.column) + ", beyond the last column";
    }
    return "a cell lies in row " + std::to_string(pos.row) + ", beyond the last row";
}

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

// Cells by position, each with its value and number format (the record the clipboard carries).
using CellMap = std::map<CellPos, office::ClipCell>;

// "A", "Z", "AA", ... for 1, 26, 27, ...
std::string columnName(int column);
// "B3", or "$B$3" with absolute set.
std::string cellName(int row, int column, bool absolute = false);
// "B3" for one cell, "A1:C9" for more.
std::string areaName(const Area& area);
// Parses "B12" or "$B$12"; false when it is not a cell reference. Bounds are not checked.
bool parseCell(std::string_view text, int& row, int& column);
// Reads "B3", "$B$3" or "A1:C9" (corners in any order) inside the sheet's bounds; nothing for
// anything else.
std::optional<Area> parseArea(std::string_view text);

}  // namespace office::excel::detail
