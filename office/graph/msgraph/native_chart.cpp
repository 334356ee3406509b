// The native chart of a Graph chart: the plot element of its kind, one bare series per data
// sheet series with its colours, the axes, title, legend and data labels; the chart part
// engine then writes every series' name, categories and values (ranges and caches) from the
// cells, as it does when a native chart is filled.

#include "office/graph/msgraph/native_chart.h"

#include <algorithm>

namespace office::graph::msgraph {

namespace {

constexpr const char* kChartNs = "http://schemas.openxmlformats.org/drawingml/2006/chart";
constexpr const char* kDrawingNs = "http://schemas.openxmlformats.org/drawingml/2006/main";
constexpr const char* kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr int kCategoryAxisId = 50010001;
constexpr int kValueAxisId = 50010002;
constexpr int kSeriesAxisId = 50010003;

pugi::xml_node valued(pugi::xml_node parent, const char* name, const std::string& value) {
    pugi::xml_node node = parent.append_child(name);
    node.append_attribute("val") = value.c_str();
    return node;
}
pugi::xml_node valued(pugi::xml_node parent, const char* name, int value) {
    return valued(parent, name, std::to_string(value));
}
pugi::xml_node flag(pugi::xml_node parent, const char* name, bool on) {
    return valued(parent, name, on ? "1" : "0");
}

void solidFill(pugi::xml_node parent, Rgb color) {
    valued(parent.append_child("a:solidFill"), "a:srgbClr", hexColor(color));
}

// The extent of the data sheet from its corner: the last row and column holding a value.
detail::CellPos extent(const DataSheet& sheet) {
    detail::CellPos last{1, 1};
    for (const auto& [pos, cell] : sheet.cells) {
        if (!cell.value.isBlank()) {
            last.row = std::max(last.row, pos.row);
            last.column = std::max(last.column, pos.column);
        }
    }
    return last;
}

bool isLineKind(Kind kind) {
    return kind == Kind::Line || kind == Kind::Scatter || kind == Kind::Radar;
}

// A text body of one run, as titles hold it.
void richText(pugi::xml_node parent, const std::string& text) {
    pugi::xml_node rich = parent.append_child("c:tx").append_child("c:rich");
    rich.append_child("a:bodyPr");
    rich.append_child("a:lstStyle");
    pugi::xml_node p = rich.append_child("a:p");
    pugi::xml_node r = p.append_child("a:r");
    r.append_child("a:rPr").append_attribute("lang") = "en-US";
    r.append_child("a:t").text().set(text.c_str());
}

void title(pugi::xml_node parent, const std::string& text) {
    pugi::xml_node node = parent.append_child("c:title");
    richText(node, text);
    flag(node, "c:overlay", false);
}

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
    void points(pugi::xml_node ser);
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
    bool needsSeriesAxis() const { return look_.threeD && look_.kind == Kind::Line; }
    bool threeD() const {
        return look_.threeD && (look_.kind == Kind::Bar || look_.kind == Kind::Line ||
                                look_.kind == Kind::Area || look_.kind == Kind::Pie);
    }

    const GraphChart& chart_;
    const ChartLook& look_;
    const detail::DataLayout& layout_;
};

const char* Writer::plotName() const {
    const bool solid = threeD();
    switch (look_.kind) {
        case Kind::Bar:
            return solid ? "c:bar3DChart" : "c:barChart";
        case Kind::Line:
            return solid ? "c:line3DChart" : "c:lineChart";
        case Kind::Pie:
            return solid ? "c:pie3DChart" : "c:pieChart";
        case Kind::Doughnut:
            return "c:doughnutChart";
        case Kind::Area:
            return solid ? "c:area3DChart" : "c:areaChart";
        case Kind::Scatter:
            return "c:scatterChart";
        case Kind::Radar:
        case Kind::FilledRadar:
            return "c:radarChart";
    }
    return "c:barChart";
}

void Writer::write(pugi::xml_document& doc) {
    pugi::xml_node space = doc.append_child("c:chartSpace");
    space.append_attribute("xmlns:c") = kChartNs;
    space.append_attribute("xmlns:a") = kDrawingNs;
    space.append_attribute("xmlns:r") = kRelNs;
    flag(space, "c:date1904", false);
    flag(space, "c:roundedCorners", false);
    pugi::xml_node chartNode = space.append_child("c:chart");
    if (look_.title) {
        title(chartNode, *look_.title);
    }
    flag(chartNode, "c:autoTitleDeleted", !look_.title);
    if (threeD()) {
        pugi::xml_node view = chartNode.append_child("c:view3D");
        valued(view, "c:rotX", look_.kind == Kind::Pie ? 30 : 15);
        valued(view, "c:rotY", look_.kind == Kind::Pie ? 0 : 20);
        flag(view, "c:rAngAx", look_.kind != Kind::Pie);
    }
    pugi::xml_node plotArea = chartNode.append_child("c:plotArea");
    plotArea.append_child("c:layout");
    plot(plotArea);
    if (hasAxes()) {
        axes(plotArea);
    }
    legend(chartNode);
    flag(chartNode, "c:plotVisOnly", true);
    valued(chartNode, "c:dispBlanksAs", "gap");
}

void Writer::plot(pugi::xml_node plotArea) {
    pugi::xml_node plot = plotArea.append_child(plotName());
    const Kind kind = look_.kind;
    const char* grouping = look_.grouping == Grouping::Percent   ? "percentStacked"
                           : look_.grouping == Grouping::Stacked ? "stacked"
                                                                 : "standard";
    if (kind == Kind::Bar) {
        valued(plot, "c:barDir", look_.horizontal ? "bar" : "col");
        valued(plot, "c:grouping",
               look_.grouping == Grouping::Standard ? std::string("clustered") : grouping);
    } else if (kind == Kind::Line || kind == Kind::Area) {
        valued(plot, "c:grouping", grouping);
    } else if (kind == Kind::Scatter) {
        valued(plot, "c:scatterStyle", "lineMarker");
    } else if (kind == Kind::Radar || kind == Kind::FilledRadar) {
        valued(plot, "c:radarStyle", kind == Kind::FilledRadar ? "filled" : "marker");
    }
    flag(plot, "c:varyColors", look_.varyColors);
    for (int i = 0; i < layout_.seriesCount(); ++i) {
        series(plot, i);
    }
    dataLabels(plot);
    if (kind == Kind::Bar) {
        valued(plot, "c:gapWidth", std::clamp(look_.gapWidth, 0, 500));
        if (threeD()) {
            valued(plot, "c:shape",
                   look_.shape == BarShape::Cylinder  ? "cylinder"
                   : look_.shape == BarShape::Cone    ? "cone"
                   : look_.shape == BarShape::Pyramid ? "pyramid"
                                                      : "box");
        } else {
            const int overlap = look_.grouping == Grouping::Standard ? look_.overlap : 100;
            valued(plot, "c:overlap", std::clamp(overlap, -100, 100));
        }
    } else if (kind == Kind::Line && !threeD()) {
        flag(plot, "c:marker", true);
    } else if (kind == Kind::Pie && !threeD()) {
        valued(plot, "c:firstSliceAng", look_.firstSliceAngle % 360);
    } else if (kind == Kind::Doughnut) {
        valued(plot, "c:firstSliceAng", look_.firstSliceAngle % 360);
        valued(plot, "c:holeSize", std::clamp(look_.holeSize, 10, 90));
    }
    if (hasAxes()) {
        valued(plot, "c:axId", kCategoryAxisId);
        valued(plot, "c:axId", kValueAxisId);
        if (needsSeriesAxis()) {
            valued(plot, "c:axId", kSeriesAxisId);
        }
    }
}

// A bare series: its place and look. The chart part engine adds its name, categories and
// values; the empty c:val (c:yVal) says where they go and what kind of series it is.
void Writer::series(pugi::xml_node plot, int index) {
    pugi::xml_node ser = plot.append_child("c:ser");
    valued(ser, "c:idx", index);
    valued(ser, "c:order", index);
    seriesLook(ser, index);
    const Kind kind = look_.kind;
    if (kind == Kind::Line || kind == Kind::Scatter || kind == Kind::Radar) {
        valued(ser.append_child("c:marker"), "c:symbol", kind == Kind::Radar ? "none" : "auto");
    }
    if (kind == Kind::Bar && !threeD()) {
        flag(ser, "c:invertIfNegative", false);
    }
    if ((kind == Kind::Pie || kind == Kind::Doughnut) && format(index).explosion > 0) {
        valued(ser, "c:explosion", std::min(format(index).explosion, 400));
    }
    if (look_.varyColors) {
        points(ser);
    }
    ser.append_child(kind == Kind::Scatter ? "c:yVal" : "c:val");
    if (kind == Kind::Line || kind == Kind::Scatter) {
        flag(ser, "c:smooth", look_.smoothLines);
    }
}

void Writer::seriesLook(pugi::xml_node ser, int index) {
    const SeriesFormat& f = format(index);
    pugi::xml_node spPr = ser.append_child("c:spPr");
    const bool lines = isLineKind(look_.kind);
    if (!lines && !look_.varyColors) {
        if (f.fill.mode == Paint::Mode::None) {
            spPr.append_child("a:noFill");
        } else {
            solidFill(spPr, f.fill.mode == Paint::Mode::Explicit ? f.fill.color
                                                                 : chart_.automaticFill(index));
        }
    }
    pugi::xml_node ln = spPr.append_child("a:ln");
    if (f.line.mode == Paint::Mode::None) {
        ln.append_child("a:noFill");
    } else if (f.line.mode == Paint::Mode::Explicit) {
        solidFill(ln, f.line.color);
    } else if (lines) {
        ln.append_attribute("w") = 28575;
        solidFill(ln, chart_.automaticLine(index));
    } else {
        // Graph outlines its bars, slices and areas in black.
        ln.append_attribute("w") = 3175;
        solidFill(ln, Rgb{0, 0, 0});
    }
}

// One colour per point (pies and doughnuts): the palette's automatic fills in turn.
void Writer::points(pugi::xml_node ser) {
    for (int i = 0; i < layout_.categoryCount(); ++i) {
        pugi::xml_node dPt = ser.append_child("c:dPt");
        valued(dPt, "c:idx", i);
        flag(dPt, "c:bubble3D", false);
        pugi::xml_node spPr = dPt.append_child("c:spPr");
        solidFill(spPr, chart_.automaticFill(i));
        pugi::xml_node ln = spPr.append_child("a:ln");
        ln.append_attribute("w") = 3175;
        solidFill(ln, Rgb{0, 0, 0});
    }
}

void Writer::dataLabels(pugi::xml_node plot) {
    const DataLabels& l = look_.labels;
    if (!l.any()) {
        return;
    }
    pugi::xml_node dLbls = plot.append_child("c:dLbls");
    flag(dLbls, "c:showLegendKey", false);
    flag(dLbls, "c:showVal", l.value);
    flag(dLbls, "c:showCatName", l.category);
    flag(dLbls, "c:showSerName", l.seriesName);
    flag(dLbls, "c:showPercent",
         l.percent && (look_.kind == Kind::Pie || look_.kind == Kind::Doughnut));
    flag(dLbls, "c:showBubbleSize", false);
}

void Writer::axes(pugi::xml_node plotArea) {
    axis(plotArea, look_.categoryAxis, true);
    axis(plotArea, look_.valueAxis, false);
    if (needsSeriesAxis()) {
        pugi::xml_node ser = plotArea.append_child("c:serAx");
        valued(ser, "c:axId", kSeriesAxisId);
        valued(ser.append_child("c:scaling"), "c:orientation", "minMax");
        flag(ser, "c:delete", true);
        valued(ser, "c:axPos", "b");
        valued(ser, "c:crossAx", kValueAxisId);
        valued(ser, "c:crosses", "autoZero");
    }
}

void Writer::axis(pugi::xml_node plotArea, const Axis& a, bool category) {
    // A scatter chart's horizontal axis is a value axis too.
    const bool asCategory = category && look_.kind != Kind::Scatter;
    pugi::xml_node node = plotArea.append_child(asCategory ? "c:catAx" : "c:valAx");
    valued(node, "c:axId", category ? kCategoryAxisId : kValueAxisId);
    valued(node.append_child("c:scaling"), "c:orientation", "minMax");
    flag(node, "c:delete", !a.present && look_.kind != Kind::Radar);
    const bool across = category != look_.horizontal;  // runs along the bottom
    valued(node, "c:axPos", across ? "b" : "l");
    if (a.majorGridlines) {
        node.append_child("c:majorGridlines");
    }
    if (a.minorGridlines) {
        node.append_child("c:minorGridlines");
    }
    if (a.title) {
        title(node, *a.title);
    }
    pugi::xml_node numFmt = node.append_child("c:numFmt");
    numFmt.append_attribute("formatCode") = a.numberFormat ? a.numberFormat->c_str() : "General";
    numFmt.append_attribute("sourceLinked") = a.numberFormat ? "0" : "1";
    valued(node, "c:majorTickMark", "out");
    valued(node, "c:minorTickMark", "none");
    valued(node, "c:tickLblPos", "nextTo");
    valued(node, "c:crossAx", category ? kValueAxisId : kCategoryAxisId);
    valued(node, "c:crosses", "autoZero");
    if (asCategory) {
        flag(node, "c:auto", true);
        valued(node, "c:lblAlgn", "ctr");
        valued(node, "c:lblOffset", 100);
    } else {
        valued(node, "c:crossBetween",
               look_.kind == Kind::Bar || look_.kind == Kind::Line ? "between" : "midCat");
    }
}

void Writer::legend(pugi::xml_node chartNode) {
    if (!look_.hasLegend) {
        return;
    }
    pugi::xml_node node = chartNode.append_child("c:legend");
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
    valued(node, "c:legendPos", position);
    flag(node, "c:overlay", false);
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
    layout.records = std::max(2, categoriesEnd);
    // One series per line after the line of category names, at least one.
    for (int field = 2; field <= std::max(2, seriesEnd); ++field) {
        layout.series.push_back({field, -1, -1});
    }
    return layout;
}

pugi::xml_document nativeChart(const GraphChart& chart, const std::string& sheetName,
                               const std::string& where) {
    const detail::DataLayout layout = dataLayout(chart.sheet, sheetName);
    pugi::xml_document doc;
    Writer(chart, layout).write(doc);
    detail::ChartData data = detail::readChart(doc, where);
    detail::writeChart(doc, data, layout, chart.sheet.cells, false);
    return doc;
}

}  // namespace office::graph::msgraph
