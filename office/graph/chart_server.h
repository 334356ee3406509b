#pragma once

// The chart server for a chart part that is to take the place of another object in its frame
// (a Graph chart object becoming a native chart): the part is in the package already, but the
// frame still shows the old object until the first Update.

#include <functional>
#include <memory>
#include <optional>

#include "office/dispatch.h"
#include "office/graph/cells.h"
#include "office/ppt/object_site.h"

namespace office::graph::detail {

struct Replacement {
    // Runs once, at the first Update, before the chart part is written: puts the chart in the
    // frame and takes the old object out.
    std::function<void()> replace;
    // Runs at Quit when no Update came: takes the unused chart part out again.
    std::function<void()> discard;
    // The data sheet, when the chart part's caches do not hold all of it: these cells go into
    // the chart's new workbook at Update.
    std::optional<CellMap> dataSheet;
    // Runs at the end of every Update, once the chart part and its workbook are written: for a
    // chart that stands in for an object kept in another form, which takes the new state over.
    std::function<void()> updated;
};

// A graph::ChartObject for the native chart part site.objectPart, as openChartObject gives.
std::shared_ptr<Dispatch> openReplacementChart(const office::detail::ObjectSite& site,
                                               Replacement replacement);

}  // namespace office::graph::detail
