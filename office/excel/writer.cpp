// Writing changes back into the package: cells of changed worksheets edited in their XML
// (everything else in the part kept), new shared strings appended (styles: style_writer.cpp),
// the dimension and grown tables updated, calcChain dropped when formulas were overwritten.

#include <algorithm>
#include <map>
#include <set>
#include <span>

#include "office/error.h"
#include "office/excel/model.h"
#include "office/excel/number_format.h"
#include "office/excel/text_escapes.h"
#include "office/excel/writer_parts.h"
#include "office/package/xml.h"

namespace office::excel::detail {

namespace {

constexpr std::string_view kMainNs = package::ns::kSpreadsheet;

// Text as SpreadsheetML holds it: characters XML 1.0 cannot carry go out as _xHHHH_, as Office
// writes them, and literal "_xHHHH_" text keeps its meaning through an escaped underscore.
std::string sheetText(std::string_view text) {
    return spreadsheetEscaped(text);
}

void setText(pugi::xml_node t, std::string_view text) {
    const std::string escaped = sheetText(text);
    t.text().set(escaped.c_str());
    if (!escaped.empty() && (escaped.front() == ' ' || escaped.back() == ' ' ||
                             escaped.find('\n') != std::string::npos)) {
        t.append_attribute("xml:space") = "preserve";
    }
}

// ---- worksheets ----

struct SheetWriter {
    WorkbookImpl& book;
    SheetImpl& sheet;
    pugi::xml_node root;
    pugi::xml_node sheetData;
    std::string prefix;
    std::map<int, pugi::xml_node> rows;  // the row elements by number

    // Gives every row and cell its r attribute, so that inserting one does not shift others.
    void numberEverything() {
        int rowNumber = 0;
        for (auto row : sheetData.children()) {
            if (localName(row) != "row") {
                continue;
            }
            auto r = row.attribute("r");
            rowNumber = r ? r.as_int() : rowNumber + 1;
            if (!r) {
                row.append_attribute("r") = rowNumber;
            }
            rows.emplace(rowNumber, row);
            int column = 0;
            for (auto c : row.children()) {
                if (localName(c) != "c") {
                    continue;
                }
                auto cr = c.attribute("r");
                int ignored = 0;
                if (cr && parseCell(cr.value(), ignored, column)) {
                    continue;
                }
                ++column;
                if (!cr) {
                    cr = c.prepend_attribute("r");
                }
                cr = (columnName(column) + std::to_string(rowNumber)).c_str();
            }
        }
    }

    pugi::xml_node rowNode(int number) {
        const auto found = rows.lower_bound(number);
        if (found != rows.end() && found->first == number) {
            return found->second;
        }
        auto fresh = found != rows.end()
                         ? sheetData.insert_child_before((prefix + "row").c_str(), found->second)
                         : sheetData.append_child((prefix + "row").c_str());
        fresh.append_attribute("r") = number;
        rows.emplace(number, fresh);
        return fresh;
    }

    // The cell of `column` in `row`, made where it is missing. The search starts at `from` (the
    // row's first child where null): the cells of a row are written left to right, and a
    // search from the row's start for each of them would make a wide row quadratic.
    pugi::xml_node cellNode(pugi::xml_node row, int rowNumber, int column, pugi::xml_node from) {
        const std::string name = columnName(column) + std::to_string(rowNumber);
        for (auto c = from ? from : row.first_child(); c; c = c.next_sibling()) {
            if (localName(c) != "c") {
                continue;
            }
            int r = 0, col = 0;
            parseCell(c.attribute("r").value(), r, col);
            if (col == column) {
                return c;
            }
            if (col > column) {
                auto fresh = row.insert_child_before((prefix + "c").c_str(), c);
                fresh.append_attribute("r") = name.c_str();
                return fresh;
            }
        }
        auto fresh = row.append_child((prefix + "c").c_str());
        fresh.append_attribute("r") = name.c_str();
        return fresh;
    }

    static void setAttribute(pugi::xml_node node, const char* name, const std::string& value) {
        auto attribute = node.attribute(name);
        if (!attribute) {
            attribute = node.append_attribute(name);
        }
        attribute = value.c_str();
    }

    // The cell's format index as the cell goes out: a format the styles do not hold (an index
    // past the end of a source's cellXfs, read as the plain format) is written as the plain one,
    // so that no reader meets an index without a format.
    std::uint32_t styleOf(const Cell& cell) const {
        return cell.style < book.styles.xfs.size() ? cell.style : 0;
    }

    void writeStyle(pugi::xml_node c, const Cell& cell) {
        if (styleOf(cell) == 0) {
            c.remove_attribute("s");
            return;
        }
        setAttribute(c, "s", std::to_string(cell.style));
    }

    void writeValue(pugi::xml_node c, const Cell& cell) {
        for (const char* name : {"f", "v", "is"}) {
            while (auto node = child(c, name)) {
                if (std::string_view(name) == "f") {
                    book.formulaOverwritten = true;
                }
                c.remove_child(node);
            }
        }
        c.remove_attribute("t");
        auto v = [&](const std::string& text) {
            c.append_child((prefix + "v").c_str()).text().set(text.c_str());
        };
        switch (cell.kind) {
            case CellKind::Blank:
                return;
            case CellKind::Number:
                v(numberText(cell.number));
                return;
            case CellKind::Shared:
                setAttribute(c, "t", "s");
                v(std::to_string(cell.index));
                return;
            case CellKind::Text: {
                setAttribute(c, "t", "inlineStr");
                auto t =
                    c.append_child((prefix + "is").c_str()).append_child((prefix + "t").c_str());
                setText(t, std::string(book.texts[cell.index]));
                return;
            }
            case CellKind::Boolean:
                setAttribute(c, "t", "b");
                v(cell.number != 0 ? "1" : "0");
                return;
            case CellKind::Error:
                setAttribute(c, "t", "e");
                v(std::string(book.texts[cell.index]));
                return;
        }
    }

    // Writes one cell into its existing row. `cursor` is where the row's search for the next
    // cell to the right starts; writeCell moves it past this cell.
    void writeCell(const Written& written, pugi::xml_node& cursor) {
        const Cell* cell = sheet.cells.find(written.row, written.column);
        auto row = rowNode(written.row);
        auto c = cellNode(row, written.row, written.column, cursor);
        cursor = c;
        const Cell blank{};
        const Cell& data = cell ? *cell : blank;
        writeStyle(c, data);
        if (written.value) {
            writeValue(c, data);
        }
        if (data.kind == CellKind::Blank && styleOf(data) == 0 && !child(c, "f")) {
            cursor = c.next_sibling();
            row.remove_child(c);
        }
        row.remove_attribute("spans");
    }

    void writeDimension() {
        int top = 0, left = 0, bottom = 0, right = 0;
        for (const auto& row : sheet.cells.rows()) {
            if (row.cells.empty()) {
                continue;
            }
            top = top == 0 ? row.row : top;
            bottom = row.row;
            const int first = row.cells.front().column;
            const int last = row.cells.back().column;
            left = left == 0 ? first : std::min(left, first);
            right = std::max(right, last);
        }
        std::string ref = "A1";
        if (top != 0) {
            ref = columnName(left) + std::to_string(top);
            if (bottom != top || right != left) {
                ref += ':';
                ref += columnName(right);
                ref += std::to_string(bottom);
            }
        }
        auto dimension = child(root, "dimension");
        if (!dimension) {
            auto sheetPr = child(root, "sheetPr");
            dimension = sheetPr ? root.insert_child_after((prefix + "dimension").c_str(), sheetPr)
                                : root.prepend_child((prefix + "dimension").c_str());
        }
        setAttribute(dimension, "ref", ref);
    }

    void write() {
        // Sorted and made one entry per cell in place (a value write wins over a style write):
        // a large paste writes a great many cells, and copies of the list would cost as much.
        auto& unique = sheet.written;
        const auto byPosition = [](const Written& a, const Written& b) {
            return a.row != b.row ? a.row < b.row : a.column < b.column;
        };
        if (!std::is_sorted(unique.begin(), unique.end(), byPosition)) {
            std::sort(unique.begin(), unique.end(), byPosition);
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < unique.size(); ++i) {
            const Written& w = unique[i];
            if (kept > 0 && unique[kept - 1].row == w.row && unique[kept - 1].column == w.column) {
                unique[kept - 1].value = unique[kept - 1].value || w.value;
                continue;
            }
            unique[kept++] = w;
        }
        unique.resize(kept);
        numberEverything();
        for (std::size_t i = 0; i < unique.size();) {
            std::size_t end = i;
            while (end < unique.size() && unique[end].row == unique[i].row) {
                ++end;
            }
            const std::span<const Written> row(unique.data() + i, end - i);
            if (rows.contains(row.front().row)) {
                pugi::xml_node cursor;
                for (const auto& w : row) {
                    writeCell(w, cursor);
                }
            } else {
                addRow(row);
            }
            i = end;
        }
        flushRows();
        writeDimension();
    }

    // ---- rows the sheet does not have yet, written as text ----
    // A large paste adds many thousand rows; as elements they would cost several times their
    // text until the part is saved. They go in as one text per run of new rows between two
    // existing ones, written as writeCell would write them into a new row.

    std::string newRows{};           // the text of the current run
    pugi::xml_node newRowsBefore{};  // the existing row the run goes before (null: at the end)
    std::size_t newRowCells = 0;     // cells in the run, to keep a small run as elements

    static constexpr std::size_t kCellsAsText = 256;
    // A run's text is handed to the tree in pieces of about this size, so that it is not held
    // twice at its full size.
    static constexpr std::size_t kPieceBytes = 1 << 20;

    void flushRows() {
        if (newRows.empty()) {
            return;
        }
        const auto marker = package::insertXmlText(sheetData, newRowsBefore, newRows);
        if (newRowCells < kCellsAsText) {
            package::expandXmlText(marker);
        }
        newRows.clear();
        newRowCells = 0;
    }

    void addRow(std::span<const Written> row) {
        const int number = row.front().row;
        const auto next = rows.lower_bound(number);
        const pugi::xml_node before = next == rows.end() ? pugi::xml_node() : next->second;
        if (!newRows.empty() && (before != newRowsBefore || newRows.size() >= kPieceBytes)) {
            flushRows();
        }
        newRowsBefore = before;
        newRows += '<' + prefix + "row r=\"" + std::to_string(number) + '"';
        const std::size_t open = newRows.size();
        for (const auto& w : row) {
            appendCell(w);
        }
        if (newRows.size() == open) {
            newRows += "/>";
            return;
        }
        newRows.insert(open, 1, '>');
        newRows += "</" + prefix + "row>";
    }

    void appendValue(std::string_view name, std::string_view type, std::string_view text) {
        if (!type.empty()) {
            newRows += " t=\"";
            newRows += type;
            newRows += '"';
        }
        newRows += "><" + prefix;
        newRows += name;
        newRows += '>';
        package::appendEscaped(newRows, text, package::Context::Text);
        newRows += "</" + prefix;
        newRows += name;
        newRows += "></" + prefix + "c>";
    }

    void appendText(std::string_view text) {
        const std::string escaped = sheetText(text);
        const bool preserve =
            !escaped.empty() && (escaped.front() == ' ' || escaped.back() == ' ' ||
                                 escaped.find('\n') != std::string::npos);
        newRows += " t=\"inlineStr\"><" + prefix + "is><" + prefix + "t";
        newRows += preserve ? " xml:space=\"preserve\">" : ">";
        package::appendEscaped(newRows, escaped, package::Context::Text);
        newRows += "</" + prefix + "t></" + prefix + "is></" + prefix + "c>";
    }

    void appendCell(const Written& written) {
        const Cell* cell = sheet.cells.find(written.row, written.column);
        const Cell blank{};
        const Cell& data = cell ? *cell : blank;
        if (data.kind == CellKind::Blank && styleOf(data) == 0) {
            return;
        }
        ++newRowCells;
        newRows += '<' + prefix + "c r=\"" + columnName(written.column) +
                   std::to_string(written.row) + '"';
        if (styleOf(data) != 0) {
            newRows += " s=\"" + std::to_string(data.style) + '"';
        }
        if (!written.value) {
            newRows += "/>";
            return;
        }
        switch (data.kind) {
            case CellKind::Blank:
                newRows += "/>";
                return;
            case CellKind::Number:
                return appendValue("v", {}, numberText(data.number));
            case CellKind::Shared:
                return appendValue("v", "s", std::to_string(data.index));
            case CellKind::Text:
                return appendText(book.texts[data.index]);
            case CellKind::Boolean:
                return appendValue("v", "b", data.number != 0 ? "1" : "0");
            case CellKind::Error:
                return appendValue("v", "e", book.texts[data.index]);
        }
    }
};

// ---- tables ----

std::string cellText(const WorkbookImpl& book, const SheetImpl& sheet, int row, int column) {
    const Value value = cellValue(book, sheet.cells.find(row, column));
    if (value.kind() == Value::Kind::Text) {
        return value.asText();
    }
    return value.toString();
}

// The cells given a non-blank value since the last save.
// Sorted, so that a large paste costs a few bytes a cell here.
using CellSet = std::vector<std::pair<int, int>>;

CellSet filledByWrites(const SheetImpl& sheet) {
    CellSet cells;
    for (const auto& w : sheet.written) {
        const Cell* cell = sheet.cells.find(w.row, w.column);
        if (w.value && cell && cell->kind != CellKind::Blank) {
            cells.emplace_back(w.row, w.column);
        }
    }
    if (!std::is_sorted(cells.begin(), cells.end())) {
        std::sort(cells.begin(), cells.end());
    }
    return cells;
}

// Grows the table over written cells right below its last row or right of its last column.
bool grow(const CellSet& filled, TablePart& table) {
    auto written = [&filled](int row, int column) {
        return std::binary_search(filled.begin(), filled.end(), std::pair{row, column});
    };
    bool grown = false;
    for (bool again = true; again;) {
        again = false;
        for (int c = table.firstColumn; c <= table.lastColumn && !again; ++c) {
            again = table.lastRow < kMaxRows && written(table.lastRow + 1, c);
        }
        if (again) {
            ++table.lastRow;
            grown = true;
            continue;
        }
        for (int r = table.firstRow; r <= table.lastRow && !again; ++r) {
            again = table.lastColumn < kMaxColumns && written(r, table.lastColumn + 1);
        }
        if (again) {
            ++table.lastColumn;
            grown = true;
        }
    }
    return grown;
}

std::string lowerAscii(std::string text) {
    for (auto& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// Column names follow the header cells (they must, or the table is repaired); blanks and
// repeats get "ColumnN" names as the spreadsheet gives them.
void syncColumns(const WorkbookImpl& book, const SheetImpl& sheet, const TablePart& table,
                 pugi::xml_node tableNode) {
    auto columns = child(tableNode, "tableColumns");
    if (!columns) {
        return;
    }
    const bool header = tableNode.attribute("headerRowCount").as_int(1) != 0;
    const int wanted = table.lastColumn - table.firstColumn + 1;
    const std::string prefix = mainPrefix(columns);
    unsigned highestId = 0;
    for (const auto& node : columns.children()) {
        highestId = std::max(highestId, node.attribute("id").as_uint());
    }
    while (countItems(columns) < wanted) {
        auto column = columns.append_child((prefix + "tableColumn").c_str());
        column.append_attribute("id") = ++highestId;
        column.append_attribute("name") = "";
    }
    updateCount(columns);
    std::set<std::string> used;
    int index = 0;
    for (auto node : columns.children()) {
        if (node.type() != pugi::node_element) {
            continue;
        }
        ++index;
        std::string name =
            header ? cellText(book, sheet, table.firstRow, table.firstColumn + index - 1)
                   : std::string(node.attribute("name").value());
        if (name.empty() || used.count(lowerAscii(name))) {
            for (int n = index;; ++n) {
                name = "Column" + std::to_string(n);
                if (!used.count(lowerAscii(name))) {
                    break;
                }
            }
        }
        used.insert(lowerAscii(name));
        node.attribute("name").set_value(sheetText(name).c_str());
    }
}

bool headerWritten(const SheetImpl& sheet, const TablePart& table) {
    return std::any_of(sheet.written.begin(), sheet.written.end(), [&](const Written& w) {
        return w.value && w.row == table.firstRow && w.column >= table.firstColumn &&
               w.column <= table.lastColumn;
    });
}

// Tables that grew get their new extent; tables whose header cells were written get their
// column names from them. Other tables are left as they are.
void updateTables(WorkbookImpl& book, SheetImpl& sheet) {
    if (sheet.tables.empty()) {
        return;
    }
    const CellSet filled = filledByWrites(sheet);
    for (auto& table : sheet.tables) {
        const bool grown = grow(filled, table);
        if (!grown && !headerWritten(sheet, table)) {
            continue;
        }
        auto& doc = book.package.xml(table.part);
        auto node = doc.document_element();
        const std::string ref = columnName(table.firstColumn) + std::to_string(table.firstRow) +
                                ":" + columnName(table.lastColumn) + std::to_string(table.lastRow);
        if (grown) {
            node.attribute("ref").set_value(ref.c_str());
            if (auto filter = child(node, "autoFilter")) {
                filter.attribute("ref").set_value(ref.c_str());
            }
        }
        syncColumns(book, sheet, table, node);
        book.package.markDirty(table.part);
    }
}

// ---- shared strings ----

// Fewer new strings than this go in as elements; more as one text in the tree (see
// insertXmlText), which costs a fraction of their elements until the part is saved.
constexpr std::size_t kStringsAsText = 256;

// Appends <si> items for strings[from] on to the sst element, as setText writes their text.
void appendStrings(pugi::xml_node sst, const std::string& prefix,
                   const std::vector<std::string>& strings, std::size_t from) {
    if (strings.size() - from < kStringsAsText) {
        for (std::size_t i = from; i < strings.size(); ++i) {
            setText(sst.append_child((prefix + "si").c_str()).append_child((prefix + "t").c_str()),
                    strings[i]);
        }
        return;
    }
    std::string text;
    for (std::size_t i = from; i < strings.size(); ++i) {
        const std::string escaped = sheetText(strings[i]);
        const bool preserve =
            !escaped.empty() && (escaped.front() == ' ' || escaped.back() == ' ' ||
                                 escaped.find('\n') != std::string::npos);
        text += '<' + prefix + "si><" + prefix + 't';
        text += preserve ? " xml:space=\"preserve\">" : ">";
        package::appendEscaped(text, escaped, package::Context::Text);
        text += "</" + prefix + "t></" + prefix + "si>";
    }
    package::insertXmlText(sst, {}, text);
}

void writeSharedStrings(WorkbookImpl& book) {
    std::size_t uses = 0;
    for (const auto& sheet : book.sheets) {
        for (const auto& row : sheet->cells.rows()) {
            for (const auto& cell : row.cells) {
                uses += cell.kind == CellKind::Shared ? 1 : 0;
            }
        }
    }
    if (book.sharedStringsPart.empty()) {
        if (book.sharedStrings.empty()) {
            return;
        }
        book.sharedStringsPart = newPartName(book, "xl/sharedStrings");
        pugi::xml_document doc;
        doc.append_child(pugi::node_declaration).append_attribute("version") = "1.0";
        doc.first_child().append_attribute("encoding") = "UTF-8";
        doc.first_child().append_attribute("standalone") = "yes";
        doc.append_child("sst").append_attribute("xmlns") = std::string(kMainNs).c_str();
        addWorkbookPart(
            book, book.sharedStringsPart, doc,
            "application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml",
            "sharedStrings");
    }
    auto& doc = book.package.xml(book.sharedStringsPart);
    auto sst = doc.document_element();
    const std::string prefix = mainPrefix(sst);
    appendStrings(sst, prefix, book.sharedStrings, book.sharedStringsInFile);
    for (const char* name : {"count", "uniqueCount"}) {
        if (!sst.attribute(name)) {
            sst.append_attribute(name);
        }
    }
    sst.attribute("count") = static_cast<unsigned long long>(uses);
    sst.attribute("uniqueCount") = static_cast<unsigned long long>(book.sharedStrings.size());
    book.sharedStringsInFile = book.sharedStrings.size();
    book.package.markDirty(book.sharedStringsPart);
}

void dropCalcChain(WorkbookImpl& book) {
    auto rels = book.package.relationships(book.workbookPart);
    const auto* chain = rels.findByType("/calcChain");
    if (!chain) {
        return;
    }
    const std::string part = package::resolveTarget(book.workbookPart, chain->target);
    rels.remove(std::string(chain->id));
    book.package.setRelationships(book.workbookPart, rels);
    if (book.package.has(part)) {
        book.package.remove(part);
    }
}

bool overlap(const Area& a, const Area& b) {
    return a.top <= b.bottom && b.top <= a.bottom && a.left <= b.right && b.left <= a.right;
}

}  // namespace

void unmergeAreas(WorkbookImpl& book, const SheetImpl& sheet, const std::vector<Area>& areas) {
    auto root = book.package.xml(sheet.part).document_element();
    auto list = child(root, "mergeCells");
    std::vector<pugi::xml_node> covered;
    for (auto merge : list.children()) {
        const auto area = parseArea(merge.attribute("ref").value());
        if (area && std::any_of(areas.begin(), areas.end(),
                                [&](const Area& a) { return overlap(a, *area); })) {
            covered.push_back(merge);
        }
    }
    if (covered.empty()) {
        return;
    }
    for (auto merge : covered) {
        list.remove_child(merge);
    }
    updateCount(list);
    if (countItems(list) == 0) {
        root.remove_child(list);
    }
    book.package.markDirty(sheet.part);
}

void storeChanges(WorkbookImpl& book) {
    bool any = false;
    for (const auto& sheet : book.sheets) {
        if (sheet->written.empty()) {
            continue;
        }
        any = true;
        if (sheet->part.empty()) {
            throw Error(ErrorCode::NotSupported,
                        book.where() + ": sheet \"" + sheet->name +
                            "\" has no part of its own (its relationship id is empty), so the "
                            "cells written into it cannot be kept");
        }
        auto& doc = book.package.xml(sheet->part);
        SheetWriter writer{book, *sheet, doc.document_element(), {}, {}, {}};
        writer.sheetData = child(writer.root, "sheetData");
        writer.prefix = mainPrefix(writer.root);
        if (!writer.sheetData) {
            throw Error(ErrorCode::CorruptPart,
                        book.where() + ": " + sheet->part + ": the worksheet has no sheetData");
        }
        writer.write();
        book.package.markDirty(sheet->part);
        updateTables(book, *sheet);
        sheet->written.clear();
    }
    if (!any) {
        return;
    }
    writeSharedStrings(book);
    if (book.formulaOverwritten) {
        dropCalcChain(book);
        book.formulaOverwritten = false;
    }
}

}  // namespace office::excel::detail
