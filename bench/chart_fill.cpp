// Fills the native charts of a presentation of 300 slides (one chart each, each with its own
// embedded workbook) through the chart server, as the conversion does: paste a block, set the
// title, Update, Quit; then saves. Compared with the plain open-and-save of the same file.
//
// Also fills one chart with a block of 2,000 and of 16,000 series (four categories each), to
// show that the time grows with the block's size and not faster; and fillLargeBlock fills one
// chart from a block of 20,000 rows and 9 columns and reports the process's peak resident memory
// (counter "peak_MB"; run it alone for that number to mean the fill).
//
// Run: bench_chart_fill [benchmark flags]. The deck is generated from the fixture
// tests/fixtures/pptx/three_charts.pptx into a temporary folder.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/deck_maker.h"
#include "office/clipboard.h"
#include "office/graph.h"
#include "office/package/package.h"
#include "office/ppt/object_site.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSlides = 300;

fs::path deckPath() {
    static const fs::path path = [] {
        fs::path folder = fs::temp_directory_path() / "tabulon_bench_chart_fill";
        fs::create_directories(folder);
        return folder / "deck.pptx";
    }();
    return path;
}

// One row per region and a column per year: a block larger than the template's data.
office::CellBlock block() {
    office::CellBlock b;
    b.rows = 8;
    b.columns = 5;
    for (int r = 0; r < b.rows; ++r) {
        for (int c = 0; c < b.columns; ++c) {
            office::ClipCell cell;
            if (r == 0 && c > 0) {
                cell.value = office::Value::text(std::to_string(2020 + c));
            } else if (c == 0 && r > 0) {
                cell.value = office::Value::text("Region " + std::to_string(r));
            } else if (r > 0) {
                cell.value = office::Value::number(r * 10.5 + c);
                cell.numberFormat = "#,##0.0";
            }
            b.cells.push_back(cell);
        }
    }
    return b;
}

// The chart frames of every slide, described as the presentation code hands them over.
std::vector<office::detail::ObjectSite> chartSites(
    const std::shared_ptr<office::detail::OpenDocument>& document, int slides = kSlides) {
    std::vector<office::detail::ObjectSite> sites;
    auto& package = document->package;
    for (int i = 1; i <= slides; ++i) {
        const std::string slide = "ppt/slides/slide" + std::to_string(i) + ".xml";
        const auto rels = package.relationships(slide);
        for (pugi::xpath_node chart : package.xml(slide).select_nodes("//c:chart")) {
            const auto* rel = rels.find(chart.node().attribute("r:id").value());
            office::detail::ObjectSite site;
            site.document = document;
            site.slidePart = slide;
            site.slideIndex = i;
            site.shapeName = "Chart";
            site.relId = rel->id;
            site.objectPart = office::package::resolveTarget(slide, rel->target);
            site.nativeChart = true;
            sites.push_back(site);
        }
    }
    return sites;
}

void openAndSave(benchmark::State& state) {
    const fs::path output = deckPath().parent_path() / "saved.pptx";
    for (auto _ : state) {
        auto package = office::package::Package::openFile(deckPath().string(), "presentation");
        package.saveFile(output.string());
    }
}

void fillAndSave(benchmark::State& state) {
    const fs::path output = deckPath().parent_path() / "filled.pptx";
    office::Clipboard::instance().set(block());
    std::size_t charts = 0;
    for (auto _ : state) {
        auto document = std::make_shared<office::detail::OpenDocument>(office::detail::OpenDocument{
            office::package::Package::openFile(deckPath().string(), "presentation")});
        const auto sites = chartSites(document);
        for (const auto& site : sites) {
            auto object = office::detail::openChartObject(site);
            auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
            app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
            auto chart = app->Chart();
            if (chart->HasTitle()) {
                chart->ChartTitle()->SetCaption("Sales by region");
            }
            app->Update();
            app->Quit();
        }
        charts = sites.size();
        document->package.saveFile(output.string());
    }
    state.counters["charts"] = static_cast<double>(charts);
}

// A block of `series` columns of numbers below their names, four categories down.
office::CellBlock wideBlock(int series) {
    office::CellBlock b;
    b.rows = 5;
    b.columns = series + 1;
    for (int r = 0; r < b.rows; ++r) {
        for (int c = 0; c < b.columns; ++c) {
            office::ClipCell cell;
            if (r == 0 && c > 0) {
                cell.value = office::Value::text("Series " + std::to_string(c));
            } else if (c == 0 && r > 0) {
                cell.value = office::Value::text("Q" + std::to_string(r));
            } else if (r > 0) {
                cell.value = office::Value::number(r * 0.5 + c);
            }
            b.cells.push_back(cell);
        }
    }
    return b;
}

void fillWideBlock(benchmark::State& state) {
    const auto series = static_cast<int>(state.range(0));
    office::Clipboard::instance().set(wideBlock(series));
    const std::string fixture =
        std::string(TABULON_SOURCE_DIR) + "/tests/fixtures/pptx/three_charts.pptx";
    for (auto _ : state) {
        state.PauseTiming();
        auto document = std::make_shared<office::detail::OpenDocument>(office::detail::OpenDocument{
            office::package::Package::openFile(fixture, "presentation")});
        const auto site = chartSites(document, 1).front();
        state.ResumeTiming();
        auto object = office::detail::openChartObject(site);
        auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
        app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
        app->Update();
        app->Quit();
    }
    state.SetItemsProcessed(state.iterations() * series);
}

// A header row of years and 20,000 rows of a label and eight numbers.
office::CellBlock largeBlock() {
    office::CellBlock b;
    b.rows = 20001;
    b.columns = 9;
    b.cells.reserve(static_cast<std::size_t>(b.rows) * b.columns);
    for (int r = 0; r < b.rows; ++r) {
        for (int c = 0; c < b.columns; ++c) {
            office::ClipCell cell;
            if (r == 0) {
                cell.value =
                    c == 0 ? office::Value() : office::Value::text(std::to_string(2015 + c));
            } else if (c == 0) {
                cell.value = office::Value::text("Item " + std::to_string(r));
            } else {
                cell.value = office::Value::number(r * 0.25 + c);
                cell.numberFormat = "#,##0.00";
            }
            b.cells.push_back(std::move(cell));
        }
    }
    return b;
}

double peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void fillLargeBlock(benchmark::State& state) {
    const fs::path output = deckPath().parent_path() / "large.pptx";
    office::Clipboard::instance().set(largeBlock());
    for (auto _ : state) {
        auto document = std::make_shared<office::detail::OpenDocument>(office::detail::OpenDocument{
            office::package::Package::openFile(deckPath().string(), "presentation")});
        const auto site = chartSites(document, 1).front();
        auto object = office::detail::openChartObject(site);
        auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
        app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
        app->Update();
        app->Quit();
        document->package.saveFile(output.string());
    }
    state.counters["peak_MB"] = peakMegabytes();
}

BENCHMARK(openAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(fillAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(fillWideBlock)->Arg(2000)->Arg(16000)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(fillLargeBlock)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    bench::generateDeck(deckPath(), kSlides);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
