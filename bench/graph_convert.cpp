// Converts and fills the Graph chart objects of a presentation of 300 slides (one each, with its
// fallback picture and legacy drawing shape) through the chart server, as the conversion does:
// paste a block, set the title, Update (the object becomes a native chart), Quit; then saves.
//
// Run: bench_graph_convert [benchmark flags]. The deck is generated from the fixture
// tests/fixtures/pptx/three_charts.pptx into a temporary folder; the Graph objects' records are
// built here.

#include <benchmark/benchmark.h>
#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/deck_maker.h"
#include "office/clipboard.h"
#include "office/compound/compound_file.h"
#include "office/graph.h"
#include "office/package/package.h"
#include "office/ppt/object_site.h"

namespace {

namespace fs = std::filesystem;
constexpr int kSlides = 300;

fs::path deckPath() {
    static const fs::path path = [] {
        fs::path folder = fs::temp_directory_path() / "tabulon_bench_graph_convert";
        fs::create_directories(folder);
        return folder / "deck.pptx";
    }();
    return path;
}

office::CellBlock block() {
    office::CellBlock b;
    b.rows = 6;
    b.columns = 7;
    for (int r = 0; r < b.rows; ++r) {
        for (int c = 0; c < b.columns; ++c) {
            office::ClipCell cell;
            if (r == 0 && c > 0) {
                cell.value = office::Value::text("Month " + std::to_string(c));
            } else if (c == 0 && r > 0) {
                cell.value = office::Value::text("Region " + std::to_string(r));
            } else if (r > 0) {
                cell.value = office::Value::number(r * 10.5 + c);
            }
            b.cells.push_back(cell);
        }
    }
    return b;
}

std::vector<office::detail::ObjectSite> graphSites(
    const std::shared_ptr<office::detail::OpenDocument>& document) {
    std::vector<office::detail::ObjectSite> sites;
    auto& package = document->package;
    for (int i = 1; i <= kSlides; ++i) {
        office::detail::ObjectSite site;
        site.document = document;
        site.slidePart = "ppt/slides/slide" + std::to_string(i) + ".xml";
        site.slideIndex = i;
        site.shapeId = 3;
        site.shapeName = "Sales chart";
        site.relId = "rId1";
        site.objectPart = office::package::resolveTarget(
            site.slidePart, package.relationships(site.slidePart).find("rId1")->target);
        site.progId = "MSGraph.Chart.8";
        sites.push_back(site);
    }
    return sites;
}

void convertFillAndSave(benchmark::State& state) {
    const fs::path output = deckPath().parent_path() / "filled.pptx";
    office::Clipboard::instance().set(block());
    for (auto _ : state) {
        auto document = std::make_shared<office::detail::OpenDocument>(office::detail::OpenDocument{
            office::package::Package::openFile(deckPath().string(), "presentation")});
        for (const auto& site : graphSites(document)) {
            auto object = office::detail::openChartObject(site);
            auto app = office::As<office::graph::Application>(object->GetProperty("Application"));
            app->DataSheet()->Cells(1, 1)->CallMethod("Paste");
            auto chart = app->Chart();
            if (chart->HasTitle()) {
                chart->ChartTitle()->SetCaption("Sales by month");
            }
            app->Update();
            app->Quit();
        }
        document->package.saveFile(output.string());
    }
    state.counters["charts"] = kSlides;
}

BENCHMARK(convertFillAndSave)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

int main(int argc, char** argv) {
    bench::generateGraphDeck(deckPath(), kSlides);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
