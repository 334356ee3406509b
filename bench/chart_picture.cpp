// Drawing the picture of one Graph chart as a slide shows it: clustered columns of three
// series over four categories, with a title, a legend on the right, value gridlines and tick
// labels, in a frame of 4 x 3 inches, so 768 x 576 pixels at 192 per inch. The whole picture
// is drawn and encoded as PNG on every iteration; the fonts are found once, as in a run that
// draws many pictures. The target is under 5 ms of CPU time per picture. With TABULON_BENCH_KEEP
// set, the picture is written to chart-picture.png in the temporary folder, to be looked at.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "office/binary/palette.h"
#include "office/graph/chart_picture.h"

namespace {

namespace mg = office::graph::msgraph;

mg::GraphChart salesChart() {
    mg::GraphChart chart;
    for (std::size_t i = 0; i < chart.palette.size(); ++i) {
        const std::uint32_t c = office::binary::kDefaultPalette[i];
        chart.palette[i] = {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                            static_cast<std::uint8_t>(c)};
    }
    const std::vector<std::string> regions = {"North", "South", "East", "West"};
    const double values[3][4] = {{10, 25, 40, 5}, {20, 15, 30, 12}, {8, 30, 22, 18}};
    for (int c = 0; c < 4; ++c) {
        chart.sheet.cells[{1, c + 2}].value = office::Value::text(regions[c]);
    }
    for (int s = 0; s < 3; ++s) {
        chart.sheet.cells[{s + 2, 1}].value = office::Value::text(std::to_string(2024 + s));
        for (int c = 0; c < 4; ++c) {
            chart.sheet.cells[{s + 2, c + 2}].value = office::Value::number(values[s][c]);
        }
    }
    chart.look.title = "Sales by region";
    chart.look.hasLegend = true;
    chart.look.categoryAxis.present = true;
    chart.look.valueAxis.present = true;
    chart.look.valueAxis.majorGridlines = true;
    return chart;
}

void BM_ChartPicture(benchmark::State& state) {
    const mg::GraphChart chart = salesChart();
    constexpr std::int64_t kEmuPerInch = 914400;
    office::graph::drawGraphChart(chart, 4 * kEmuPerInch, 3 * kEmuPerInch);  // fonts
    std::size_t bytes = 0;
    int width = 0;
    for (auto _ : state) {
        const auto picture = office::graph::drawGraphChart(chart, 4 * kEmuPerInch, 3 * kEmuPerInch);
        bytes = picture.png.size();
        width = picture.width;
        benchmark::DoNotOptimize(bytes);
    }
    if (std::getenv("TABULON_BENCH_KEEP")) {
        const auto picture = office::graph::drawGraphChart(chart, 4 * kEmuPerInch, 3 * kEmuPerInch);
        const auto path = std::filesystem::temp_directory_path() / "chart-picture.png";
        std::ofstream(path, std::ios::binary) << picture.png;
    }
    state.counters["png_bytes"] = static_cast<double>(bytes);
    state.counters["width_px"] = width;
}
BENCHMARK(BM_ChartPicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
