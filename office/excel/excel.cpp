// The public spreadsheet objects: thin handles onto the inner model.

#include "office/excel.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "office/clipboard.h"
#include "office/excel/model.h"
#include "office/excel/number_format.h"
#include "office/excel/xls/xls_reader.h"

namespace office::excel {

using detail::CellKind;
using detail::WorkbookImpl;

namespace {

[[noreturn]] void outOfSheet(int row, int column) {
    throw Error(ErrorCode::OutOfSheet,
                "the cell at row " + std::to_string(row) + ", column " + std::to_string(column) +
                    " lies beyond the worksheet (1048576 rows, 16384 columns)");
}

void checkCell(int row, int column) {
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns) {
        outOfSheet(row, column);
    }
}

std::string fileName(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::shared_ptr<Sheet> sheetObject(const std::shared_ptr<detail::SheetImpl>& sheet) {
    if (sheet->worksheet) {
        return std::make_shared<excel::Worksheet>(sheet);
    }
    return std::make_shared<Sheet>(sheet);
}

// "$A$1:$C$5" or "b2": false when the text is no address.
bool parseAddress(std::string_view address, int& row, int& column, int& lastRow, int& lastColumn) {
    const auto colon = address.find(':');
    if (colon == std::string_view::npos) {
        if (!detail::parseCell(address, row, column)) {
            return false;
        }
        lastRow = row;
        lastColumn = column;
        return true;
    }
    if (!detail::parseCell(address.substr(0, colon), row, column) ||
        !detail::parseCell(address.substr(colon + 1), lastRow, lastColumn)) {
        return false;
    }
    if (row > lastRow)
        std::swap(row, lastRow);
    if (column > lastColumn)
        std::swap(column, lastColumn);
    return true;
}

// A workbook read from a binary file is a source only: its package holds the formats and the
// layout of its sheets, not its cells.
void refuseBinarySave(const WorkbookImpl& book) {
    if (book.binary) {
        throw Error(ErrorCode::NotSupported,
                    book.where() +
                        ": a workbook read from an Excel 97-2003 file (.xls) is not saved; save "
                        "it as .xlsx in the office suite to change it");
    }
}

// ---- merged areas ----

struct Area {
    int top = 0, left = 0, bottom = 0, right = 0;

    bool inside(const Area& outer) const {
        return top >= outer.top && bottom <= outer.bottom && left >= outer.left &&
               right <= outer.right;
    }
    bool overlaps(const Area& other) const {
        return top <= other.bottom && other.top <= bottom && left <= other.right &&
               other.left <= right;
    }
    std::string ref() const {
        return detail::columnName(left) + std::to_string(top) + ":" + detail::columnName(right) +
               std::to_string(bottom);
    }
};

// "D1:F2" as an area; false for anything else (a merge of one cell merges nothing).
bool parseArea(std::string_view text, Area& area) {
    const auto colon = text.find(':');
    if (colon == std::string_view::npos ||
        !detail::parseCell(text.substr(0, colon), area.top, area.left) ||
        !detail::parseCell(text.substr(colon + 1), area.bottom, area.right)) {
        return false;
    }
    if (area.bottom < area.top) {
        std::swap(area.top, area.bottom);
    }
    if (area.right < area.left) {
        std::swap(area.left, area.right);
    }
    return true;
}

// The merged areas of a worksheet, found in the part's text without building a tree: the
// source of a copy may be a large sheet that is only read. Package::read gives edits not yet
// saved too.
std::vector<Area> mergedAreas(const WorkbookImpl& book, const std::string& part) {
    const std::string xml = book.package.read(part);
    std::vector<Area> areas;
    for (auto at = xml.find("mergeCell"); at != std::string::npos;
         at = xml.find("mergeCell", at + 9)) {
        const bool element = at > 0 && (xml[at - 1] == '<' || xml[at - 1] == ':');
        if (!element || at + 9 >= xml.size() || xml[at + 9] == 's') {
            continue;
        }
        const auto end = xml.find('>', at);
        const auto ref = xml.find("ref=", at);
        if (ref == std::string::npos || ref > end || ref + 5 >= xml.size()) {
            continue;
        }
        const char quote = xml[ref + 4];
        const auto close = xml.find(quote, ref + 5);
        Area area;
        if (close != std::string::npos &&
            parseArea(std::string_view(xml).substr(ref + 5, close - ref - 5), area)) {
            areas.push_back(area);
        }
    }
    return areas;
}

// The worksheet children that come before <mergeCells>, in their order.
constexpr std::string_view kBeforeMerges[] = {
    "sheetPr",    "dimension",   "sheetViews",      "sheetFormatPr",   "cols",
    "sheetData",  "sheetCalcPr", "sheetProtection", "protectedRanges", "scenarios",
    "autoFilter", "sortState",   "dataConsolidate", "customSheetViews"};

pugi::xml_node mergeList(pugi::xml_node root, const std::string& prefix) {
    if (auto list = detail::child(root, "mergeCells")) {
        return list;
    }
    pugi::xml_node last;
    for (auto node : root.children()) {
        const auto name = detail::localName(node);
        if (std::find(std::begin(kBeforeMerges), std::end(kBeforeMerges), name) !=
            std::end(kBeforeMerges)) {
            last = node;
        }
    }
    const std::string name = prefix + "mergeCells";
    return last ? root.insert_child_after(name.c_str(), last) : root.prepend_child(name.c_str());
}

// The merged areas of each open worksheet, scanned from its part on first use and kept up to
// date by pasteMerges, the only thing that changes them: a large source sheet is then read
// once, not at every copy. Entries of sheets that are gone are dropped as new ones come.
std::vector<Area>& knownMerges(const WorkbookImpl& book,
                               const std::shared_ptr<detail::SheetImpl>& sheet) {
    static std::map<std::weak_ptr<detail::SheetImpl>, std::vector<Area>, std::owner_less<>> cache;
    if (const auto found = cache.find(sheet); found != cache.end()) {
        return found->second;
    }
    std::erase_if(cache, [](const auto& entry) { return entry.first.expired(); });
    return cache.emplace(sheet, mergedAreas(book, sheet->part)).first->second;
}

// Gives the destination block the merges it was copied with: merges of the sheet that overlap
// the block go, the moved ones come, and the list's count follows (an empty list goes, since
// the schema wants at least one item).
void pasteMerges(WorkbookImpl& book, const std::shared_ptr<detail::SheetImpl>& target,
                 const Area& block, const std::vector<Area>& moved) {
    auto& known = knownMerges(book, target);
    const auto overlapped = [&](const Area& a) { return a.overlaps(block); };
    if (moved.empty() && std::none_of(known.begin(), known.end(), overlapped)) {
        return;
    }
    std::erase_if(known, overlapped);
    known.insert(known.end(), moved.begin(), moved.end());
    const auto& sheet = *target;
    auto& doc = book.package.xml(sheet.part);
    auto root = doc.document_element();
    const std::string rootName = root.name();
    const auto colon = rootName.find(':');
    const std::string prefix = colon == std::string::npos ? "" : rootName.substr(0, colon + 1);
    auto list = mergeList(root, prefix);
    for (auto node = list.first_child(); node;) {
        const auto next = node.next_sibling();
        Area area;
        if (detail::localName(node) == "mergeCell" &&
            parseArea(node.attribute("ref").value(), area) && area.overlaps(block)) {
            list.remove_child(node);
        }
        node = next;
    }
    for (const auto& area : moved) {
        list.append_child((prefix + "mergeCell").c_str()).append_attribute("ref") =
            area.ref().c_str();
    }
    const auto count = std::distance(list.children().begin(), list.children().end());
    if (count == 0) {
        root.remove_child(list);
    } else {
        list.remove_attribute("count");
        list.prepend_attribute("count") = static_cast<long long>(count);
    }
    book.package.markDirty(sheet.part);
}

}  // namespace

// ---- Application ----

Application::Application(std::shared_ptr<detail::ApplicationImpl> impl) : impl_(std::move(impl)) {}

std::shared_ptr<Application> Application::Create() {
    return std::make_shared<Application>(std::make_shared<detail::ApplicationImpl>());
}

bool Application::Visible() const {
    impl_->checkRunning();
    return impl_->visible;
}

void Application::SetVisible(bool visible) {
    impl_->checkRunning();
    impl_->visible = visible;
}

int Application::WindowState() const {
    impl_->checkRunning();
    return impl_->windowState;
}

void Application::SetWindowState(int state) {
    impl_->checkRunning();
    if (state != xlMaximized && state != xlMinimized && state != xlNormal) {
        throw Error(ErrorCode::InvalidArgument, "window state " + std::to_string(state) +
                                                    " is not one of xlMaximized, "
                                                    "xlMinimized, xlNormal");
    }
    impl_->windowState = state;
}

bool Application::DisplayAlerts() const {
    impl_->checkRunning();
    return impl_->displayAlerts;
}

void Application::SetDisplayAlerts(bool on) {
    impl_->checkRunning();
    impl_->displayAlerts = on;
}

std::shared_ptr<excel::Workbooks> Application::Workbooks() {
    impl_->checkRunning();
    return std::make_shared<excel::Workbooks>(impl_);
}

void Application::Quit() {
    impl_->checkRunning();
    for (const auto& book : impl_->books) {
        book->open = false;
    }
    impl_->books.clear();
    impl_->running = false;
}

bool Application::IsRunning() const noexcept {
    return impl_->running;
}

// ---- Workbooks ----

Workbooks::Workbooks(std::shared_ptr<detail::ApplicationImpl> app) : app_(std::move(app)) {}

std::shared_ptr<Workbook> Workbooks::Open(const std::string& path) {
    app_->checkRunning();
    // The file is opened and read once: a compound file goes to the binary reader, which names
    // any damage; the package layer opens a zip (and says what a compound file without a
    // workbook is).
    std::shared_ptr<detail::WorkbookImpl> book;
    auto package =
        package::Package::openFile(path, "workbook", [&](std::vector<std::uint8_t>&& file) {
            book = detail::binaryWorkbookFromBytes(std::move(file), path, fileName(path));
            return book != nullptr;
        });
    if (package) {
        book = detail::loadWorkbook(std::move(*package), path);
    }
    book->app = app_;
    book->name = fileName(path);
    app_->books.push_back(book);
    return std::make_shared<Workbook>(book);
}

int Workbooks::Count() const {
    app_->checkRunning();
    return static_cast<int>(app_->books.size());
}

std::shared_ptr<Workbook> Workbooks::Item(int index) {
    app_->checkRunning();
    if (index < 1 || index > Count()) {
        throw Error(ErrorCode::IndexOutOfRange, "workbook " + std::to_string(index) + " of " +
                                                    std::to_string(Count()) + " does not exist");
    }
    return std::make_shared<Workbook>(app_->books[index - 1]);
}

// ---- Workbook ----

Workbook::Workbook(std::shared_ptr<detail::WorkbookImpl> impl) : impl_(std::move(impl)) {}

std::string Workbook::Name() const {
    impl_->checkOpen();
    return impl_->name;
}

std::string Workbook::FullName() const {
    impl_->checkOpen();
    return impl_->path;
}

std::shared_ptr<excel::Sheets> Workbook::Sheets() {
    impl_->checkOpen();
    return std::make_shared<excel::Sheets>(impl_);
}

std::shared_ptr<excel::Worksheets> Workbook::Worksheets() {
    impl_->checkOpen();
    return std::make_shared<excel::Worksheets>(impl_);
}

void Workbook::Save() {
    impl_->checkOpen();
    refuseBinarySave(*impl_);
    detail::storeChanges(*impl_);
    if (impl_->onSave) {
        impl_->onSave(impl_->package.saveBytes());
    } else {
        impl_->package.saveFile(impl_->path);
    }
    impl_->changed = false;
}

void Workbook::SaveAs(const std::string& path) {
    impl_->checkOpen();
    refuseBinarySave(*impl_);
    detail::storeChanges(*impl_);
    impl_->package.saveFile(path);
    impl_->path = path;
    impl_->name = fileName(path);
    impl_->changed = false;
}

void Workbook::Close() {
    impl_->checkOpen();
    if (impl_->onSave && impl_->changed) {
        detail::storeChanges(*impl_);
        impl_->onSave(impl_->package.saveBytes());
        impl_->changed = false;
    }
    impl_->open = false;
    if (auto app = impl_->app.lock()) {
        auto& books = app->books;
        books.erase(std::remove(books.begin(), books.end(), impl_), books.end());
    }
    impl_->ownedApp.reset();
}

bool Workbook::Date1904() const {
    impl_->checkOpen();
    return impl_->date1904;
}

std::shared_ptr<excel::Application> Workbook::Application() const {
    impl_->checkOpen();
    auto app = impl_->app.lock();
    if (!app || !app->running) {
        throw Error(ErrorCode::ObjectClosed, impl_->where() + ": its application has quit");
    }
    return std::make_shared<excel::Application>(app);
}

// ---- Sheets, Worksheets ----

Sheet::Sheet(std::shared_ptr<detail::SheetImpl> impl) : impl_(std::move(impl)) {}

std::string Sheet::Name() const {
    impl_->openBook();
    return impl_->name;
}

bool Sheet::IsWorksheet() const {
    return impl_->worksheet;
}

std::string_view Sheet::TypeName() const {
    return impl_->worksheet ? "Worksheet" : "Chart";
}

Sheets::Sheets(std::shared_ptr<detail::WorkbookImpl> book) : book_(std::move(book)) {}

int Sheets::Count() const {
    book_->checkOpen();
    return static_cast<int>(book_->sheets.size());
}

std::shared_ptr<Sheet> Sheets::Item(int index) {
    book_->checkOpen();
    if (index < 1 || index > Count()) {
        throw Error(ErrorCode::IndexOutOfRange, book_->where() + ": sheet " +
                                                    std::to_string(index) + " of " +
                                                    std::to_string(Count()) + " does not exist");
    }
    return sheetObject(book_->sheets[index - 1]);
}

Worksheets::Worksheets(std::shared_ptr<detail::WorkbookImpl> book) : book_(std::move(book)) {}

int Worksheets::Count() const {
    book_->checkOpen();
    return static_cast<int>(std::count_if(book_->sheets.begin(), book_->sheets.end(),
                                          [](const auto& sheet) { return sheet->worksheet; }));
}

std::shared_ptr<Worksheet> Worksheets::Item(int index) {
    book_->checkOpen();
    int seen = 0;
    for (const auto& sheet : book_->sheets) {
        if (sheet->worksheet && ++seen == index) {
            return std::make_shared<Worksheet>(sheet);
        }
    }
    throw Error(ErrorCode::IndexOutOfRange, book_->where() + ": worksheet " +
                                                std::to_string(index) + " of " +
                                                std::to_string(Count()) + " does not exist");
}

// ---- Worksheet ----

Worksheet::Worksheet(std::shared_ptr<detail::SheetImpl> impl) : Sheet(std::move(impl)) {}

std::shared_ptr<excel::Range> Worksheet::Range(std::string_view address) {
    impl_->openBook();
    int row = 0, column = 0, lastRow = 0, lastColumn = 0;
    if (!parseAddress(address, row, column, lastRow, lastColumn)) {
        throw Error(ErrorCode::InvalidArgument,
                    "\"" + std::string(address) + "\" is not a cell address");
    }
    checkCell(row, column);
    checkCell(lastRow, lastColumn);
    return std::make_shared<excel::Range>(impl_, row, column, lastRow, lastColumn);
}

std::shared_ptr<excel::Range> Worksheet::Range(const std::shared_ptr<excel::Range>& cell1,
                                               const std::shared_ptr<excel::Range>& cell2) {
    impl_->openBook();
    if (!cell1 || !cell2) {
        throw Error(ErrorCode::ObjectRequired, "Range needs two cells");
    }
    if (cell1->sheet() != impl_ || cell2->sheet() != impl_) {
        throw Error(ErrorCode::InvalidArgument,
                    "Range: both cells must lie on sheet \"" + impl_->name + "\"");
    }
    return std::make_shared<excel::Range>(impl_, std::min(cell1->Row(), cell2->Row()),
                                          std::min(cell1->Column(), cell2->Column()),
                                          std::max(cell1->LastRow(), cell2->LastRow()),
                                          std::max(cell1->LastColumn(), cell2->LastColumn()));
}

std::shared_ptr<excel::Range> Worksheet::Cells(int row, int column) {
    impl_->openBook();
    checkCell(row, column);
    return std::make_shared<excel::Range>(impl_, row, column, row, column);
}

std::shared_ptr<excel::Range> Worksheet::UsedRange() {
    impl_->openBook();
    int top = 0, left = kMaxColumns, bottom = 1, right = 1;
    for (const auto& row : impl_->cells.rows()) {
        if (row.cells.empty()) {
            continue;  // a row format only
        }
        top = top == 0 ? row.row : top;
        bottom = row.row;
        left = std::min<int>(left, row.cells.front().column);
        right = std::max<int>(right, row.cells.back().column);
    }
    if (top == 0) {
        return Cells(1, 1);
    }
    return std::make_shared<excel::Range>(impl_, top, left, bottom, right);
}

std::shared_ptr<excel::Workbook> Worksheet::Parent() const {
    return std::make_shared<Workbook>(impl_->openBook());
}

// ---- Range ----

Range::Range(std::shared_ptr<detail::SheetImpl> sheet, int row, int column, int lastRow,
             int lastColumn)
    : sheet_(std::move(sheet)),
      row_(row),
      column_(column),
      lastRow_(lastRow),
      lastColumn_(lastColumn) {}

office::Value Range::Value() const {
    const auto book = sheet_->openBook();
    return detail::cellValue(*book, sheet_->cells.find(row_, column_));
}

void Range::SetValue(const office::Value& value) {
    const auto book = sheet_->openBook();
    for (int r = row_; r <= lastRow_; ++r) {
        for (int c = column_; c <= lastColumn_; ++c) {
            auto& cell = detail::writableCell(*sheet_, r, c);
            if (cell.flags & detail::kHasFormula) {
                book->formulaOverwritten = true;
            }
            detail::assignValue(*book, cell, value);
            sheet_->written.push_back({r, c, true});
        }
    }
    book->changed = true;
}

std::string Range::Text() const {
    const auto book = sheet_->openBook();
    const auto value = detail::cellValue(*book, sheet_->cells.find(row_, column_));
    const auto& xf = book->styles.xf(sheet_->effectiveStyle(row_, column_));
    return detail::formatValue(value, book->styles.formatCode(xf.numFmtId));
}

std::string Range::NumberFormat() const {
    const auto book = sheet_->openBook();
    const auto& xf = book->styles.xf(sheet_->effectiveStyle(row_, column_));
    return book->styles.formatCode(xf.numFmtId);
}

void Range::SetNumberFormat(const std::string& format) {
    const auto book = sheet_->openBook();
    for (int r = row_; r <= lastRow_; ++r) {
        for (int c = column_; c <= lastColumn_; ++c) {
            auto& cell = detail::writableCell(*sheet_, r, c);
            cell.style = detail::styleWithFormat(*book, cell.style, format);
            sheet_->written.push_back({r, c, false});
        }
    }
    book->changed = true;
}

std::vector<std::string> Range::FormulasWithoutValue() const {
    const auto book = sheet_->openBook();
    std::vector<std::string> cells;
    for (int r = row_; r <= lastRow_; ++r) {
        for (int c = column_; c <= lastColumn_; ++c) {
            const detail::Cell* cell = sheet_->cells.find(r, c);
            if (cell && (cell->flags & detail::kHasFormula) &&
                cell->kind == detail::CellKind::Blank) {
                cells.push_back(detail::columnName(c) + std::to_string(r));
            }
        }
    }
    return cells;
}

std::string Range::Address() const {
    auto absolute = [](int row, int column) {
        std::string text(1, '$');
        text += detail::columnName(column);
        text += '$';
        text += std::to_string(row);
        return text;
    };
    std::string text = absolute(row_, column_);
    if (lastRow_ != row_ || lastColumn_ != column_) {
        text += ':';
        text += absolute(lastRow_, lastColumn_);
    }
    return text;
}

std::shared_ptr<excel::Range> Range::Offset(int rows, int columns) const {
    sheet_->openBook();
    const long long top = static_cast<long long>(row_) + rows;
    const long long left = static_cast<long long>(column_) + columns;
    const long long bottom = static_cast<long long>(lastRow_) + rows;
    const long long right = static_cast<long long>(lastColumn_) + columns;
    if (top < 1 || left < 1 || bottom > kMaxRows || right > kMaxColumns) {
        outOfSheet(static_cast<int>(std::clamp<long long>(bottom, INT32_MIN, INT32_MAX)),
                   static_cast<int>(std::clamp<long long>(right, INT32_MIN, INT32_MAX)));
    }
    return std::make_shared<excel::Range>(sheet_, static_cast<int>(top), static_cast<int>(left),
                                          static_cast<int>(bottom), static_cast<int>(right));
}

std::shared_ptr<excel::Range> Range::Item(int row, int column) const {
    sheet_->openBook();
    const long long r = static_cast<long long>(row_) + row - 1;
    const long long c = static_cast<long long>(column_) + column - 1;
    if (r < 1 || c < 1 || r > kMaxRows || c > kMaxColumns) {
        outOfSheet(static_cast<int>(std::clamp<long long>(r, INT32_MIN, INT32_MAX)),
                   static_cast<int>(std::clamp<long long>(c, INT32_MIN, INT32_MAX)));
    }
    return std::make_shared<excel::Range>(sheet_, static_cast<int>(r), static_cast<int>(c),
                                          static_cast<int>(r), static_cast<int>(c));
}

Border Range::Borders(int index) const {
    const auto book = sheet_->openBook();
    int edge = 0;
    switch (index) {
        case xlEdgeLeft:
        case xlLeft:
            edge = 0;
            break;
        case xlEdgeRight:
        case xlRight:
            edge = 1;
            break;
        case xlEdgeTop:
        case xlTop:
            edge = 2;
            break;
        case xlEdgeBottom:
        case xlBottom:
            edge = 3;
            break;
        case xlDiagonalDown:
            edge = 4;
            break;
        case xlDiagonalUp:
            edge = 5;
            break;
        default:
            throw Error(ErrorCode::InvalidArgument,
                        "border index " + std::to_string(index) + " is not an XlBordersIndex");
    }
    const auto& lines = book->styles.borderOf(sheet_->effectiveStyle(row_, column_));
    return Border(lines.edges[edge].lineStyle, lines.edges[edge].weight);
}

void Range::Copy() const {
    const auto book = sheet_->openBook();
    CellBlock block;
    block.rows = RowCount();
    block.columns = ColumnCount();
    block.cells.reserve(static_cast<std::size_t>(block.rows) * block.columns);
    for (int r = row_; r <= lastRow_; ++r) {
        for (int c = column_; c <= lastColumn_; ++c) {
            ClipCell cell;
            cell.value = detail::cellValue(*book, sheet_->cells.find(r, c));
            const auto& xf = book->styles.xf(sheet_->effectiveStyle(r, c));
            cell.numberFormat = book->styles.formatCode(xf.numFmtId);
            block.cells.push_back(std::move(cell));
        }
    }
    Clipboard::instance().set(std::move(block));
}

void Range::Copy(const std::shared_ptr<excel::Range>& destination) const {
    const auto book = sheet_->openBook();
    if (!destination) {
        throw Error(ErrorCode::ObjectRequired, "Copy needs a destination range");
    }
    auto& target = *destination->sheet();
    const auto targetBook = target.openBook();
    const int top = destination->Row();
    const int left = destination->Column();
    if (top + (lastRow_ - row_) > kMaxRows || left + (lastColumn_ - column_) > kMaxColumns) {
        outOfSheet(top + (lastRow_ - row_), left + (lastColumn_ - column_));
    }
    // Read the whole block first: source and destination may overlap.
    struct Source {
        office::Value value;
        std::uint32_t style;
    };
    std::vector<Source> block;
    for (int r = row_; r <= lastRow_; ++r) {
        for (int c = column_; c <= lastColumn_; ++c) {
            block.push_back(
                {detail::cellValue(*book, sheet_->cells.find(r, c)), sheet_->effectiveStyle(r, c)});
        }
    }
    // Merges wholly inside the block travel with it; one that sticks out is left behind.
    const Area source{row_, column_, lastRow_, lastColumn_};
    std::vector<Area> merges;
    if (sheet_->worksheet) {
        for (auto area : knownMerges(*book, sheet_)) {
            if (!area.inside(source)) {
                continue;
            }
            area = {area.top - row_ + top, area.left - column_ + left, area.bottom - row_ + top,
                    area.right - column_ + left};
            merges.push_back(area);
        }
    }
    detail::StyleImporter styles(*book, *targetBook);
    std::size_t i = 0;
    for (int r = 0; r <= lastRow_ - row_; ++r) {
        for (int c = 0; c <= lastColumn_ - column_; ++c, ++i) {
            auto& cell = detail::writableCell(target, top + r, left + c);
            if (cell.flags & detail::kHasFormula) {
                targetBook->formulaOverwritten = true;
            }
            cell.style = styles.import(block[i].style);
            detail::assignValue(*targetBook, cell, block[i].value);
            target.written.push_back({top + r, left + c, true});
        }
    }
    pasteMerges(*targetBook, destination->sheet(),
                {top, left, top + (lastRow_ - row_), left + (lastColumn_ - column_)}, merges);
    targetBook->changed = true;
}

std::shared_ptr<excel::Worksheet> Range::Worksheet() const {
    sheet_->openBook();
    return std::make_shared<excel::Worksheet>(sheet_);
}

}  // namespace office::excel
