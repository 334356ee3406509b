// Table: the native tables of slides (a:tbl in a graphic frame), their cells' texts, and their
// size, grown by copying the last row or column and shrunk by removing rows and columns.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <set>

#include "office/package/xml.h"
#include "office/powerpoint.h"
#include "office/ppt/ppt_impl.h"
#include "office/ppt/table_impl.h"

namespace office::ppt {

namespace {

// The table's elements by position, as its grid lays them out.
struct Grid {
    pugi::xml_node table;                            // a:tbl
    pugi::xml_node grid;                             // a:tblGrid
    std::vector<pugi::xml_node> columns;             // a:gridCol
    std::vector<pugi::xml_node> rows;                // a:tr
    std::vector<std::vector<pugi::xml_node>> cells;  // a:tc by row, then column
};

// A cell that spans more than one grid cell: its top-left position (1-based) and its extent.
struct Merge {
    int row = 0;
    int column = 0;
    int lastRow = 0;
    int lastColumn = 0;

    bool holds(int r, int c) const {
        return r >= row && r <= lastRow && c >= column && c <= lastColumn;
    }
};

using package::ns::kDrawing;
// Row and column ids: a16:rowId and a16:colId.
using package::ns::kDrawing2014;

std::vector<pugi::xml_node> childrenNamed(pugi::xml_node parent, std::string_view local) {
    package::ElementRange found = package::children(parent, kDrawing, local);
    return {found.begin(), found.end()};
}

std::string position(int row, int column) {
    return "row " + std::to_string(row) + ", column " + std::to_string(column);
}

Grid readGrid(const detail::ShapeImpl& shape) {
    Grid grid;
    grid.table = detail::tableOf(shape.element());
    if (!grid.table) {
        throw Error(ErrorCode::TypeMismatch, shape.describe() + " no longer holds a table");
    }
    grid.grid = package::child(grid.table, kDrawing, "tblGrid");
    grid.columns = childrenNamed(grid.grid, "gridCol");
    grid.rows = childrenNamed(grid.table, "tr");
    if (grid.columns.empty() || grid.rows.empty()) {
        throw Error(ErrorCode::CorruptPart,
                    shape.describe() + ": the table has no grid columns or no rows");
    }
    for (std::size_t r = 0; r < grid.rows.size(); ++r) {
        grid.cells.push_back(childrenNamed(grid.rows[r], "tc"));
        if (grid.cells.back().size() != grid.columns.size()) {
            throw Error(ErrorCode::CorruptPart,
                        shape.describe() + ": row " + std::to_string(r + 1) + " of the table has " +
                            std::to_string(grid.cells.back().size()) + " cells for a grid of " +
                            std::to_string(grid.columns.size()) + " columns");
        }
    }
    return grid;
}

bool isCovered(pugi::xml_node cell) {
    return cell.attribute("hMerge").as_bool() || cell.attribute("vMerge").as_bool();
}

int spanOf(pugi::xml_node cell, const char* attribute) {
    return std::max(cell.attribute(attribute).as_int(1), 1);
}

// The merged cells of a table, and for every grid cell the index of the merged cell that covers
// it without starting there (-1 for the others).
struct Merges {
    std::vector<Merge> all;
    std::vector<std::vector<int>> covering;

    // The merged cell that covers (row, column), 1-based, without starting there; null when none
    // does, and outside the table.
    const Merge* covers(int row, int column) const {
        if (row < 1 || column < 1 || row > static_cast<int>(covering.size()) ||
            column > static_cast<int>(covering[row - 1].size())) {
            return nullptr;
        }
        const int index = covering[row - 1][column - 1];
        return index < 0 ? nullptr : &all[static_cast<std::size_t>(index)];
    }
};

// A cell's merge, cut to the table's edges (a span may claim more than the table has).
std::optional<Merge> mergeAt(pugi::xml_node cell, int row, int column, int rows, int columns) {
    const int down = spanOf(cell, "rowSpan");
    const int across = spanOf(cell, "gridSpan");
    if (isCovered(cell) || (down == 1 && across == 1)) {
        return std::nullopt;
    }
    return Merge{row, column, row + std::min(down - 1, rows - row),
                 column + std::min(across - 1, columns - column)};
}

Merges mergesOf(const Grid& grid) {
    const int rows = static_cast<int>(grid.rows.size());
    const int columns = static_cast<int>(grid.columns.size());
    Merges merges;
    merges.covering.assign(grid.rows.size(), std::vector<int>(grid.columns.size(), -1));
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= columns; ++c) {
            std::optional<Merge> merge = mergeAt(grid.cells[r - 1][c - 1], r, c, rows, columns);
            if (!merge) {
                continue;
            }
            const int index = static_cast<int>(merges.all.size());
            merges.all.push_back(*merge);
            for (int down = merge->row; down <= merge->lastRow; ++down) {
                for (int across = merge->column; across <= merge->lastColumn; ++across) {
                    if (down != r || across != c) {
                        merges.covering[down - 1][across - 1] = index;
                    }
                }
            }
        }
    }
    return merges;
}

// The cell whose look a copy of the cell at (row, column) takes: a covered cell's own
// properties are often empty, so it is the merged cell that covers it.
pugi::xml_node lookOf(const Grid& grid, const Merges& merges, int row, int column) {
    const Merge* merge = merges.covers(row, column);
    if (merge) {
        return grid.cells[merge->row - 1][merge->column - 1];
    }
    return grid.cells[row - 1][column - 1];
}

void checkNoSplit(const detail::ShapeImpl& shape, const Grid& grid, int rows, int columns) {
    for (const Merge& merge : mergesOf(grid).all) {
        if (merge.row > rows || merge.column > columns) {
            continue;  // removed whole
        }
        if (merge.lastRow <= rows && merge.lastColumn <= columns) {
            continue;  // kept whole
        }
        throw Error(ErrorCode::NotSupported,
                    shape.describe() + ": a block of " + std::to_string(rows) + " rows and " +
                        std::to_string(columns) + " columns would split the merged cell at " +
                        position(merge.row, merge.column) + " (rows " + std::to_string(merge.row) +
                        " to " + std::to_string(merge.lastRow) + ", columns " +
                        std::to_string(merge.column) + " to " + std::to_string(merge.lastColumn) +
                        ")");
    }
}

[[noreturn]] void failCovered(const detail::ShapeImpl& shape, const Merge& merge, int row,
                              int column, const std::string& text) {
    throw Error(ErrorCode::NotSupported, shape.describe() + ": the text \"" + text +
                                             "\" for the cell at " + position(row, column) +
                                             " falls on a cell covered by the merged cell at " +
                                             position(merge.row, merge.column));
}

void clearMerge(pugi::xml_node cell) {
    for (const char* attribute : {"gridSpan", "rowSpan", "hMerge", "vMerge"}) {
        cell.remove_attribute(attribute);
    }
}

std::int64_t lengthOf(pugi::xml_node node, const char* attribute) {
    return std::max<std::int64_t>(node.attribute(attribute).as_llong(0), 0);
}

std::int64_t total(const std::vector<pugi::xml_node>& nodes, const char* attribute) {
    std::int64_t sum = 0;
    for (pugi::xml_node node : nodes) {
        sum += lengthOf(node, attribute);
    }
    return sum;
}

void setLength(pugi::xml_node node, const char* attribute, std::int64_t value) {
    package::setAttribute(node, attribute, std::to_string(value));
}

// The a16:rowId or a16:colId of a row or grid column: the id by which PowerPoint tells them
// apart, unique within the table.
pugi::xml_attribute idOf(pugi::xml_node owner, std::string_view local) {
    pugi::xml_node extensions = package::child(owner, kDrawing, "extLst");
    for (pugi::xml_node extension : package::children(extensions, kDrawing, "ext")) {
        if (pugi::xml_node id = package::child(extension, kDrawing2014, local)) {
            return id.attribute("val");
        }
    }
    return {};
}

std::set<std::uint32_t> idsOf(const std::vector<pugi::xml_node>& owners, std::string_view local) {
    std::set<std::uint32_t> ids;
    for (pugi::xml_node owner : owners) {
        if (pugi::xml_attribute id = idOf(owner, local)) {
            ids.insert(id.as_uint());
        }
    }
    return ids;
}

// Gives a copied row or column an id that no other one of the table has.
void renewId(pugi::xml_node owner, std::string_view local, std::set<std::uint32_t>& used) {
    pugi::xml_attribute id = idOf(owner, local);
    if (!id) {
        return;
    }
    std::uint32_t fresh = used.empty() ? 1 : *used.rbegin() + 1;
    while (fresh == 0 || used.contains(fresh)) {
        ++fresh;
    }
    used.insert(fresh);
    id.set_value(fresh);
}

void removeColumnsBeyond(Grid& grid, int columns) {
    for (std::size_t c = grid.columns.size(); c > static_cast<std::size_t>(columns); --c) {
        grid.grid.remove_child(grid.columns[c - 1]);
        for (std::size_t r = 0; r < grid.rows.size(); ++r) {
            grid.rows[r].remove_child(grid.cells[r][c - 1]);
        }
    }
}

void removeRowsBeyond(Grid& grid, int rows) {
    for (std::size_t r = grid.rows.size(); r > static_cast<std::size_t>(rows); --r) {
        grid.table.remove_child(grid.rows[r - 1]);
    }
}

// A copy of `source` inserted into row after `after` (first when null), without its merge. It
// keeps the source's text, whose runs carry the look that the new text takes.
pugi::xml_node insertCellLike(pugi::xml_node row, pugi::xml_node after, pugi::xml_node source) {
    pugi::xml_node cell = after ? row.insert_copy_after(source, after) : row.prepend_copy(source);
    clearMerge(cell);
    return cell;
}

void appendColumns(Grid grid, int count) {
    const Merges merges = mergesOf(grid);
    const int last = static_cast<int>(grid.columns.size());
    std::set<std::uint32_t> used = idsOf(grid.columns, "colId");
    pugi::xml_node column = grid.columns.back();
    std::vector<pugi::xml_node> lastCells;
    for (const auto& cells : grid.cells) {
        lastCells.push_back(cells.back());
    }
    for (int i = 0; i < count; ++i) {
        column = grid.grid.insert_copy_after(grid.columns.back(), column);
        renewId(column, "colId", used);
        for (std::size_t r = 0; r < grid.rows.size(); ++r) {
            pugi::xml_node look = lookOf(grid, merges, static_cast<int>(r) + 1, last);
            lastCells[r] = insertCellLike(grid.rows[r], lastCells[r], look);
        }
    }
}

// A new row after `after` with the attributes (the height) of `source`, and no cells yet.
pugi::xml_node insertRowLike(pugi::xml_node table, pugi::xml_node source, pugi::xml_node after) {
    pugi::xml_node row = table.insert_child_after(source.name(), after);
    for (pugi::xml_attribute attribute : source.attributes()) {
        row.append_attribute(attribute.name()).set_value(attribute.value());
    }
    return row;
}

void appendRows(Grid grid, int count) {
    const Merges merges = mergesOf(grid);
    const int last = static_cast<int>(grid.rows.size());
    std::set<std::uint32_t> used = idsOf(grid.rows, "rowId");
    const pugi::xml_node extensions = package::child(grid.rows.back(), kDrawing, "extLst");
    pugi::xml_node row = grid.rows.back();
    for (int i = 0; i < count; ++i) {
        row = insertRowLike(grid.table, grid.rows.back(), row);
        pugi::xml_node cell;
        for (int c = 1; c <= static_cast<int>(grid.columns.size()); ++c) {
            cell = insertCellLike(row, cell, lookOf(grid, merges, last, c));
        }
        if (extensions) {
            row.append_copy(extensions);
            renewId(row, "rowId", used);
        }
    }
}

// Scales the grid columns so that together they are as wide as `width` again.
void rescaleColumns(const std::vector<pugi::xml_node>& columns, std::int64_t width) {
    const std::int64_t now = total(columns, "w");
    if (now <= 0 || width <= 0 || now == width) {
        return;
    }
    std::int64_t given = 0;
    for (std::size_t c = 0; c + 1 < columns.size(); ++c) {
        const std::int64_t scaled = lengthOf(columns[c], "w") * width / now;
        setLength(columns[c], "w", scaled);
        given += scaled;
    }
    setLength(columns.back(), "w", width - given);
}

// The frame grows or shrinks by the height of the rows added or removed; it is never made lower
// than its rows.
void adjustFrameHeight(const detail::ShapeImpl& shape, std::int64_t before, std::int64_t after) {
    pugi::xml_node frame = detail::effectiveShape(shape.element());
    pugi::xml_node frameTransform = package::child(frame, package::ns::kPresentation, "xfrm");
    pugi::xml_attribute height = package::child(frameTransform, kDrawing, "ext").attribute("cy");
    if (!height || before == after) {
        return;
    }
    const std::int64_t adjusted = std::max<std::int64_t>(after, height.as_llong() + after - before);
    height.set_value(static_cast<long long>(adjusted));
}

void resizeGrid(const detail::ShapeImpl& shape, Grid grid, int rows, int columns) {
    const std::int64_t width = total(grid.columns, "w");
    const std::int64_t height = total(grid.rows, "h");
    removeColumnsBeyond(grid, columns);
    removeRowsBeyond(grid, rows);
    grid = readGrid(shape);
    appendColumns(grid, columns - static_cast<int>(grid.columns.size()));
    grid = readGrid(shape);
    appendRows(grid, rows - static_cast<int>(grid.rows.size()));
    grid = readGrid(shape);
    rescaleColumns(grid.columns, width);
    adjustFrameHeight(shape, height, total(grid.rows, "h"));
}

void checkSize(const detail::ShapeImpl& shape, int rows, int columns) {
    if (rows >= 1 && columns >= 1) {
        return;
    }
    throw Error(ErrorCode::InvalidArgument,
                shape.describe() + ": a table of " + std::to_string(rows) + " rows and " +
                    std::to_string(columns) + " columns cannot be made; it needs one cell");
}

}  // namespace

Table::Table(std::shared_ptr<detail::ShapeImpl> shape) : shape_(std::move(shape)) {}

int Table::RowCount() const {
    return static_cast<int>(readGrid(*shape_).rows.size());
}

int Table::ColumnCount() const {
    return static_cast<int>(readGrid(*shape_).columns.size());
}

std::string Table::CellText(int row, int column) const {
    Grid grid = readGrid(*shape_);
    detail::checkIndex(row, grid.rows.size(), shape_->describe() + ": row", "rows");
    detail::checkIndex(column, grid.columns.size(), shape_->describe() + ": column", "columns");
    return detail::cellText(grid.cells[row - 1][column - 1]);
}

void Table::SetCellText(int row, int column, const std::string& text) {
    Grid grid = readGrid(*shape_);
    detail::checkIndex(row, grid.rows.size(), shape_->describe() + ": row", "rows");
    detail::checkIndex(column, grid.columns.size(), shape_->describe() + ": column", "columns");
    const Merges merges = mergesOf(grid);
    const Merge* merge = text.empty() ? nullptr : merges.covers(row, column);
    if (merge) {
        failCovered(*shape_, *merge, row, column, text);
    }
    detail::setCellText(grid.cells[row - 1][column - 1], text);
    shape_->slide->package().markDirty(shape_->slide->part);
}

void Table::Resize(int rows, int columns) {
    checkSize(*shape_, rows, columns);
    Grid grid = readGrid(*shape_);
    checkNoSplit(*shape_, grid, rows, columns);
    const std::size_t oldRows = grid.rows.size();
    const std::size_t oldColumns = grid.columns.size();
    resizeGrid(*shape_, std::move(grid), rows, columns);
    grid = readGrid(*shape_);
    for (std::size_t r = 0; r < grid.rows.size(); ++r) {
        for (std::size_t c = 0; c < grid.columns.size(); ++c) {
            if (r >= oldRows || c >= oldColumns) {
                detail::setCellText(grid.cells[r][c], "");
            }
        }
    }
    shape_->slide->package().markDirty(shape_->slide->part);
}

void Table::Fill(const CellTexts& texts) {
    const int rows = static_cast<int>(texts.size());
    const int columns = texts.empty() ? 0 : static_cast<int>(texts.front().size());
    checkSize(*shape_, rows, columns);
    for (const auto& line : texts) {
        if (static_cast<int>(line.size()) != columns) {
            throw Error(ErrorCode::InvalidArgument,
                        shape_->describe() + ": the rows of a block must be equally long");
        }
    }
    Grid grid = readGrid(*shape_);
    checkNoSplit(*shape_, grid, rows, columns);
    // Merged cells that stay lie wholly inside the block, where they are now.
    const Merges merges = mergesOf(grid);
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= columns; ++c) {
            const std::string& text = texts[r - 1][c - 1];
            const Merge* merge = text.empty() ? nullptr : merges.covers(r, c);
            if (merge) {
                failCovered(*shape_, *merge, r, c, text);
            }
        }
    }
    resizeGrid(*shape_, std::move(grid), rows, columns);
    grid = readGrid(*shape_);
    for (int r = 1; r <= rows; ++r) {
        for (int c = 1; c <= columns; ++c) {
            detail::setCellText(grid.cells[r - 1][c - 1], texts[r - 1][c - 1]);
        }
    }
    shape_->slide->package().markDirty(shape_->slide->part);
}

}  // namespace office::ppt
