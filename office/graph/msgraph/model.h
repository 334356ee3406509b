#pragma once

// What a Microsoft Graph chart object says about itself: its data sheet and the look of its
// chart, read from the object's "Workbook" stream (records.h) and written as a native chart
// part (native_chart.h).

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
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
    enum class Dash { Solid, Dash, Dot, DashDot, DashDotDot };
    Mode mode = Mode::Automatic;
    Rgb color;
    // A line's weight in EMU (0: not given) and dashes, where the line is not automatic.
    int width = 0;
    Dash dash = Dash::Solid;
};

// A series' or point's marker (line, scatter and radar charts). Automatic markers take the
// series' colours and Graph's symbol for the series; the others say what they show.
struct Marker {
    enum class Symbol { None, Square, Diamond, Triangle, X, Star, DowJones, StdDev, Circle, Plus };
    bool automatic = true;
    Symbol symbol = Symbol::None;
    Rgb line;  // the outline
    Rgb fill;  // the inside
    bool noLine = false;
    bool noFill = false;
    int size = 5;  // points
};

// The look of one point: the formats it has of its own, over those of its series.
struct PointFormat {
    std::optional<Paint> fill;
    std::optional<Paint> line;
    std::optional<int> explosion;
    std::optional<Marker> marker;
};

struct SeriesFormat {
    Paint fill;
    Paint line;
    int explosion = 0;  // a pie slice's distance from the centre, in percent of the radius
    std::optional<Marker> marker;
    std::map<int, PointFormat> points;  // by 0-based point (category) index
};

// A text's font, where the records give one; every part optional.
struct TextLook {
    std::optional<std::string> family;
    std::optional<int> size;  // hundredths of a point
    bool bold = false;
    bool italic = false;
    std::optional<Rgb> color;
    bool known = false;  // false when no record named a font for the text
};

// An axis' scale as its value or category range record gives it; nothing for automatic.
struct Scaling {
    std::optional<double> min;
    std::optional<double> max;
    std::optional<double> majorUnit;
    std::optional<double> minorUnit;
    std::optional<double> crossesAt;
    bool crossesAtMax = false;
    bool logarithmic = false;
    bool reversed = false;
};

enum class TickMark { None, Inside, Outside, Cross };
enum class TickLabels { None, Low, High, NextTo };

// The 3-D view of a 3-D chart.
struct View3D {
    int rotation = 20;   // degrees round the vertical axis
    int elevation = 15;  // degrees, -90 to 90
    int perspective = 30;
    bool rightAngles = true;  // no perspective
    int depthPercent = 100;
    int heightPercent = 100;
    bool clustered = true;  // a 3-D bar chart's series side by side rather than in depth
};

// Where data labels sit against their point, as the labels' text record says; Automatic is the
// kind's own place (for a pie, inside the slice).
enum class LabelPosition {
    Automatic,
    OutsideEnd,
    InsideEnd,
    Centre,
    InsideBase,
    Above,
    Below,
    Left,
    Right,
    BestFit
};

struct DataLabels {
    LabelPosition position = LabelPosition::Automatic;
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
    std::optional<Paint> majorGridlineLook;  // the gridlines' own line, where it is not automatic
    std::optional<Paint> minorGridlineLook;
    std::optional<std::string> numberFormat;  // of the tick labels, when the axis has its own
    Scaling scaling;
    TickMark majorTicks = TickMark::Outside;
    TickMark minorTicks = TickMark::None;
    TickLabels tickLabels = TickLabels::NextTo;
    TextLook font;  // of the tick labels
    TextLook titleFont;
};

// The border and inside of an area of the chart (the chart area, the plot area, the legend)
// where its frame gives them.
struct Box {
    std::optional<Paint> fill;
    std::optional<Paint> line;
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

    std::optional<View3D> view;  // for 3-D charts, as their record says

    // The chart's own size in points, as its Chart record gives it (0 where it gives none).
    // Graph sizes its texts for that size: in a frame of another size they scale with it.
    double widthPoints = 0;
    double heightPoints = 0;

    std::optional<std::string> title;
    TextLook titleFont;
    TextLook font;      // of all the chart's text (title, legend), where nothing says otherwise
    TextLook axesFont;  // of the axes' labels and titles and the data labels, likewise
    TextLook legendFont;
    TextLook labelsFont;
    Box chartArea;
    Box plotArea;
    Box legendBox;
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
    // The rows and columns (1-based, as the cells) that the user left out of the chart. Only
    // those within the data the object holds count: rows and columns beyond it are unused.
    std::set<int> excludedRows;
    std::set<int> excludedColumns;
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
