#pragma once

// What a Microsoft Graph chart object says about itself: its data sheet and the look of its
// chart, read from the object's "Workbook" stream (records.h) and written as a native chart
// part (native_chart.h).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "office/graph/cells.h"

namespace office::graph::msgraph {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    bool operator==(const Rgb&) const = default;
};

// "RRGGBB", as DrawingML's a:srgbClr writes a colour.
std::string hexColor(Rgb color);

// The chart kinds that have a native counterpart.
enum class Kind { Bar, Line, Pie, Doughnut, Area, Scatter, Radar, FilledRadar };

// How the series of a bar, line or area chart stack.
enum class Grouping { Standard, Stacked, Percent };

// The solid shape of a 3-D bar or column.
enum class BarShape { Box, Cylinder, Cone, Pyramid };

enum class LegendPosition { Bottom, Corner, Top, Right, Left };

// A fill or line as Graph stores it: automatic (the palette's colour for the series), a
// colour of its own, or none at all.
struct Paint {
    enum class Mode { Automatic, Explicit, None };
    Mode mode = Mode::Automatic;
    Rgb color;
};

struct SeriesFormat {
    Paint fill;
    Paint line;
    int explosion = 0;  // a pie slice's distance from the centre, in percent of the radius
};

struct DataLabels {
    bool value = false;
    bool percent = false;
    bool category = false;
    bool seriesName = false;
    bool any() const { return value || percent || category || seriesName; }
};

struct Axis {
    bool present = false;
    std::optional<std::string> title;
    bool majorGridlines = false;
    bool minorGridlines = false;
    std::optional<std::string> numberFormat;  // of the tick labels, when the axis has its own
};

struct ChartLook {
    Kind kind = Kind::Bar;
    Grouping grouping = Grouping::Standard;
    bool horizontal = false;  // bars rather than columns
    bool threeD = false;
    BarShape shape = BarShape::Box;
    int gapWidth = 150;
    int overlap = 0;
    int holeSize = 50;  // doughnut hole, percent
    int firstSliceAngle = 0;
    bool smoothLines = false;
    bool varyColors = false;  // one colour per point rather than per series

    std::optional<std::string> title;
    bool hasLegend = false;
    LegendPosition legendPosition = LegendPosition::Right;
    Axis categoryAxis;
    Axis valueAxis;
    DataLabels labels;

    // The formats of the series as their records list them; a series beyond the list is
    // drawn with automatic colours.
    std::vector<SeriesFormat> series;
};

// The data sheet: cells by 1-based position, (1, 1) being its corner. With series in rows,
// row 1 holds the category names and column 1 the series names; with series in columns the
// other way round.
struct DataSheet {
    detail::CellMap cells;
    bool seriesInRows = true;
};

struct GraphChart {
    DataSheet sheet;
    ChartLook look;
    // The 56 colours of the object's palette (colour indices 8 to 63).
    std::array<Rgb, 56> palette{};

    // The colour Graph gives the series or point `index` (0-based) when its fill or line is
    // automatic.
    Rgb automaticFill(int index) const;
    Rgb automaticLine(int index) const;
};

}  // namespace office::graph::msgraph
