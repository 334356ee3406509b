// The cell store, the style table's look-ups, cell values and A1 references.

#include <algorithm>

#include "office/error.h"
#include "office/excel/model.h"
#include "office/excel/number_format.h"

namespace office::excel::detail {

namespace {

bool rowBefore(const Row& row, int number) {
    return row.row < number;
}
bool cellBefore(const Cell& cell, int column) {
    return cell.column < column;
}

// 1462 days lie between 1900-01-00 and 1904-01-01 in the 1900 system.
constexpr double k1904Offset = 1462;

}  // namespace

const Cell* CellStore::find(int row, int column) const {
    const auto r = std::lower_bound(rows_.begin(), rows_.end(), row, rowBefore);
    if (r == rows_.end() || r->row != row) {
        return nullptr;
    }
    const auto c = std::lower_bound(r->cells.begin(), r->cells.end(), column, cellBefore);
    if (c == r->cells.end() || c->column != column) {
        return nullptr;
    }
    return &*c;
}

const Row* CellStore::findRow(int row) const {
    const auto r = std::lower_bound(rows_.begin(), rows_.end(), row, rowBefore);
    return r == rows_.end() || r->row != row ? nullptr : &*r;
}

Row& CellStore::obtainRow(int row) {
    auto r = std::lower_bound(rows_.begin(), rows_.end(), row, rowBefore);
    if (r == rows_.end() || r->row != row) {
        Row fresh;
        fresh.row = row;
        r = rows_.insert(r, std::move(fresh));
    }
    return *r;
}

Cell& CellStore::obtain(int row, int column) {
    Row& r = obtainRow(row);
    auto c = std::lower_bound(r.cells.begin(), r.cells.end(), column, cellBefore);
    if (c == r.cells.end() || c->column != column) {
        Cell fresh;
        fresh.column = static_cast<std::uint16_t>(column);
        c = r.cells.insert(c, fresh);
    }
    return *c;
}

std::size_t CellStore::cellCount() const noexcept {
    std::size_t count = 0;
    for (const auto& row : rows_) {
        count += row.cells.size();
    }
    return count;
}

std::size_t CellStore::bytesUsed() const noexcept {
    std::size_t bytes = rows_.capacity() * sizeof(Row);
    for (const auto& row : rows_) {
        bytes += row.cells.capacity() * sizeof(Cell);
    }
    return bytes;
}

std::string StyleTable::formatCode(int numFmtId) const {
    const auto custom = customFormats.find(numFmtId);
    if (custom != customFormats.end()) {
        return custom->second;
    }
    const std::string builtin = builtinNumberFormat(numFmtId);
    return builtin.empty() ? "General" : builtin;
}

const Xf& StyleTable::xf(std::uint32_t index) const {
    static const Xf plain;
    return index < xfs.size() ? xfs[index] : plain;
}

const BorderLines& StyleTable::borderOf(std::uint32_t xfIndex) const {
    static const BorderLines none;
    const auto id = xf(xfIndex).borderId;
    return id >= 0 && static_cast<std::size_t>(id) < borders.size() ? borders[id] : none;
}

std::uint32_t SheetImpl::effectiveStyle(int row, int column) const {
    const Row* r = cells.findRow(row);
    if (r) {
        const auto c = std::lower_bound(r->cells.begin(), r->cells.end(), column, cellBefore);
        if (c != r->cells.end() && c->column == column) {
            return c->style;
        }
        if (r->rowStyle != 0) {
            return r->rowStyle - 1;
        }
    }
    for (const auto& span : columnStyles) {
        if (column >= span.first && column <= span.last) {
            return span.style;
        }
    }
    return 0;
}

std::shared_ptr<WorkbookImpl> SheetImpl::openBook() const {
    auto owner = book.lock();
    if (!owner || !owner->open) {
        throw Error(ErrorCode::ObjectClosed,
                    "the workbook of sheet \"" + name + "\" was closed or its application quit");
    }
    return owner;
}

void WorkbookImpl::checkOpen() const {
    if (!open) {
        throw Error(ErrorCode::ObjectClosed,
                    where() + ": the workbook was closed or its application quit");
    }
}

void ApplicationImpl::checkRunning() const {
    if (!running) {
        throw Error(ErrorCode::ObjectClosed, "the spreadsheet application has quit");
    }
}

Cell& writableCell(SheetImpl& sheet, int row, int column) {
    if (const auto* existing = sheet.cells.find(row, column)) {
        return const_cast<Cell&>(*existing);
    }
    const auto style = sheet.effectiveStyle(row, column);
    auto& cell = sheet.cells.obtain(row, column);
    cell.style = style;
    return cell;
}

Value cellValue(const WorkbookImpl& book, const Cell* cell) {
    if (!cell) {
        return {};
    }
    switch (cell->kind) {
        case CellKind::Blank:
            return {};
        case CellKind::Number:
            if (book.styles.xf(cell->style).isDate) {
                return Value::date(book.date1904 ? cell->number + k1904Offset : cell->number);
            }
            return Value::number(cell->number);
        case CellKind::Shared:
            return Value::text(book.sharedStrings[cell->index]);
        case CellKind::Text:
            return Value::text(std::string(book.texts[cell->index]));
        case CellKind::Boolean:
            return Value::boolean(cell->number != 0);
        case CellKind::Error:
            return Value::error(std::string(book.texts[cell->index]));
    }
    return {};
}

std::uint32_t sharedString(WorkbookImpl& book, const std::string& text) {
    if (book.sharedIndex.empty()) {
        for (std::size_t i = 0; i < book.sharedStrings.size(); ++i) {
            book.sharedIndex.emplace(book.sharedStrings[i], static_cast<std::uint32_t>(i));
        }
    }
    const auto found = book.sharedIndex.find(text);
    if (found != book.sharedIndex.end()) {
        return found->second;
    }
    book.sharedStrings.push_back(text);
    const auto index = static_cast<std::uint32_t>(book.sharedStrings.size() - 1);
    book.sharedIndex.emplace(text, index);
    return index;
}

void assignValue(WorkbookImpl& book, Cell& cell, const Value& value) {
    cell.flags = 0;
    switch (value.kind()) {
        case Value::Kind::Empty:
            cell.kind = CellKind::Blank;
            cell.number = 0;
            return;
        case Value::Kind::Number:
            cell.kind = CellKind::Number;
            cell.number = value.asNumber();
            return;
        case Value::Kind::Date:
            cell.kind = CellKind::Number;
            cell.number = book.date1904 ? value.asNumber() - k1904Offset : value.asNumber();
            if (!book.styles.xf(cell.style).isDate) {
                cell.style = styleWithFormat(book, cell.style, "m/d/yyyy");
            }
            return;
        case Value::Kind::Text:
            cell.kind = CellKind::Shared;
            cell.index = sharedString(book, value.asText());
            return;
        case Value::Kind::Boolean:
            cell.kind = CellKind::Boolean;
            cell.number = value.asNumber();
            return;
        case Value::Kind::Error:
            cell.kind = CellKind::Error;
            cell.index = book.texts.add(value.asText());
            return;
    }
}

std::string columnName(int column) {
    std::string name;
    while (column > 0) {
        const int digit = (column - 1) % 26;
        name.insert(name.begin(), static_cast<char>('A' + digit));
        column = (column - 1) / 26;
    }
    return name;
}

std::string cellName(int row, int column, bool absolute) {
    std::string name;
    if (absolute) {
        name += '$';
    }
    name += columnName(column);
    if (absolute) {
        name += '$';
    }
    name += std::to_string(row);
    return name;
}

std::string areaName(const Area& area) {
    if (area.top == area.bottom && area.left == area.right) {
        return cellName(area.top, area.left);
    }
    return cellName(area.top, area.left) + ":" + cellName(area.bottom, area.right);
}

bool parseCell(std::string_view text, int& row, int& column) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    long long col = 0;
    const std::size_t lettersStart = i;
    while (i < text.size() && i - lettersStart < 4) {
        char c = text[i];
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c < 'A' || c > 'Z') {
            break;
        }
        col = col * 26 + (c - 'A' + 1);
        ++i;
    }
    if (i == lettersStart) {
        return false;
    }
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    const std::size_t digitsStart = i;
    long long r = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - digitsStart < 9) {
        r = r * 10 + (text[i] - '0');
        ++i;
    }
    if (i == digitsStart || i != text.size() || r < 1) {
        return false;
    }
    row = static_cast<int>(r);
    column = static_cast<int>(col);
    return true;
}

std::optional<Area> parseArea(std::string_view text) {
    const auto colon = text.find(':');
    int top = 0, left = 0, bottom = 0, right = 0;
    if (!parseCell(text.substr(0, colon), top, left)) {
        return std::nullopt;
    }
    bottom = top;
    right = left;
    if (colon != std::string_view::npos && !parseCell(text.substr(colon + 1), bottom, right)) {
        return std::nullopt;
    }
    const Area area{std::min(top, bottom), std::min(left, right), std::max(top, bottom),
                    std::max(left, right)};
    if (area.bottom > kMaxRows || area.right > kMaxColumns) {
        return std::nullopt;
    }
    return area;
}

}  // namespace office::excel::detail
