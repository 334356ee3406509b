// Opens and saves, unchanged, a presentation of 300 slides with one native chart each, and
// compares that with the least any zip tool must do: copying the same entries into a new zip
// with libzip, compressed bytes as they are. Also measures the peak memory of one round trip
// in a child process against the file's size.
//
// Run: bench_presentation_roundtrip [benchmark flags]. The deck is generated from the fixture
// tests/fixtures/pptx/three_charts.pptx into a temporary folder.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/deck_maker.h"
#include "office/powerpoint.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSlides = 300;

struct Paths {
    fs::path folder;
    fs::path deck;
};

Paths& paths() {
    static Paths instance;
    return instance;
}

void roundTrip(const std::string& input, const std::string& output) {
    auto app = office::ppt::Application::Create();
    auto presentation = app->Presentations()->Open(input);
    presentation->SaveAs(output);
    presentation->Close();
    app->Quit();
}

// The baseline: every entry copied into a new zip with libzip, compressed bytes as they are.
void copyEntries(const std::string& input, const std::string& output) {
    int error = 0;
    zip_t* in = zip_open(input.c_str(), ZIP_RDONLY, &error);
    std::string temp = output + ".tmp";
    zip_t* out = zip_open(temp.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    for (zip_int64_t i = 0; i < zip_get_num_entries(in, 0); ++i) {
        auto index = static_cast<zip_uint64_t>(i);
        zip_source_t* source = zip_source_zip(out, in, index, ZIP_FL_COMPRESSED, 0, -1);
        zip_file_add(out, zip_get_name(in, index, 0), source, ZIP_FL_ENC_UTF_8);
    }
    zip_close(out);
    zip_discard(in);
    fs::rename(temp, output);
}

void BM_TabulonOpenSaveUnchanged(benchmark::State& state) {
    std::string output = (paths().folder / "saved.pptx").string();
    for (auto _ : state) {
        roundTrip(paths().deck.string(), output);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(paths().deck)));
}

void BM_LibzipCopyEntries(benchmark::State& state) {
    std::string output = (paths().folder / "copied.pptx").string();
    for (auto _ : state) {
        copyEntries(paths().deck.string(), output);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(fs::file_size(paths().deck)));
}

BENCHMARK(BM_TabulonOpenSaveUnchanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibzipCopyEntries)->Unit(benchmark::kMillisecond);

// The peak resident memory, in KiB, of a fresh run of this program with the given arguments
// (exec'd, so that none of this process's heap counts).
long childPeakKiB(const std::vector<std::string>& arguments) {
    pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

template <class Work>
double medianMs(Work work, int runs) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report() {
    const std::string deck = paths().deck.string();
    const std::string saved = (paths().folder / "saved.pptx").string();
    const std::string copied = (paths().folder / "copied.pptx").string();
    double ours = medianMs([&] { roundTrip(deck, saved); }, 15);
    double baseline = medianMs([&] { copyEntries(deck, copied); }, 15);
    long idle = childPeakKiB({"bench", "--idle"});
    long peak = childPeakKiB({"bench", "--roundtrip-once", deck, saved});
    double fileKiB = static_cast<double>(fs::file_size(deck)) / 1024.0;
    std::printf("deck: %d slides, %d charts, %.0f KiB\n", kSlides, kSlides, fileKiB);
    std::printf(
        "open+save unchanged: %.1f ms (median of 15); libzip entry copy: %.1f ms; "
        "ratio %.2f (target <= 1.5)\n",
        ours, baseline, ours / baseline);
    std::printf(
        "peak memory of one round trip: %ld KiB above an idle run (%ld KiB total); "
        "%.2f x the file (target < 3)\n",
        peak - idle, peak, static_cast<double>(peak - idle) / fileKiB);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--idle") {
        return 0;
    }
    if (argc == 4 && std::string(argv[1]) == "--roundtrip-once") {
        roundTrip(argv[2], argv[3]);
        return 0;
    }
    paths().folder = bench::benchFolder();
    paths().deck = paths().folder / "deck300.pptx";
    bench::generateDeck(paths().deck, kSlides);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    report();
    fs::remove_all(paths().folder);
    return 0;
}
