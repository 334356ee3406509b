#include "office/graph/chart_part.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <set>

#include "office/error.h"
#include "office/graph/chart_xml.h"
#include "office/package/xml.h"

namespace office::graph::detail {

namespace {

constexpr const char* kUniqueIdUri = "{C3380CC4-5D6E-409C-BE32-E72D297353CC}";

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

// Oriented view of an area: records along the categories, fields across the series.
struct Span {
    int record0, record1, field0, field1;
};

Span orient(const Area& area, Direction direction) {
    if (direction == Direction::Columns) {
        return {area.top, area.bottom, area.left, area.right};
    }
    return {area.left, area.right, area.top, area.bottom};
}

Direction directionOf(const SeriesInfo& series) {
    const Area& values = series.values->area;
    if (values.columns() == 1 && values.rows() > 1) {
        return Direction::Columns;
    }
    if (values.rows() == 1 && values.columns() > 1) {
        return Direction::Rows;
    }
    if (series.name && series.name->area.left < values.left &&
        series.name->area.top == values.top) {
        return Direction::Rows;
    }
    if (series.categories && series.categories->area.rows() == 1 &&
        series.categories->area.columns() > 1) {
        return Direction::Rows;
    }
    return Direction::Columns;
}

// True when every series has categories over the same fields (its records may differ).
bool sameCategoryFields(const std::vector<SeriesInfo>& series, Direction dir) {
    const Span first = orient(series.front().categories->area, dir);
    for (const SeriesInfo& s : series) {
        if (!s.categories) {
            return false;
        }
        const Span c = orient(s.categories->area, dir);
        if (c.field0 != first.field0 || c.field1 != first.field1) {
            return false;
        }
    }
    return true;
}

bool usesField(const DataLayout& layout, int field) {
    return std::any_of(layout.series.begin(), layout.series.end(), [field](const auto& s) {
        return s.value == field || s.size == field || s.own == field;
    });
}

}  // namespace

int SeriesFields::first() const {
    int f = value;
    for (int other : {size, own}) {
        if (other >= 0) {
            f = std::min(f, other);
        }
    }
    return f;
}

int SeriesFields::last() const {
    return std::max({value, size, own});
}

CellPos DataLayout::toSheet(int record, int field) const {
    if (direction == Direction::Columns) {
        return {record, field};
    }
    return {field, record};
}

Area DataLayout::region() const {
    int first = categoryLevels > 0 ? categoryField : fieldsOf(0).first();
    int last = categoryLevels > 0 ? categoryField + categoryLevels - 1 : first;
    for (const SeriesFields& s : series) {
        first = std::min(first, s.first());
        last = std::max(last, s.last());
    }
    const CellPos a = toSheet(cornerRecord, first);
    const CellPos b = toSheet(cornerRecord + records - 1, last);
    return {std::min(a.row, b.row), std::min(a.column, b.column), std::max(a.row, b.row),
            std::max(a.column, b.column)};
}

SeriesFields DataLayout::fieldsOf(int k) const {
    if (series.empty()) {
        return {categoryField + std::max(categoryLevels, 0) + k, -1, -1};
    }
    if (k < seriesCount()) {
        return series[k];
    }
    SeriesFields f = series.back();
    const int shift = (k - seriesCount() + 1) * step;
    f.value += shift;
    f.size = f.size < 0 ? -1 : f.size + shift;
    f.own = f.own < 0 ? -1 : f.own + shift;
    return f;
}

std::vector<int> DataLayout::columnFields(int column) const {
    if (column <= labelColumns()) {
        if (!ownCategories) {
            return {categoryField + column - 1};
        }
        std::vector<int> fields;
        for (int k = 0; k < std::max(seriesCount(), 1); ++k) {
            fields.push_back(fieldsOf(k).own);
        }
        return fields;
    }
    const int index = column - labelColumns() - 1;
    const SeriesFields f = fieldsOf(index / seriesWidth());
    return {index % seriesWidth() == 0 ? f.value : f.size};
}

std::pair<int, int> DataLayout::oriented(int row, int column) const {
    if (direction == Direction::Columns) {
        return {row, column};
    }
    return {column, row};
}

std::vector<CellPos> DataLayout::sheetCells(int row, int column) const {
    const auto [line, fieldColumn] = oriented(row, column);
    std::vector<CellPos> cells;
    for (int field : columnFields(fieldColumn)) {
        cells.push_back(toSheet(cornerRecord + line - 1, field));
    }
    return cells;
}

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
            info.xy = static_cast<bool>(chartml::child(ser, "yVal"));
            info.name = refOf(chartml::child(ser, "tx"));
            info.categories = refOf(chartml::child(ser, info.xy ? "xVal" : "cat"));
            info.values = refOf(chartml::child(ser, info.xy ? "yVal" : "val"));
            info.sizes = refOf(chartml::child(ser, "bubbleSize"));
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
    const std::string_view kind = chartml::nameOf(plot);
    info.xy = kind == "scatterChart" || kind == "bubbleChart";
    if (kind == "bubbleChart") {
        chartml::append(ser, "bubbleSize");
    }
    data.series.push_back(info);
}

namespace {

// The fields of a series as its references name them.
SeriesFields fieldsFromRefs(const SeriesInfo& s, Direction dir, bool ownCategories) {
    SeriesFields f;
    f.value = orient(s.values->area, dir).field0;
    if (s.sizes) {
        f.size = orient(s.sizes->area, dir).field0;
    }
    if (ownCategories && s.categories) {
        f.own = orient(s.categories->area, dir).field0;
    }
    return f;
}

// Series that share no field, each after the one before: a grid the data sheet can map.
bool formsGrid(const std::vector<SeriesFields>& series) {
    for (std::size_t i = 0; i < series.size(); ++i) {
        const SeriesFields& s = series[i];
        if (s.size == s.value || (s.own >= 0 && (s.own == s.value || s.own == s.size))) {
            return false;
        }
        if (i > 0 && s.first() <= series[i - 1].last()) {
            return false;
        }
    }
    return true;
}

// The extent of the records: the first record of the data and one past the last.
std::pair<int, int> recordExtent(const std::vector<SeriesInfo>& series, Direction dir) {
    int first = orient(series.front().values->area, dir).record0;
    int last = orient(series.front().values->area, dir).record1;
    for (const SeriesInfo& s : series) {
        for (const auto* ref : {&s.values, &s.categories, &s.sizes}) {
            if (*ref) {
                first = std::min(first, orient((*ref)->area, dir).record0);
                last = std::max(last, orient((*ref)->area, dir).record1);
            }
        }
    }
    return {first, last};
}

bool namedAbove(const std::vector<SeriesInfo>& series, Direction dir) {
    return std::any_of(series.begin(), series.end(), [dir](const SeriesInfo& s) {
        return s.name && orient(s.name->area, dir).record0 < orient(s.values->area, dir).record0;
    });
}

}  // namespace

std::optional<DataLayout> layoutFromRanges(const std::vector<SeriesInfo>& series) {
    if (series.empty()) {
        return std::nullopt;
    }
    for (const SeriesInfo& s : series) {
        if (!s.values || s.values->sheet != series.front().values->sheet) {
            return std::nullopt;
        }
    }
    DataLayout layout;
    layout.sheet = series.front().values->sheet;
    layout.direction = directionOf(series.front());
    const Direction dir = layout.direction;
    const bool shared = series.front().categories && sameCategoryFields(series, dir);
    layout.ownCategories = !shared && series.front().categories;
    for (const SeriesInfo& s : series) {
        if (layout.ownCategories && !s.categories) {
            return std::nullopt;
        }
        layout.series.push_back(fieldsFromRefs(s, dir, layout.ownCategories));
    }
    if (!formsGrid(layout.series)) {
        return std::nullopt;
    }
    const SeriesFields& first = layout.series.front();
    const SeriesFields& last = layout.series.back();
    layout.step = layout.seriesCount() > 1
                      ? last.first() - layout.series[layout.seriesCount() - 2].first()
                      : last.last() - last.first() + 1;

    const auto [firstRecord, lastRecord] = recordExtent(series, dir);
    layout.headerLines = namedAbove(series, dir) || firstRecord > 1 ? 1 : 0;
    layout.cornerRecord = firstRecord - layout.headerLines;
    layout.records = lastRecord - layout.cornerRecord + 1;
    if (shared) {
        const Span c = orient(series.front().categories->area, dir);
        for (int field = c.field0; field <= c.field1; ++field) {
            if (usesField(layout, field)) {
                return std::nullopt;  // categories among the series
            }
        }
        layout.categoryField = c.field0;
        layout.categoryLevels = c.field1 - c.field0 + 1;
    } else if (layout.ownCategories) {
        layout.categoryField = first.own;
        layout.categoryLevels = 1;
    } else if (first.first() > 1 && !usesField(layout, first.first() - 1)) {
        // No category range: the field before the first series is the data sheet's label
        // column, as it is for a chart made from a block.
        layout.categoryField = first.first() - 1;
        layout.categoryLevels = 1;
    } else {
        layout.categoryField = first.first();
        layout.categoryLevels = 0;
    }
    return layout;
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

void growLayout(DataLayout& layout, int sheetRows, int sheetColumns) {
    const auto [rows, columns] = layout.oriented(sheetRows, sheetColumns);
    layout.records = std::max({layout.records, rows, layout.headerLines + 1});
    const int wanted =
        (columns - layout.labelColumns() + layout.seriesWidth() - 1) / layout.seriesWidth();
    while (layout.seriesCount() < std::max(wanted, 1)) {
        layout.series.push_back(layout.fieldsOf(layout.seriesCount()));
    }
}

int labelColumnsOf(int rows, int columns, int oldLevels,
                   const std::function<const Value*(int row, int column)>& at) {
    int levels = 1;
    for (int column = 1; column < columns - 1; ++column) {
        bool text = false;
        bool number = false;
        for (int row = 1; row < rows; ++row) {
            const Value* v = at(row, column);
            if (v && !v->isBlank()) {
                (v->kind() == Value::Kind::Text ? text : number) = true;
            }
        }
        const bool withinOld = column < oldLevels;
        if (number || (!text && !withinOld)) {
            break;
        }
        ++levels;
    }
    return levels;
}

void setCategoryLevels(DataLayout& layout, int levels) {
    if (layout.ownCategories || layout.categoryLevels == 0 || levels == layout.categoryLevels) {
        return;
    }
    const int lastLevel = layout.categoryField + layout.categoryLevels - 1;
    if (layout.series.empty() || layout.series.front().first() <= lastLevel) {
        return;  // categories after the series: the series' fields stay as they are
    }
    // The series keep their distance from the last label column, skipped fields included.
    const int shift = levels - layout.categoryLevels;
    for (SeriesFields& s : layout.series) {
        s.value += shift;
        s.size = s.size < 0 ? -1 : s.size + shift;
    }
    layout.categoryLevels = levels;
}

void growLayout(DataLayout& layout, int rows, int columns, const CellGrid& cells) {
    const auto [lines, fields] = layout.oriented(rows, columns);
    std::optional<CellData> found;
    const int levels =
        labelColumnsOf(lines, fields, layout.categoryLevels, [&](int row, int column) {
            found = cells.find(
                layout.toSheet(layout.cornerRecord + row, layout.categoryField + column));
            return found ? &found->value : nullptr;
        });
    setCategoryLevels(layout, levels);
    growLayout(layout, rows, columns);
}

void fitToCells(DataLayout& layout, const CellGrid& cells) {
    constexpr int kLastRow = 1048576;
    constexpr int kLastColumn = 16384;
    const int edge = layout.direction == Direction::Columns ? kLastRow : kLastColumn;
    if (layout.cornerRecord + layout.records - 1 < edge) {
        return;
    }
    const Area region = layout.region();
    int lastRecord = layout.cornerRecord + layout.headerLines;
    cells.forEachIn(region, [&](CellPos pos, const CellData&) {
        const int record = layout.direction == Direction::Columns ? pos.row : pos.column;
        lastRecord = std::max(lastRecord, record);
    });
    layout.records = lastRecord - layout.cornerRecord + 1;
}

namespace {

// ---- writing ----------------------------------------------------------------------------

struct Writer {
    const DataLayout& layout;
    const CellGrid& cells;
    bool date1904;

    std::optional<CellData> cell(int record, int field) const {
        auto found = cells.find(layout.toSheet(record, field));
        if (!found || found->value.isBlank()) {
            return std::nullopt;
        }
        return found;
    }

    std::string ref(int record0, int record1, int field0, int field1) const {
        const CellPos a = layout.toSheet(record0, field0);
        const CellPos b = layout.toSheet(record1, field1);
        return formatRef(layout.sheet, {a.row, a.column, b.row, b.column});
    }

    double number(const Value& v) const {
        if (v.kind() == Value::Kind::Date && date1904) {
            return v.asNumber() - 1462;
        }
        return v.asNumber();
    }

    static bool isNumeric(const Value& v) {
        return v.kind() == Value::Kind::Number || v.kind() == Value::Kind::Date ||
               v.kind() == Value::Kind::Boolean;
    }
};

// A cache of more points than this keeps them as text in the tree until the part is written:
// a tree costs several times the text per point, and a large block has a great many of them.
constexpr std::size_t kPointsAsText = 256;

// The names of a cache's points as the part writes them: pt and v under the prefix the part
// gives the chart namespace.
struct PointNames {
    std::string pt;
    std::string v;

    explicit PointNames(pugi::xml_node cache)
        : pt(package::qualifiedName(cache, package::ns::kChart, "pt")),
          v(pt.substr(0, pt.size() - 2) + "v") {}
};

// Appends one cached point, pt with its value (and a format of its own where given).
void appendPoint(std::string& out, const PointNames& names, std::size_t index,
                 std::string_view format, std::string_view value) {
    out += '<';
    out += names.pt;
    out += " idx=\"";
    out += std::to_string(index);
    out += '"';
    if (!format.empty()) {
        out += " formatCode=\"";
        package::appendEscaped(out, format, package::Context::Attribute);
        out += '"';
    }
    out += "><";
    out += names.v;
    out += '>';
    package::appendEscaped(out, value, package::Context::Text);
    out += "</";
    out += names.v;
    out += "></";
    out += names.pt;
    out += '>';
}

// Adds the points written by appendPoint to the end of the cache (or level): as elements for a
// few, as text for many.
void addPoints(pugi::xml_node cache, const std::string& text, std::size_t points) {
    if (points == 0) {
        return;
    }
    const pugi::xml_node marker = package::insertXmlText(cache, {}, text);
    if (points < kPointsAsText) {
        package::expandXmlText(marker);
    }
}

// Fills `ref` (c:strRef) with formula and text points (blank cells left out).
void fillStrRef(pugi::xml_node ref, const std::string& formula,
                const std::vector<std::optional<CellData>>& points) {
    package::setText(chartml::append(ref, "f"), formula);
    pugi::xml_node cache = chartml::append(ref, "strCache");
    chartml::append(cache, "ptCount").append_attribute("val") = static_cast<int>(points.size());
    const PointNames names(cache);
    std::string text;
    std::size_t written = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (points[i]) {
            appendPoint(text, names, i, {}, points[i]->value.toString());
            ++written;
        }
    }
    addPoints(cache, text, written);
}

void fillNumRef(const Writer& w, pugi::xml_node ref, const std::string& formula,
                const std::vector<std::optional<CellData>>& points) {
    package::setText(chartml::append(ref, "f"), formula);
    pugi::xml_node cache = chartml::append(ref, "numCache");
    std::string common = "General";
    for (const auto& p : points) {
        if (p && Writer::isNumeric(p->value)) {
            common = p->numberFormat.empty() ? "General" : p->numberFormat;
            break;
        }
    }
    package::setText(chartml::append(cache, "formatCode"), common);
    chartml::append(cache, "ptCount").append_attribute("val") = static_cast<int>(points.size());
    const PointNames names(cache);
    std::string text;
    std::size_t written = 0;
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!points[i] || !Writer::isNumeric(points[i]->value)) {
            continue;  // blanks, texts and errors are missing points
        }
        const std::string& format = points[i]->numberFormat;
        appendPoint(text, names, i,
                    format != common ? std::string_view(format) : std::string_view(),
                    numberText(w.number(points[i]->value)));
        ++written;
    }
    addPoints(cache, text, written);
}

std::vector<std::optional<CellData>> line(const Writer& w, int record0, int count, int field) {
    std::vector<std::optional<CellData>> points;
    points.reserve(static_cast<std::size_t>(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        points.push_back(w.cell(record0 + i, field));
    }
    return points;
}

bool allNumeric(const std::vector<std::optional<CellData>>& points) {
    bool any = false;
    for (const auto& p : points) {
        if (!p) {
            continue;
        }
        if (!Writer::isNumeric(p->value)) {
            return false;
        }
        any = true;
    }
    return any;
}

// Replaces the content of a role element (c:cat, c:val, ...) with a reference to one field.
void writeOneField(const Writer& w, pugi::xml_node role, int field, bool numeric) {
    const DataLayout& l = w.layout;
    const int first = l.cornerRecord + l.headerLines;
    const int count = l.categoryCount();
    const auto points = line(w, first, count, field);
    const std::string formula = w.ref(first, first + count - 1, field, field);
    role.remove_children();
    if (numeric || allNumeric(points)) {
        fillNumRef(w, chartml::append(role, "numRef"), formula, points);
        return;
    }
    fillStrRef(chartml::append(role, "strRef"), formula, points);
}

void writeLevels(const Writer& w, pugi::xml_node role) {
    const DataLayout& l = w.layout;
    const int first = l.cornerRecord + l.headerLines;
    const int count = l.categoryCount();
    const int lastField = l.categoryField + l.categoryLevels - 1;
    role.remove_children();
    pugi::xml_node ref = chartml::append(role, "multiLvlStrRef");
    chartml::append(ref, "f").text().set(
        w.ref(first, first + count - 1, l.categoryField, lastField).c_str());
    pugi::xml_node cache = chartml::append(ref, "multiLvlStrCache");
    chartml::append(cache, "ptCount").append_attribute("val") = count;
    // The innermost level (next to the data) comes first.
    for (int field = lastField; field >= l.categoryField; --field) {
        pugi::xml_node lvl = chartml::append(cache, "lvl");
        const PointNames names(lvl);
        std::string text;
        std::size_t written = 0;
        for (int i = 0; i < count; ++i) {
            if (const auto p = w.cell(first + i, field)) {
                appendPoint(text, names, static_cast<std::size_t>(i), {}, p->value.toString());
                ++written;
            }
        }
        addPoints(lvl, text, written);
    }
}

// The child of `ser` with the given name, inserted before the first of `before` that exists
// (else after the last of `after`) when missing.
pugi::xml_node ensureChild(pugi::xml_node ser, std::string_view name,
                           std::initializer_list<std::string_view> before) {
    if (pugi::xml_node existing = chartml::child(ser, name)) {
        return existing;
    }
    for (std::string_view next : before) {
        if (pugi::xml_node anchor = chartml::child(ser, next)) {
            return chartml::insertBefore(ser, name, anchor);
        }
    }
    return chartml::append(ser, name);
}

void writeName(const Writer& w, pugi::xml_node ser, int field) {
    const DataLayout& l = w.layout;
    pugi::xml_node tx = chartml::child(ser, "tx");
    if (l.headerLines == 0) {
        return;
    }
    if (!tx) {
        pugi::xml_node order = chartml::child(ser, "order");
        tx = order ? chartml::insertAfter(ser, "tx", order) : chartml::prepend(ser, "tx");
    }
    tx.remove_children();
    fillStrRef(chartml::append(tx, "strRef"), w.ref(l.cornerRecord, l.cornerRecord, field, field),
               {w.cell(l.cornerRecord, field)});
}

void trimPointElements(pugi::xml_node ser, int count) {
    auto trim = [count](pugi::xml_node parent, std::string_view name) {
        std::vector<pugi::xml_node> drop;
        for (pugi::xml_node n : chartml::children(parent, name)) {
            if (chartml::child(n, "idx").attribute("val").as_int() >= count) {
                drop.push_back(n);
            }
        }
        for (pugi::xml_node n : drop) {
            parent.remove_child(n);
        }
    };
    trim(ser, "dPt");
    trim(chartml::child(ser, "dLbls"), "dLbl");
}

void writeCategories(const Writer& w, pugi::xml_node cat, const SeriesFields& f) {
    const DataLayout& l = w.layout;
    if (l.ownCategories) {
        writeOneField(w, cat, f.own, false);
    } else if (l.categoryLevels > 1) {
        writeLevels(w, cat);
    } else {
        writeOneField(w, cat, l.categoryField, false);
    }
}

void writeSeries(const Writer& w, pugi::xml_node ser, bool xy, const SeriesFields& f) {
    const DataLayout& l = w.layout;
    writeName(w, ser, f.value);

    const std::string_view catName = xy ? "xVal" : "cat";
    const std::string_view valName = xy ? "yVal" : "val";
    if (l.categoryLevels > 0) {
        writeCategories(
            w, ensureChild(ser, catName, {valName, "shape", "smooth", "bubbleSize", "extLst"}), f);
    }
    pugi::xml_node val =
        ensureChild(ser, valName, {"shape", "smooth", "bubbleSize", "bubble3D", "extLst"});
    writeOneField(w, val, f.value, true);
    if (f.size >= 0) {
        pugi::xml_node size = ensureChild(ser, "bubbleSize", {"bubble3D", "extLst"});
        writeOneField(w, size, f.size, true);
    }
    trimPointElements(ser, l.categoryCount());
}

// ---- new series -------------------------------------------------------------------------

// The colours that series take by their index: a base colour each, cycled, and for each round
// of the bases a variation (luminance changes) added to them.
struct Palette {
    // Colour elements (schemeClr, srgbClr, ...) and one element per variation, its children the
    // changes. Only their local names count: copies into a part take the part's prefix.
    pugi::xml_document bases;
    pugi::xml_document variations;
};

void addVariation(pugi::xml_node variations,
                  std::initializer_list<std::pair<const char*, int>> changes) {
    pugi::xml_node v = variations.append_child("variation");
    for (const auto& [name, value] : changes) {
        v.append_child(name).append_attribute("val") = value;
    }
}

// The colour style's list where the chart has one; else the six accents, shaded as office
// suites shade them for the seventh and later series.
void loadPalette(Palette& palette, pugi::xml_node style) {
    for (pugi::xml_node n : style.children()) {
        const std::string_view name = n.name();
        if (endsWith(name, "variation")) {
            palette.variations.append_copy(n);
        } else if (endsWith(name, "Clr")) {
            palette.bases.append_copy(n);
        }
    }
    if (!palette.bases.first_child()) {
        for (int i = 1; i <= 6; ++i) {
            palette.bases.append_child("schemeClr").append_attribute("val") =
                ("accent" + std::to_string(i)).c_str();
        }
    }
    if (palette.variations.first_child()) {
        return;
    }
    pugi::xml_node v = palette.variations;
    addVariation(v, {});
    addVariation(v, {{"lumMod", 60000}});
    addVariation(v, {{"lumMod", 80000}, {"lumOff", 20000}});
    addVariation(v, {{"lumMod", 80000}});
    addVariation(v, {{"lumMod", 60000}, {"lumOff", 40000}});
    addVariation(v, {{"lumMod", 50000}});
    addVariation(v, {{"lumMod", 70000}, {"lumOff", 30000}});
    addVariation(v, {{"lumMod", 70000}});
    addVariation(v, {{"lumMod", 50000}, {"lumOff", 50000}});
}

std::vector<pugi::xml_node> childrenOf(pugi::xml_node parent) {
    std::vector<pugi::xml_node> all;
    for (pugi::xml_node n : parent.children()) {
        all.push_back(n);
    }
    return all;
}

bool isLuminance(std::string_view name) {
    return name == "lumMod" || name == "lumOff" || name == "shade" || name == "tint";
}

// A copy of a palette element (and of its children) before `before`, every element named in
// DrawingML under the prefix `prefix` (which the part binds); attributes as they are.
pugi::xml_node copyAsDrawing(pugi::xml_node parent, pugi::xml_node before, pugi::xml_node source,
                             const std::string& prefix) {
    const std::string_view local = package::localName(source.name());
    const std::string name =
        prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
    pugi::xml_node copy = before ? parent.insert_child_before(name.c_str(), before)
                                 : parent.append_child(name.c_str());
    for (pugi::xml_attribute a : source.attributes()) {
        copy.append_copy(a);
    }
    for (pugi::xml_node child : source.children()) {
        if (child.type() == pugi::node_element) {
            copyAsDrawing(copy, {}, child, prefix);
        }
    }
    return copy;
}

// Gives the fills of `node` (accent or explicit colours; text and background colours stay) the
// palette's colour for series index `index`.
void recolour(pugi::xml_node node, const Palette& palette, int index) {
    const auto bases = childrenOf(palette.bases);
    const auto variations = childrenOf(palette.variations);
    const int n = static_cast<int>(bases.size());
    const pugi::xml_node base = bases[index % n];
    const pugi::xml_node variation = variations[(index / n) % static_cast<int>(variations.size())];
    for (pugi::xml_node fill : package::descendants(node, package::ns::kDrawing, "solidFill")) {
        pugi::xml_node colour = fill.first_child();
        if (!colour) {
            continue;
        }
        const std::string_view kind = dml::nameOf(colour);
        const bool accent = kind == "schemeClr" &&
                            std::string_view(colour.attribute("val").value()).starts_with("accent");
        if (!accent && kind != "srgbClr") {
            continue;
        }
        const std::string prefix = package::ensurePrefix(fill, package::ns::kDrawing);
        pugi::xml_node fresh = copyAsDrawing(fill, colour, base, prefix);
        for (pugi::xml_node change : variation.children()) {
            copyAsDrawing(fresh, {}, change, prefix);
        }
        // Other changes of the old colour (transparency and kin) stay.
        for (pugi::xml_node kept : colour.children()) {
            if (!isLuminance(dml::nameOf(kept))) {
                fresh.append_copy(kept);
            }
        }
        fill.remove_child(colour);
    }
}

// Hands out series indexes, orders and unique ids that no series of the chart uses yet,
// looking at the chart once.
class SeriesNumbers {
public:
    explicit SeriesNumbers(pugi::xml_node plotArea) {
        for (pugi::xml_node ser : package::descendants(plotArea, package::ns::kChart, "ser")) {
            idx_ = std::max(idx_, chartml::child(ser, "idx").attribute("val").as_int());
            order_ = std::max(order_, chartml::child(ser, "order").attribute("val").as_int());
            for (pugi::xml_node ext : chartml::children(chartml::child(ser, "extLst"), "ext")) {
                for (pugi::xml_node id : ext.children()) {
                    used_.insert(id.attribute("val").value());
                }
            }
        }
    }
    int nextIdx() { return ++idx_; }
    int nextOrder() { return ++order_; }
    std::string nextUniqueId() {
        for (;;) {
            char buffer[48];
            ++counter_;
            std::snprintf(buffer, sizeof buffer, "{%08X-7A1B-4C2D-8E3F-%012X}", counter_, counter_);
            if (used_.insert(buffer).second) {
                return buffer;
            }
        }
    }

private:
    int idx_ = -1;
    int order_ = -1;
    unsigned counter_ = 0;
    std::set<std::string> used_;
};

// A copy of `source` after `last` (a series of the same plot) with new numbers and colours.
pugi::xml_node addSeriesAfter(pugi::xml_node source, pugi::xml_node last, SeriesNumbers& numbers,
                              const Palette& palette) {
    pugi::xml_node ser = last.parent().insert_copy_after(source, last);
    const int idx = numbers.nextIdx();
    chartml::child(ser, "idx").attribute("val") = idx;
    chartml::child(ser, "order").attribute("val") = numbers.nextOrder();
    for (pugi::xml_node ext : chartml::children(chartml::child(ser, "extLst"), "ext")) {
        if (std::string_view(ext.attribute("uri").value()) != kUniqueIdUri) {
            continue;
        }
        for (pugi::xml_node id : ext.children()) {
            id.attribute("val") = numbers.nextUniqueId().c_str();
        }
    }
    recolour(chartml::child(ser, "spPr"), palette, idx);
    recolour(chartml::child(ser, "marker"), palette, idx);
    // Point-by-point formatting belongs to the copied series' own points.
    while (pugi::xml_node dpt = chartml::child(ser, "dPt")) {
        ser.remove_child(dpt);
    }
    return ser;
}

// ---- axes ---------------------------------------------------------------------------------

// The date format of the series' categories; empty when they are no dates.
std::string dateFormatOf(pugi::xml_node ser) {
    const pugi::xml_node cache =
        chartml::child(chartml::child(chartml::child(ser, "cat"), "numRef"), "numCache");
    const std::string code = chartml::child(cache, "formatCode").text().get();
    return cache && isDateFormat(code) ? code : std::string();
}

constexpr std::string_view kAxisOrder[] = {
    "axId",           "scaling", "delete",  "axPos",         "majorGridlines",
    "minorGridlines", "title",   "numFmt",  "majorTickMark", "minorTickMark",
    "tickLblPos",     "spPr",    "txPr",    "crossAx",       "crosses",
    "crossesAt",      "auto",    "lblAlgn", "lblOffset",     "extLst"};

// A category axis of the plot that shows the source's format (linked), or whose format was
// never chosen ("General"), shows the dates written to it in their format: linked, with the
// format written out as office suites do, since some readers take the code and not the link.
// Another format chosen for the axis stays.
void linkDateAxes(pugi::xml_node plotArea, pugi::xml_node plot, const std::string& format) {
    std::set<std::string> ids;
    for (pugi::xml_node id : chartml::children(plot, "axId")) {
        ids.insert(id.attribute("val").value());
    }
    for (pugi::xml_node axis : plotArea.children()) {
        const std::string_view name = chartml::nameOf(axis);
        if ((name != "catAx" && name != "dateAx") ||
            !ids.contains(chartml::child(axis, "axId").attribute("val").value())) {
            continue;
        }
        pugi::xml_node numFmt =
            package::ensureChild(axis, package::ns::kChart, "numFmt", kAxisOrder);
        const bool linked = numFmt.attribute("sourceLinked").as_bool(false);
        const std::string_view code = numFmt.attribute("formatCode").value();
        if (!linked && !code.empty() && code != "General") {
            continue;
        }
        package::setAttribute(numFmt, "formatCode", format);
        package::setAttribute(numFmt, "sourceLinked", "1");
    }
}

void setDate1904(pugi::xml_node space, bool date1904) {
    pugi::xml_node node = chartml::child(space, "date1904");
    if (!node) {
        if (!date1904) {
            return;
        }
        node = chartml::prepend(space, "date1904");
    }
    if (!node.attribute("val")) {
        node.append_attribute("val");
    }
    node.attribute("val") = date1904 ? "1" : "0";
}

}  // namespace

void writeChart(pugi::xml_document& chart, ChartData& data, const DataLayout& layout,
                const CellGrid& cells, bool date1904, pugi::xml_node colours) {
    pugi::xml_node space = chartml::child(chart, "chartSpace");
    pugi::xml_node plotArea = chartml::child(chartml::child(space, "chart"), "plotArea");
    const Writer w{layout, cells, date1904};
    const int wanted = layout.seriesCount();
    auto& series = data.series;

    if (static_cast<int>(series.size()) < wanted) {
        Palette palette;
        loadPalette(palette, colours);
        SeriesNumbers numbers(plotArea);
        // New series go into the plot of the series in the last column, after its last one.
        const SeriesInfo source = series.back();
        pugi::xml_node last = source.plot.last_child();
        while (last && !chartml::is(last, "ser")) {
            last = last.previous_sibling();
        }
        while (static_cast<int>(series.size()) < wanted) {
            SeriesInfo copy = source;
            copy.node = last = addSeriesAfter(source.node, last, numbers, palette);
            series.push_back(copy);
        }
    }
    std::map<pugi::xml_node, std::string> datePlots;
    for (int k = 0; k < wanted; ++k) {
        writeSeries(w, series[k].node, series[k].xy, layout.fieldsOf(k));
        if (std::string format = dateFormatOf(series[k].node); !format.empty()) {
            datePlots.emplace(series[k].plot, std::move(format));
        }
    }
    for (const auto& [plot, format] : datePlots) {
        linkDateAxes(plotArea, plot, format);
    }
    setDate1904(space, date1904);
}

// ---- what lies beyond a paste -------------------------------------------------------------

namespace {

std::string textAt(const CellGrid& cells, CellPos pos) {
    const auto found = cells.find(pos);
    return !found || found->value.isBlank() ? std::string() : found->value.toString();
}

// A category's label: its non-blank level cells from the outermost in, joined by " / ". A
// blank outer level stands for the label above it, as in a merged cell of the data sheet.
std::string categoryLabel(const DataLayout& layout, const CellGrid& cells, int record,
                          std::vector<std::string>& outer) {
    std::string label;
    for (int level = 0; level < layout.categoryLevels; ++level) {
        const int field =
            layout.ownCategories ? layout.fieldsOf(0).own : layout.categoryField + level;
        std::string text = textAt(cells, layout.toSheet(record, field));
        if (level + 1 < layout.categoryLevels) {
            text = text.empty() ? outer[level] : (outer[level] = text);
        }
        if (!text.empty()) {
            label += (label.empty() ? "" : " / ") + text;
        }
    }
    return label;
}

}  // namespace

Leftovers leftoversOf(const DataLayout& layout, const CellGrid& cells, const Area& sheetArea) {
    const auto [top, left0] = layout.oriented(sheetArea.top, sheetArea.left);
    const auto [bottom, right] = layout.oriented(sheetArea.bottom, sheetArea.right);
    const Area pasted{top, left0, bottom, right};
    Leftovers left;
    for (int k = 0; k < layout.seriesCount(); ++k) {
        const int column = layout.labelColumns() + 1 + k * layout.seriesWidth();
        if (column >= pasted.left && column <= pasted.right) {
            continue;
        }
        std::string name;
        if (layout.headerLines > 0) {
            name = textAt(cells, layout.toSheet(layout.cornerRecord, layout.fieldsOf(k).value));
        }
        left.series.push_back(name.empty() ? "Series " + std::to_string(k + 1) : name);
    }
    std::vector<std::string> outer(std::max(layout.categoryLevels, 1));
    for (int i = 0; i < layout.categoryCount(); ++i) {
        const int row = layout.headerLines + 1 + i;
        const std::string label =
            categoryLabel(layout, cells, layout.cornerRecord + row - 1, outer);
        if (row >= pasted.top && row <= pasted.bottom) {
            continue;
        }
        left.categories.push_back(label.empty() ? std::to_string(i + 1) : label);
    }
    return left;
}

// ---- title --------------------------------------------------------------------------------

bool hasTitle(const pugi::xml_document& chart) {
    return static_cast<bool>(
        chartml::child(chartml::child(chartml::child(chart, "chartSpace"), "chart"), "title"));
}

std::string titleText(const pugi::xml_document& chart) {
    const pugi::xml_node title =
        chartml::child(chartml::child(chartml::child(chart, "chartSpace"), "chart"), "title");
    std::string text;
    bool firstParagraph = true;
    for (pugi::xml_node p :
         dml::children(chartml::child(chartml::child(title, "tx"), "rich"), "p")) {
        if (!firstParagraph) {
            text += "\n";
        }
        firstParagraph = false;
        for (pugi::xml_node r : p.children()) {
            const std::string_view name = dml::nameOf(r);
            if (name == "r" || name == "fld") {
                text += dml::child(r, "t").text().get();
            }
        }
    }
    if (text.empty()) {
        const pugi::xml_node cache =
            chartml::child(chartml::child(chartml::child(title, "tx"), "strRef"), "strCache");
        text = chartml::child(chartml::child(cache, "pt"), "v").text().get();
    }
    return text;
}

namespace {

pugi::xml_node richOf(pugi::xml_node title) {
    pugi::xml_node tx = chartml::child(title, "tx");
    if (!tx) {
        tx = chartml::prepend(title, "tx");
    }
    pugi::xml_node rich = chartml::child(tx, "rich");
    if (rich) {
        return rich;
    }
    tx.remove_children();
    rich = chartml::append(tx, "rich");
    dml::append(rich, "bodyPr");
    dml::append(rich, "lstStyle");
    pugi::xml_node p = dml::append(rich, "p");
    // A new text takes the title's own default run formatting, where it has one.
    const pugi::xml_node defaults =
        dml::child(dml::child(chartml::child(title, "txPr"), "p"), "pPr");
    if (defaults) {
        p.append_copy(defaults);
    }
    return rich;
}

}  // namespace

void setTitleText(pugi::xml_document& chart, const std::string& text) {
    pugi::xml_node chartNode = chartml::child(chartml::child(chart, "chartSpace"), "chart");
    pugi::xml_node title = chartml::child(chartNode, "title");
    if (!title) {
        return;
    }
    pugi::xml_node rich = richOf(title);
    pugi::xml_node p = dml::child(rich, "p");
    if (!p) {
        p = dml::append(rich, "p");
    }
    for (pugi::xml_node extra = p.next_sibling(); extra;) {
        const pugi::xml_node next = extra.next_sibling();
        if (dml::is(extra, "p")) {
            rich.remove_child(extra);
        }
        extra = next;
    }
    pugi::xml_node run = dml::child(p, "r");
    if (!run) {
        pugi::xml_node end = dml::child(p, "endParaRPr");
        run = end ? dml::insertBefore(p, "r", end) : dml::append(p, "r");
        if (end) {
            pugi::xml_node rPr = run.append_copy(end);
            rPr.set_name(package::qualifiedName(run, package::ns::kDrawing, "rPr").c_str());
        }
    }
    std::vector<pugi::xml_node> drop;
    for (pugi::xml_node n : p.children()) {
        const std::string_view name = dml::nameOf(n);
        if (n != run && (name == "r" || name == "fld" || name == "br")) {
            drop.push_back(n);
        }
    }
    for (pugi::xml_node n : drop) {
        p.remove_child(n);
    }
    pugi::xml_node t = dml::child(run, "t");
    if (!t) {
        t = dml::append(run, "t");
    }
    package::setText(t, text);
    pugi::xml_node deleted = chartml::child(chartNode, "autoTitleDeleted");
    if (deleted) {
        // A shown title: the element without val would mean "deleted".
        if (!deleted.attribute("val")) {
            deleted.append_attribute("val");
        }
        deleted.attribute("val") = "0";
    }
}

}  // namespace office::graph::detail
