// A whole conversion run of a .ppt template of 300 Graph charts, beside the same deck as .pptx:
// a workbook of 300 worksheets (two blocks of 13 x 4 cells each) fills a template of 300
// slides, each with one linked Graph chart object (MSGraph.Chart.8). In the .ppt every object
// is filled in its own records, gets a new picture drawn from its data, and the deck is saved
// in place; in the .pptx every object becomes a native chart. Both go through the engine, as
// tabulon-convert runs it.
//
// The .pptx template is made by the deck maker, the .ppt from it by LibreOffice (soffice must be
// installed), in a child process so that their making does not count in the peak memory; the
// slides are then linked through the office host. Counters: peak_rss_mb is the process's peak
// resident memory, run_mb that peak less the resident memory before the first run,
// output_ratio the output's size against the template's. Run one template per process for a
// clean peak: --benchmark_filter=BM_ConvertGraphDeck/ppt. With TABULON_BENCH_KEEP set, the
// inputs stay in the temporary folder, so that tabulon-convert can be run on them (under
// callgrind or /usr/bin/time -v, for instance).

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/deck_maker.h"
#include "office/error.h"
#include "office/package/time_zone.h"
#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSlides = 300;

// Names slide k "Sheet<k>" and tags it to fill its Graph object, as the mapping links a slide.
void linkSlides(const fs::path& path) {
    auto app = office::ppt::Application::Create();
    auto presentation = app->Presentations()->Open(path.string());
    auto slides = presentation->Slides();
    for (int k = 1; k <= slides->Count(); ++k) {
        auto slide = slides->Item(k);
        auto shapes = slide->Shapes();
        for (int j = 1; j <= shapes->Count(); ++j) {
            try {
                if (!shapes->Item(j)->OLEFormat()->ProgID().starts_with("MSGraph")) {
                    continue;
                }
            } catch (const office::Error&) {
                continue;  // no object
            }
            slide->SetName(bench::sheetName(k));
            slide->Tags()->Add("Name", shapes->Item(j)->Name());
            slide->Tags()->Add("Type", "Chart");
        }
    }
    presentation->Save();
    app->Quit();
}

// Makes the workbook, the .pptx template and the .ppt made of it, links both, once per process.
const fs::path& inputFolder() {
    static const fs::path folder = [] {
        const fs::path made = bench::benchFolder();
        const pid_t child = fork();
        if (child == 0) {
            bench::makeWorkbook(made / "workbook.xlsx", kSlides);
            bench::generateGraphDeck(made / "graph300.pptx", kSlides);
            if (!bench::convertToPpt(made, "graph300.pptx")) {
                std::_Exit(1);
            }
            linkSlides(made / "graph300.pptx");
            linkSlides(made / "graph300.ppt");
            std::_Exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "making the inputs failed\n");
            std::exit(1);
        }
        return made;
    }();
    return folder;
}

void convertGraphDeck(benchmark::State& state, const std::string& extension) {
    const fs::path& folder = inputFolder();
    const bench::Conversion inputs{folder / "workbook.xlsx", folder / ("graph300" + extension),
                                   folder / ("output" + extension)};
    const auto statistics = bench::convertEachIteration(state, inputs, kSlides);
    state.counters["charts"] = statistics.shapes;
    state.counters["template_mb"] = static_cast<double>(fs::file_size(inputs.templ)) / 1048576.0;
}

void BM_ConvertGraphDeck_ppt(benchmark::State& state) {
    convertGraphDeck(state, ".ppt");
}

void BM_ConvertGraphDeck_pptx(benchmark::State& state) {
    convertGraphDeck(state, ".pptx");
}

BENCHMARK(BM_ConvertGraphDeck_ppt)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ConvertGraphDeck_pptx)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// As the programs start.
int main(int argc, char** argv) {
    office::package::pinTimeZone();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!std::getenv("TABULON_BENCH_KEEP")) {
        fs::remove_all(bench::benchFolder());
    } else {
        std::printf("inputs kept in %s\n", bench::benchFolder().c_str());
    }
    return 0;
}
