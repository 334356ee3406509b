// Opening a workbook of 200,000 filled cells and walking it cell by cell as the engine does
// (Value, Borders(xlRight).LineStyle, Offset per step), with the memory that the open workbook
// holds per cell; the same cells as an .xls (Excel 97-2003) workbook, opened and measured
// beside it.

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <zip.h>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "office/compound/compound_file.h"
#include "office/excel.h"
#include "office/excel/model.h"

namespace {

constexpr int kRows = 10000;
constexpr int kColumns = 20;  // 200,000 cells

std::string columnName(int column) {
    std::string name;
    for (; column > 0; column = (column - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
    }
    return name;
}

std::string sheetXml() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<dimension ref=\"A1:T10000\"/><sheetData>";
    for (int row = 1; row <= kRows; ++row) {
        xml += "<row r=\"" + std::to_string(row) + "\">";
        for (int column = 1; column <= kColumns; ++column) {
            const std::string ref = columnName(column) + std::to_string(row);
            if (column == 1) {
                xml += "<c r=\"" + ref + "\" s=\"1\" t=\"s\"><v>" + std::to_string(row % 500) +
                       "</v></c>";
            } else {
                xml += "<c r=\"" + ref + "\" s=\"" + std::to_string(column % 2 + 1) + "\"><v>" +
                       std::to_string(row * 0.25 + column) + "</v></c>";
            }
        }
        xml += "</row>";
    }
    return xml + "</sheetData></worksheet>";
}

std::string sharedStringsXml() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
        "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">";
    for (int i = 0; i < 500; ++i) {
        xml += "<si><t>label " + std::to_string(i) + "</t></si>";
    }
    return xml + "</sst>";
}

const char* const kContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" "
    "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
    "<Override PartName=\"/xl/sharedStrings.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/"
    ">"
    "<Override PartName=\"/xl/styles.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
    "</Types>";
const char* const kRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/>"
    "</Relationships>";
const char* const kWorkbook =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
    "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
    "<sheets><sheet name=\"Big\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>";
const char* const kWorkbookRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
    "Target=\"sharedStrings.xml\"/>"
    "<Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/>"
    "</Relationships>";
const char* const kStyles =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
    "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"0.000\"/></numFmts>"
    "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
    "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill><fill><patternFill "
    "patternType=\"gray125\"/></fill></fills>"
    "<borders count=\"2\"><border><left/><right/><top/><bottom/><diagonal/></border>"
    "<border><left/><right style=\"thin\"/><top/><bottom/><diagonal/></border></borders>"
    "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
    "borderId=\"0\"/></cellStyleXfs>"
    "<cellXfs count=\"3\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
    "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"1\" xfId=\"0\" applyBorder=\"1\"/>"
    "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" "
    "applyNumberFormat=\"1\"/></cellXfs>"
    "</styleSheet>";

void addPart(zip_t* archive, const char* name, const std::string& text) {
    auto* copy = static_cast<char*>(std::malloc(text.size()));
    std::memcpy(copy, text.data(), text.size());
    zip_source_t* source = zip_source_buffer(archive, copy, text.size(), 1);
    zip_file_add(archive, name, source, ZIP_FL_OVERWRITE);
}

// Writes the workbook once per run into the temporary folder.
const std::string& bigWorkbook() {
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() /
                          ("tabulon-bench-" + std::to_string(getpid()) + ".xlsx");
        int error = 0;
        zip_t* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        addPart(archive, "[Content_Types].xml", kContentTypes);
        addPart(archive, "_rels/.rels", kRootRels);
        addPart(archive, "xl/workbook.xml", kWorkbook);
        addPart(archive, "xl/_rels/workbook.xml.rels", kWorkbookRels);
        addPart(archive, "xl/styles.xml", kStyles);
        addPart(archive, "xl/sharedStrings.xml", sharedStringsXml());
        addPart(archive, "xl/worksheets/sheet1.xml", sheetXml());
        zip_close(archive);
        std::atexit([] { std::filesystem::remove(bigWorkbook()); });
        return file.string();
    }();
    return path;
}

long residentBytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

void BM_Open(benchmark::State& state) {
    const auto& path = bigWorkbook();
    for (auto _ : state) {
        auto app = office::excel::Application::Create();
        auto book = app->Workbooks()->Open(path);
        benchmark::DoNotOptimize(book);
        app->Quit();
    }
    state.counters["cells"] = kRows * kColumns;
}

// One step of the engine's walk: Value, Borders(xlRight).LineStyle and Offset.
void BM_WalkStep(benchmark::State& state) {
    auto app = office::excel::Application::Create();
    auto book = app->Workbooks()->Open(bigWorkbook());
    auto sheet = book->Worksheets()->Item(1);
    auto cell = sheet->Range("A1");
    int row = 1;
    int column = 1;
    for (auto _ : state) {
        benchmark::DoNotOptimize(cell->Value());
        benchmark::DoNotOptimize(cell->Borders(office::excel::xlRight).LineStyle());
        if (column < kColumns) {
            cell = cell->Offset(0, 1);
            ++column;
        } else if (row < kRows) {
            cell = cell->Offset(1, 1 - kColumns);
            column = 1;
            ++row;
        } else {
            cell = sheet->Range("A1");
            row = column = 1;
        }
    }
    state.SetItemsProcessed(state.iterations());
    app->Quit();
}

// The memory an open workbook holds, per filled cell: the heap bytes in use after the open
// less those before (what the workbook keeps), the growth of the resident size (which also
// counts heap that the parse used and freed), and the cell store's own bytes.
void memoryPerCell(benchmark::State& state, const std::string& path) {
    double rssPerCell = 0;
    double storePerCell = 0;
    double heapPerCell = 0;
    for (auto _ : state) {
        const long before = residentBytes();
        const auto heapBefore = mallinfo2().uordblks;
        auto app = office::excel::Application::Create();
        auto book = app->Workbooks()->Open(path);
        const long after = residentBytes();
        const auto heapAfter = mallinfo2().uordblks;
        const auto& sheet = *book->impl()->sheets.front();
        const double cells = static_cast<double>(sheet.cells.cellCount());
        rssPerCell = static_cast<double>(after - before) / cells;
        heapPerCell = (static_cast<double>(heapAfter) - static_cast<double>(heapBefore)) / cells;
        storePerCell = static_cast<double>(sheet.cells.bytesUsed()) / cells;
        app->Quit();
    }
    state.counters["rss_bytes_per_cell"] = rssPerCell;
    state.counters["store_bytes_per_cell"] = storePerCell;
    state.counters["heap_bytes_per_cell"] = heapPerCell;
}

void BM_MemoryPerCell(benchmark::State& state) {
    memoryPerCell(state, bigWorkbook());
}

// ---- the same cells as an .xls ----

void put16(std::vector<std::uint8_t>& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

void put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void record(std::vector<std::uint8_t>& out, unsigned id, const std::vector<std::uint8_t>& body) {
    put16(out, id);
    put16(out, static_cast<unsigned>(body.size()));
    out.insert(out.end(), body.begin(), body.end());
}

std::vector<std::uint8_t> bof(unsigned type) {
    std::vector<std::uint8_t> body;
    for (unsigned v : {0x0600u, type, 0x0DBBu, 0x07CCu, 0u, 0u, 6u, 0u}) {
        put16(body, v);
    }
    return body;
}

std::vector<std::uint8_t> xf(unsigned format, std::uint32_t border) {
    std::vector<std::uint8_t> body;
    put16(body, 0);
    put16(body, format);
    put16(body, 1);
    put32(body, 0x20);  // bottom-aligned
    put32(body, border);
    put32(body, 0);
    put16(body, 0x20C0);
    return body;
}

// The workbook stream as Excel writes such a sheet: blocks of 32 rows, each its Row records
// and then for every row a LabelSst in column A and a MulRk of the row's numbers (each a
// hundredth-integer RK), with the styles of the .xlsx.
std::vector<std::uint8_t> xlsStream() {
    std::vector<std::uint8_t> out;
    record(out, 0x0809, bof(0x0005));
    std::vector<std::uint8_t> font;
    for (unsigned v : {220u, 0u, 0x7FFFu, 400u, 0u}) {
        put16(font, v);
    }
    font.insert(font.end(), {0, 0, 0, 0, 7, 0, 'C', 'a', 'l', 'i', 'b', 'r', 'i'});
    record(out, 0x0031, font);
    std::vector<std::uint8_t> format;
    put16(format, 164);
    put16(format, 5);
    format.insert(format.end(), {0, '0', '.', '0', '0', '0'});
    record(out, 0x041E, format);
    record(out, 0x00E0, xf(0, 0));
    record(out, 0x00E0, xf(0, 1u << 4));  // a thin right border
    record(out, 0x00E0, xf(164, 0));
    const std::size_t sheetOffset = out.size() + 4;
    record(out, 0x0085, {0, 0, 0, 0, 0, 0, 3, 0, 'B', 'i', 'g'});
    std::vector<std::uint8_t> sst;
    put32(sst, kRows);
    put32(sst, 500);
    for (int i = 0; i < 500; ++i) {
        const std::string text = "label " + std::to_string(i);
        put16(sst, static_cast<unsigned>(text.size()));
        sst.push_back(0);
        sst.insert(sst.end(), text.begin(), text.end());
    }
    record(out, 0x00FC, sst);
    record(out, 0x000A, {});
    const auto at = static_cast<std::uint32_t>(out.size());
    for (int b = 0; b < 4; ++b) {
        out[sheetOffset + b] = static_cast<std::uint8_t>(at >> (8 * b));
    }
    record(out, 0x0809, bof(0x0010));
    for (int row = 1; row <= kRows; ++row) {
        if ((row - 1) % 32 == 0) {  // a block of rows: their Row records, then their cells
            for (int r = row; r < row + 32 && r <= kRows; ++r) {
                std::vector<std::uint8_t> info;
                for (unsigned v : {static_cast<unsigned>(r - 1), 0u, unsigned{kColumns}, 255u, 0u,
                                   0u, 0x0100u, 0u}) {
                    put16(info, v);
                }
                record(out, 0x0208, info);
            }
        }
        std::vector<std::uint8_t> label;
        put16(label, row - 1);
        put16(label, 0);
        put16(label, 1);
        put32(label, static_cast<std::uint32_t>(row % 500));
        record(out, 0x00FD, label);
        std::vector<std::uint8_t> numbers;
        put16(numbers, row - 1);
        put16(numbers, 1);
        for (int column = 2; column <= kColumns; ++column) {
            put16(numbers, column % 2 + 1);
            put32(numbers, (static_cast<std::uint32_t>(row * 25 + column * 100) << 2) | 3);
        }
        put16(numbers, kColumns - 1);
        record(out, 0x00BD, numbers);
    }
    record(out, 0x000A, {});
    return out;
}

const std::string& bigXlsWorkbook() {
    static const std::string path = [] {
        const auto file = std::filesystem::temp_directory_path() /
                          ("tabulon-bench-" + std::to_string(getpid()) + ".xls");
        const auto bytes = office::compound::create({{"Workbook", xlsStream()}});
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        std::atexit([] { std::filesystem::remove(bigXlsWorkbook()); });
        return file.string();
    }();
    return path;
}

void BM_MemoryPerCellXls(benchmark::State& state) {
    memoryPerCell(state, bigXlsWorkbook());
}

void BM_OpenXls(benchmark::State& state) {
    const auto& path = bigXlsWorkbook();
    for (auto _ : state) {
        auto app = office::excel::Application::Create();
        auto book = app->Workbooks()->Open(path);
        benchmark::DoNotOptimize(book);
        app->Quit();
    }
    state.counters["cells"] = kRows * kColumns;
}

// Memory first, on a heap that no earlier open has grown.
BENCHMARK(BM_MemoryPerCell)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemoryPerCellXls)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenXls)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WalkStep);

}  // namespace

BENCHMARK_MAIN();
