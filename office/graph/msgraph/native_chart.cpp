// The native chart of a Graph chart: the plot element of its kind, one bare series per data
// sheet series with its colours, the axes, title, legend and data labels; the chart part
// engine then writes every series' name, categories and values (ranges and caches) from the
// cells, as it does when a native chart is filled.

#include "office/graph/msgraph/native_chart.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "office/error.h"
#include "office/graph/chart_xml.h"
#include "office/graph/msgraph/native_look.h"
#include "office/package/namespaces.h"

namespace office::graph::msgraph {

namespace {

using chartml = detail::chartml;

constexpr const char* kChartNs = package::ns::kChart.data();
constexpr const char* kDrawingNs = package::ns::kDrawing.data();
constexpr const char* kRelNs = package::ns::kRelationships.data();
constexpr int kCategoryAxisId = 50010001;
constexpr int kValueAxisId = 50010002;
constexpr int kSeriesAxisId = 50010003;
// The most series, and points of all series together, that a chart holds: the limits of the
// office suites' charts.
constexpr int kMaxSeries = 255;
constexpr std::int64_t kMaxPoints = 256000;

using native::blackOutline;
using native::boxLook;
using native::extent;
using native::flag;
using native::gridlines;
using native::isLineKind;
using native::line;
using native::marker;
using native::over;
using native::paint;
using native::textProperties;
using native::tickLabelsName;
using native::tickMarkName;
using native::title;
using native::valued;

class Writer {
public:
    Writer(const GraphChart& chart, const detail::DataLayout& layout)
        : chart_(chart), look_(chart.look), layout_(layout) {}

    void write(pugi::xml_document& doc);

private:
    const char* plotName() const;
    void plot(pugi::xml_node plotArea);
    void series(pugi::xml_node plot, int index);
    void seriesLook(pugi::xml_node ser, int index);
    void points(pugi::xml_node ser, int index);
    void point(pugi::xml_node ser, int index, int point, const PointFormat* own);
    const std::vector<int>& valueRecords(int field);
    void view(pugi::xml_node chartNode);
    void scaling(pugi::xml_node node, const Axis& axis, bool category);
    void crossing(pugi::xml_node node, bool category);
    void valueUnits(pugi::xml_node node, const Axis& axis);
    void dataLabels(pugi::xml_node plot);
    void axes(pugi::xml_node plotArea);
    void axis(pugi::xml_node plotArea, const Axis& axis, bool category);
    void legend(pugi::xml_node chartNode);
    const SeriesFormat& format(int index) const {
        static const SeriesFormat automatic;
        return index < static_cast<int>(look_.series.size())
                   ? look_.series[static_cast<std::size_t>(index)]
                   : automatic;
    }
    bool hasAxes() const { return look_.kind != Kind::Pie && look_.kind != Kind::Doughnut; }
    // A 3-D line chart, and a 3-D bar chart whose series stand in depth, have a series axis.
    bool needsSeriesAxis() const {
        return threeD() && (look_.kind == Kind::Line || (look_.kind == Kind::Bar && inDepth()));
    }
    bool inDepth() const {
        return look_.view && !look_.view->clustered && look_.grouping == Grouping::Standard;
    }
    bool threeD() const {
        return look_.threeD && (look_.kind == Kind::Bar || look_.kind == Kind::Line ||
                                look_.kind == Kind::Area || look_.kind == Kind::Pie);
    }

    const GraphChart& chart_;
    const ChartLook& look_;
    const detail::DataLayout& layout_;
    std::optional<std::map<int, std::vector<int>>> valueRecords_;
};

const char* Writer::plotName() const {
    const bool solid = threeD();
    switch (look_.kind) {
        case Kind::Bar:
            return solid ? "bar3DChart" : "barChart";
        case Kind::Line:
            return solid ? "line3DChart" : "lineChart";
        case Kind::Pie:
            return solid ? "pie3DChart" : "pieChart";
        case Kind::Doughnut:
            return "doughnutChart";
        case Kind::Area:
            return solid ? "area3DChart" : "areaChart";
        case Kind::Scatter:
            return "scatterChart";
        case Kind::Radar:
        case Kind::FilledRadar:
            return "radarChart";
    }
    return "barChart";
}

void Writer::write(pugi::xml_document& doc) {
    const std::string prefix(package::usualPrefix(kChartNs));
    pugi::xml_node space = doc.append_child((prefix + ":chartSpace").c_str());
    space.append_attribute(("xmlns:" + prefix).c_str()) = kChartNs;
    space.append_attribute("xmlns:a") = kDrawingNs;
    space.append_attribute("xmlns:r") = kRelNs;
    flag(space, "date1904", false);
    flag(space, "roundedCorners", false);
    pugi::xml_node chartNode = chartml::append(space, "chart");
    if (look_.title) {
        title(chartNode, *look_.title, look_.titleFont);
    }
    flag(chartNode, "autoTitleDeleted", !look_.title);
    if (threeD()) {
        view(chartNode);
    }
    pugi::xml_node plotArea = chartml::append(chartNode, "plotArea");
    chartml::append(plotArea, "layout");
    plot(plotArea);
    if (hasAxes()) {
        axes(plotArea);
    }
    boxLook(plotArea, look_.plotArea);
    legend(chartNode);
    flag(chartNode, "plotVisOnly", true);
    valued(chartNode, "dispBlanksAs", "gap");
    boxLook(space, look_.chartArea);
    textProperties(space, look_.font);
}

// The 3-D view as the chart's record gives it; Graph's defaults without one. A pie has no
// right-angled axes and no depth of its own.
void Writer::view(pugi::xml_node chartNode) {
    const bool pie = look_.kind == Kind::Pie;
    View3D v;
    if (look_.view) {
        v = *look_.view;
    } else if (pie) {
        v.rotation = 0;
        v.elevation = 30;
    }
    pugi::xml_node node = chartml::append(chartNode, "view3D");
    valued(node, "rotX", pie ? std::max(v.elevation, 0) : v.elevation);
    if (!pie) {
        valued(node, "hPercent", v.heightPercent);
    }
    valued(node, "rotY", v.rotation);
    if (!pie) {
        valued(node, "depthPercent", v.depthPercent);
    }
    flag(node, "rAngAx", !pie && v.rightAngles);
    if (pie || !v.rightAngles) {
        valued(node, "perspective", std::clamp(v.perspective, 0, 240));
    }
}

void Writer::plot(pugi::xml_node plotArea) {
    pugi::xml_node plot = chartml::append(plotArea, plotName());
    const Kind kind = look_.kind;
    const char* grouping = look_.grouping == Grouping::Percent   ? "percentStacked"
                           : look_.grouping == Grouping::Stacked ? "stacked"
                                                                 : "standard";
    if (kind == Kind::Bar) {
        valued(plot, "barDir", look_.horizontal ? "bar" : "col");
        valued(plot, "grouping",
               look_.grouping != Grouping::Standard ? std::string(grouping)
               : threeD() && inDepth()              ? std::string("standard")
                                                    : std::string("clustered"));
    } else if (kind == Kind::Line || kind == Kind::Area) {
        valued(plot, "grouping", grouping);
    } else if (kind == Kind::Scatter) {
        valued(plot, "scatterStyle", "lineMarker");
    } else if (kind == Kind::Radar || kind == Kind::FilledRadar) {
        valued(plot, "radarStyle", kind == Kind::FilledRadar ? "filled" : "marker");
    }
    flag(plot, "varyColors", look_.varyColors);
    for (int i = 0; i < layout_.seriesCount(); ++i) {
        series(plot, i);
    }
    dataLabels(plot);
    if (kind == Kind::Bar) {
        valued(plot, "gapWidth", std::clamp(look_.gapWidth, 0, 500));
        if (threeD()) {
            valued(plot, "shape",
                   look_.shape == BarShape::Cylinder  ? "cylinder"
                   : look_.shape == BarShape::Cone    ? "cone"
                   : look_.shape == BarShape::Pyramid ? "pyramid"
                                                      : "box");
        } else {
            const int overlap = look_.grouping == Grouping::Standard ? look_.overlap : 100;
            valued(plot, "overlap", std::clamp(overlap, -100, 100));
        }
    } else if (kind == Kind::Line && !threeD()) {
        flag(plot, "marker", true);
    } else if (kind == Kind::Pie && !threeD()) {
        valued(plot, "firstSliceAng", look_.firstSliceAngle % 360);
    } else if (kind == Kind::Doughnut) {
        valued(plot, "firstSliceAng", look_.firstSliceAngle % 360);
        valued(plot, "holeSize", std::clamp(look_.holeSize, 10, 90));
    }
    if (hasAxes()) {
        valued(plot, "axId", kCategoryAxisId);
        valued(plot, "axId", kValueAxisId);
        if (needsSeriesAxis()) {
            valued(plot, "axId", kSeriesAxisId);
        }
    }
}

// A bare series: its place and look. The chart part engine adds its name, categories and
// values; the empty c:val (c:yVal) says where they go and what kind of series it is.
void Writer::series(pugi::xml_node plot, int index) {
    pugi::xml_node ser = chartml::append(plot, "ser");
    valued(ser, "idx", index);
    valued(ser, "order", index);
    seriesLook(ser, index);
    const Kind kind = look_.kind;
    const SeriesFormat& own = format(index);
    if (kind == Kind::Line || kind == Kind::Scatter || kind == Kind::Radar) {
        if (own.marker) {
            marker(ser, *own.marker);
        } else {
            valued(chartml::append(ser, "marker"), "symbol", kind == Kind::Radar ? "none" : "auto");
        }
    }
    if (kind == Kind::Bar && !threeD()) {
        flag(ser, "invertIfNegative", false);
    }
    if ((kind == Kind::Pie || kind == Kind::Doughnut) && own.explosion > 0) {
        valued(ser, "explosion", std::min(own.explosion, 400));
    }
    points(ser, index);
    chartml::append(ser, kind == Kind::Scatter ? "yVal" : "val");
    if (kind == Kind::Line || kind == Kind::Scatter) {
        flag(ser, "smooth", look_.smoothLines);
    }
}

void Writer::seriesLook(pugi::xml_node ser, int index) {
    const SeriesFormat& f = format(index);
    pugi::xml_node spPr = chartml::append(ser, "spPr");
    const bool lines = isLineKind(look_.kind);
    if (!lines && !look_.varyColors) {
        paint(spPr, f.fill, chart_.automaticFill(index));
    }
    if (f.line.mode == Paint::Mode::Automatic && !lines) {
        blackOutline(spPr);  // Graph outlines its bars, slices and areas in black
        return;
    }
    line(spPr, f.line, chart_.automaticLine(index), 28575);
}

// The points with a look of their own: every point that holds a value in a chart with one
// colour per point (pies and doughnuts, the palette's automatic fills in turn), and each point
// whose records give it its own fill, line, explosion or marker. A blank point draws nothing,
// and one filled later takes the same colour from the chart's colour style; so the points
// written stay as many as the cells, however far apart the cells lie.
void Writer::points(pugi::xml_node ser, int index) {
    const SeriesFormat& f = format(index);
    std::set<int> shown;
    if (look_.varyColors) {
        const int field = layout_.series[static_cast<std::size_t>(index)].value;
        const int first = layout_.cornerRecord + layout_.headerLines;
        for (int record : valueRecords(field)) {
            if (record >= first && record - first < layout_.categoryCount()) {
                shown.insert(record - first);
            }
        }
    }
    for (const auto& [i, own] : f.points) {
        shown.insert(i);
    }
    for (int i : shown) {
        const auto it = f.points.find(i);
        point(ser, index, i, it == f.points.end() ? nullptr : &it->second);
    }
}

// The records (oriented lines along the categories) at which field `field` holds a value,
// gathered for all fields in one walk over the cells.
const std::vector<int>& Writer::valueRecords(int field) {
    if (!valueRecords_) {
        valueRecords_.emplace();
        for (const auto& [pos, cell] : chart_.sheet.cells) {
            if (!cell.value.isBlank()) {
                const auto [record, line] = layout_.oriented(pos.row, pos.column);
                (*valueRecords_)[line].push_back(record);
            }
        }
    }
    static const std::vector<int> none;
    const auto it = valueRecords_->find(field);
    return it == valueRecords_->end() ? none : it->second;
}

void Writer::point(pugi::xml_node ser, int index, int i, const PointFormat* own) {
    const SeriesFormat& f = format(index);
    const bool lines = isLineKind(look_.kind);
    pugi::xml_node dPt = chartml::append(ser, "dPt");
    valued(dPt, "idx", i);
    if (look_.kind == Kind::Bar && !threeD()) {
        flag(dPt, "invertIfNegative", false);
    }
    if (lines && own && own->marker) {
        marker(dPt, *own->marker);
    }
    if (look_.kind == Kind::Pie || look_.kind == Kind::Doughnut || look_.kind == Kind::Bar) {
        flag(dPt, "bubble3D", false);
    }
    if (own && own->explosion && (look_.kind == Kind::Pie || look_.kind == Kind::Doughnut)) {
        valued(dPt, "explosion", std::min(*own->explosion, 400));
    }
    pugi::xml_node spPr = chartml::append(dPt, "spPr");
    if (!lines) {
        const Rgb automatic =
            look_.varyColors ? chart_.automaticFill(i) : chart_.automaticFill(index);
        const Paint fill = own && own->fill ? *own->fill : look_.varyColors ? Paint{} : f.fill;
        paint(spPr, fill, automatic);
    }
    const Paint outline = own && own->line ? *own->line : f.line;
    if (outline.mode == Paint::Mode::Automatic && !lines) {
        blackOutline(spPr);
        return;
    }
    line(spPr, outline, chart_.automaticLine(index), 28575);
}

namespace {

// A pie's labels where Graph places them otherwise than in the middle of the slice; nothing for
// the other kinds, whose places the chart keeps as its kind gives them.
const char* pieLabelPosition(const ChartLook& look) {
    if (look.kind != Kind::Pie) {
        return nullptr;
    }
    switch (look.labels.position) {
        case LabelPosition::OutsideEnd:
            return "outEnd";
        case LabelPosition::BestFit:
            return "bestFit";
        case LabelPosition::InsideEnd:
            return "inEnd";
        case LabelPosition::Automatic:
        case LabelPosition::Centre:
        case LabelPosition::InsideBase:
        case LabelPosition::Above:
        case LabelPosition::Below:
        case LabelPosition::Left:
        case LabelPosition::Right:
            return nullptr;
    }
    return nullptr;
}

}  // namespace

void Writer::dataLabels(pugi::xml_node plot) {
    const DataLabels& l = look_.labels;
    if (!l.any()) {
        return;
    }
    pugi::xml_node dLbls = chartml::append(plot, "dLbls");
    textProperties(dLbls, over(look_.labelsFont, look_.axesFont));
    if (const char* position = pieLabelPosition(look_)) {
        valued(dLbls, "dLblPos", position);
    }
    flag(dLbls, "showLegendKey", false);
    flag(dLbls, "showVal", l.value);
    flag(dLbls, "showCatName", l.category);
    flag(dLbls, "showSerName", l.seriesName);
    flag(dLbls, "showPercent",
         l.percent && (look_.kind == Kind::Pie || look_.kind == Kind::Doughnut));
    flag(dLbls, "showBubbleSize", false);
}

void Writer::axes(pugi::xml_node plotArea) {
    axis(plotArea, look_.categoryAxis, true);
    axis(plotArea, look_.valueAxis, false);
    if (needsSeriesAxis()) {
        pugi::xml_node ser = chartml::append(plotArea, "serAx");
        valued(ser, "axId", kSeriesAxisId);
        valued(chartml::append(ser, "scaling"), "orientation", "minMax");
        flag(ser, "delete", true);
        valued(ser, "axPos", "b");
        valued(ser, "crossAx", kValueAxisId);
        valued(ser, "crosses", "autoZero");
    }
}

void Writer::axis(pugi::xml_node plotArea, const Axis& a, bool category) {
    // A scatter chart's horizontal axis is a value axis too.
    const bool asCategory = category && look_.kind != Kind::Scatter;
    pugi::xml_node node = chartml::append(plotArea, asCategory ? "catAx" : "valAx");
    valued(node, "axId", category ? kCategoryAxisId : kValueAxisId);
    scaling(node, a, asCategory);
    flag(node, "delete", !a.present && look_.kind != Kind::Radar);
    const bool across = category != look_.horizontal;  // runs along the bottom
    valued(node, "axPos", across ? "b" : "l");
    if (a.majorGridlines) {
        gridlines(chartml::append(node, "majorGridlines"), a.majorGridlineLook);
    }
    if (a.minorGridlines) {
        gridlines(chartml::append(node, "minorGridlines"), a.minorGridlineLook);
    }
    if (a.title) {
        title(node, *a.title, over(a.titleFont, look_.axesFont));
    }
    pugi::xml_node numFmt = chartml::append(node, "numFmt");
    numFmt.append_attribute("formatCode") = a.numberFormat ? a.numberFormat->c_str() : "General";
    numFmt.append_attribute("sourceLinked") = a.numberFormat ? "0" : "1";
    valued(node, "majorTickMark", tickMarkName(a.majorTicks));
    valued(node, "minorTickMark", tickMarkName(a.minorTicks));
    valued(node, "tickLblPos", tickLabelsName(a.tickLabels));
    textProperties(node, over(a.font, look_.axesFont));
    valued(node, "crossAx", category ? kValueAxisId : kCategoryAxisId);
    crossing(node, category);
    if (asCategory) {
        flag(node, "auto", true);
        valued(node, "lblAlgn", "ctr");
        valued(node, "lblOffset", 100);
    } else {
        valued(node, "crossBetween",
               look_.kind == Kind::Bar || look_.kind == Kind::Line ? "between" : "midCat");
        valueUnits(node, a);
    }
}

// c:scaling: a logarithmic scale, the direction, and the bounds a value axis was given.
void Writer::scaling(pugi::xml_node node, const Axis& a, bool category) {
    pugi::xml_node scale = chartml::append(node, "scaling");
    const Scaling& s = a.scaling;
    if (s.logarithmic && !category) {
        valued(scale, "logBase", 10);
    }
    valued(scale, "orientation", s.reversed ? "maxMin" : "minMax");
    if (category) {
        return;
    }
    if (s.max) {
        chartml::append(scale, "max").append_attribute("val") = *s.max;
    }
    if (s.min) {
        chartml::append(scale, "min").append_attribute("val") = *s.min;
    }
}

// Where this axis crosses the other one: Graph keeps that with the other axis' scale (a value
// axis says at which value the category axis crosses it, and the other way round).
void Writer::crossing(pugi::xml_node node, bool category) {
    const Scaling& other = (category ? look_.valueAxis : look_.categoryAxis).scaling;
    if (other.crossesAtMax) {
        valued(node, "crosses", "max");
    } else if (other.crossesAt) {
        chartml::append(node, "crossesAt").append_attribute("val") = *other.crossesAt;
    } else {
        valued(node, "crosses", "autoZero");
    }
}

void Writer::valueUnits(pugi::xml_node node, const Axis& a) {
    if (a.scaling.majorUnit && *a.scaling.majorUnit > 0) {
        chartml::append(node, "majorUnit").append_attribute("val") = *a.scaling.majorUnit;
    }
    if (a.scaling.minorUnit && *a.scaling.minorUnit > 0) {
        chartml::append(node, "minorUnit").append_attribute("val") = *a.scaling.minorUnit;
    }
}

void Writer::legend(pugi::xml_node chartNode) {
    if (!look_.hasLegend) {
        return;
    }
    pugi::xml_node node = chartml::append(chartNode, "legend");
    const char* position = "r";
    switch (look_.legendPosition) {
        case LegendPosition::Bottom:
            position = "b";
            break;
        case LegendPosition::Corner:
            position = "tr";
            break;
        case LegendPosition::Top:
            position = "t";
            break;
        case LegendPosition::Left:
            position = "l";
            break;
        case LegendPosition::Right:
            break;
    }
    valued(node, "legendPos", position);
    flag(node, "overlay", false);
    boxLook(node, look_.legendBox);
    textProperties(node, look_.legendFont);
}

}  // namespace

detail::DataLayout dataLayout(const DataSheet& sheet, const std::string& sheetName) {
    const detail::CellPos last = extent(sheet);
    detail::DataLayout layout;
    layout.sheet = sheetName;
    layout.direction = sheet.seriesInRows ? detail::Direction::Rows : detail::Direction::Columns;
    // Oriented: records run along the categories, fields across the series.
    const int categoriesEnd = sheet.seriesInRows ? last.column : last.row;
    const int seriesEnd = sheet.seriesInRows ? last.row : last.column;
    const std::set<int>& seriesLeftOut =
        sheet.seriesInRows ? sheet.excludedRows : sheet.excludedColumns;
    const std::set<int>& categoriesLeftOut =
        sheet.seriesInRows ? sheet.excludedColumns : sheet.excludedRows;
    // The categories up to the last one the chart shows.
    int lastCategory = std::max(2, categoriesEnd);
    while (lastCategory > 2 && categoriesLeftOut.contains(lastCategory)) {
        --lastCategory;
    }
    layout.records = lastCategory;
    // One series per line after the line of category names that the chart shows, at least one.
    for (int field = 2; field <= std::max(2, seriesEnd); ++field) {
        if (!seriesLeftOut.contains(field)) {
            layout.series.push_back({field, -1, -1});
        }
    }
    if (layout.series.empty()) {
        layout.series.push_back({std::max(2, seriesEnd) + 1, -1, -1});
    }
    return layout;
}

// The categories a chart range cannot leave out: those before the last one it shows (a range
// runs without gaps). Gives the first such category, or 0.
int categoryGap(const DataSheet& sheet, const detail::DataLayout& layout) {
    const std::set<int>& leftOut = sheet.seriesInRows ? sheet.excludedColumns : sheet.excludedRows;
    for (int category : leftOut) {
        if (category > 1 && category < layout.records) {
            return category;
        }
    }
    return 0;
}

// Each series costs all its categories in the part, blank or not: a few stray cells far out
// in the data sheet would make a chart of tens of thousands of series, or of millions of
// points, which no chart holds.
void checkSize(const detail::DataLayout& layout, const std::string& where) {
    const std::int64_t series = layout.seriesCount();
    const std::int64_t points = series * layout.categoryCount();
    if (series > kMaxSeries) {
        throw Error(ErrorCode::NotSupported, where + ": the data sheet holds " +
                                                 std::to_string(series) +
                                                 " series, more than the " +
                                                 std::to_string(kMaxSeries) + " a chart can hold");
    }
    if (points > kMaxPoints) {
        throw Error(ErrorCode::NotSupported, where + ": the data sheet holds " +
                                                 std::to_string(points) +
                                                 " points, more than the " +
                                                 std::to_string(kMaxPoints) + " a chart can hold");
    }
}

pugi::xml_document nativeChart(const GraphChart& chart, const std::string& sheetName,
                               const std::string& where) {
    const detail::DataLayout layout = dataLayout(chart.sheet, sheetName);
    if (const int gap = categoryGap(chart.sheet, layout); gap > 0) {
        const std::string line = chart.sheet.seriesInRows ? "column " + detail::columnName(gap - 1)
                                                          : "row " + std::to_string(gap - 1);
        throw Error(ErrorCode::NotSupported,
                    where + ": the chart leaves out the data sheet's " + line +
                        " between categories it shows, which a native chart cannot do");
    }
    checkSize(layout, where);
    pugi::xml_document doc;
    Writer(chart, layout).write(doc);
    detail::ChartData data = detail::readChart(doc, where);
    detail::writeChart(doc, data, layout, chart.sheet.cells, false);
    return doc;
}

}  // namespace office::graph::msgraph
