#include "office/graph/chart_layout.h"

#include <algorithm>

namespace office::graph::detail {

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

namespace {

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

void growLayout(DataLayout& layout, int sheetRows, int sheetColumns) {
    const auto [rows, columns] = layout.oriented(sheetRows, sheetColumns);
    layout.records = std::max({layout.records, rows, layout.headerLines + 1});
    const int wanted =
        (columns - layout.labelColumns() + layout.seriesWidth() - 1) / layout.seriesWidth();
    while (layout.seriesCount() < std::max(wanted, 1)) {
        layout.series.push_back(layout.fieldsOf(layout.seriesCount()));
    }
}

void takeHeaderLine(DataLayout& layout) {
    if (layout.headerLines > 0) {
        return;
    }
    layout.headerLines = 1;
    layout.records = std::max(layout.records, 2);
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

}  // namespace office::graph::detail
