#pragma once

// The picture of a Microsoft Graph chart, as a slide shows the object without opening it: the
// chart drawn from its data sheet and look (kind, colours, legend, title, axes, labels), 3-D
// kinds drawn flat.

#include <cstdint>
#include <string>

#include "office/graph/msgraph/model.h"

namespace office::graph {

struct ChartPicture {
    std::string png;  // the PNG file's bytes
    int width = 0;    // pixels
    int height = 0;
};

// Draws the chart for a frame of cx x cy EMU at >= 192 pixels per inch each way (bounded
// like the table pictures), white background. Fails with InvalidArgument for a frame without
// an area. Works without a display; in a process running a plain QCoreApplication the chart
// is drawn without its texts.
ChartPicture drawGraphChart(const msgraph::GraphChart& chart, std::int64_t cx, std::int64_t cy);
// Readies drawGraphChart for a frame of cx x cy EMU on another thread: fails as it does for a
// frame without an area, and makes the application that draws texts, which only the program's
// main thread may make. Drawing on several threads at once is safe after it.
void prepareChartPicture(std::int64_t cx, std::int64_t cy);

}  // namespace office::graph
