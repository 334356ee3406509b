// Reading a binary workbook stream: the globals (sheet list, date system, fonts, number
// formats, extended formats, palette, shared strings), then each worksheet's cells, columns,
// rows and merged areas. The styles go into the workbook's style model; a small in-memory
// package holds the sheet list and the sheets' layout.

#include "office/excel/xls/xls_reader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/excel/xls/biff.h"
#include "office/excel/xls/decrypt.h"
#include "office/excel/xls/styles.h"

namespace office::excel::detail {

namespace {

using namespace xls;

constexpr std::uint16_t kBiff8 = 0x0600;
constexpr std::uint16_t kGlobals = 0x0005;
constexpr std::uint16_t kWorksheet = 0x0010;

struct SheetEntry {
    std::string name;
    std::size_t offset = 0;
    std::uint8_t state = 0;  // 0 visible, 1 hidden, 2 very hidden
    std::uint8_t type = 0;   // 0 worksheet, 1 macro sheet, 2 chart sheet, 6 module
};

struct Globals {
    std::vector<SheetEntry> sheets;
    bool date1904 = false;
    StyleRecords styles;
    std::vector<std::string> strings;
};

// One worksheet as read, and what its part carries. Cells come in rows, each row's in column
// order, as Excel writes them; a cell out of that order goes aside and the rows are sorted at
// the end.
struct SheetContent {
    std::vector<Row> rows;
    std::vector<std::pair<int, Cell>> stray;  // row (1-based) and cell, in stream order
    std::map<int, std::uint32_t> rowStyles;   // row -> xf index
    SheetLayout layout;
};

std::string errorText(std::uint8_t code) {
    switch (code) {
        case 0x00:
            return "#NULL!";
        case 0x07:
            return "#DIV/0!";
        case 0x0F:
            return "#VALUE!";
        case 0x17:
            return "#REF!";
        case 0x1D:
            return "#NAME?";
        case 0x24:
            return "#NUM!";
        case 0x2A:
            return "#N/A";
        case 0x2B:
            return "#GETTING_DATA";
        default:
            return "#N/A";
    }
}

void checkBof(const RecordStream& stream, const Record& record, std::uint16_t expectedType) {
    if (record.id == rt::Bof2 || record.id == rt::Bof3 || record.id == rt::Bof4) {
        throw Error(ErrorCode::LegacyFormat,
                    stream.where() +
                        ": this workbook is of Excel 4.0 or older, which is not read; save it as "
                        ".xlsx and use that file");
    }
    if (record.id != rt::Bof || record.data.size() < 4) {
        stream.fail(record.offset,
                    "expected the beginning of a " +
                        std::string(expectedType == kGlobals ? "workbook" : "sheet") +
                        " (BOF), found record " + hex4(record.id));
    }
    const std::uint16_t version = le16(record.data.data());
    if (version != kBiff8) {
        throw Error(ErrorCode::LegacyFormat,
                    stream.where() +
                        ": this workbook is of Excel 5.0/95 or older, which is not read; save it "
                        "as .xlsx and use that file");
    }
}

// ---- globals ----

struct GlobalsReader {
    RecordStream& stream;
    std::vector<std::uint8_t>& bytes;  // the stream, decrypted in place when it is encrypted
    Globals globals;

    void boundSheet(RecordReader in) {
        SheetEntry entry;
        entry.offset = in.u32();
        entry.state = in.u8() & 0x03;
        entry.type = in.u8();
        entry.name = in.shortUnicodeString();
        globals.sheets.push_back(std::move(entry));
    }

    void sst(RecordReader in) {
        in.u32();  // total references
        const std::uint32_t unique = in.u32();
        // Each string takes at least three bytes: a count beyond that is damage.
        globals.strings.reserve(std::min<std::size_t>(unique, in.remaining() / 3 + 1));
        for (std::uint32_t i = 0; i < unique && !in.atEnd(); ++i) {
            const std::size_t count = in.u16();
            globals.strings.push_back(in.characters(count, in.u8()));
        }
    }

    void read() {
        Record record;
        if (!stream.next(record)) {
            stream.fail(0, "the workbook stream is empty");
        }
        checkBof(stream, record, kGlobals);
        while (stream.next(record)) {
            switch (record.id) {
                case rt::Eof:
                    return;
                case rt::FilePass:
                    decryptStream(bytes, record, stream);
                    break;
                case rt::BoundSheet:
                    boundSheet(stream.continued(record));
                    break;
                case rt::DateMode:
                    globals.date1904 = record.data.size() >= 2 && le16(record.data.data()) == 1;
                    break;
                case rt::CodePage:
                    if (record.data.size() >= 2) {
                        stream.setCodePage(le16(record.data.data()));
                    }
                    break;
                case rt::Sst:
                    sst(stream.continued(record));
                    break;
                case rt::Font:
                case rt::Format:
                case rt::Xf:
                case rt::XfExt:
                case rt::Palette:
                    globals.styles.add(stream.continued(record));
                    break;
                default:
                    break;
            }
        }
        stream.fail(stream.offset(), "the workbook globals have no end (EOF)");
    }
};

// ---- worksheets ----

struct SheetReader {
    SheetReader(RecordStream& records, const Globals& read, TextPool& pool)
        : stream(records), globals(read), texts(pool) {}

    RecordStream& stream;
    const Globals& globals;
    TextPool& texts;  // the workbook's inline texts and error codes
    SheetContent content;
    bool pendingString = false;  // the last cell is a formula that a String record completes
    bool lastStray = false;      // the last cell went aside
    std::vector<std::uint16_t> rowWidths;  // cells of each row, as its Row record says
    // Row records may claim far more cells than the stream holds: room is made for no more
    // cells than there are bytes for (a cell record takes ten at least).
    std::size_t reserveLeft = stream.size() / 10;

    Cell& add(RecordReader& in, int row, int column, std::uint32_t xf) {
        if (!onSheet({row + 1, column + 1})) {
            in.fail(beyondSheet({row + 1, column + 1}));
        }
        Cell cell;
        cell.column = static_cast<std::uint16_t>(column + 1);
        cell.style = globals.styles.cellStyle(xf);
        pendingString = false;
        auto& rows = content.rows;
        if (rows.empty() || rows.back().row < row + 1) {
            rows.push_back(Row{row + 1, 0, {}});
            if (static_cast<std::size_t>(row) < rowWidths.size()) {
                const std::size_t room = std::min<std::size_t>(rowWidths[row], reserveLeft);
                rows.back().cells.reserve(room);
                reserveLeft -= room;
            }
        }
        auto& last = rows.back();
        lastStray =
            last.row != row + 1 || (!last.cells.empty() && last.cells.back().column >= cell.column);
        if (lastStray) {
            content.stray.emplace_back(row + 1, cell);
            return content.stray.back().second;
        }
        last.cells.push_back(cell);
        return last.cells.back();
    }

    // Numbers that are no number (NaN, infinities) are damage: no spreadsheet stores them.
    static double finite(RecordReader& in, double value) {
        if (!std::isfinite(value)) {
            in.fail("a cell holds a number that is not finite");
        }
        return value;
    }

    Cell& lastCell() {
        return lastStray ? content.stray.back().second : content.rows.back().cells.back();
    }

    // Row, column and xf index: the start of every cell record.
    Cell& cellHead(RecordReader& in) {
        const int row = in.u16();
        const int column = in.u16();
        return add(in, row, column, in.u16());
    }

    void text(Cell& cell, const std::string& value) {
        cell.kind = CellKind::Text;
        cell.index = texts.add(value);
    }

    void labelSst(RecordReader in) {
        Cell& cell = cellHead(in);
        const std::uint32_t index = in.u32();
        if (index >= globals.strings.size()) {
            in.fail("the cell refers to shared string " + std::to_string(index) + " of " +
                    std::to_string(globals.strings.size()));
        }
        cell.kind = CellKind::Shared;
        cell.index = index;
    }

    void multiple(RecordReader in, bool numbers) {
        const int row = in.u16();
        int column = in.u16();
        const std::size_t each = numbers ? 6 : 2;
        if (in.remaining() < 2 || (in.remaining() - 2) % each != 0) {
            in.fail("the record's length does not fit its cells");
        }
        const std::size_t count = (in.remaining() - 2) / each;
        for (std::size_t i = 0; i < count; ++i, ++column) {
            Cell& cell = add(in, row, column, in.u16());
            if (numbers) {
                cell.kind = CellKind::Number;
                cell.number = finite(in, rkNumber(in.u32()));
            }
        }
    }

    void boolErr(RecordReader in) {
        Cell& cell = cellHead(in);
        const std::uint8_t value = in.u8();
        if (in.u8() != 0) {
            cell.kind = CellKind::Error;
            cell.index = texts.add(errorText(value));
        } else {
            cell.kind = CellKind::Boolean;
            cell.number = value != 0 ? 1 : 0;
        }
    }

    // A formula cell and its cached result. The record ids of older writers (0x0206, 0x0406)
    // start the same way: row, column, xf, the eight bytes of the result. A result that cannot
    // be read fails naming the cell, lest the cell read as blank and end a table early.
    void formula(RecordReader in) {
        const int row = in.u16();
        const int column = in.u16();
        const std::uint16_t xf = in.u16();
        const auto name = [&] { return "the formula in cell " + cellName(row + 1, column + 1); };
        if (in.remaining() < 8) {
            in.fail(name() + " ends before its result");
        }
        Cell& cell = add(in, row, column, xf);
        cell.flags |= kHasFormula;
        std::uint8_t result[8];
        for (auto& byte : result) {
            byte = in.u8();
        }
        if (result[6] != 0xFF || result[7] != 0xFF) {
            cell.kind = CellKind::Number;
            const double value = le64Double(result);
            if (!std::isfinite(value)) {
                in.fail(name() + " holds a number that is not finite");
            }
            cell.number = value;
            return;
        }
        switch (result[0]) {
            case 0:
                pendingString = true;
                break;  // in the String record
            case 1:
                cell.kind = CellKind::Boolean;
                cell.number = result[2] != 0 ? 1 : 0;
                break;
            case 2:
                cell.kind = CellKind::Error;
                cell.index = texts.add(errorText(result[2]));
                break;
            case 3:
                text(cell, "");
                break;
            default:
                in.fail(name() + " has a result of unknown kind " + std::to_string(result[0]));
        }
    }

    void stringResult(RecordReader in) {
        if (!pendingString) {
            return;  // no formula waits for it
        }
        text(lastCell(), in.unicodeString());
        pendingString = false;
    }

    void row(RecordReader in) {
        const int number = in.u16() + 1;
        const std::uint16_t first = in.u16();
        const std::uint16_t end = in.u16();
        if (end > first) {  // the row's cells, to hold them without growing
            if (rowWidths.empty()) {
                rowWidths.resize(65536);
            }
            rowWidths[number - 1] = static_cast<std::uint16_t>(end - first);
        }
        const std::uint16_t height = in.u16();
        in.skip(4);
        const std::uint32_t flags = in.u32();
        if (flags & 0x80) {  // the row has a format of its own
            content.rowStyles[number] = globals.styles.cellStyle((flags >> 16) & 0x0FFF);
        }
        if ((flags & 0x40) || (flags & 0x20)) {  // a height of its own, or hidden
            content.layout.rows.push_back({number, (height & 0x7FFF) / 20.0, (flags & 0x20) != 0});
        }
    }

    void columnInfo(RecordReader in) {
        ColumnLayout column;
        column.first = in.u16() + 1;
        column.last = std::min<int>(in.u16() + 1, kMaxColumns);
        column.width = in.u16() / 256.0;
        const std::uint16_t xf = in.u16();
        column.hidden = in.u16() & 0x01;
        column.style = xf == 15 ? 0 : globals.styles.cellStyle(xf);
        if (column.first <= column.last) {
            content.layout.columns.push_back(column);
        }
    }

    void mergeCells(RecordReader in) {
        const std::size_t count = in.u16();
        for (std::size_t i = 0; i < count; ++i) {
            MergedArea area;
            area.top = in.u16() + 1;
            area.bottom = in.u16() + 1;
            area.left = in.u16() + 1;
            area.right = std::min<int>(in.u16() + 1, kMaxColumns);
            if (area.top <= area.bottom && area.left <= area.right &&
                (area.top != area.bottom || area.left != area.right)) {
                content.layout.merges.push_back(area);
            }
        }
    }

    void record(const Record& record) {
        switch (record.id) {
            case rt::LabelSst:
                labelSst(stream.reader(record));
                break;
            case rt::Number: {
                RecordReader in = stream.reader(record);
                Cell& cell = cellHead(in);
                cell.kind = CellKind::Number;
                cell.number = finite(in, in.f64());
                break;
            }
            case rt::Rk: {
                RecordReader in = stream.reader(record);
                Cell& cell = cellHead(in);
                cell.kind = CellKind::Number;
                cell.number = finite(in, rkNumber(in.u32()));
                break;
            }
            case rt::MulRk:
                multiple(stream.reader(record), true);
                break;
            case rt::Blank: {
                RecordReader in = stream.reader(record);
                cellHead(in);
                break;
            }
            case rt::MulBlank:
                multiple(stream.reader(record), false);
                break;
            case rt::Label:
            case rt::RString: {
                RecordReader in = stream.continued(record);
                Cell& cell = cellHead(in);
                text(cell, in.unicodeString());
                break;
            }
            case rt::BoolErr:
                boolErr(stream.reader(record));
                break;
            case rt::Formula:
            case rt::Formula3:
            case rt::Formula4:
                formula(stream.reader(record));
                break;
            case rt::String:
                stringResult(stream.continued(record));
                break;
            case rt::Row:
                row(stream.reader(record));
                break;
            case rt::ColInfo:
                columnInfo(stream.reader(record));
                break;
            case rt::MergeCells:
                mergeCells(stream.reader(record));
                break;
            case rt::DefaultRowHeight:
                if (record.data.size() >= 4) {
                    content.layout.defaultRowHeight = le16(record.data.data() + 2) / 20.0;
                }
                break;
            case rt::DefColWidth:
                if (record.data.size() >= 2) {
                    content.layout.defaultColumnWidth = le16(record.data.data());
                }
                break;
            default:
                break;
        }
    }

    // The records from the sheet's BOF to its EOF; embedded charts (a BOF ... EOF of their
    // own inside the sheet) are passed over.
    void read() {
        Record record;
        if (!stream.next(record)) {
            stream.fail(stream.offset(), "a sheet begins at the end of the stream");
        }
        checkBof(stream, record, kWorksheet);
        int depth = 0;
        while (stream.next(record)) {
            if (record.id == rt::Bof) {
                ++depth;
            } else if (record.id == rt::Eof) {
                if (depth-- == 0) {
                    return;
                }
            } else if (depth == 0) {
                this->record(record);
            }
        }
        stream.fail(stream.offset(), "a sheet has no end (EOF)");
    }
};

// The rows with the rows that have only a format of their own put in between.
std::vector<Row> withRowStyles(std::vector<Row> rows, const std::map<int, std::uint32_t>& styles) {
    if (styles.empty()) {
        return rows;
    }
    std::vector<Row> out;
    out.reserve(rows.size() + styles.size());
    auto style = styles.begin();
    for (auto& row : rows) {
        for (; style != styles.end() && style->first < row.row; ++style) {
            out.push_back(Row{style->first, style->second + 1, {}});
        }
        if (style != styles.end() && style->first == row.row) {
            row.rowStyle = style->second + 1;
            ++style;
        }
        out.push_back(std::move(row));
    }
    for (; style != styles.end(); ++style) {
        out.push_back(Row{style->first, style->second + 1, {}});
    }
    return out;
}

// Every cell of rows and strays sorted into rows, each cell once: of two records of one cell,
// the later in the stream counts.
std::vector<Row> sortedRows(SheetContent& content) {
    std::vector<std::pair<int, Cell>> cells;
    for (const auto& row : content.rows) {
        for (const auto& cell : row.cells) {
            cells.emplace_back(row.row, cell);
        }
    }
    std::vector<Row>().swap(content.rows);
    cells.insert(cells.end(), content.stray.begin(), content.stray.end());
    std::vector<std::pair<int, Cell>>().swap(content.stray);
    std::stable_sort(cells.begin(), cells.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : a.second.column < b.second.column;
    });
    std::vector<Row> rows;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i + 1 < cells.size() && cells[i + 1].first == cells[i].first &&
            cells[i + 1].second.column == cells[i].second.column) {
            continue;  // a later record of the same cell follows
        }
        if (rows.empty() || rows.back().row != cells[i].first) {
            rows.push_back(Row{cells[i].first, 0, {}});
        }
        rows.back().cells.push_back(cells[i].second);
    }
    return rows;
}

// The sheet's rows for the cell store: sorted, exact capacity, with the rows' own formats.
std::vector<Row> rowsOf(SheetContent& content) {
    std::vector<Row> rows = content.stray.empty() ? std::move(content.rows) : sortedRows(content);
    std::erase_if(rows, [](const Row& row) { return row.cells.empty(); });
    for (auto& row : rows) {
        row.cells.shrink_to_fit();
    }
    return withRowStyles(std::move(rows), content.rowStyles);
}

// The path of a stream of the root storage named `name`, compared without regard to case as
// compound files compare names; empty when there is none.
std::string rootStream(const compound::File& file, std::string_view name) {
    for (const auto& entry : file.entries()) {
        if (!entry.storage && entry.path.size() == name.size() &&
            std::equal(name.begin(), name.end(), entry.path.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            })) {
            return entry.path;
        }
    }
    return {};
}

}  // namespace

std::shared_ptr<WorkbookImpl> loadBiffWorkbook(std::vector<std::uint8_t> bytes, std::string path,
                                               const std::string& displayName) {
    RecordStream records(bytes, displayName + ": Workbook stream");
    GlobalsReader globalsReader{records, bytes, {}};
    globalsReader.read();
    Globals& globals = globalsReader.globals;

    std::vector<SheetPart> parts;
    for (const auto& entry : globals.sheets) {
        if (entry.type == 0 || entry.type == 1 || entry.type == 2) {
            parts.push_back({entry.name, entry.type, entry.state, {}});
        }
    }
    // The sheets' cells are read before the package is made, since their columns, rows and
    // merged areas go into the worksheet parts.
    std::vector<SheetContent> contents;
    TextPool texts;
    std::size_t next = 0;
    std::map<std::size_t, const SheetEntry*> begun;  // each worksheet by its offset
    for (const auto& entry : globals.sheets) {
        if (entry.type != 0 && entry.type != 1 && entry.type != 2) {
            continue;
        }
        SheetPart& part = parts[next++];
        if (entry.type != 0) {
            contents.emplace_back();
            continue;
        }
        // Two sheets cannot share their records: a list naming one sheet many times would
        // read and hold it once for each name.
        if (const auto [it, fresh] = begun.emplace(entry.offset, &entry); !fresh) {
            records.fail(entry.offset, "sheets \"" + it->second->name + "\" and \"" + entry.name +
                                           "\" begin at the same offset");
        }
        records.seek(entry.offset);
        SheetReader reader(records, globals, texts);
        reader.read();
        part.layout = std::move(reader.content.layout);
        contents.push_back(std::move(reader.content));
    }
    auto book =
        loadWorkbook(workbookPackage(parts, globals.date1904, displayName), std::move(path));
    book->binary = true;
    book->styles = globals.styles.table();
    book->texts = std::move(texts);
    book->sharedStrings = std::move(globals.strings);
    book->sharedStringsInFile = book->sharedStrings.size();
    for (std::size_t i = 0; i < book->sheets.size() && i < contents.size(); ++i) {
        if (book->sheets[i]->worksheet) {
            book->sheets[i]->cells.setRows(rowsOf(contents[i]));
        }
    }
    return book;
}

namespace {

// True when the signature is followed by a compound file's header: its byte order mark and a
// sector size of 512 or 4096 bytes.
bool hasCompoundHeader(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 512) {
        return false;
    }
    const std::uint16_t shift = le16(bytes.data() + 0x1E);
    return le16(bytes.data() + 0x1C) == 0xFFFE && (shift == 9 || shift == 12);
}

// The Workbook stream of a compound file; nullopt when it holds none, or when the signature
// has no compound header behind it (nothing tells it is a workbook: the package layer says
// what the file is). Damage behind a sound header fails naming it. The compound file goes
// before the stream is read into a workbook.
std::optional<std::vector<std::uint8_t>> workbookStream(std::vector<std::uint8_t> bytes,
                                                        const std::string& displayName) {
    if (!hasCompoundHeader(bytes)) {
        return std::nullopt;
    }
    const auto file = compound::File::openBytes(std::move(bytes), displayName);
    if (const auto workbook = rootStream(file, "Workbook"); !workbook.empty()) {
        return file.readStream(workbook);
    }
    if (!rootStream(file, "Book").empty()) {
        throw Error(ErrorCode::LegacyFormat,
                    displayName +
                        ": this workbook is of Excel 5.0/95 or older, which is not read; save it "
                        "as .xlsx and use that file");
    }
    return std::nullopt;
}

}  // namespace

std::shared_ptr<WorkbookImpl> binaryWorkbookFromBytes(std::vector<std::uint8_t> file,
                                                      std::string path,
                                                      const std::string& displayName) {
    if (!compound::isCompoundFile(file)) {
        return nullptr;
    }
    auto stream = workbookStream(std::move(file), displayName);
    return stream ? loadBiffWorkbook(std::move(*stream), std::move(path), displayName) : nullptr;
}

}  // namespace office::excel::detail
