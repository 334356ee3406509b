#pragma once

// Writes a filled data sheet back into a Graph chart object's "Workbook" stream. Every record
// that the fill does not concern goes out as it came in; what changes is the data sheet's cells
// (and the number formats they need in the globals), the rows and columns the chart includes,
// the series (their counts, names and data sheet lines; series added as copies of the last one,
// coloured from the palette in order) and the title's text.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "office/graph/msgraph/model.h"

namespace office::graph::msgraph {

// What the data sheet holds after a fill, positions 1-based as DataSheet's.
struct GraphFill {
    detail::CellMap cells;
    // The data sheet lines (rows with series in rows, else columns) that the chart's series
    // read, one per series in order; line 1 holds the category names.
    std::vector<int> seriesLines;
    // The number of categories, along the other direction from line 2 on.
    int categories = 1;
    // The title's new text, when it changes.
    std::optional<std::string> title;
};

// The stream with the fill written into its records. `chart` is what readGraphChart made of
// the same stream (its orientation, kind and palette). Fails with CorruptPart, naming `where`,
// for a stream whose series or blocks do not hold together, and with NotSupported for a chart
// without a series whose records a new series could copy.
std::vector<std::uint8_t> writeGraphChart(std::span<const std::uint8_t> stream,
                                          const GraphChart& chart, const GraphFill& fill,
                                          const std::string& where);

}  // namespace office::graph::msgraph
