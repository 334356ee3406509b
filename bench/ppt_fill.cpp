// Fills every object of a .ppt of 300 slides (one embedded chart object each) and saves it in
// place, as the conversion does once the Graph code has filled the objects: for each object its
// storage is read, changed (one stream rewritten) and put back with a new picture, which the
// deck appends as a new compressed storage, a PNG blip and a blip-store entry; then one fast
// save. The objects' own writers are not part of this measure: the storage is changed here by a
// plain rewrite of one stream, the picture is one PNG drawn beforehand at a chart's size.
//
// The .ppt is made from the generated .pptx deck by LibreOffice (soffice must be installed).
// Run: bench_ppt_fill [benchmark flags]. Compare CPU times (the machine may be shared).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QBuffer>
#include <QColor>
#include <QImage>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/deck_maker.h"
#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/powerpoint.h"
#include "office/ppt/object_site.h"

namespace {

namespace fs = std::filesystem;
using office::compound::Bytes;

constexpr int kSlides = 300;

struct Paths {
    fs::path folder;
    fs::path ppt;
    fs::path output;
};

Paths& paths() {
    static Paths instance;
    return instance;
}

// A picture of a chart's size and kind of content: bars on a white ground.
std::string chartPng() {
    QImage image(720, 480, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int bar = 0; bar < 12; ++bar) {
        const int height = 25 * (bar % 7 + 3);
        const QRgb colour = QColor::fromHsv(bar * 30, 180, 200).rgb();
        for (int y = 420 - height; y < 420; ++y) {
            for (int x = 60 + bar * 52; x < 100 + bar * 52; ++x) {
                image.setPixel(x, y, colour);
            }
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

// Fills every object of the deck and saves it; the number of objects filled.
int fillAndSave(const std::string& png) {
    auto app = office::ppt::Application::Create();
    auto deck = app->Presentations()->Open(paths().ppt.string());
    auto slides = deck->Slides();
    int filled = 0;
    for (int i = 1; i <= slides->Count(); ++i) {
        auto shapes = slides->Item(i)->Shapes();
        for (int j = 1; j <= shapes->Count(); ++j) {
            std::optional<office::detail::LegacyObjectSite> site;
            try {
                site = shapes->Item(j)->OLEFormat()->LegacySite();
            } catch (const office::Error&) {
                continue;  // no object
            }
            auto storage = office::compound::File::openBytes(site->storage(), site->where);
            const std::string text = "filled " + std::to_string(i);
            site->replace(storage.rewrite({{"Tabulon", Bytes(text.begin(), text.end())}}), png);
            ++filled;
        }
    }
    deck->SaveAs(paths().output.string());
    app->Quit();
    return filled;
}

void BM_FillAndSavePpt(benchmark::State& state) {
    const std::string png = chartPng();
    for (auto _ : state) {
        benchmark::DoNotOptimize(fillAndSave(png));
    }
}

BENCHMARK(BM_FillAndSavePpt)->Unit(benchmark::kMillisecond);

void report() {
    const std::string png = chartPng();
    std::vector<double> times;
    int filled = 0;
    for (int i = 0; i < 5; ++i) {
        const std::clock_t start = std::clock();
        filled = fillAndSave(png);
        times.push_back(1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC);
    }
    std::sort(times.begin(), times.end());
    std::printf(
        "%d objects filled and saved, CPU time (median of 5): %.0f ms; %s %.0f KiB -> "
        "%.0f KiB (picture of %zu bytes each)\n",
        filled, times[2], paths().ppt.filename().c_str(),
        static_cast<double>(fs::file_size(paths().ppt)) / 1024.0,
        static_cast<double>(fs::file_size(paths().output)) / 1024.0, png.size());
}

}  // namespace

int main(int argc, char** argv) {
    paths().folder = bench::benchFolder();
    paths().ppt = paths().folder / "deck300.ppt";
    paths().output = paths().folder / "filled.ppt";
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
