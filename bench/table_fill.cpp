// Filling native tables at report size: a presentation of 300 slides, each with the banded 3 x 3
// table of tests/fixtures/pptx/tables.pptx (row and column ids included), every table filled with
// a block of 20 x 8 cells (so it grows in both directions), and the result saved. The target is
// under one second for the whole.
//
// BM_FillTables: through the presentation host alone: open, 300 fills with ready texts, save.
// BM_ConvertTables: a whole run: a workbook of 300 worksheets, each one block of 20 x 8 cells
// (a header row, a label column, numbers), into the template with every slide linked to its
// table, the texts read as the workbook displays them.
//
// The inputs are made once, by copying the fixture's first slide and a worksheet written here;
// every zip entry is deflated, as office suites write their files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "bench/deck_maker.h"
#include "engine/MDL_PptReport.h"
#include "office/package/package.h"
#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;
namespace package = office::package;
namespace ppt = office::ppt;

constexpr int kSlides = 300;
constexpr int kRows = 20;
constexpr int kColumns = 8;
constexpr const char* kRelBase =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr const char* kSlideType =
    "application/vnd.openxmlformats-officedocument.presentationml.slide+xml";
constexpr const char* kSheetType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";

// The fixture's three slides all become copies of its first, and more copies follow them.
void makeDeck(const fs::path& target) {
    const fs::path fixture = fs::path(TABULON_SOURCE_DIR) / "tests/fixtures/pptx/tables.pptx";
    auto deck = package::Package::openFile(fixture.string(), "presentation");
    const std::string presentationPart = "ppt/presentation.xml";
    auto presentationRels = deck.relationships(presentationPart);
    const std::string slide1 = "ppt/slides/slide1.xml";
    const std::string slideXml = deck.read(slide1);
    const auto slideRels = deck.relationships(slide1);
    for (const char* other : {"ppt/slides/slide2.xml", "ppt/slides/slide3.xml"}) {
        deck.write(other, slideXml);
    }
    auto idList = deck.xml(presentationPart).document_element().child("p:sldIdLst");
    for (int k = 4; k <= kSlides; ++k) {
        const std::string slidePart = deck.freePartName("ppt/slides/slide#.xml");
        deck.write(slidePart, slideXml);
        deck.setContentType(slidePart, kSlideType);
        deck.setRelationships(slidePart, slideRels);
        const std::string id = presentationRels.add(
            std::string(kRelBase) + "slide", package::relativeTarget(presentationPart, slidePart));
        auto entry = idList.append_child("p:sldId");
        entry.append_attribute("id") = 255 + k;
        entry.append_attribute("r:id") = id.c_str();
    }
    deck.markDirty(presentationPart);
    deck.setRelationships(presentationPart, presentationRels);
    deck.saveFile(target.string());
    bench::deflateEveryEntry(target);
}

// "Quarter 3": a word and a number (appended, which GCC 12 does not misread as an overlap).
std::string labelled(std::string_view word, int number) {
    std::string text(word);
    text += std::to_string(number);
    return text;
}

// Texts as a report's table holds them: a header row, a label column and formatted numbers.
ppt::CellTexts block() {
    ppt::CellTexts texts(kRows, std::vector<std::string>(kColumns));
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            texts[r][c] = r == 0   ? labelled("Quarter ", c)
                          : c == 0 ? labelled("Region ", r)
                                   : labelled("$", r * 1000 + c * 17) + ".50";
        }
    }
    return texts;
}

std::string columnName(int column) {
    return std::string(1, static_cast<char>('A' + column));
}

std::string inlineCell(const std::string& ref, const std::string& text) {
    return "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + text + "</t></is></c>";
}

// A worksheet of one block: marker in A1, title in A2, the table from A3 on.
std::string blockSheet() {
    std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
        "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>"
        "<row r=\"1\">" +
        inlineCell("A1", "marker") + "</row><row r=\"2\">" + inlineCell("A2", "title") + "</row>";
    for (int r = 0; r < kRows; ++r) {
        const std::string row = std::to_string(r + 3);
        xml += "<row r=\"" + row + "\">";
        for (int c = 0; c < kColumns; ++c) {
            const std::string ref = columnName(c) + row;
            if (r == 0 || c == 0) {
                xml += inlineCell(
                    ref, r == 0 ? "Quarter " + std::to_string(c) : "Region " + std::to_string(r));
            } else {
                xml +=
                    "<c r=\"" + ref + "\"><v>" + std::to_string(r * 1000 + c * 17) + ".5</v></c>";
            }
        }
        xml += "</row>";
    }
    return xml + "</sheetData></worksheet>";
}

// The engine fixture's one-sheet workbook with that sheet replaced by blockSheet() and copied
// as Sheet2, Sheet3, ...
void makeWorkbook(const fs::path& target) {
    const fs::path fixture = fs::path(TABULON_SOURCE_DIR) / "tests/fixtures/engine/one-sheet.xlsx";
    auto book = package::Package::openFile(fixture.string(), "workbook");
    const std::string workbookPart = "xl/workbook.xml";
    auto rels = book.relationships(workbookPart);
    const std::string sheet1 =
        package::resolveTarget(workbookPart, rels.findByType("/worksheet")->target);
    const std::string sheetXml = blockSheet();
    book.write(sheet1, sheetXml);
    auto sheets = book.xml(workbookPart).document_element().child("sheets");
    for (int k = 2; k <= kSlides; ++k) {
        const std::string sheetPart = book.freePartName("xl/worksheets/sheet#.xml");
        book.write(sheetPart, sheetXml);
        book.setContentType(sheetPart, kSheetType);
        const std::string id = rels.add(std::string(kRelBase) + "worksheet",
                                        package::relativeTarget(workbookPart, sheetPart));
        auto sheet = sheets.append_child("sheet");
        sheet.append_attribute("xmlns:r") =
            "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
        sheet.append_attribute("name") = labelled("Sheet", k).c_str();
        sheet.append_attribute("sheetId") = k;
        sheet.append_attribute("r:id") = id.c_str();
    }
    book.markDirty(workbookPart);
    book.setRelationships(workbookPart, rels);
    book.saveFile(target.string());
    bench::deflateEveryEntry(target);
}

// Links slide k to worksheet k and its table, as the mapping stores a link.
void linkSlides(const fs::path& path) {
    auto app = ppt::Application::Create();
    auto presentation = app->Presentations()->Open(path.string());
    auto slides = presentation->Slides();
    for (int k = 1; k <= slides->Count(); ++k) {
        auto slide = slides->Item(k);
        slide->SetName(labelled("Sheet", k));
        slide->Tags()->Add("Name", "Sales table");
        slide->Tags()->Add("Type", "Table");
    }
    presentation->Save();
    app->Quit();
}

void BM_FillTables(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "tabulon-bench-tables";
    fs::create_directories(folder);
    const fs::path input = folder / "tables-300.pptx";
    const fs::path output = folder / "filled.pptx";
    makeDeck(input);
    const ppt::CellTexts texts = block();
    for (auto _ : state) {
        auto app = ppt::Application::Create();
        auto presentation = app->Presentations()->Open(input.string());
        auto slides = presentation->Slides();
        const int count = slides->Count();
        for (int i = 1; i <= count; ++i) {
            slides->Item(i)->Shapes()->Item(1)->Table()->Fill(texts);
        }
        presentation->SaveAs(output.string());
        app->Quit();
    }
    state.counters["slides"] = kSlides;
    state.counters["output_mb"] = static_cast<double>(fs::file_size(output)) / (1 << 20);
    fs::remove_all(folder);
}
BENCHMARK(BM_FillTables)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_ConvertTables(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / "tabulon-bench-convert-tables";
    fs::create_directories(folder);
    const fs::path workbook = folder / "blocks-300.xlsx";
    const fs::path templ = folder / "tables-300.pptx";
    const fs::path output = folder / "converted.pptx";
    makeWorkbook(workbook);
    makeDeck(templ);
    linkSlides(templ);
    MDL_PptReport::RunStatistics statistics;
    for (auto _ : state) {
        MDL_PptReport::ConvertReport(workbook.string(), templ.string(), output.string(),
                                     &statistics);
    }
    if (statistics.slides != kSlides) {
        state.SkipWithError("not every slide was filled");
    }
    state.counters["slides"] = statistics.slides;
    state.counters["blocks"] = statistics.blocks;
    fs::remove_all(folder);
}
BENCHMARK(BM_ConvertTables)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
