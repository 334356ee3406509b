#include "office/graph/chart_part.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "office/graph/chart_series.h"
#include "office/graph/chart_xml.h"
#include "office/package/xml.h"

// Writing a chart part from cells: every series' references and caches, names, the series
// added, the axes that show dates, the date system.

namespace office::graph::detail {

namespace {

// ---- writing ----------------------------------------------------------------------------

// One cached point: its index in the line and its cell.
using Point = std::pair<std::size_t, CellData>;
using Points = std::vector<Point>;

struct Writer {
    const DataLayout& layout;
    const CellGrid& cells;
    bool date1904;
    // The records of the non-blank cells of the data region, field by field, in order: a line
    // visits only the cells its field holds, so a block claiming many more rows and columns than
    // it has cells costs what it holds.
    std::unordered_map<int, std::vector<int>> filled;

    Writer(const DataLayout& l, const CellGrid& grid, bool d1904)
        : layout(l), cells(grid), date1904(d1904) {
        const bool columns = l.direction == Direction::Columns;
        grid.forEachIn(l.region(), [&](CellPos pos, const CellData& cell) {
            if (!cell.value.isBlank()) {
                filled[columns ? pos.column : pos.row].push_back(columns ? pos.row : pos.column);
            }
        });
    }

    std::optional<CellData> cell(int record, int field) const {
        auto found = cells.find(layout.toSheet(record, field));
        if (!found || found->value.isBlank()) {
            return std::nullopt;
        }
        return found;
    }

    // The non-blank cells of `field` among `count` records from record0, by index from record0.
    Points line(int record0, int count, int field) const {
        Points points;
        const auto found = filled.find(field);
        if (found == filled.end()) {
            return points;
        }
        const std::vector<int>& records = found->second;
        for (auto r = std::lower_bound(records.begin(), records.end(), record0);
             r != records.end() && *r < record0 + count; ++r) {
            points.emplace_back(static_cast<std::size_t>(*r - record0), *cell(*r, field));
        }
        return points;
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

// A cell's text as the workbook shows it: its value through its number format (a date column
// in "mmm-yy" reads "Jan-06", not the date's ISO form).
std::string shownText(const CellData& cell) {
    return formatValue(cell.value, cell.numberFormat.empty() ? "General" : cell.numberFormat);
}

// Fills `ref` (c:strRef) with formula and text points (blank cells left out).
void fillStrRef(pugi::xml_node ref, const std::string& formula, int count, const Points& points) {
    package::setText(chartml::append(ref, "f"), formula);
    pugi::xml_node cache = chartml::append(ref, "strCache");
    chartml::append(cache, "ptCount").append_attribute("val") = count;
    const PointNames names(cache);
    std::string text;
    for (const auto& [index, cell] : points) {
        appendPoint(text, names, index, {}, shownText(cell));
    }
    addPoints(cache, text, points.size());
}

void fillNumRef(const Writer& w, pugi::xml_node ref, const std::string& formula, int count,
                const Points& points) {
    package::setText(chartml::append(ref, "f"), formula);
    pugi::xml_node cache = chartml::append(ref, "numCache");
    std::string common = "General";
    for (const auto& [index, cell] : points) {
        if (Writer::isNumeric(cell.value)) {
            common = cell.numberFormat.empty() ? "General" : cell.numberFormat;
            break;
        }
    }
    package::setText(chartml::append(cache, "formatCode"), common);
    chartml::append(cache, "ptCount").append_attribute("val") = count;
    const PointNames names(cache);
    std::string text;
    std::size_t written = 0;
    for (const auto& [index, cell] : points) {
        if (!Writer::isNumeric(cell.value)) {
            continue;  // texts and errors are missing points
        }
        const std::string& format = cell.numberFormat;
        appendPoint(text, names, index,
                    format != common ? std::string_view(format) : std::string_view(),
                    numberText(w.number(cell.value)));
        ++written;
    }
    addPoints(cache, text, written);
}

bool allNumeric(const Points& points) {
    return !points.empty() && std::all_of(points.begin(), points.end(), [](const Point& p) {
        return Writer::isNumeric(p.second.value);
    });
}

// Replaces the content of a role element (c:cat, c:val, ...) with a reference to one field.
void writeOneField(const Writer& w, pugi::xml_node role, int field, bool numeric) {
    const DataLayout& l = w.layout;
    const int first = l.cornerRecord + l.headerLines;
    const int count = l.categoryCount();
    const Points points = w.line(first, count, field);
    const std::string formula = w.ref(first, first + count - 1, field, field);
    role.remove_children();
    if (numeric || allNumeric(points)) {
        fillNumRef(w, chartml::append(role, "numRef"), formula, count, points);
        return;
    }
    fillStrRef(chartml::append(role, "strRef"), formula, count, points);
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
        const Points points = w.line(first, count, field);
        std::string text;
        for (const auto& [index, cell] : points) {
            appendPoint(text, names, index, {}, shownText(cell));
        }
        addPoints(lvl, text, points.size());
    }
}

// The children of a series in the order the schemas of all chart kinds give them: each kind
// uses a subset of this sequence (bar and area series no marker, pie series an explosion, scatter
// and bubble series x and y values in place of categories and values).
constexpr std::string_view kSeriesOrder[] = {"idx",
                                             "order",
                                             "tx",
                                             "spPr",
                                             "invertIfNegative",
                                             "pictureOptions",
                                             "marker",
                                             "explosion",
                                             "dPt",
                                             "dLbls",
                                             "trendline",
                                             "errBars",
                                             "cat",
                                             "xVal",
                                             "val",
                                             "yVal",
                                             "shape",
                                             "smooth",
                                             "bubbleSize",
                                             "bubble3D",
                                             "extLst"};

// The child of `ser` with the given name, inserted where its kind's schema places it when
// missing.
pugi::xml_node ensureChild(pugi::xml_node ser, std::string_view name) {
    return package::ensureChild(ser, package::ns::kChart, name, kSeriesOrder);
}

void writeName(const Writer& w, pugi::xml_node ser, int field) {
    const DataLayout& l = w.layout;
    if (l.headerLines == 0) {
        return;
    }
    pugi::xml_node tx = ensureChild(ser, "tx");
    tx.remove_children();
    Points name;
    if (auto cell = w.cell(l.cornerRecord, field)) {
        name.emplace_back(0, std::move(*cell));
    }
    fillStrRef(chartml::append(tx, "strRef"), w.ref(l.cornerRecord, l.cornerRecord, field, field),
               1, name);
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
        writeCategories(w, ensureChild(ser, catName), f);
    }
    pugi::xml_node val = ensureChild(ser, valName);
    writeOneField(w, val, f.value, true);
    if (f.size >= 0) {
        pugi::xml_node size = ensureChild(ser, "bubbleSize");
        writeOneField(w, size, f.size, true);
    }
    trimPointElements(ser, l.categoryCount());
}

// ---- axes ---------------------------------------------------------------------------------

// The date format of the series' categories; empty when they are no dates, or when their cells
// show different formats (points with a format of their own), which no one axis format follows.
std::string dateFormatOf(pugi::xml_node ser) {
    const pugi::xml_node cache =
        chartml::child(chartml::child(chartml::child(ser, "cat"), "numRef"), "numCache");
    const std::string code = chartml::child(cache, "formatCode").text().get();
    for (pugi::xml_node pt : chartml::children(cache, "pt")) {
        if (pt.attribute("formatCode")) {
            return {};
        }
    }
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

// A plot that gives each point a colour of its own (pies, doughnuts, and any plot set so).
bool variesColours(pugi::xml_node plot) {
    const pugi::xml_node vary = chartml::child(plot, "varyColors");
    return vary && vary.attribute("val").as_bool(true);
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
    const Writer w(layout, cells, date1904);
    const int wanted = layout.seriesCount();
    auto& series = data.series;

    addSeriesUpTo(series, wanted, plotArea, colours);
    std::map<pugi::xml_node, std::string> datePlots;
    for (int k = 0; k < wanted; ++k) {
        writeSeries(w, series[k].node, series[k].xy, layout.fieldsOf(k));
        if (variesColours(series[k].plot)) {
            colourNewPoints(series[k].node, layout.categoryCount(), colours);
        }
        if (std::string format = dateFormatOf(series[k].node); !format.empty()) {
            datePlots.emplace(series[k].plot, std::move(format));
        }
    }
    for (const auto& [plot, format] : datePlots) {
        linkDateAxes(plotArea, plot, format);
    }
    setDate1904(space, date1904);
}

}  // namespace office::graph::detail
