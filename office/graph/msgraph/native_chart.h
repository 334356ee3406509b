#pragma once

// Writes the native chart that takes a Graph chart's place: a chart part (c:chartSpace) of the
// same kind and look, whose series read the data sheet laid out from cell A1 of a sheet.

#include <string>

#include <pugixml.hpp>

#include "office/graph/chart_part.h"
#include "office/graph/msgraph/model.h"

namespace office::graph::msgraph {

// Where the data sheet's series lie in the sheet `sheet`, its corner at A1: one series per row
// or per column as the data sheet says, series names in the first column (row), categories in
// the first row (column).
detail::DataLayout dataLayout(const DataSheet& sheet, const std::string& sheetName);

// The chart part, its series' ranges and caches written from the data sheet's cells.
pugi::xml_document nativeChart(const GraphChart& chart, const std::string& sheetName,
                               const std::string& where);

}  // namespace office::graph::msgraph
