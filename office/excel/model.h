#pragma once

// The inner model of an open workbook: applications, workbooks, sheets, the compact cell store
// and the style table. Public objects (office/excel.h) are thin handles onto these.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "office/excel.h"
#include "office/excel/a1.h"
#include "office/package/package.h"
#include "office/value.h"

namespace office::excel::detail {

// What a stored cell holds. Strings live in the workbook's string tables and are referred to
// by index, so a cell is 16 bytes whatever it holds.
enum class CellKind : std::uint8_t { Blank, Number, Shared, Text, Boolean, Error };

inline constexpr std::uint8_t kHasFormula = 1;

struct Cell {
    std::uint16_t column = 0;  // 1-based; 16384 fits
    CellKind kind = CellKind::Blank;
    std::uint8_t flags = 0;
    std::uint32_t style = 0;  // index into cellXfs
    union {
        double number = 0;
        std::uint32_t index;  // shared string (Shared) or workbook text (Text, Error)
    };
};

struct Row {
    int row = 0;
    std::uint32_t rowStyle = 0;  // 1 + xf index when the row has a format of its own, else 0
    std::vector<Cell> cells;     // sorted by column, exact capacity
};

// Texts kept end to end in one buffer and found by index: a sheet of many short inline
// strings costs a few bytes a text instead of a string object each.
class TextPool {
public:
    std::uint32_t add(std::string_view text) {
        chars_.append(text);
        ends_.push_back(static_cast<std::uint32_t>(chars_.size()));
        return static_cast<std::uint32_t>(ends_.size() - 1);
    }
    std::string_view operator[](std::uint32_t index) const {
        const std::uint32_t begin = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(chars_).substr(begin, ends_[index] - begin);
    }
    std::size_t size() const noexcept { return ends_.size(); }

private:
    std::string chars_;
    std::vector<std::uint32_t> ends_;
};

// The cells of one worksheet: rows sorted by number, each a sorted vector of cells.
class CellStore {
public:
    const Cell* find(int row, int column) const;
    // The cell at (row, column), created blank with the row's or column's style when absent.
    Cell& obtain(int row, int column);
    Row& obtainRow(int row);
    const Row* findRow(int row) const;
    void setRows(std::vector<Row> rows) { rows_ = std::move(rows); }
    const std::vector<Row>& rows() const noexcept { return rows_; }
    std::size_t cellCount() const noexcept;
    std::size_t bytesUsed() const noexcept;

private:
    std::vector<Row> rows_;
};

// One edge of a border record, as XlLineStyle and XlBorderWeight.
struct Edge {
    std::int16_t lineStyle = xlNone;
    std::int16_t weight = 2;  // xlThin
};

// left, right, top, bottom, diagonal down, diagonal up
struct BorderLines {
    Edge edges[6];
};

// A colour as a style names it: automatic or none, full RGB, an index into the legacy
// palette, or a colour of the workbook's theme; a tint lightens (> 0) or darkens (< 0) it.
struct Color {
    enum class Kind : std::uint8_t { None, Rgb, Indexed, Theme };
    Kind kind = Kind::None;
    std::uint32_t value = 0;  // 0xRRGGBB, palette index or theme index
    double tint = 0;
    bool operator==(const Color&) const = default;
};

struct Font {
    std::string name = "Calibri";
    double points = 11;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    std::string underline;  // empty: none; else "single", "double", "singleAccounting", ...
    std::string vertAlign;  // empty, "superscript" or "subscript"
    Color color;
    int family = 0;
    int charset = 0;
    bool operator==(const Font&) const = default;
};

struct Fill {
    std::string pattern;  // patternType: empty or "none" for no fill, "solid", "gray125", ...
    Color foreground;     // of a gradient: the colour of its first stop
    Color background;
    bool gradient = false;
    bool operator==(const Fill&) const = default;
};

struct BorderEdge {
    std::string style;  // empty: no line; else "thin", "medium", "dashed", ...
    Color color;
    bool operator==(const BorderEdge&) const = default;
};

struct Border {
    BorderEdge left, right, top, bottom, diagonal;
    bool diagonalDown = false;
    bool diagonalUp = false;
    bool operator==(const Border&) const = default;
};

struct Alignment {
    std::string horizontal;  // empty: general
    std::string vertical;    // empty: bottom
    int rotation = 0;
    bool wrap = false;
    bool shrink = false;
    int indent = 0;
    bool operator==(const Alignment&) const = default;
};

struct Xf {
    int numFmtId = 0;
    int fontId = 0;
    int fillId = 0;
    int borderId = 0;
    bool isDate = false;
    Alignment alignment;
};

// The styles of a workbook, as its styles part or its binary formatting records give them,
// read once at open. Cells refer to xfs by index; an xf refers to the lists by index.
struct StyleTable {
    std::map<int, std::string> customFormats;
    std::vector<Xf> xfs;
    std::vector<Font> fonts;
    std::vector<Fill> fills;
    std::vector<Border> borderStyles;
    std::vector<BorderLines> borders;  // borderStyles as Range.Borders gives them

    std::string formatCode(int numFmtId) const;
    const Xf& xf(std::uint32_t index) const;
    const BorderLines& borderOf(std::uint32_t xfIndex) const;
};

// The lines of a border as XlLineStyle and XlBorderWeight.
BorderLines linesOf(const Border& border);
// Fills styles from the root of a styles part (<styleSheet>); a cell format list that is
// missing or empty gives the one plain format.
void readStyleSheet(const pugi::xml_node& root, StyleTable& styles);
// A styles part holding the styles, for carrying them into a workbook that has a part.
pugi::xml_document styleSheetOf(const StyleTable& styles);

// A package that holds only its content types: the start of a workbook made in memory.
std::vector<std::uint8_t> emptyPackage();

struct ApplicationImpl;
struct WorkbookImpl;

// A table part of a worksheet.
struct TablePart {
    std::string part;
    int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
};

// A cell written since the last save: its value (and style), or only its style.
struct Written {
    int row = 0;
    int column = 0;
    bool value = false;
};

// Column formats of a worksheet (<col min max style>), for cells that do not exist.
struct ColumnStyle {
    int first = 0;
    int last = 0;
    std::uint32_t style = 0;
};

struct SheetImpl {
    std::weak_ptr<WorkbookImpl> book;
    std::string name;
    std::string part;  // the worksheet or chart sheet part
    bool worksheet = true;
    CellStore cells;
    std::vector<Written> written;
    std::vector<TablePart> tables;
    std::vector<ColumnStyle> columnStyles;

    // The style a cell shows: its own, else its row's, else its column's.
    std::uint32_t effectiveStyle(int row, int column) const;

    // The workbook, or ObjectClosed when it was closed or its application quit.
    std::shared_ptr<WorkbookImpl> openBook() const;
};

struct WorkbookImpl {
    std::weak_ptr<ApplicationImpl> app;
    package::Package package;
    std::string path;  // file path, or the display name of an embedded workbook
    std::string name;
    std::string workbookPart;
    std::string stylesPart;         // empty when the package has none
    std::string sharedStringsPart;  // empty when the package has none
    bool open = true;
    bool date1904 = false;
    bool changed = false;
    bool formulaOverwritten = false;            // calcChain goes at the next save
    bool keepTrees = false;                     // parsed parts stay in the package
    std::shared_ptr<ApplicationImpl> ownedApp;  // the private application of an embedded one
    std::map<std::pair<std::uint32_t, std::string>, std::uint32_t> formatVariants;
    std::function<void(std::vector<std::uint8_t>)> onSave;  // embedded workbooks only

    StyleTable styles;
    std::vector<std::string> sharedStrings;
    std::size_t sharedStringsInFile = 0;  // the first ones, as the file has them
    std::unordered_map<std::string, std::uint32_t> sharedIndex;  // built on first write
    TextPool texts;  // inline strings, formula texts, error codes
    std::vector<std::shared_ptr<SheetImpl>> sheets;
    // Read from a binary (.xls) workbook: a source only, never written back.
    bool binary = false;

    explicit WorkbookImpl(package::Package p) : package(std::move(p)) {}
    void checkOpen() const;
    std::string where() const { return package.displayName(); }
};

struct ApplicationImpl {
    bool running = true;
    bool visible = false;
    int windowState = xlNormal;
    bool displayAlerts = true;
    std::vector<std::shared_ptr<WorkbookImpl>> books;

    void checkRunning() const;
};

// Reads the workbook held by package; fails with NotADocument or CorruptPart naming the part.
// With keepTrees, the parsed parts stay in the package for the writer (a small workbook that is
// about to be edited); else each is parsed into a tree that goes when it has been read.
std::shared_ptr<WorkbookImpl> loadWorkbook(package::Package package, std::string path,
                                           bool keepTrees = false);
// Reads one worksheet part into sheet.cells.
void loadWorksheet(WorkbookImpl& book, SheetImpl& sheet);
// Writes the changed sheets, strings and styles into the package (not to disk).
void storeChanges(WorkbookImpl& book);

// The cell of the store to write, made with the style it shows when it does not exist yet.
Cell& writableCell(SheetImpl& sheet, int row, int column);
// The value of a stored cell as Range.Value gives it.
Value cellValue(const WorkbookImpl& book, const Cell* cell);
// Writes value into the cell; dates leave the workbook's own date system.
void assignValue(WorkbookImpl& book, Cell& cell, const Value& value);
std::uint32_t sharedString(WorkbookImpl& book, const std::string& text);

// Carries cell styles from one workbook into another: for each source xf, the number format,
// font, fill and border records are added to the destination's styles (or found there) and a
// matching xf is made. Same workbook: the index stays.
class StyleImporter {
public:
    StyleImporter(const WorkbookImpl& from, WorkbookImpl& to);
    std::uint32_t import(std::uint32_t index);

private:
    const WorkbookImpl& from_;
    WorkbookImpl& to_;
    pugi::xml_document source_;
    std::map<std::uint32_t, std::uint32_t> done_;
};
// The xf index of a copy of xf `index` with the number format `code`.
std::uint32_t styleWithFormat(WorkbookImpl& book, std::uint32_t index, const std::string& code);

// The prefix ("x:", or "" for the default namespace) that the SpreadsheetML namespace has at
// the element, so that new children land in that namespace; the element's own prefix when no
// declaration of it is in scope.
std::string mainPrefix(const pugi::xml_node& node);

// The local name of an element ("c" for "x:c").
inline std::string_view localName(const pugi::xml_node& node) {
    return package::localName(node.name());
}
using package::child;

}  // namespace office::excel::detail
