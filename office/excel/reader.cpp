// Reading a workbook package into the inner model: the workbook part found through the
// package relationships, its sheets through the workbook's relationships, shared strings,
// styles and the cells of every worksheet.

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "office/error.h"
#include "office/excel/embedded.h"
#include "office/excel/model.h"
#include "office/excel/number_format.h"
#include "office/excel/text_escapes.h"
#include "office/package/xml.h"

namespace office::excel::detail {

namespace {

constexpr std::string_view kWorkbookTypes[] = {
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml",
    "application/vnd.ms-excel.sheet.macroEnabled.main+xml",
    "application/vnd.openxmlformats-officedocument.spreadsheetml.template.main+xml",
    "application/vnd.ms-excel.template.macroEnabled.main+xml",
};

[[noreturn]] void corrupt(const WorkbookImpl& book, std::string_view part,
                          const std::string& what) {
    throw Error(ErrorCode::CorruptPart, book.where() + ": " + std::string(part) + ": " + what);
}

// The parsed part: the package's shared tree when the workbook is about to be edited (so that
// the writer does not parse it again), else a tree of its own in `scratch`.
const pugi::xml_document& parsed(WorkbookImpl& book, const std::string& part,
                                 pugi::xml_document& scratch) {
    if (book.keepTrees) {
        return book.package.xml(part);
    }
    scratch = book.package.readXml(part);
    return scratch;
}

bool isTrue(const pugi::xml_attribute& attribute) {
    const std::string_view text = attribute.value();
    return text == "1" || text == "true";
}

// The relationship id of an element (r:id, whatever the prefix).
std::string_view relationshipId(const pugi::xml_node& node) {
    for (const auto& attribute : node.attributes()) {
        const std::string_view name = attribute.name();
        if (name.size() > 3 && name.substr(name.size() - 3) == ":id") {
            return attribute.value();
        }
    }
    return {};
}

// Undoes the _xHHHH_ escapes that OOXML uses for characters XML cannot carry.
std::string decodeEscapes(std::string_view text) {
    return spreadsheetUnescaped(text);
}

// The text of a string item (<si> or <is>): its <t>, or its runs' <t> joined; phonetic runs
// are left out.
std::string stringItem(const pugi::xml_node& item) {
    std::string text;
    for (const auto& node : item.children()) {
        const auto name = localName(node);
        if (name == "t") {
            text += node.text().get();
        } else if (name == "r") {
            text += child(node, "t").text().get();
        }
    }
    return decodeEscapes(text);
}

void readSharedStrings(WorkbookImpl& book, const std::string& part) {
    pugi::xml_document scratch;
    const auto& doc = parsed(book, part, scratch);
    const auto root = doc.document_element();
    if (localName(root) != "sst") {
        corrupt(book, part, "root element is not sst");
    }
    for (const auto& item : root.children()) {
        if (localName(item) == "si") {
            book.sharedStrings.push_back(stringItem(item));
        }
    }
    book.sharedStringsInFile = book.sharedStrings.size();
}

void readStyles(WorkbookImpl& book, const std::string& part) {
    StyleTable& styles = book.styles;
    if (part.empty()) {
        styles.xfs.push_back({});
        return;
    }
    pugi::xml_document scratch;
    const auto& doc = parsed(book, part, scratch);
    const auto root = doc.document_element();
    if (localName(root) != "styleSheet") {
        corrupt(book, part, "root element is not styleSheet");
    }
    readStyleSheet(root, styles);
}

bool parseNumber(std::string_view text, double& number) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (ec != std::errc() || !std::isfinite(number)) {
        return false;
    }
    for (auto p = end; p != text.data() + text.size(); ++p) {
        if (*p != ' ' && *p != '\n' && *p != '\t' && *p != '\r') {
            return false;
        }
    }
    return true;
}

// "2024-03-01T12:30:00" as a serial day number of the 1900 system; false when it is not one.
bool parseIsoDate(std::string_view text, double& serial) {
    int y = 0, m = 0, d = 0, hh = 0, mm = 0;
    double ss = 0;
    const int fields =
        std::sscanf(std::string(text).c_str(), "%d-%d-%dT%d:%d:%lf", &y, &m, &d, &hh, &mm, &ss);
    if (fields < 3 || m < 1 || m > 12 || d < 1 || d > 31 || y < 1900 || y > 9999) {
        return false;
    }
    using namespace std::chrono;
    const auto day = sys_days(year(y) / month(static_cast<unsigned>(m)) / static_cast<unsigned>(d));
    long long count = (day - sys_days(year(1899) / December / 30)).count();
    if (count < 61) {
        count -= 1;  // the 1900 system counts a 29 February 1900
    }
    serial = static_cast<double>(count) + (hh * 3600 + mm * 60 + ss) / 86400.0;
    return true;
}

struct SheetReader {
    WorkbookImpl& book;
    const SheetImpl& sheet;

    [[noreturn]] void fail(const std::string& what) const { corrupt(book, sheet.part, what); }

    std::uint32_t addText(std::string_view text) { return book.texts.add(text); }

    std::string cellName(int row, int column) const {
        return columnName(column) + std::to_string(row);
    }

    void readValue(const pugi::xml_node& node, Cell& cell, int row) {
        const std::string_view type = node.attribute("t").value();
        const pugi::xml_node v = child(node, "v");
        const char* text = v.text().get();
        if (child(node, "f")) {
            cell.flags |= kHasFormula;
        }
        if (type == "inlineStr") {
            // Some writers put the string inside <v>; it is taken from there too.
            const auto is = child(node, "is") ? child(node, "is") : child(v, "is");
            if (is) {
                cell.kind = CellKind::Text;
                cell.index = addText(stringItem(is));
            }
            return;
        }
        if (!v || *text == '\0') {
            return;  // a styled blank, or a formula without a cached value
        }
        if (type == "s") {
            double index = -1;
            if (!parseNumber(text, index) || index < 0 || index >= book.sharedStrings.size() ||
                index != std::floor(index)) {
                fail("cell " + cellName(row, cell.column) + " refers to shared string \"" + text +
                     "\" of " + std::to_string(book.sharedStrings.size()));
            }
            cell.kind = CellKind::Shared;
            cell.index = static_cast<std::uint32_t>(index);
        } else if (type == "str") {
            cell.kind = CellKind::Text;
            cell.index = addText(decodeEscapes(text));
        } else if (type == "e") {
            cell.kind = CellKind::Error;
            cell.index = addText(text);
        } else if (type == "b") {
            cell.kind = CellKind::Boolean;
            cell.number = (std::strcmp(text, "1") == 0 || std::strcmp(text, "true") == 0) ? 1 : 0;
        } else if (type == "d") {
            double serial = 0;
            if (!parseIsoDate(text, serial)) {
                fail("cell " + cellName(row, cell.column) + " holds \"" + text +
                     "\", which is not a date");
            }
            cell.kind = CellKind::Number;
            cell.number = book.date1904 ? serial - 1462 : serial;
        } else if (type.empty() || type == "n") {
            if (!parseNumber(text, cell.number)) {
                fail("cell " + cellName(row, cell.column) + " holds \"" + text +
                     "\", which is not a number");
            }
            cell.kind = CellKind::Number;
        } else {
            fail("cell " + cellName(row, cell.column) + " has the unknown type \"" +
                 std::string(type) + "\"");
        }
    }

    Row readRow(const pugi::xml_node& node, int rowNumber, std::vector<Cell>& scratch) {
        scratch.clear();
        int column = 0;
        for (const auto& c : node.children()) {
            if (localName(c) != "c") {
                continue;
            }
            const auto reference = c.attribute("r");
            if (reference) {
                int row = 0;
                if (!parseCell(reference.value(), row, column) || row != rowNumber ||
                    column > kMaxColumns) {
                    fail("cell reference \"" + std::string(reference.value()) + "\" in row " +
                         std::to_string(rowNumber) + " is not a cell of that row");
                }
            } else if (++column > kMaxColumns) {
                fail("row " + std::to_string(rowNumber) + " has more than 16384 cells");
            }
            Cell cell;
            cell.column = static_cast<std::uint16_t>(column);
            cell.style = c.attribute("s").as_uint();
            readValue(c, cell, rowNumber);
            scratch.push_back(cell);
        }
        if (!std::is_sorted(scratch.begin(), scratch.end(),
                            [](const Cell& a, const Cell& b) { return a.column < b.column; })) {
            std::stable_sort(scratch.begin(), scratch.end(),
                             [](const Cell& a, const Cell& b) { return a.column < b.column; });
        }
        // A repeated cell: the later one counts.
        std::vector<Cell> unique;
        unique.reserve(scratch.size());
        for (const auto& cell : scratch) {
            if (!unique.empty() && unique.back().column == cell.column) {
                unique.back() = cell;
            } else {
                unique.push_back(cell);
            }
        }
        Row row;
        row.row = rowNumber;
        row.cells.assign(unique.begin(), unique.end());
        return row;
    }

    std::vector<Row> readRows(const pugi::xml_node& sheetData) {
        std::vector<Row> rows;
        std::vector<Cell> scratch;
        int rowNumber = 0;
        for (const auto& node : sheetData.children()) {
            if (localName(node) != "row") {
                continue;
            }
            const auto r = node.attribute("r");
            rowNumber = r ? r.as_int() : rowNumber + 1;
            if (rowNumber < 1 || rowNumber > kMaxRows) {
                fail("row number \"" + std::string(r.value()) + "\" lies beyond the sheet");
            }
            Row row = readRow(node, rowNumber, scratch);
            if (isTrue(node.attribute("customFormat"))) {
                row.rowStyle = node.attribute("s").as_uint() + 1;
            }
            if (!row.cells.empty() || row.rowStyle != 0) {
                rows.push_back(std::move(row));
            }
        }
        return normalised(std::move(rows));
    }

    // Rows in order, each number once: cells of a repeated row join the earlier ones.
    static std::vector<Row> normalised(std::vector<Row> rows) {
        auto byRow = [](const Row& a, const Row& b) { return a.row < b.row; };
        if (std::is_sorted(rows.begin(), rows.end(), byRow) &&
            std::adjacent_find(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
                return a.row == b.row;
            }) == rows.end()) {
            return rows;
        }
        std::stable_sort(rows.begin(), rows.end(), byRow);
        CellStore store;
        for (const auto& row : rows) {
            for (const auto& cell : row.cells) {
                store.obtain(row.row, cell.column) = cell;
            }
            if (row.rowStyle != 0) {
                store.obtainRow(row.row).rowStyle = row.rowStyle;
            }
        }
        return store.rows();
    }
};

// The sheet's tables: those its tableParts list, and those only its relationships name (as
// some chart generators write a chart's data workbook), which grow with the data all the same.
void readTables(WorkbookImpl& book, SheetImpl& sheet, const pugi::xml_node& root) {
    const auto rels = book.package.relationships(sheet.part);
    std::vector<const package::Relationship*> found;
    for (const auto& node : child(root, "tableParts").children()) {
        found.push_back(rels.find(relationshipId(node)));
    }
    for (const auto* rel : rels.allByType("/table")) {
        if (std::find(found.begin(), found.end(), rel) == found.end()) {
            found.push_back(rel);
        }
    }
    for (const auto* rel : found) {
        if (!rel || rel->external) {
            continue;
        }
        TablePart table;
        table.part = package::resolveTarget(sheet.part, rel->target);
        if (!book.package.has(table.part)) {
            continue;
        }
        const auto doc = book.package.readXml(table.part);
        const std::string ref = doc.document_element().attribute("ref").value();
        const auto colon = ref.find(':');
        if (colon == std::string::npos ||
            !parseCell(std::string_view(ref).substr(0, colon), table.firstRow, table.firstColumn) ||
            !parseCell(std::string_view(ref).substr(colon + 1), table.lastRow, table.lastColumn)) {
            continue;
        }
        sheet.tables.push_back(table);
    }
}

}  // namespace

void loadWorksheet(WorkbookImpl& book, SheetImpl& sheet) {
    pugi::xml_document scratch;
    const auto& doc = parsed(book, sheet.part, scratch);
    const auto root = doc.document_element();
    if (localName(root) != "worksheet") {
        corrupt(book, sheet.part, "root element is not worksheet");
    }
    SheetReader reader{book, sheet};
    sheet.cells.setRows(reader.readRows(child(root, "sheetData")));
    for (const auto& col : child(root, "cols").children()) {
        const auto style = col.attribute("style");
        if (localName(col) == "col" && style) {
            sheet.columnStyles.push_back(
                {col.attribute("min").as_int(), col.attribute("max").as_int(), style.as_uint()});
        }
    }
    readTables(book, sheet, root);
}

namespace {

bool isWorkbookType(std::string_view type) {
    return std::find(std::begin(kWorkbookTypes), std::end(kWorkbookTypes), type) !=
           std::end(kWorkbookTypes);
}

std::string findWorkbookPart(const package::Package& package) {
    const auto rels = package.relationships("");
    const auto* rel = rels.findByType("/officeDocument");
    if (!rel) {
        throw Error(ErrorCode::NotADocument,
                    package.displayName() + ": the package holds no workbook (no main document)");
    }
    const std::string part = package::resolveTarget("", rel->target);
    const std::string type = package.contentType(part);
    if (isBinaryWorkbook(package)) {
        throw Error(ErrorCode::NotSupported,
                    package.displayName() + ": the workbook is in the binary format (.xlsb, " +
                        part + "), whose cells cannot be read; save it as .xlsx");
    }
    if (!isWorkbookType(type)) {
        throw Error(ErrorCode::NotADocument, package.displayName() +
                                                 ": the package holds no workbook (its main part " +
                                                 part + " is of type \"" + type + "\")");
    }
    if (!package.has(part)) {
        throw Error(ErrorCode::CorruptPart,
                    package.displayName() + ": " + part + ": the workbook part is missing");
    }
    return part;
}

void readSheetList(WorkbookImpl& book, const pugi::xml_node& root,
                   const package::Relationships& rels) {
    for (const auto& node : child(root, "sheets").children()) {
        if (localName(node) != "sheet") {
            continue;
        }
        auto sheet = std::make_shared<SheetImpl>();
        sheet->name = node.attribute("name").value();
        const auto id = relationshipId(node);
        if (id.empty()) {
            // Some writers leave a sheet's relationship id empty; office suites open such a
            // workbook and show the sheet empty. It keeps its place and name in the list, as a
            // sheet without a part and without cells.
            sheet->worksheet = false;
            book.sheets.push_back(std::move(sheet));
            continue;
        }
        const auto* rel = rels.find(id);
        if (!rel || rel->external) {
            corrupt(book, book.workbookPart,
                    "sheet \"" + sheet->name + "\" refers to relationship \"" + std::string(id) +
                        "\", which does not exist");
        }
        sheet->part = package::resolveTarget(book.workbookPart, rel->target);
        sheet->worksheet = rel->type.ends_with("/worksheet");
        book.sheets.push_back(std::move(sheet));
    }
}

}  // namespace

std::shared_ptr<WorkbookImpl> loadWorkbook(package::Package package, std::string path,
                                           bool keepTrees) {
    package.setTextEscape(kSheetTextEscape);
    const std::string part = findWorkbookPart(package);
    auto book = std::make_shared<WorkbookImpl>(std::move(package));
    book->keepTrees = keepTrees;
    book->path = std::move(path);
    book->workbookPart = part;
    pugi::xml_document scratch;
    const auto& doc = parsed(*book, part, scratch);
    const auto root = doc.document_element();
    if (localName(root) != "workbook") {
        corrupt(*book, part, "root element is not workbook");
    }
    book->date1904 = isTrue(child(root, "workbookPr").attribute("date1904"));
    const auto rels = book->package.relationships(part);
    if (const auto* strings = rels.findByType("/sharedStrings")) {
        book->sharedStringsPart = package::resolveTarget(part, strings->target);
        readSharedStrings(*book, book->sharedStringsPart);
    }
    if (const auto* styles = rels.findByType("/styles")) {
        book->stylesPart = package::resolveTarget(part, styles->target);
    }
    readStyles(*book, book->stylesPart);
    readSheetList(*book, root, rels);
    for (const auto& sheet : book->sheets) {
        sheet->book = book;
        if (sheet->worksheet && !sheet->part.empty()) {
            loadWorksheet(*book, *sheet);
        }
    }
    return book;
}

}  // namespace office::excel::detail
