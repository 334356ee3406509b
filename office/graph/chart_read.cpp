#include "office/graph/chart_part.h"

#include <algorithm>

#include "office/error.h"
#include "office/graph/chart_xml.h"
#include "office/package/xml.h"

// Reading a chart part: its series with their references, and its caches as cells.

namespace office::graph::detail {

namespace {

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The first element below `node` of the chart namespace with that local name.
pugi::xml_node firstBelow(pugi::xml_node node, std::string_view local) {
    const auto found = package::descendants(node, package::ns::kChart, local);
    return found.empty() ? pugi::xml_node() : found.front();
}

bool isPlot(pugi::xml_node node) {
    return endsWith(chartml::nameOf(node), "Chart");
}

// Scatter and bubble plots give their series x and y values, whether or not a series of the
// template holds any yet.
bool isXyPlot(pugi::xml_node plot) {
    const std::string_view kind = chartml::nameOf(plot);
    return kind == "scatterChart" || kind == "bubbleChart";
}

std::optional<SheetRef> refOf(pugi::xml_node roleElement) {
    if (!roleElement) {
        return std::nullopt;
    }
    for (pugi::xml_node ref : roleElement.children()) {
        const pugi::xml_node f = chartml::child(ref, "f");
        if (f) {
            return parseRef(f.text().get());
        }
    }
    return std::nullopt;
}

}  // namespace

ChartData readChart(const pugi::xml_document& chart, const std::string& where) {
    const pugi::xml_node space = chartml::child(chart, "chartSpace");
    const pugi::xml_node plotArea = chartml::child(chartml::child(space, "chart"), "plotArea");
    if (!plotArea) {
        throw Error(ErrorCode::NotSupported,
                    where + ": the chart part holds no classic chart that can be filled");
    }
    ChartData data;
    data.date1904 = chartml::child(space, "date1904").attribute("val").as_bool(false);
    for (pugi::xml_node plot : plotArea.children()) {
        if (!isPlot(plot)) {
            continue;
        }
        for (pugi::xml_node ser : chartml::children(plot, "ser")) {
            SeriesInfo info;
            info.node = ser;
            info.plot = plot;
            info.xy = isXyPlot(plot) || chartml::child(ser, "yVal");
            info.name = refOf(chartml::child(ser, "tx"));
            info.categories = refOf(chartml::child(ser, info.xy ? "xVal" : "cat"));
            info.values = refOf(chartml::child(ser, info.xy ? "yVal" : "val"));
            info.sizes = refOf(chartml::child(ser, "bubbleSize"));
            for (pugi::xml_node f : package::descendants(ser, package::ns::kChart, "f")) {
                if (data.sheet.empty()) {
                    data.sheet = sheetOf(f.text().get());
                }
            }
            data.series.push_back(std::move(info));
        }
    }
    // The plots of a combination chart need not list their series in the order of the
    // columns: the data sheet's order is the columns'.
    const auto first = std::find_if(data.series.begin(), data.series.end(),
                                    [](const SeriesInfo& s) { return s.values.has_value(); });
    if (first != data.series.end()) {
        const Direction dir = directionOf(*first);
        std::stable_sort(data.series.begin(), data.series.end(),
                         [dir](const SeriesInfo& x, const SeriesInfo& y) {
                             if (!x.values || !y.values) {
                                 return x.values.has_value() && !y.values;
                             }
                             return orient(x.values->area, dir).field0 <
                                    orient(y.values->area, dir).field0;
                         });
    }
    return data;
}
void addFirstSeries(pugi::xml_document& chart, ChartData& data, const std::string& where) {
    pugi::xml_node plotArea =
        chartml::child(chartml::child(chartml::child(chart, "chartSpace"), "chart"), "plotArea");
    pugi::xml_node plot;
    for (pugi::xml_node n : plotArea.children()) {
        if (isPlot(n)) {
            plot = n;
            break;
        }
    }
    if (!plot) {
        throw Error(ErrorCode::NotSupported, where + ": the chart has no plot to fill");
    }
    // A series goes before the plot's shared settings (labels, gaps, axes ids, ...).
    pugi::xml_node before;
    for (pugi::xml_node n : plot.children()) {
        const std::string_view name = chartml::nameOf(n);
        if (n.type() == pugi::node_element && name != "barDir" && name != "grouping" &&
            name != "varyColors" && name != "scatterStyle" && name != "radarStyle" &&
            name != "wireframe" && name != "ofPieType") {
            before = n;
            break;
        }
    }
    pugi::xml_node ser =
        before ? chartml::insertBefore(plot, "ser", before) : chartml::append(plot, "ser");
    chartml::append(ser, "idx").append_attribute("val") = 0;
    chartml::append(ser, "order").append_attribute("val") = 0;
    SeriesInfo info;
    info.node = ser;
    info.plot = plot;
    info.xy = isXyPlot(plot);
    if (chartml::nameOf(plot) == "bubbleChart") {
        chartml::append(ser, "bubbleSize");
    }
    data.series.push_back(info);
}

DataLayout defaultLayout(const std::vector<SeriesInfo>& series) {
    DataLayout layout;
    const bool bubble = !series.empty() && chartml::child(series.front().node, "bubbleSize");
    layout.step = bubble ? 2 : 1;
    int points = 1;
    for (std::size_t k = 0; k < std::max<std::size_t>(series.size(), 1); ++k) {
        const int value = 2 + static_cast<int>(k) * layout.step;
        layout.series.push_back({value, bubble ? value + 1 : -1, -1});
    }
    for (const SeriesInfo& s : series) {
        const pugi::xml_node values = chartml::child(s.node, s.xy ? "yVal" : "val");
        const pugi::xml_node count = firstBelow(values, "ptCount");
        points = std::max(points, count.attribute("val").as_int(0));
    }
    layout.records = 1 + points;
    return layout;
}

namespace {

// The points of a cache (c:strCache, c:numCache, or a literal) by index.
struct CachedPoint {
    int index = 0;
    std::string text;
    std::string formatCode;
};

pugi::xml_node cacheOf(pugi::xml_node roleElement) {
    for (pugi::xml_node ref : roleElement.children()) {
        for (pugi::xml_node cache : ref.children()) {
            const std::string_view name = chartml::nameOf(cache);
            if (name == "strCache" || name == "numCache" || name == "multiLvlStrCache") {
                return cache;
            }
        }
        const std::string_view name = chartml::nameOf(ref);
        if (name == "strLit" || name == "numLit") {
            return ref;
        }
    }
    return {};
}

std::vector<CachedPoint> pointsOf(pugi::xml_node cache) {
    std::vector<CachedPoint> points;
    const std::string common = chartml::child(cache, "formatCode").text().get();
    for (pugi::xml_node pt : chartml::children(cache, "pt")) {
        CachedPoint point;
        point.index = pt.attribute("idx").as_int();
        point.text = chartml::child(pt, "v").text().get();
        point.formatCode = pt.attribute("formatCode") ? pt.attribute("formatCode").value() : common;
        points.push_back(std::move(point));
    }
    return points;
}

CellData cellFromCache(const CachedPoint& point, bool numeric, bool date1904) {
    CellData cell;
    if (!numeric) {
        cell.value = Value::text(point.text);
        return cell;
    }
    const double v = parseNumber(point.text);
    cell.numberFormat = point.formatCode.empty() ? "General" : point.formatCode;
    cell.value =
        isDateFormat(cell.numberFormat) ? Value::date(v + (date1904 ? 1462 : 0)) : Value::number(v);
    return cell;
}

// Puts a one-dimensional cache into the cells of the span, point i at record0 + i.
void placeCache(CellGrid& cells, const DataLayout& layout, pugi::xml_node cache, int record0,
                int field, bool date1904) {
    if (!cache) {
        return;
    }
    const std::string_view kind = chartml::nameOf(cache);
    const bool numeric = kind.starts_with("num");
    if (kind == "multiLvlStrCache") {
        int level = 0;
        for (pugi::xml_node lvl : chartml::children(cache, "lvl")) {
            for (const CachedPoint& p : pointsOf(lvl)) {
                cells.set(layout.toSheet(record0 + p.index, field - level),
                          cellFromCache(p, false, date1904));
            }
            ++level;
        }
        return;
    }
    for (const CachedPoint& p : pointsOf(cache)) {
        cells.set(layout.toSheet(record0 + p.index, field), cellFromCache(p, numeric, date1904));
    }
}

// The series' name as its c:tx holds it, cached or literal.
std::optional<std::string> cachedName(pugi::xml_node ser) {
    const pugi::xml_node tx = chartml::child(ser, "tx");
    if (const pugi::xml_node cache = cacheOf(tx)) {
        const auto points = pointsOf(cache);
        return points.empty() ? std::nullopt : std::optional(points.front().text);
    }
    if (chartml::child(tx, "v")) {
        return chartml::child(tx, "v").text().get();
    }
    return std::nullopt;
}

}  // namespace

CellGrid cellsFromCaches(const ChartData& chart, const DataLayout& layout) {
    CellGrid cells;
    const Direction dir = layout.direction;
    const bool useRanges = layoutFromRanges(chart.series).has_value();
    const int dataRecord = layout.cornerRecord + layout.headerLines;
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const SeriesInfo& s = chart.series[k];
        const SeriesFields f = layout.fieldsOf(static_cast<int>(k));
        const int valueRecord = useRanges ? orient(s.values->area, dir).record0 : dataRecord;
        placeCache(cells, layout, cacheOf(chartml::child(s.node, s.xy ? "yVal" : "val")),
                   valueRecord, f.value, chart.date1904);
        const auto name = cachedName(s.node);
        if (layout.headerLines > 0 && name) {
            const CellPos at = useRanges && s.name ? CellPos{s.name->area.top, s.name->area.left}
                                                   : layout.toSheet(layout.cornerRecord, f.value);
            cells.setValue(at, Value::text(*name));
        }
        if (f.size >= 0) {
            placeCache(cells, layout, cacheOf(chartml::child(s.node, "bubbleSize")), valueRecord,
                       f.size, chart.date1904);
        }
        const pugi::xml_node categories = chartml::child(s.node, s.xy ? "xVal" : "cat");
        if (!categories || (!layout.ownCategories && k > 0) || layout.categoryLevels == 0) {
            continue;
        }
        const int field =
            layout.ownCategories ? f.own : layout.categoryField + layout.categoryLevels - 1;
        const int record =
            useRanges && s.categories ? orient(s.categories->area, dir).record0 : valueRecord;
        placeCache(cells, layout, cacheOf(categories), record, field, chart.date1904);
    }
    return cells;
}

}  // namespace office::graph::detail
