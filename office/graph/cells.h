#pragma once

// Cells, cell areas and the sheet references that a chart part writes in its c:f elements.
// Positions, areas and A1 names are the workbook code's own.

#include <optional>
#include <string>
#include <string_view>

#include "office/clipboard.h"
#include "office/excel/a1.h"
#include "office/excel/cell_grid.h"
#include "office/excel/number_format.h"
#include "office/value.h"

namespace office::graph::detail {

// A cell's value with its number format: the same record that the host's clipboard carries.
using CellData = office::ClipCell;
using CellPos = office::excel::detail::CellPos;
using Area = office::excel::detail::Area;
// The cells of one sheet by position, as a map and compactly (the chart server's data sheet).
using CellMap = office::excel::detail::CellMap;
using CellGrid = office::excel::detail::CellGrid;
using office::excel::detail::cellName;
using office::excel::detail::columnName;
using office::excel::detail::formatValue;
using office::excel::detail::isDateFormat;

struct SheetRef {
    std::string sheet;  // empty when the reference names none
    Area area;
};

// Reads "Sheet1!$B$2:$B$5", "'My Sheet'!B2" or "$B$2"; nothing for anything else (a list of
// areas, a defined name, a reference to another workbook).
std::optional<SheetRef> parseRef(std::string_view formula);
// The sheet that a reference names, also a list of areas ("(Sheet3!$A$2,Sheet3!$A$5)"): the
// first area's; empty when it names none or another workbook's.
std::string sheetOf(std::string_view formula);
// "Sheet1!$B$2:$B$5", the sheet name quoted where it needs to be; one cell as "Sheet1!$B$2".
std::string formatRef(std::string_view sheet, const Area& area);

// The number at the start of a cached value or cell text ("12.5"); 0 when there is none.
double parseNumber(std::string_view text);

}  // namespace office::graph::detail
