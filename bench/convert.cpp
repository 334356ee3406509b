// A whole conversion run at report sizes: a workbook of N worksheets (two blocks of 13 x 4 cells
// each) into a template of N slides, each with a linked bar chart, for N = 30, 300 and 3,000.
// The inputs are made once per size, in a child process so that their making does not count
// in the peak memory, by copying the single sheet and the single chart slide of the engine's
// fixtures; the slides are then linked through the office host. Every zip entry is deflated,
// as office suites write their files.
//
// Counters: inputs_mb is the template's size plus the workbook's, peak_rss_mb the process's
// peak resident memory, run_mb that peak less the resident memory before the first run, and
// ratio run_mb / inputs_mb (the target is under 3), output_ratio the output's size against
// the template's. Run one size per process for a clean
// peak: --benchmark_filter=BM_Convert/300/. With TABULON_BENCH_KEEP set, the made inputs stay
// in the temporary folder for a closer look.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/deck_maker.h"
#include "office/package/package.h"
#include "office/package/time_zone.h"
#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;
namespace package = office::package;

const fs::path kFixtures = fs::path(TABULON_SOURCE_DIR) / "tests" / "fixtures" / "engine";
constexpr const char* kRelBase =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr const char* kSlideType =
    "application/vnd.openxmlformats-officedocument.presentationml.slide+xml";
constexpr const char* kChartType =
    "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";

// The chart's relationships with the embedded workbook's target moved to bookPart.
package::Relationships chartRels(package::Package& deck, const std::string& chart1,
                                 const std::string& chartPart, const std::string& bookPart) {
    auto rels = deck.relationships(chart1);
    for (auto& rel : rels.items()) {
        if (rel.type.ends_with("/package")) {
            rel.target = package::relativeTarget(chartPart, bookPart);
        }
    }
    return rels;
}

// Copies slide 1, its chart and the chart's workbook count - 1 times.
void makeTemplate(const fs::path& target, int count) {
    auto deck = package::Package::openFile((kFixtures / "one-chart.pptx").string(), "presentation");
    const std::string presentationPart = "ppt/presentation.xml";
    auto presentationRels = deck.relationships(presentationPart);
    const std::string slide1 =
        package::resolveTarget(presentationPart, presentationRels.findByType("/slide")->target);
    const auto slideRels = deck.relationships(slide1);
    const std::string chart1 =
        package::resolveTarget(slide1, slideRels.findByType("/chart")->target);
    const std::string book1 =
        package::resolveTarget(chart1, deck.relationships(chart1).findByType("/package")->target);

    // The fixture's embedded workbook is stored; office suites deflate its entries.
    const std::string embeddedBook = bench::deflateEveryEntry(deck.read(book1));
    deck.write(book1, embeddedBook);

    auto& presentation = deck.xml(presentationPart);
    auto idList = presentation.document_element().child("p:sldIdLst");
    for (int k = 2; k <= count; ++k) {
        const std::string slidePart = deck.freePartName("ppt/slides/slide#.xml");
        const std::string chartPart = deck.freePartName("ppt/charts/chart#.xml");
        const std::string bookPart =
            deck.freePartName("ppt/embeddings/Microsoft_Excel_Worksheet#.xlsx");
        deck.write(slidePart, deck.read(slide1));
        deck.setContentType(slidePart, kSlideType);
        deck.write(chartPart, deck.read(chart1));
        deck.setContentType(chartPart, kChartType);
        deck.write(bookPart, embeddedBook);
        deck.setRelationships(chartPart, chartRels(deck, chart1, chartPart, bookPart));

        package::Relationships rels;
        for (const auto& rel : slideRels.all()) {
            if (rel.type.ends_with("/notesSlide")) {
                continue;
            }
            package::Relationship copy = rel;
            if (rel.type.ends_with("/chart")) {
                copy.target = package::relativeTarget(slidePart, chartPart);
            } else {
                copy.target =
                    package::relativeTarget(slidePart, package::resolveTarget(slide1, rel.target));
            }
            rels.items().push_back(copy);
        }
        deck.setRelationships(slidePart, rels);

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

// Links slide k to worksheet k through the presentation host, as the mapping stores a link.
void linkSlides(const fs::path& path) {
    auto app = office::ppt::Application::Create();
    auto presentation = app->Presentations()->Open(path.string());
    auto slides = presentation->Slides();
    const int count = slides->Count();
    for (int k = 1; k <= count; ++k) {
        auto slide = slides->Item(k);
        slide->SetName(bench::sheetName(k));
        slide->Tags()->Add("Name", "Bar Chart");
        slide->Tags()->Add("Type", "Chart");
    }
    presentation->Save();
    app->Quit();
}

bench::Conversion makeInputs(int count) {
    const fs::path folder = fs::temp_directory_path() /
                            ("tabulon-bench-" + std::to_string(getpid())) / std::to_string(count);
    bench::Conversion inputs{folder / "workbook.xlsx", folder / "template.pptx",
                             folder / "output.pptx"};
    fs::create_directories(folder);
    const pid_t child = fork();
    if (child == 0) {
        bench::makeWorkbook(inputs.workbook, count);
        makeTemplate(inputs.templ, count);
        linkSlides(inputs.templ);
        std::_Exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "making the inputs for %d slides failed\n", count);
        std::exit(1);
    }
    return inputs;
}

void BM_Convert(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const bench::Conversion inputs = makeInputs(count);
    const auto statistics = bench::convertEachIteration(state, inputs, count);
    const double inputsMb =
        (fs::file_size(inputs.workbook) + fs::file_size(inputs.templ)) / (1024.0 * 1024.0);
    state.counters["inputs_mb"] = inputsMb;
    state.counters["ratio"] = state.counters["run_mb"] / inputsMb;
    state.counters["blocks"] = statistics.blocks;
    if (!std::getenv("TABULON_BENCH_KEEP")) {
        fs::remove_all(inputs.workbook.parent_path().parent_path());
    }
}

BENCHMARK(BM_Convert)->Arg(30)->Arg(300)->Arg(3000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// As the programs start.
int main(int argc, char** argv) {
    office::package::pinTimeZone();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
