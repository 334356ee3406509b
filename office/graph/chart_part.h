#pragma once

// The chart part engine: reads the series of a chart part (chartSpace) with the sheet ranges
// they refer to, and rewrites the part from a grid of cells: every range, every cache, series
// added, the title. Where each series' data sits in its sheet is chart_layout.h's arithmetic.

#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "office/graph.h"
#include "office/graph/chart_layout.h"

namespace office::graph::detail {

struct ChartData {
    std::vector<SeriesInfo> series;  // in the order their data lies in the sheet
    bool date1904 = false;
    // The sheet the series' references name (the first that names one, also where they are
    // lists of areas); empty when none does.
    std::string sheet;
};

// Reads the series of a chart part, ordered by the sheet columns (or rows) of their values,
// whatever plot they belong to. Fails with NotSupported for a part that is no classic chart
// (no c:chartSpace/c:chart/c:plotArea).
ChartData readChart(const pugi::xml_document& chart, const std::string& where);

// Gives a chart without series (an empty plot) one bare series in its first plot, so that data
// can be filled in. Fails with NotSupported when the chart has no plot.
void addFirstSeries(pugi::xml_document& chart, ChartData& data, const std::string& where);

// The layout of a fresh sheet for the chart: series in columns from A1.
DataLayout defaultLayout(const std::vector<SeriesInfo>& series);

// The chart's cached data laid out in the sheet as `layout` says.
CellGrid cellsFromCaches(const ChartData& chart, const DataLayout& layout);

// Rewrites the series of the chart part from the cells: ranges, caches, names; series added
// to match the layout, each a copy of the series in the last column, in that series' plot,
// coloured by its index from `colours` (a chart colour style, cs:colorStyle) or, without one,
// from the six accents and their default shades. date1904 is the date system of the workbook
// the cells come from; the chart part takes it over. A category axis that shows the source's
// format, or whose format was never chosen ("General"), takes the format of dates written to
// it, linked to the source; a format chosen for the axis stays.
void writeChart(pugi::xml_document& chart, ChartData& data, const DataLayout& layout,
                const CellGrid& cells, bool date1904, pugi::xml_node colours = {});

// The title's text: the runs of c:title/c:tx/c:rich; empty when the chart has no title text.
bool hasTitle(const pugi::xml_document& chart);
std::string titleText(const pugi::xml_document& chart);
// Replaces the title's text, keeping the first run's formatting.
void setTitleText(pugi::xml_document& chart, const std::string& text);

}  // namespace office::graph::detail
