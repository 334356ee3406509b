#include "office/graph/chart_part.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "office/error.h"

namespace office::graph::detail {

namespace {

constexpr const char* kUniqueIdUri = "{C3380CC4-5D6E-409C-BE32-E72D297353CC}";

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool isPlot(pugi::xml_node node) {
    const std::string_view name = node.name();
    return name.starts_with("c:") && endsWith(name, "Chart");
}

std::optional<SheetRef> refOf(pugi::xml_node roleElement) {
    if (!roleElement) {
        return std::nullopt;
    }
    for (pugi::xml_node ref : roleElement.children()) {
        const pugi::xml_node f = ref.child("c:f");
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

bool sameCategories(const std::vector<SeriesInfo>& series) {
    for (const SeriesInfo& s : series) {
        if (!s.categories || s.categories->area != series.front().categories->area) {
            return false;
        }
    }
    return true;
}

}  // namespace

CellPos DataLayout::toSheet(int record, int field) const {
    if (direction == Direction::Columns) {
        return {record, field};
    }
    return {field, record};
}

Area DataLayout::region() const {
    const CellPos first = toSheet(cornerRecord, cornerField);
    const CellPos last = toSheet(cornerRecord + records - 1, cornerField + fields - 1);
    return {first.row, first.column, last.row, last.column};
}

int DataLayout::seriesCount() const {
    return std::max(1, (fields - labelFields + stride - 1) / stride);
}

ChartData readChart(const pugi::xml_document& chart, const std::string& where) {
    const pugi::xml_node space = chart.child("c:chartSpace");
    const pugi::xml_node plotArea = space.child("c:chart").child("c:plotArea");
    if (!plotArea) {
        throw Error(ErrorCode::NotSupported,
                    where + ": the chart part holds no classic chart that can be filled");
    }
    ChartData data;
    data.date1904 = space.child("c:date1904").attribute("val").as_bool(false);
    for (pugi::xml_node plot : plotArea.children()) {
        if (!isPlot(plot)) {
            continue;
        }
        for (pugi::xml_node ser : plot.children("c:ser")) {
            SeriesInfo info;
            info.node = ser;
            info.plot = plot;
            info.xy = static_cast<bool>(ser.child("c:yVal"));
            info.name = refOf(ser.child("c:tx"));
            info.categories = refOf(ser.child(info.xy ? "c:xVal" : "c:cat"));
            info.values = refOf(ser.child(info.xy ? "c:yVal" : "c:val"));
            info.sizes = refOf(ser.child("c:bubbleSize"));
            data.series.push_back(std::move(info));
        }
    }
    return data;
}

void addFirstSeries(pugi::xml_document& chart, ChartData& data, const std::string& where) {
    pugi::xml_node plotArea = chart.child("c:chartSpace").child("c:chart").child("c:plotArea");
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
        const std::string_view name = n.name();
        if (name != "c:barDir" && name != "c:grouping" && name != "c:varyColors" &&
            name != "c:scatterStyle" && name != "c:radarStyle" && name != "c:wireframe" &&
            name != "c:ofPieType") {
            before = n;
            break;
        }
    }
    pugi::xml_node ser =
        before ? plot.insert_child_before("c:ser", before) : plot.append_child("c:ser");
    ser.append_child("c:idx").append_attribute("val") = 0;
    ser.append_child("c:order").append_attribute("val") = 0;
    SeriesInfo info;
    info.node = ser;
    info.plot = plot;
    const std::string_view kind = plot.name();
    info.xy = kind == "c:scatterChart" || kind == "c:bubbleChart";
    if (kind == "c:bubbleChart") {
        ser.append_child("c:bubbleSize");
    }
    data.series.push_back(info);
}

std::optional<DataLayout> layoutFromRanges(const std::vector<SeriesInfo>& input) {
    if (input.empty()) {
        return std::nullopt;
    }
    for (const SeriesInfo& s : input) {
        if (!s.values || s.values->sheet != input.front().values->sheet) {
            return std::nullopt;
        }
    }
    DataLayout layout;
    layout.sheet = input.front().values->sheet;
    layout.direction = directionOf(input.front());
    const Direction dir = layout.direction;

    std::vector<SeriesInfo> series = input;
    std::stable_sort(series.begin(), series.end(), [dir](const auto& x, const auto& y) {
        return orient(x.values->area, dir).field0 < orient(y.values->area, dir).field0;
    });
    const bool shared = series.front().categories && sameCategories(series);
    const bool ownCategories = !shared && series.size() > 1 && series.front().categories;

    // Where each series' fields begin, and the offsets of its roles.
    auto blockStart = [&](const SeriesInfo& s) {
        int start = orient(s.values->area, dir).field0;
        if (ownCategories && s.categories) {
            start = std::min(start, orient(s.categories->area, dir).field0);
        }
        if (s.sizes) {
            start = std::min(start, orient(s.sizes->area, dir).field0);
        }
        return start;
    };
    const SeriesInfo& first = series.front();
    const int firstBlock = blockStart(first);
    layout.valueOffset = orient(first.values->area, dir).field0 - firstBlock;
    if (first.sizes) {
        layout.sizeOffset = orient(first.sizes->area, dir).field0 - firstBlock;
    }
    if (ownCategories) {
        layout.ownCategoryOffset = orient(first.categories->area, dir).field0 - firstBlock;
    }
    layout.stride = 1 + std::max({layout.valueOffset, layout.sizeOffset, layout.ownCategoryOffset});
    for (std::size_t i = 1; i < series.size(); ++i) {
        const int step = blockStart(series[i]) - blockStart(series[i - 1]);
        if (step < layout.stride) {
            return std::nullopt;  // overlapping series: not a grid we can extend
        }
        if (i == 1 || step < layout.stride) {
            layout.stride = std::max(layout.stride, step);
        }
    }

    int firstRecord = orient(first.values->area, dir).record0;
    int lastRecord = orient(first.values->area, dir).record1;
    int lastField = firstBlock;
    bool named = false;
    for (const SeriesInfo& s : series) {
        const Span v = orient(s.values->area, dir);
        firstRecord = std::min(firstRecord, v.record0);
        lastRecord = std::max(lastRecord, v.record1);
        lastField = std::max(lastField, v.field1);
        if (s.sizes) {
            lastField = std::max(lastField, orient(s.sizes->area, dir).field1);
        }
        if (s.name && orient(s.name->area, dir).record0 < v.record0) {
            named = true;
        }
    }
    layout.headerLines = named || firstRecord > 1 ? 1 : 0;
    layout.cornerRecord = firstRecord - layout.headerLines;
    if (shared) {
        const Span c = orient(first.categories->area, dir);
        if (c.field1 >= firstBlock) {
            return std::nullopt;  // categories among the series
        }
        layout.cornerField = c.field0;
        layout.categoryLevels = c.field1 - c.field0 + 1;
    } else {
        layout.cornerField = firstBlock;
        layout.categoryLevels = 0;
    }
    layout.labelFields = firstBlock - layout.cornerField;
    layout.records = lastRecord - layout.cornerRecord + 1;
    layout.fields = lastField - layout.cornerField + 1;
    return layout;
}

DataLayout defaultLayout(const std::vector<SeriesInfo>& series) {
    DataLayout layout;
    const bool bubble = !series.empty() && series.front().node.child("c:bubbleSize");
    if (bubble) {
        layout.stride = 2;
        layout.sizeOffset = 1;
    }
    int points = 1;
    for (const SeriesInfo& s : series) {
        const pugi::xml_node values = s.node.child(s.xy ? "c:yVal" : "c:val");
        const pugi::xml_node count = values.select_node(".//c:ptCount").node();
        points = std::max(points, count.attribute("val").as_int(0));
    }
    layout.records = 1 + points;
    layout.fields = 1 + layout.stride * std::max<int>(1, static_cast<int>(series.size()));
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
            const std::string_view name = cache.name();
            if (name == "c:strCache" || name == "c:numCache" || name == "c:multiLvlStrCache") {
                return cache;
            }
        }
        const std::string_view name = ref.name();
        if (name == "c:strLit" || name == "c:numLit") {
            return ref;
        }
    }
    return {};
}

std::vector<CachedPoint> pointsOf(pugi::xml_node cache) {
    std::vector<CachedPoint> points;
    const std::string common = cache.child("c:formatCode").text().get();
    for (pugi::xml_node pt : cache.children("c:pt")) {
        CachedPoint point;
        point.index = pt.attribute("idx").as_int();
        point.text = pt.child("c:v").text().get();
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
void placeCache(CellMap& cells, const DataLayout& layout, pugi::xml_node cache, int record0,
                int field, bool date1904) {
    if (!cache) {
        return;
    }
    const bool numeric = std::string_view(cache.name()).starts_with("c:num");
    if (std::string_view(cache.name()) == "c:multiLvlStrCache") {
        int level = 0;
        for (pugi::xml_node lvl : cache.children("c:lvl")) {
            for (const CachedPoint& p : pointsOf(lvl)) {
                cells[layout.toSheet(record0 + p.index, field - level)] =
                    cellFromCache(p, false, date1904);
            }
            ++level;
        }
        return;
    }
    for (const CachedPoint& p : pointsOf(cache)) {
        cells[layout.toSheet(record0 + p.index, field)] = cellFromCache(p, numeric, date1904);
    }
}

int fieldOf(const std::optional<SheetRef>& ref, Direction dir, bool last = false) {
    const Span s = orient(ref->area, dir);
    return last ? s.field1 : s.field0;
}

int recordOf(const std::optional<SheetRef>& ref, Direction dir) {
    return orient(ref->area, dir).record0;
}

}  // namespace

CellMap cellsFromCaches(const ChartData& chart, const DataLayout& layout) {
    CellMap cells;
    const Direction dir = layout.direction;
    const bool useRanges = layoutFromRanges(chart.series).has_value();
    const int dataRecord = layout.cornerRecord + layout.headerLines;
    for (std::size_t k = 0; k < chart.series.size(); ++k) {
        const SeriesInfo& s = chart.series[k];
        const int block =
            layout.cornerField + layout.labelFields + static_cast<int>(k) * layout.stride;
        const int valueField = useRanges ? fieldOf(s.values, dir) : block + layout.valueOffset;
        const int valueRecord = useRanges ? recordOf(s.values, dir) : dataRecord;
        placeCache(cells, layout, cacheOf(s.node.child(s.xy ? "c:yVal" : "c:val")), valueRecord,
                   valueField, chart.date1904);
        if (layout.headerLines > 0) {
            const CellPos at = useRanges && s.name
                                   ? CellPos{s.name->area.top, s.name->area.left}
                                   : layout.toSheet(layout.cornerRecord, valueField);
            const pugi::xml_node tx = s.node.child("c:tx");
            const pugi::xml_node cache = cacheOf(tx);
            if (cache) {
                const auto points = pointsOf(cache);
                if (!points.empty()) {
                    cells[at].value = Value::text(points.front().text);
                }
            } else if (tx.child("c:v")) {
                cells[at].value = Value::text(tx.child("c:v").text().get());
            }
        }
        if (s.node.child("c:bubbleSize")) {
            const int sizeField =
                useRanges && s.sizes ? fieldOf(s.sizes, dir) : block + layout.sizeOffset;
            placeCache(cells, layout, cacheOf(s.node.child("c:bubbleSize")), valueRecord, sizeField,
                       chart.date1904);
        }
        const pugi::xml_node categories = s.node.child(s.xy ? "c:xVal" : "c:cat");
        if (!categories || (layout.ownCategoryOffset < 0 && k > 0)) {
            continue;
        }
        int field = layout.cornerField + std::max(layout.categoryLevels, 1) - 1;
        if (layout.ownCategoryOffset >= 0) {
            field = block + layout.ownCategoryOffset;
        }
        if (useRanges && s.categories) {
            field = fieldOf(s.categories, dir, true);
        }
        placeCache(cells, layout, cacheOf(categories), valueRecord, field, chart.date1904);
    }
    return cells;
}

void growLayout(DataLayout& layout, int rows, int columns, const CellMap& cells) {
    const int records = layout.direction == Direction::Columns ? rows : columns;
    const int fields = layout.direction == Direction::Columns ? columns : rows;
    layout.records = std::max(layout.records, records);
    layout.fields = std::max(layout.fields, fields);
    layout.records = std::max(layout.records, layout.headerLines + 1);
    layout.fields = std::max(layout.fields, layout.labelFields + layout.stride);

    // Category levels: the corner's field, and each next field whose header is blank and
    // whose cells hold text, not numbers.
    if (layout.categoryLevels == 0 || layout.headerLines == 0 ||
        layout.categoryLevels != layout.labelFields || layout.ownCategoryOffset >= 0) {
        return;
    }
    auto at = [&](int record, int field) -> const Value* {
        const auto it = cells.find(layout.toSheet(record, field));
        return it == cells.end() ? nullptr : &it->second.value;
    };
    int levels = 1;
    for (int field = layout.cornerField + 1; field < layout.cornerField + layout.fields - 1;
         ++field) {
        const Value* header = at(layout.cornerRecord, field);
        if (header && !header->isBlank()) {
            break;
        }
        bool text = false;
        bool number = false;
        for (int r = layout.cornerRecord + 1; r < layout.cornerRecord + layout.records; ++r) {
            const Value* v = at(r, field);
            if (!v || v->isBlank()) {
                continue;
            }
            (v->kind() == Value::Kind::Text ? text : number) = true;
        }
        if (!text || number) {
            break;
        }
        ++levels;
    }
    layout.categoryLevels = levels;
    layout.labelFields = levels;
}

namespace {

// ---- writing ----------------------------------------------------------------------------

struct Writer {
    const DataLayout& layout;
    const CellMap& cells;
    bool date1904;

    const CellData* cell(int record, int field) const {
        const auto it = cells.find(layout.toSheet(record, field));
        if (it == cells.end() || it->second.value.isBlank()) {
            return nullptr;
        }
        return &it->second;
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

void addValue(pugi::xml_node pt, const std::string& text) {
    pt.append_child("c:v").text().set(text.c_str());
}

// Fills `ref` (c:strRef) with formula and text points (blank cells left out).
void fillStrRef(pugi::xml_node ref, const std::string& formula,
                const std::vector<const CellData*>& points) {
    ref.append_child("c:f").text().set(formula.c_str());
    pugi::xml_node cache = ref.append_child("c:strCache");
    cache.append_child("c:ptCount").append_attribute("val") = static_cast<int>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!points[i]) {
            continue;
        }
        pugi::xml_node pt = cache.append_child("c:pt");
        pt.append_attribute("idx") = static_cast<int>(i);
        addValue(pt, points[i]->value.toString());
    }
}

void fillNumRef(const Writer& w, pugi::xml_node ref, const std::string& formula,
                const std::vector<const CellData*>& points) {
    ref.append_child("c:f").text().set(formula.c_str());
    pugi::xml_node cache = ref.append_child("c:numCache");
    std::string common = "General";
    for (const CellData* p : points) {
        if (p && Writer::isNumeric(p->value)) {
            common = p->numberFormat.empty() ? "General" : p->numberFormat;
            break;
        }
    }
    cache.append_child("c:formatCode").text().set(common.c_str());
    cache.append_child("c:ptCount").append_attribute("val") = static_cast<int>(points.size());
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!points[i] || !Writer::isNumeric(points[i]->value)) {
            continue;  // blanks, texts and errors are missing points
        }
        pugi::xml_node pt = cache.append_child("c:pt");
        pt.append_attribute("idx") = static_cast<int>(i);
        const std::string& format = points[i]->numberFormat;
        if (!format.empty() && format != common) {
            pt.append_attribute("formatCode") = format.c_str();
        }
        addValue(pt, numberText(w.number(points[i]->value)));
    }
}

std::vector<const CellData*> line(const Writer& w, int record0, int count, int field) {
    std::vector<const CellData*> points;
    for (int i = 0; i < count; ++i) {
        points.push_back(w.cell(record0 + i, field));
    }
    return points;
}

bool allNumeric(const std::vector<const CellData*>& points) {
    bool any = false;
    for (const CellData* p : points) {
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
        fillNumRef(w, role.append_child("c:numRef"), formula, points);
        return;
    }
    fillStrRef(role.append_child("c:strRef"), formula, points);
}

void writeLevels(const Writer& w, pugi::xml_node role) {
    const DataLayout& l = w.layout;
    const int first = l.cornerRecord + l.headerLines;
    const int count = l.categoryCount();
    const int lastField = l.cornerField + l.categoryLevels - 1;
    role.remove_children();
    pugi::xml_node ref = role.append_child("c:multiLvlStrRef");
    ref.append_child("c:f").text().set(
        w.ref(first, first + count - 1, l.cornerField, lastField).c_str());
    pugi::xml_node cache = ref.append_child("c:multiLvlStrCache");
    cache.append_child("c:ptCount").append_attribute("val") = count;
    // The innermost level (next to the data) comes first.
    for (int field = lastField; field >= l.cornerField; --field) {
        pugi::xml_node lvl = cache.append_child("c:lvl");
        for (int i = 0; i < count; ++i) {
            const CellData* p = w.cell(first + i, field);
            if (!p) {
                continue;
            }
            pugi::xml_node pt = lvl.append_child("c:pt");
            pt.append_attribute("idx") = i;
            addValue(pt, p->value.toString());
        }
    }
}

// The child of `ser` with the given name, inserted before the first of `before` that exists
// (else after the last of `after`) when missing.
pugi::xml_node ensureChild(pugi::xml_node ser, const char* name,
                           std::initializer_list<const char*> before) {
    if (pugi::xml_node existing = ser.child(name)) {
        return existing;
    }
    for (const char* next : before) {
        if (pugi::xml_node anchor = ser.child(next)) {
            return ser.insert_child_before(name, anchor);
        }
    }
    return ser.append_child(name);
}

void writeName(const Writer& w, pugi::xml_node ser, int field) {
    const DataLayout& l = w.layout;
    pugi::xml_node tx = ser.child("c:tx");
    if (l.headerLines == 0) {
        return;
    }
    if (!tx) {
        pugi::xml_node order = ser.child("c:order");
        tx = order ? ser.insert_child_after("c:tx", order) : ser.prepend_child("c:tx");
    }
    tx.remove_children();
    fillStrRef(tx.append_child("c:strRef"), w.ref(l.cornerRecord, l.cornerRecord, field, field),
               {w.cell(l.cornerRecord, field)});
}

void trimPointElements(pugi::xml_node ser, int count) {
    auto trim = [count](pugi::xml_node parent, const char* name) {
        std::vector<pugi::xml_node> drop;
        for (pugi::xml_node n : parent.children(name)) {
            if (n.child("c:idx").attribute("val").as_int() >= count) {
                drop.push_back(n);
            }
        }
        for (pugi::xml_node n : drop) {
            parent.remove_child(n);
        }
    };
    trim(ser, "c:dPt");
    trim(ser.child("c:dLbls"), "c:dLbl");
}

void writeSeries(const Writer& w, pugi::xml_node ser, bool xy, int k) {
    const DataLayout& l = w.layout;
    const int block = l.cornerField + l.labelFields + k * l.stride;
    const int valueField = block + l.valueOffset;
    writeName(w, ser, valueField);

    const char* catName = xy ? "c:xVal" : "c:cat";
    const char* valName = xy ? "c:yVal" : "c:val";
    if (l.ownCategoryOffset >= 0 || l.categoryLevels > 0) {
        pugi::xml_node cat =
            ensureChild(ser, catName, {valName, "c:shape", "c:smooth", "c:bubbleSize", "c:extLst"});
        if (l.ownCategoryOffset >= 0) {
            writeOneField(w, cat, block + l.ownCategoryOffset, false);
        } else if (l.categoryLevels > 1) {
            writeLevels(w, cat);
        } else {
            writeOneField(w, cat, l.cornerField, false);
        }
    }
    pugi::xml_node val = ensureChild(
        ser, valName, {"c:shape", "c:smooth", "c:bubbleSize", "c:bubble3D", "c:extLst"});
    writeOneField(w, val, valueField, true);
    if (l.sizeOffset >= 0) {
        pugi::xml_node size = ensureChild(ser, "c:bubbleSize", {"c:bubble3D", "c:extLst"});
        writeOneField(w, size, block + l.sizeOffset, true);
    }
    trimPointElements(ser, l.categoryCount());
}

// ---- new series -------------------------------------------------------------------------

int maxChildVal(pugi::xml_node plotArea, const char* name) {
    int highest = -1;
    for (pugi::xpath_node n : plotArea.select_nodes((".//c:ser/" + std::string(name)).c_str())) {
        highest = std::max(highest, n.node().attribute("val").as_int());
    }
    return highest;
}

void recolour(pugi::xml_node node, int accent) {
    const std::string scheme = "accent" + std::to_string((accent % 6) + 1);
    for (pugi::xpath_node fill : node.select_nodes(".//a:solidFill")) {
        pugi::xml_node colour = fill.node().first_child();
        if (!colour) {
            continue;
        }
        const std::string_view kind = colour.name();
        if (kind == "a:schemeClr") {
            const std::string_view current = colour.attribute("val").value();
            if (current.starts_with("accent")) {
                colour.attribute("val").set_value(scheme.c_str());
            }
            continue;
        }
        if (kind == "a:srgbClr") {
            colour.set_name("a:schemeClr");
            colour.remove_attribute("val");
            colour.append_attribute("val") = scheme.c_str();
        }
    }
}

std::string newUniqueId(pugi::xml_node plotArea, int& counter) {
    std::set<std::string> used;
    for (pugi::xpath_node n : plotArea.select_nodes(".//c:ser/c:extLst/c:ext/*")) {
        used.insert(n.node().attribute("val").value());
    }
    for (;; ++counter) {
        char buffer[48];
        std::snprintf(buffer, sizeof buffer, "{%08X-7A1B-4C2D-8E3F-%012X}", counter, counter);
        if (!used.contains(buffer)) {
            ++counter;
            return buffer;
        }
    }
}

pugi::xml_node addSeriesAfter(pugi::xml_node last, pugi::xml_node plotArea, int& uniqueCounter) {
    pugi::xml_node ser = last.parent().insert_copy_after(last, last);
    const int idx = maxChildVal(plotArea, "c:idx") + 1;
    const int order = maxChildVal(plotArea, "c:order") + 1;
    ser.child("c:idx").attribute("val") = idx;
    ser.child("c:order").attribute("val") = order;
    for (pugi::xml_node ext : ser.child("c:extLst").children("c:ext")) {
        if (std::string_view(ext.attribute("uri").value()) != kUniqueIdUri) {
            continue;
        }
        for (pugi::xml_node id : ext.children()) {
            id.attribute("val") = newUniqueId(plotArea, uniqueCounter).c_str();
        }
    }
    recolour(ser.child("c:spPr"), order);
    recolour(ser.child("c:marker"), order);
    // Point-by-point formatting belongs to the copied series' own points.
    while (pugi::xml_node dpt = ser.child("c:dPt")) {
        ser.remove_child(dpt);
    }
    return ser;
}

void setDate1904(pugi::xml_node space, bool date1904) {
    pugi::xml_node node = space.child("c:date1904");
    if (!node) {
        if (!date1904) {
            return;
        }
        node = space.prepend_child("c:date1904");
    }
    if (!node.attribute("val")) {
        node.append_attribute("val");
    }
    node.attribute("val") = date1904 ? "1" : "0";
}

}  // namespace

void writeChart(pugi::xml_document& chart, ChartData& data, const DataLayout& layout,
                const CellMap& cells, bool date1904) {
    pugi::xml_node space = chart.child("c:chartSpace");
    pugi::xml_node plotArea = space.child("c:chart").child("c:plotArea");
    const Writer w{layout, cells, date1904};
    const int wanted = layout.seriesCount();
    auto& series = data.series;

    int uniqueCounter = 1;
    while (static_cast<int>(series.size()) < wanted) {
        SeriesInfo copy = series.back();
        // The new series follows the last series of that plot.
        pugi::xml_node last = copy.plot.last_child();
        while (last && std::string_view(last.name()) != "c:ser") {
            last = last.previous_sibling();
        }
        copy.node = addSeriesAfter(last, plotArea, uniqueCounter);
        series.push_back(copy);
    }
    while (static_cast<int>(series.size()) > wanted) {
        series.back().plot.remove_child(series.back().node);
        series.pop_back();
    }
    for (int k = 0; k < wanted; ++k) {
        writeSeries(w, series[k].node, series[k].xy, k);
    }
    setDate1904(space, date1904);
}

// ---- what lies beyond a paste -------------------------------------------------------------

namespace {

std::string textAt(const CellMap& cells, CellPos pos) {
    const auto it = cells.find(pos);
    return it == cells.end() || it->second.value.isBlank() ? std::string()
                                                           : it->second.value.toString();
}

// A category's label: its non-blank level cells from the outermost in, joined by " / ". A
// blank outer level stands for the label above it, as in a merged cell of the data sheet.
std::string categoryLabel(const DataLayout& layout, const CellMap& cells, int record,
                          std::vector<std::string>& outer) {
    std::string label;
    for (int level = 0; level < layout.categoryLevels; ++level) {
        std::string text = textAt(cells, layout.toSheet(record, layout.cornerField + level));
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

Leftovers leftoversOf(const DataLayout& layout, const CellMap& cells, const Area& pasted) {
    const Span block = orient(pasted, layout.direction);
    Leftovers left;
    for (int k = 0; k < layout.seriesCount(); ++k) {
        const int field = layout.cornerField + layout.labelFields + k * layout.stride;
        const int valueField = field + layout.valueOffset;
        if (valueField >= block.field0 && valueField <= block.field1) {
            continue;
        }
        std::string name;
        if (layout.headerLines > 0) {
            name = textAt(cells, layout.toSheet(layout.cornerRecord, valueField));
        }
        left.series.push_back(name.empty() ? "Series " + std::to_string(k + 1) : name);
    }
    const int first = layout.cornerRecord + layout.headerLines;
    std::vector<std::string> outer(std::max(layout.categoryLevels, 1));
    for (int i = 0; i < layout.categoryCount(); ++i) {
        const int record = first + i;
        const std::string label = categoryLabel(layout, cells, record, outer);
        if (record >= block.record0 && record <= block.record1) {
            continue;
        }
        left.categories.push_back(label.empty() ? std::to_string(i + 1) : label);
    }
    return left;
}

// ---- title --------------------------------------------------------------------------------

bool hasTitle(const pugi::xml_document& chart) {
    return static_cast<bool>(chart.child("c:chartSpace").child("c:chart").child("c:title"));
}

std::string titleText(const pugi::xml_document& chart) {
    const pugi::xml_node title = chart.child("c:chartSpace").child("c:chart").child("c:title");
    std::string text;
    bool firstParagraph = true;
    for (pugi::xml_node p : title.child("c:tx").child("c:rich").children("a:p")) {
        if (!firstParagraph) {
            text += "\n";
        }
        firstParagraph = false;
        for (pugi::xml_node r : p.children()) {
            const std::string_view name = r.name();
            if (name == "a:r" || name == "a:fld") {
                text += r.child("a:t").text().get();
            }
        }
    }
    if (text.empty()) {
        const pugi::xml_node cache = title.child("c:tx").child("c:strRef").child("c:strCache");
        text = cache.child("c:pt").child("c:v").text().get();
    }
    return text;
}

namespace {

pugi::xml_node richOf(pugi::xml_node title) {
    pugi::xml_node tx = title.child("c:tx");
    if (!tx) {
        tx = title.prepend_child("c:tx");
    }
    pugi::xml_node rich = tx.child("c:rich");
    if (rich) {
        return rich;
    }
    tx.remove_children();
    rich = tx.append_child("c:rich");
    rich.append_child("a:bodyPr");
    rich.append_child("a:lstStyle");
    pugi::xml_node p = rich.append_child("a:p");
    // A new text takes the title's own default run formatting, where it has one.
    const pugi::xml_node defaults = title.child("c:txPr").child("a:p").child("a:pPr");
    if (defaults) {
        p.append_copy(defaults);
    }
    return rich;
}

}  // namespace

void setTitleText(pugi::xml_document& chart, const std::string& text) {
    pugi::xml_node chartNode = chart.child("c:chartSpace").child("c:chart");
    pugi::xml_node title = chartNode.child("c:title");
    if (!title) {
        return;
    }
    pugi::xml_node rich = richOf(title);
    pugi::xml_node p = rich.child("a:p");
    if (!p) {
        p = rich.append_child("a:p");
    }
    while (pugi::xml_node extra = p.next_sibling("a:p")) {
        rich.remove_child(extra);
    }
    pugi::xml_node run = p.child("a:r");
    if (!run) {
        pugi::xml_node end = p.child("a:endParaRPr");
        run = end ? p.insert_child_before("a:r", end) : p.append_child("a:r");
        if (end) {
            pugi::xml_node rPr = run.append_copy(end);
            rPr.set_name("a:rPr");
        }
    }
    std::vector<pugi::xml_node> drop;
    for (pugi::xml_node n : p.children()) {
        const std::string_view name = n.name();
        if (n != run && (name == "a:r" || name == "a:fld" || name == "a:br")) {
            drop.push_back(n);
        }
    }
    for (pugi::xml_node n : drop) {
        p.remove_child(n);
    }
    pugi::xml_node t = run.child("a:t");
    if (!t) {
        t = run.append_child("a:t");
    }
    t.text().set(text.c_str());
    pugi::xml_node deleted = chartNode.child("c:autoTitleDeleted");
    if (deleted) {
        // A shown title: the element without val would mean "deleted".
        if (!deleted.attribute("val")) {
            deleted.append_attribute("val");
        }
        deleted.attribute("val") = "0";
    }
}

}  // namespace office::graph::detail
