// Filling native tables at report size: a presentation of 300 slides, each with the banded 3 x 3
// table of tests/fixtures/pptx/tables.pptx (row and column ids included), is opened, every
// table is filled with a block of 20 x 8 texts (so it grows in both directions) and the result
// is saved. The target is under one second for the whole: open, 300 fills and the save.
//
// The input is made once, by copying the fixture's first slide; every zip entry is deflated,
// as office suites write their files.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/deck_maker.h"
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

// Texts as a report's table holds them: a header row, a label column and formatted numbers.
ppt::CellTexts block() {
    ppt::CellTexts texts(kRows, std::vector<std::string>(kColumns));
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            texts[r][c] = r == 0   ? "Quarter " + std::to_string(c)
                          : c == 0 ? "Region " + std::to_string(r)
                                   : "$" + std::to_string(r * 1000 + c * 17) + ".50";
        }
    }
    return texts;
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

}  // namespace

BENCHMARK_MAIN();
