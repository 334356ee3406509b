// Opening a workbook of 200,000 filled cells and walking it cell by cell as the engine does
// (Value, Borders(xlRight).LineStyle, Offset per step), with the memory that the open workbook
// holds per cell.

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
void BM_MemoryPerCell(benchmark::State& state) {
    const auto& path = bigWorkbook();
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
// Memory first, on a heap that no earlier open has grown.
BENCHMARK(BM_MemoryPerCell)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Open)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_WalkStep);

}  // namespace

BENCHMARK_MAIN();
