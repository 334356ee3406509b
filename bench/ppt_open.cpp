// Opens a presentation of 300 slides, one chart each, into the template tree, as a .ppt and as
// the same deck in .pptx. The .ppt is made from the generated .pptx by LibreOffice (soffice must
// be installed).
//
// Run: bench_ppt_open [benchmark flags]. Compare CPU times (the machine may be shared).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/deck_maker.h"
#include "office/error.h"
#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSlides = 300;

struct Paths {
    fs::path folder;
    fs::path pptx;
    fs::path ppt;
};

Paths& paths() {
    static Paths instance;
    return instance;
}

// Opens the template and reads what its tree shows, as choosing it in the window does: every
// slide's id and name, and every shape's id, name and kind of object.
void openIntoTree(const std::string& path) {
    auto app = office::ppt::Application::Create();
    auto slides = app->Presentations()->Open(path)->Slides();
    if (slides->Count() != kSlides) {
        std::fprintf(stderr, "%s: %d slides, not %d\n", path.c_str(), slides->Count(), kSlides);
        std::exit(1);
    }
    std::size_t read = 0;
    for (int i = 1; i <= slides->Count(); ++i) {
        auto slide = slides->Item(i);
        read += static_cast<std::size_t>(slide->SlideID()) + slide->Name().size();
        auto shapes = slide->Shapes();
        for (int j = 1; j <= shapes->Count(); ++j) {
            auto shape = shapes->Item(j);
            read += static_cast<std::size_t>(shape->Id()) + shape->Name().size();
            if (!shape->HasTable()) {
                try {
                    read += shape->OLEFormat()->ProgID().size();
                } catch (const office::Error&) {
                }
            }
        }
    }
    benchmark::DoNotOptimize(read);
    app->Quit();
}

void BM_OpenPptIntoTree(benchmark::State& state) {
    for (auto _ : state) {
        openIntoTree(paths().ppt.string());
    }
}

void BM_OpenPptxIntoTree(benchmark::State& state) {
    for (auto _ : state) {
        openIntoTree(paths().pptx.string());
    }
}

BENCHMARK(BM_OpenPptIntoTree)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenPptxIntoTree)->Unit(benchmark::kMillisecond);

// The median CPU time of the runs, in milliseconds.
double medianCpuMs(const std::string& path, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const std::clock_t start = std::clock();
        openIntoTree(path);
        times.push_back(1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report() {
    const double ppt = medianCpuMs(paths().ppt.string(), 9);
    const double pptx = medianCpuMs(paths().pptx.string(), 9);
    for (const fs::path& file : {paths().ppt, paths().pptx}) {
        std::printf("%s: %.0f KiB\n", file.filename().c_str(),
                    static_cast<double>(fs::file_size(file)) / 1024.0);
    }
    std::printf(
        "open into the tree, CPU time (median of 9): .ppt %.1f ms, .pptx %.1f ms, "
        "ratio %.2f\n",
        ppt, pptx, ppt / pptx);
}

}  // namespace

int main(int argc, char** argv) {
    paths().folder = bench::benchFolder();
    paths().pptx = paths().folder / "deck300.pptx";
    paths().ppt = paths().folder / "deck300.ppt";
    if (!bench::makePptDeck(paths().folder, kSlides)) {
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    report();
    fs::remove_all(paths().folder);
    return 0;
}
