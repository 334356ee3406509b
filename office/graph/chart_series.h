#pragma once

// Series and points added to a chart part: copies of the series in the last column, with numbers
// no series of the chart uses, and copies of a series' last point; each in the colour its index
// gives.

#include <vector>

#include <pugixml.hpp>

#include "office/graph/chart_layout.h"

namespace office::graph::detail {

// Adds series until `series` holds `wanted`: each a copy of the last one, after the last series
// of its plot, coloured by its index from `colours` (a chart colour style, cs:colorStyle) or,
// without one, from the six accents and their default shades.
void addSeriesUpTo(std::vector<SeriesInfo>& series, int wanted, pugi::xml_node plotArea,
                   pugi::xml_node colours);

// Gives each point of `ser` (a series of a chart with one colour per point) after its last c:dPt
// up to `count` a c:dPt of its own: a copy of that last one, its fill the colour that `colours`
// (or, without a colour style, the accents) give the point's index. Nothing when the last c:dPt
// has no accent or explicit fill colour to follow.
void colourNewPoints(pugi::xml_node ser, int count, pugi::xml_node colours);

}  // namespace office::graph::detail
