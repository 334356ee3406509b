#pragma once

// Where a chart's series and categories sit in its sheet, and how the data sheet maps onto it:
// arithmetic on the sheet references of the series, without the chart part's XML.

#include <functional>
#include <optional>
#include <string>
#include <utility>
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

// The sheet fields (oriented columns) that one series reads.
struct SeriesFields {
    int value = 1;
    int size = -1;  // bubble sizes; -1 for none
    int own = -1;   // the series' own category (x) field; -1 when it shares the chart's

    int first() const;
    int last() const;
};

// Where a chart's data sits in its sheet, and how the data sheet maps onto it. Positions are
// "oriented": a record runs along the categories (down a column when series run in columns), a
// field across the series. The data sheet's row 1 is the line of series names (where the chart
// has one), its next rows the categories; its first columns are the category levels, then come
// the series, each as wide as its roles (values, and sizes in a bubble chart). Each series'
// columns land on that series' own fields, so series keep their cells wherever the chart's
// references put them (skipped columns, an x column per series); series beyond the existing
// ones continue the pattern of the last one.
struct DataLayout {
    std::string sheet = "Sheet1";
    Direction direction = Direction::Columns;
    int cornerRecord = 1;        // the record of the data sheet's row 1
    int headerLines = 1;         // 1 when a line of series names lies above the data, else 0
    int records = 1;             // the data region's extent from cornerRecord, header included
    int categoryField = 1;       // the outermost category level
    int categoryLevels = 1;      // shared category fields from categoryField; 0 for none
    bool ownCategories = false;  // each series has an x field, fed by the label column
    std::vector<SeriesFields> series;  // in the order of the data sheet's columns
    int step = 1;                      // fields from one added series to the next

    CellPos toSheet(int record, int field) const;
    // The data region in sheet coordinates.
    Area region() const;
    int seriesCount() const { return static_cast<int>(series.size()); }
    int categoryCount() const { return records - headerLines; }
    // Data sheet columns before the first series: the category levels.
    int labelColumns() const { return ownCategories ? 1 : categoryLevels; }
    // Data sheet columns per series: values, and sizes where the chart has them.
    int seriesWidth() const { return series.empty() || series.front().size < 0 ? 1 : 2; }
    // The fields of the k-th series, counted from 0, existing or to be added.
    SeriesFields fieldsOf(int k) const;
    // The sheet fields that a data sheet column (1-based) writes; the first is the one it
    // reads. Several for the label column of a chart whose series have their own x fields.
    std::vector<int> columnFields(int column) const;
    // The data sheet's cell (row, column) as (line, column) in the layout's orientation: the
    // data sheet shows the sheet as it is, so with series in rows its rows are the fields.
    std::pair<int, int> oriented(int row, int column) const;
    // The sheet cells that the data sheet's cell (row, column) writes; the first is the one it
    // reads.
    std::vector<CellPos> sheetCells(int row, int column) const;
};

// Oriented view of an area: records along the categories, fields across the series.
struct Span {
    int record0, record1, field0, field1;
};
Span orient(const Area& area, Direction direction);
// The way a series runs, from the shape of its values' reference (and of its name's and
// categories' where the values are a single cell).
Direction directionOf(const SeriesInfo& series);

// The layout the series' ranges describe; nothing when they name no usable ranges (a chart
// with cached data only, or ranges the grid cannot hold).
std::optional<DataLayout> layoutFromRanges(const std::vector<SeriesInfo>& series);

// Grows the layout to hold a data sheet of at least `rows` x `columns` cells (as the sheet
// shows them): more categories, and series added after the last one.
void growLayout(DataLayout& layout, int rows, int columns);

// A block pasted at the data sheet's first row brings a line of series names, as every block
// does: a layout without one (series without name cells, their data from the sheet's first
// record on) takes that line as the series' names rather than as a category.
void takeHeaderLine(DataLayout& layout);

// How many of a block's first columns are category levels: the first column always; each next
// one left of the first numeric column whose cells below the header hold text (within the
// chart's old category width, a column without numbers at all). `at` gives the block's cell
// at (line, column), 0-based and oriented as the layout is, or null for a blank one.
int labelColumnsOf(int rows, int columns, int oldLevels,
                   const std::function<const Value*(int row, int column)>& at);
// Takes over `levels` category levels for a block pasted at the data sheet's first cell: the
// series' fields move along with the label columns where the categories come before them.
void setCategoryLevels(DataLayout& layout, int levels);

// growLayout and setCategoryLevels for a data sheet of `rows` x `columns` cells laid out from
// the corner, counting the category levels from the cells.
void growLayout(DataLayout& layout, int rows, int columns, const CellGrid& cells);

// Limits the data region to the records that hold cells, for a reference that runs past the
// sheet's last cell (a whole-column reference such as $B$2:$B$1048576).
void fitToCells(DataLayout& layout, const CellGrid& cells);

// The series and categories of the layout's data region that lie outside `pasted` (an area of
// data sheet cells): what the chart still shows from before a paste.
Leftovers leftoversOf(const DataLayout& layout, const CellGrid& cells, const Area& pasted);

}  // namespace office::graph::detail
