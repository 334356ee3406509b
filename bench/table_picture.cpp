// Drawing the picture of one table object as a slide shows it: a table of 6 rows and 4 columns
// (a filled bold header, thousands separators, negative numbers, percents, dates, one number
// too wide for its column, one text running on into an empty neighbour), in a shape 8 x 2.5
// inches, so at 192 pixels per inch of the shape or more. The whole picture is drawn and encoded
// as PNG on every iteration; the fonts are found once, as in a run that draws many pictures.
// The target is under 5 ms of CPU time per picture.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "office/embed/preview.h"

namespace {

using office::embed::PreviewCell;
using office::embed::PreviewTable;

PreviewCell cell(std::string text, bool numeric = false) {
    PreviewCell made;
    made.text = std::move(text);
    made.alignRight = numeric;
    return made;
}

PreviewTable costs() {
    PreviewTable table;
    table.columnWidths = {120, 96, 96, 96};
    table.rowHeights.assign(6, 20);
    table.rows = {
        {cell("Cost"), cell("January"), cell("February"), cell("March")},
        {cell("Salaries"), cell("15,000.00", true), cell("15,500.50", true),
         cell("16,179.75", true)},
        {cell("Travel"), cell("-3,179.75", true), cell("2,500.50", true), cell("1,200.00", true)},
        {cell("Share of budget"), cell("45.5%", true), cell("-12.25%", true), cell("8.0%", true)},
        {cell("Closed on"), cell("2026-01-31", true), cell("2026-02-28", true),
         cell("2026-03-31", true)},
        {cell("Consulting fees and other services"), cell(""), cell("Full"),
         cell("98,765,432,100.00", true)},
    };
    for (PreviewCell& header : table.rows.front()) {
        header.look.bold = true;
        header.look.fill = 0x1F4E78;
        header.look.fontColor = 0xFFFFFF;
    }
    return table;
}

void BM_TablePicture(benchmark::State& state) {
    const PreviewTable table = costs();
    constexpr std::int64_t kEmuPerInch = 914400;
    office::embed::drawTableForShape(table, 8 * kEmuPerInch, 5 * kEmuPerInch / 2);  // fonts
    std::size_t bytes = 0;
    int width = 0;
    for (auto _ : state) {
        const auto picture =
            office::embed::drawTableForShape(table, 8 * kEmuPerInch, 5 * kEmuPerInch / 2);
        bytes = picture.png.size();
        width = picture.width;
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["png_bytes"] = static_cast<double>(bytes);
    state.counters["width_px"] = width;
}
BENCHMARK(BM_TablePicture)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
