#include "office/excel/cell_grid.h"

#include <algorithm>

#include "office/error.h"

namespace office::excel::detail {

CellGrid::CellGrid(const CellMap& cells) {
    for (const auto& [pos, cell] : cells) {
        set(pos, cell);
    }
}

std::size_t CellGrid::size() const noexcept {
    std::size_t count = 0;
    for (const Row& row : rows_) {
        count += row.cells.size();
    }
    return count;
}

std::vector<CellGrid::Row>::const_iterator CellGrid::firstRowFrom(int row) const {
    return std::lower_bound(rows_.begin(), rows_.end(), row,
                            [](const Row& r, int number) { return r.row < number; });
}

std::vector<CellGrid::Slot>::const_iterator CellGrid::firstSlotFrom(const Row& row, int column) {
    return std::lower_bound(row.cells.begin(), row.cells.end(), column,
                            [](const Slot& s, int number) { return s.column < number; });
}

const CellGrid::Slot* CellGrid::slotAt(CellPos pos) const {
    const auto row = firstRowFrom(pos.row);
    if (row == rows_.end() || row->row != pos.row) {
        return nullptr;
    }
    const auto slot = firstSlotFrom(*row, pos.column);
    return slot == row->cells.end() || slot->column != pos.column ? nullptr : &*slot;
}

// The slot at pos, made (blank, "General") when there is none. A block is written row by row
// and left to right, so the new slot usually goes at the end.
CellGrid::Slot& CellGrid::obtain(CellPos pos, bool& created) {
    created = false;
    if (!onSheet(pos)) {
        // A column beyond the grid would not fit a slot's column either.
        throw Error(ErrorCode::OutOfSheet, beyondSheet(pos));
    }
    auto row = rows_.empty() || rows_.back().row < pos.row
                   ? rows_.end()
                   : std::lower_bound(rows_.begin(), rows_.end(), pos.row,
                                      [](const Row& r, int number) { return r.row < number; });
    if (row == rows_.end() || row->row != pos.row) {
        row = rows_.insert(row, Row{pos.row, {}});
    }
    auto& cells = row->cells;
    auto slot = cells.empty() || cells.back().column < pos.column
                    ? cells.end()
                    : std::lower_bound(cells.begin(), cells.end(), pos.column,
                                       [](const Slot& s, int number) { return s.column < number; });
    if (slot == cells.end() || slot->column != pos.column) {
        Slot fresh;
        fresh.column = static_cast<std::uint16_t>(pos.column);
        fresh.format = formatIndex("General");
        slot = cells.insert(slot, fresh);
        created = true;
    }
    return *slot;
}

void CellGrid::store(Slot& slot, const Value& value) {
    slot.kind = static_cast<std::uint8_t>(value.kind());
    switch (value.kind()) {
        case Value::Kind::Text:
        case Value::Kind::Error:
            chars_.append(value.asText());
            textEnds_.push_back(static_cast<std::uint32_t>(chars_.size()));
            slot.text = static_cast<std::uint32_t>(textEnds_.size() - 1);
            return;
        case Value::Kind::Empty:
            slot.number = 0;
            return;
        default:
            slot.number = value.asNumber();
            return;
    }
}

void CellGrid::set(CellPos pos, const ClipCell& cell) {
    bool created = false;
    Slot& slot = obtain(pos, created);
    slot.format = formatIndex(cell.numberFormat);
    store(slot, cell.value);
}

void CellGrid::setValue(CellPos pos, const Value& value) {
    bool created = false;
    store(obtain(pos, created), value);
}

std::uint32_t CellGrid::formatIndex(const std::string& format) {
    if (!formats_.empty() && formats_.back() == format) {
        return static_cast<std::uint32_t>(formats_.size() - 1);
    }
    const auto found = formatIndex_.find(format);
    if (found != formatIndex_.end()) {
        return found->second;
    }
    formats_.push_back(format);
    const auto index = static_cast<std::uint32_t>(formats_.size() - 1);
    formatIndex_.emplace(format, index);
    return index;
}

std::string_view CellGrid::text(std::uint32_t index) const {
    const std::uint32_t begin = index == 0 ? 0 : textEnds_[index - 1];
    return std::string_view(chars_).substr(begin, textEnds_[index] - begin);
}

ClipCell CellGrid::cellOf(const Slot& slot) const {
    ClipCell cell;
    cell.numberFormat = formats_[slot.format];
    switch (static_cast<Value::Kind>(slot.kind)) {
        case Value::Kind::Empty:
            break;
        case Value::Kind::Number:
            cell.value = Value::number(slot.number);
            break;
        case Value::Kind::Date:
            cell.value = Value::date(slot.number);
            break;
        case Value::Kind::Boolean:
            cell.value = Value::boolean(slot.number != 0);
            break;
        case Value::Kind::Text:
            cell.value = Value::text(std::string(text(slot.text)));
            break;
        case Value::Kind::Error:
            cell.value = Value::error(std::string(text(slot.text)));
            break;
    }
    return cell;
}

std::optional<ClipCell> CellGrid::find(CellPos pos) const {
    const Slot* slot = slotAt(pos);
    return slot ? std::optional<ClipCell>(cellOf(*slot)) : std::nullopt;
}

bool CellGrid::contains(CellPos pos) const {
    return slotAt(pos) != nullptr;
}

std::optional<Area> CellGrid::bounds() const {
    std::optional<Area> all;
    for (const Row& row : rows_) {
        if (row.cells.empty()) {
            continue;
        }
        const int left = row.cells.front().column;
        const int right = row.cells.back().column;
        if (!all) {
            all = Area{row.row, left, row.row, right};
        }
        all->left = std::min(all->left, left);
        all->right = std::max(all->right, right);
        all->bottom = row.row;
    }
    return all;
}

CellMap CellGrid::toMap() const {
    CellMap cells;
    forEach(
        [&](CellPos pos, ClipCell cell) { cells.emplace_hint(cells.end(), pos, std::move(cell)); });
    return cells;
}

}  // namespace office::excel::detail
