#pragma once

// The chart part engine: reads the series of a chart part (c:chartSpace) with the sheet ranges
// they refer to, works out where the chart's data sits in its sheet, and rewrites the part
// from a grid of cells: every range, every cache, series added or removed, the title.

#include <optional>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "office/graph.h"
#include "office/graph/cells.h"

namespace office::graph::detail {

// The way the series run in the sheet: one series per column, or one per row.
enum class Direction { Columns, Rows };

struct SeriesInfo {
    pugi::xml_node node;  // c:ser
    pugi::xml_node plot;  // the c:...Chart element holding it
    bool xy = false;      // c:xVal/c:yVal (scatter and bubble) instead of c:cat/c:val
    std::optional<SheetRef> name;
    std::optional<SheetRef> categories;
    std::optional<SheetRef> values;
    std::optional<SheetRef> sizes;  // bubble sizes
};

// Where a chart's data sits in its sheet. Positions are "oriented": a record runs along the
// categories (down a column when series run in columns), a field across the series.
struct DataLayout {
    std::string sheet = "Sheet1";
    Direction direction = Direction::Columns;
    int cornerRecord = 1;  // oriented position of the data sheet's cell (1, 1)
    int cornerField = 1;
    int headerLines = 1;         // 1 when a line of series names lies above the data, else 0
    int labelFields = 1;         // fields before the first series: category levels (and gaps)
    int categoryLevels = 1;      // shared category fields, counted from the corner; 0 for none
    int stride = 1;              // fields per series
    int valueOffset = 0;         // offsets of the roles within a series' fields
    int sizeOffset = -1;         // -1: no sizes
    int ownCategoryOffset = -1;  // per-series categories (x values); -1: shared or none
    int records = 1;             // the data region's extent from the corner, header included
    int fields = 1;

    CellPos toSheet(int record, int field) const;
    // The data region in sheet coordinates.
    Area region() const;
    int seriesCount() const;
    int categoryCount() const { return records - headerLines; }
};

struct ChartData {
    std::vector<SeriesInfo> series;  // in the order their data lies in the sheet
    bool date1904 = false;
};

// Reads the series of a chart part. Fails with NotSupported for a part that is no classic
// chart (no c:chartSpace/c:chart/c:plotArea).
ChartData readChart(const pugi::xml_document& chart, const std::string& where);

// Gives a chart without series (an empty plot) one bare series in its first plot, so that data
// can be filled in. Fails with NotSupported when the chart has no plot.
void addFirstSeries(pugi::xml_document& chart, ChartData& data, const std::string& where);

// The layout the series' ranges describe; nothing when they name no usable ranges (a chart
// with cached data only, or ranges the grid cannot hold).
std::optional<DataLayout> layoutFromRanges(const std::vector<SeriesInfo>& series);
// The layout of a fresh sheet for the chart: series in columns from A1.
DataLayout defaultLayout(const std::vector<SeriesInfo>& series);

// The chart's cached data laid out in the sheet as `layout` says.
CellMap cellsFromCaches(const ChartData& chart, const DataLayout& layout);

// Grows the layout to hold a data region of at least `rows` x `columns` sheet cells from the
// corner, and recounts the category levels from the cells' header line.
void growLayout(DataLayout& layout, int rows, int columns, const CellMap& cells);

// Rewrites the series of the chart part from the cells: ranges, caches, names; series added
// (copies of the last of their plot) or removed to match the layout. date1904 is the date
// system of the workbook the cells come from; the chart part takes it over.
void writeChart(pugi::xml_document& chart, ChartData& data, const DataLayout& layout,
                const CellMap& cells, bool date1904);

// The series and categories of the layout's data region that lie outside `pasted` (an area of
// sheet cells): what the chart still shows from before a paste.
Leftovers leftoversOf(const DataLayout& layout, const CellMap& cells, const Area& pasted);

// The title's text: the runs of c:title/c:tx/c:rich; empty when the chart has no title text.
bool hasTitle(const pugi::xml_document& chart);
std::string titleText(const pugi::xml_document& chart);
// Replaces the title's text, keeping the first run's formatting.
void setTitleText(pugi::xml_document& chart, const std::string& text);

}  // namespace office::graph::detail
