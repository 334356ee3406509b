// The cell tables of the binary workbook writer: which sheets the edits changed, and a changed
// sheet's records with its ROW, cell, DIMENSIONS and MERGEDCELLS records new; cells whose value
// did not change keep their own records.

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include <pugixml.hpp>

#include "office/error.h"
#include "office/excel/a1.h"
#include "office/excel/xls/xls_writer_parts.h"

namespace office::excel::xls::writing {

namespace {

std::uint8_t errorCode(std::string_view text) {
    static const std::pair<std::string_view, std::uint8_t> codes[] = {
        {"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
        {"#NAME?", 0x1D}, {"#NUM!", 0x24},   {"#N/A", 0x2A}};
    for (const auto& [name, code] : codes) {
        if (name == text) {
            return code;
        }
    }
    return 0x2A;
}

bool isFormula(std::uint16_t id) {
    return id == rt::Formula || id == rt::Formula3 || id == rt::Formula4;
}

// The records of a cell table, which a changed sheet gets anew.
bool inCellTable(std::uint16_t id) {
    switch (id) {
        case rt::Row:
        case rt::Number:
        case rt::Rk:
        case rt::MulRk:
        case rt::LabelSst:
        case rt::Label:
        case rt::RString:
        case rt::Blank:
        case rt::MulBlank:
        case rt::BoolErr:
        case rt::Formula:
        case rt::Formula3:
        case rt::Formula4:
        case rt::String:
        case rt::ShrFmla:
        case rt::Array:
        case rt::Table:
        case rt::DbCell:
            return true;
        default:
            return false;
    }
}

using Position = std::pair<int, int>;  // 1-based row and column

// A cell's own records in the original sheet: the cell record, and after a formula the records
// that belong to it (its string result, the shared formula or array it anchors).
struct OriginalCell {
    std::vector<Unit> units;
    bool anchor = false;  // a SHRFMLA, ARRAY or TABLE follows it
};

std::map<Position, OriginalCell> cellRecords(const Substream& sheet) {
    std::map<Position, OriginalCell> cells;
    OriginalCell* formula = nullptr;
    for (const Unit& unit : sheet.units) {
        if (unit.depth != 0) {
            continue;
        }
        const bool single = unit.id == rt::Number || unit.id == rt::Rk || unit.id == rt::LabelSst ||
                            unit.id == rt::Label || unit.id == rt::RString ||
                            unit.id == rt::Blank || unit.id == rt::BoolErr || isFormula(unit.id);
        if (single && unit.body.size() >= 6) {
            auto& cell = cells[{le16(unit.body.data()) + 1, le16(unit.body.data() + 2) + 1}];
            cell = {{unit}, false};
            formula = isFormula(unit.id) ? &cell : nullptr;
        } else if (formula && (unit.id == rt::String || unit.id == rt::ShrFmla ||
                               unit.id == rt::Array || unit.id == rt::Table)) {
            formula->units.push_back(unit);
            formula->anchor = formula->anchor || unit.id != rt::String;
        } else if (unit.id == rt::MulRk || unit.id == rt::MulBlank) {
            formula = nullptr;
        }
    }
    return cells;
}

// The cell a formula's shared formula or array lives at (its PtgExp), when it has one.
std::optional<Position> sharedAnchor(const Unit& formula) {
    constexpr std::size_t kTokens = 22;  // row, column, xf, result, flags, chn, cce
    if (formula.body.size() < kTokens + 5 || formula.body[kTokens] != 0x01) {
        return std::nullopt;
    }
    return Position{le16(formula.body.data() + kTokens + 1) + 1,
                    le16(formula.body.data() + kTokens + 3) + 1};
}

bool sameValue(const WorkbookImpl& a, const Cell& x, const WorkbookImpl& b, const Cell& y) {
    if (x.kind != y.kind || x.flags != y.flags || x.style != y.style) {
        return false;
    }
    switch (x.kind) {
        case CellKind::Blank:
            return true;
        case CellKind::Number:
        case CellKind::Boolean:
            return std::memcmp(&x.number, &y.number, sizeof x.number) == 0;
        case CellKind::Shared:
            return x.index < a.sharedStrings.size() && y.index < b.sharedStrings.size() &&
                   a.sharedStrings[x.index] == b.sharedStrings[y.index];
        case CellKind::Text:
        case CellKind::Error:
            return a.texts[x.index] == b.texts[y.index];
    }
    return false;
}

std::vector<Area> mergesOf(const WorkbookImpl& book, const std::string& part) {
    std::vector<Area> areas;
    if (part.empty() || !book.package.has(part)) {
        return areas;
    }
    pugi::xml_document doc;
    const std::string xml = book.package.read(part);
    doc.load_buffer(xml.data(), xml.size());
    for (pugi::xml_node node : doc.document_element().children()) {
        if (detail::localName(node) != "mergeCells") {
            continue;
        }
        for (pugi::xml_node merge : node.children()) {
            if (const auto area = detail::parseArea(merge.attribute("ref").value())) {
                areas.push_back(*area);
            }
        }
    }
    return areas;
}

}  // namespace

bool sameSheet(const WorkbookImpl& before, const detail::SheetImpl& was, const WorkbookImpl& after,
               const detail::SheetImpl& is) {
    const auto& a = was.cells.rows();
    const auto& b = is.cells.rows();
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t r = 0; r < a.size(); ++r) {
        if (a[r].row != b[r].row || a[r].rowStyle != b[r].rowStyle ||
            a[r].cells.size() != b[r].cells.size()) {
            return false;
        }
        for (std::size_t c = 0; c < a[r].cells.size(); ++c) {
            if (a[r].cells[c].column != b[r].cells[c].column ||
                !sameValue(before, a[r].cells[c], after, b[r].cells[c])) {
                return false;
            }
        }
    }
    return mergesOf(before, was.part) == mergesOf(after, is.part);
}

namespace {

class CellTableWriter {
public:
    explicit CellTableWriter(SheetEdit& edit) : edit_(edit), cells_(cellRecords(edit.original)) {
        for (const Unit& unit : edit.original.units) {
            if (unit.depth == 0 && unit.id == rt::Row && unit.body.size() >= 16) {
                rows_[le16(unit.body.data()) + 1] = unit;
            } else if (unit.depth == 0 && unit.id == rt::DefaultRowHeight &&
                       unit.body.size() >= 4) {
                defaultHeight_ = le16(unit.body.data() + 2);
            }
        }
        // A shared formula or array whose anchor cell was overwritten is gone: the cells that
        // used it keep their computed values.
        for (const auto& [position, cell] : cells_) {
            const Cell* now = edit.is.cells.find(position.first, position.second);
            if (cell.anchor && !(now && (now->flags & detail::kHasFormula))) {
                lostAnchors_.insert(position);
            }
        }
    }

    // The ROW and cell records, in blocks of 32 rows as Excel writes them.
    Bytes table() {
        std::map<int, const detail::Row*> rows;
        for (const auto& row : edit_.is.cells.rows()) {
            rows[row.row] = &row;
        }
        for (const auto& [number, unit] : rows_) {
            rows.emplace(number, nullptr);
        }
        Bytes out;
        std::vector<std::pair<int, const detail::Row*>> block;
        for (const auto& entry : rows) {
            if (entry.first > kMaxBiffRows) {
                beyond(entry.first, entry.second && !entry.second->cells.empty()
                                        ? entry.second->cells.front().column
                                        : 1);
            }
            block.push_back(entry);
            if (block.size() == 32) {
                writeBlock(block, out);
            }
        }
        writeBlock(block, out);
        return out;
    }

    RecordWriter dimensions() const {
        int top = 0, bottom = 0, left = 0, right = 0;
        for (const auto& row : edit_.is.cells.rows()) {
            if (row.cells.empty()) {
                continue;
            }
            top = top == 0 ? row.row : top;
            bottom = row.row;
            left = left == 0 ? row.cells.front().column
                             : std::min<int>(left, row.cells.front().column);
            right = std::max<int>(right, row.cells.back().column);
        }
        RecordWriter out;
        if (top == 0) {
            out.u32(0).u32(0).u16(0).u16(0).u16(0);
        } else {
            out.u32(static_cast<std::uint32_t>(top - 1)).u32(static_cast<std::uint32_t>(bottom));
            out.u16(static_cast<std::uint16_t>(left - 1)).u16(static_cast<std::uint16_t>(right));
            out.u16(0);
        }
        return out;
    }

private:
    [[noreturn]] void beyond(int row, int column) const {
        throw Error(ErrorCode::OutOfSheet,
                    edit_.after.where() + ": sheet \"" + edit_.is.name + "\": cell " +
                        detail::cellName(row, column) +
                        " lies beyond what a workbook of Excel 97-2003 holds (65536 rows, 256 "
                        "columns)");
    }

    // True when the cell is as the original has it, so that its own records are kept.
    bool kept(const Position& position) const {
        const Cell* was = edit_.was.cells.find(position.first, position.second);
        const Cell* is = edit_.is.cells.find(position.first, position.second);
        return was && is && sameValue(edit_.before, *was, edit_.after, *is);
    }

    void writeBlock(std::vector<std::pair<int, const detail::Row*>>& block, Bytes& out) {
        for (const auto& [number, row] : block) {
            appendRow(number, row, out);
        }
        for (const auto& [number, row] : block) {
            if (!row) {
                continue;
            }
            for (const Cell& cell : row->cells) {
                appendCell(number, cell, out);
            }
        }
        block.clear();
    }

    void appendRow(int number, const detail::Row* row, Bytes& out) const {
        const bool cells = row && !row->cells.empty();
        const std::uint16_t first =
            cells ? static_cast<std::uint16_t>(row->cells.front().column - 1) : 0;
        const std::uint16_t end = cells ? static_cast<std::uint16_t>(row->cells.back().column) : 0;
        if (const auto found = rows_.find(number); found != rows_.end()) {
            const auto original = bytesOf(edit_.stream, found->second);
            Bytes copy(original.begin(), original.end());
            put16(copy, 4 + 2, first);
            put16(copy, 4 + 4, end);
            append(out, copy);
            return;
        }
        RecordWriter body;
        body.u16(static_cast<std::uint16_t>(number - 1)).u16(first).u16(end);
        body.u16(defaultHeight_).u16(0).u16(0);
        std::uint32_t flags = 0x0100;
        if (row && row->rowStyle != 0) {
            flags |= 0x80 | ((row->rowStyle - 1) & 0x0FFF) << 16;
        }
        body.u32(flags);
        appendRecord(out, rt::Row, body);
    }

    void appendCell(int row, const Cell& cell, Bytes& out) {
        if (cell.column > kMaxBiffColumns) {
            beyond(row, cell.column);
        }
        const Position position{row, cell.column};
        const auto original = cells_.find(position);
        const bool formula = original != cells_.end() && isFormula(original->second.units[0].id);
        const auto anchor = formula ? sharedAnchor(original->second.units[0]) : std::nullopt;
        if (original != cells_.end() && !(anchor && lostAnchors_.contains(*anchor))) {
            if (kept(position)) {
                for (const Unit& unit : original->second.units) {
                    append(out, bytesOf(edit_.stream, unit));
                }
                edit_.stringRefs += original->second.units[0].id == rt::LabelSst ? 1 : 0;
                return;
            }
            if (formula && (cell.flags & detail::kHasFormula)) {
                // Only the format of the formula cell changed: its records stay, with the new
                // format.
                for (std::size_t i = 0; i < original->second.units.size(); ++i) {
                    const auto bytes = bytesOf(edit_.stream, original->second.units[i]);
                    Bytes copy(bytes.begin(), bytes.end());
                    if (i == 0) {
                        put16(copy, 4 + 4, static_cast<std::uint16_t>(cell.style));
                    }
                    append(out, copy);
                }
                return;
            }
        }
        appendValue(row, cell, out);
    }

    void appendValue(int row, const Cell& cell, Bytes& out) {
        RecordWriter body;
        body.u16(static_cast<std::uint16_t>(row - 1))
            .u16(static_cast<std::uint16_t>(cell.column - 1));
        body.u16(static_cast<std::uint16_t>(cell.style));
        switch (cell.kind) {
            case CellKind::Blank:
                appendRecord(out, rt::Blank, body);
                return;
            case CellKind::Number:
                body.f64(cell.number);
                appendRecord(out, rt::Number, body);
                return;
            case CellKind::Boolean:
                body.u8(cell.number != 0 ? 1 : 0).u8(0);
                appendRecord(out, rt::BoolErr, body);
                return;
            case CellKind::Error:
                body.u8(errorCode(edit_.after.texts[cell.index])).u8(1);
                appendRecord(out, rt::BoolErr, body);
                return;
            case CellKind::Shared:
                body.u32(cell.index);
                break;
            case CellKind::Text:
                body.u32(edit_.sharedIndex(std::string(edit_.after.texts[cell.index])));
                break;
        }
        ++edit_.stringRefs;
        appendRecord(out, rt::LabelSst, body);
    }

    SheetEdit& edit_;
    std::map<Position, OriginalCell> cells_;
    std::map<int, Unit> rows_;
    std::set<Position> lostAnchors_;
    std::uint16_t defaultHeight_ = 255;
};

// MERGEDCELLS records for the areas, at most 1026 areas a record. An area beyond what the
// format can say is left out: its cells are kept, unmerged.
Bytes mergeRecords(std::vector<Area> areas) {
    std::erase_if(
        areas, [](const Area& a) { return a.bottom > kMaxBiffRows || a.right > kMaxBiffColumns; });
    Bytes out;
    for (std::size_t at = 0; at < areas.size(); at += 1026) {
        const std::size_t count = std::min<std::size_t>(1026, areas.size() - at);
        RecordWriter body;
        body.u16(static_cast<std::uint16_t>(count));
        for (std::size_t i = at; i < at + count; ++i) {
            const Area& a = areas[i];
            body.u16(static_cast<std::uint16_t>(a.top - 1))
                .u16(static_cast<std::uint16_t>(a.bottom - 1));
            body.u16(static_cast<std::uint16_t>(a.left - 1))
                .u16(static_cast<std::uint16_t>(a.right - 1));
        }
        appendRecord(out, rt::MergeCells, body);
    }
    return out;
}

bool viewRecord(std::uint16_t id) {
    return id == rt::Window2 || id == rt::Scl || id == rt::Pane || id == rt::Selection ||
           id == rt::Plv;
}

}  // namespace

Bytes changedSheet(SheetEdit& edit) {
    CellTableWriter cells(edit);
    const Bytes table = cells.table();
    const Bytes merges = mergeRecords(mergesOf(edit.after, edit.is.part));
    const auto& units = edit.original.units;
    std::size_t mergesAfter = units.size() - 2;  // before the EOF, unless the views say where
    bool anyMerges = false;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i].depth == 0 && viewRecord(units[i].id)) {
            mergesAfter = i;
        }
        anyMerges = anyMerges || (units[i].depth == 0 && units[i].id == rt::MergeCells);
    }
    const bool hasCells = std::any_of(units.begin(), units.end(), [](const Unit& unit) {
        return unit.depth == 0 && inCellTable(unit.id);
    });
    Bytes out;
    bool tablePlaced = false;
    bool mergesPlaced = false;
    auto placeTable = [&] {
        if (!tablePlaced) {
            append(out, table);
            tablePlaced = true;
        }
    };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& unit = units[i];
        const bool own = unit.depth == 0;
        if (own && (unit.id == rt::Index || unit.id == rt::DbCell)) {
            continue;
        }
        if (own && (inCellTable(unit.id))) {
            placeTable();
            continue;
        }
        if (own && unit.id == rt::MergeCells) {
            if (!mergesPlaced) {
                append(out, merges);
                mergesPlaced = true;
            }
            continue;
        }
        if (own && (unit.id == rt::Window2 || (unit.id == rt::Eof && i + 1 == units.size()))) {
            placeTable();
        }
        if (own && unit.id == rt::Dimensions) {
            appendRecord(out, rt::Dimensions, cells.dimensions());
            if (!hasCells) {
                placeTable();  // a sheet without cells: the table follows its dimensions
            }
            continue;
        }
        append(out, bytesOf(edit.stream, unit));
        if (!anyMerges && !mergesPlaced && i == mergesAfter) {
            append(out, merges);
            mergesPlaced = true;
        }
    }
    return out;
}
Bytes movedSheet(std::span<const std::uint8_t> stream, const Substream& sheet, long long delta) {
    Bytes out;
    for (const Unit& unit : sheet.units) {
        const auto bytes = bytesOf(stream, unit);
        const std::size_t at = out.size();
        append(out, bytes);
        if (unit.depth != 0 || unit.id != rt::Index || delta == 0 || unit.body.size() < 16) {
            continue;
        }
        auto shift = [&](std::size_t field) {
            const std::uint32_t value = le32(unit.body.data() + field);
            if (value != 0) {
                put32(out, at + 4 + field, static_cast<std::uint32_t>(value + delta));
            }
        };
        shift(12);  // DEFCOLWIDTH
        for (std::size_t field = 16; field + 4 <= unit.body.size(); field += 4) {
            shift(field);  // the DBCELL records
        }
    }
    return out;
}

}  // namespace office::excel::xls::writing
