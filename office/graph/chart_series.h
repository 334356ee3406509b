#pragma once

// Series added to a chart part: copies of the series in the last column, with numbers no series
// of the chart uses and the colours their index gives.

#include <vector>

#include <pugixml.hpp>

#include "office/graph/chart_layout.h"

namespace office::graph::detail {

// Adds series until `series` holds `wanted`: each a copy of the last one, after the last series
// of its plot, coloured by its index from `colours` (a chart colour style, cs:colorStyle) or,
// without one, from the six accents and their default shades.
void addSeriesUpTo(std::vector<SeriesInfo>& series, int wanted, pugi::xml_node plotArea,
                   pugi::xml_node colours);

}  // namespace office::graph::detail
