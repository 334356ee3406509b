// The office host as a whole: the one place that knows every kind of object a presentation can
// embed. The presentation code finds an object and describes where it sits (OLEFormat::Site, or
// OLEFormat::LegacySite in a PowerPoint 97-2003 presentation); opening it needs the chart server
// and the embedded-workbook code, which are built on the presentation code, so the call that
// joins them is made here, above all of them.

#include "office/ascii.h"
#include "office/error.h"
#include "office/powerpoint.h"
#include "office/ppt/object_site.h"

namespace office::ppt {

namespace {

bool startsWithNoCase(const std::string& text, std::string_view prefix) {
    return asciiLower(text).starts_with(asciiLower(prefix));
}

// A Graph chart is filled in its own records, an Excel worksheet in its own workbook; nothing
// else of a .ppt can take a block of cells.
std::shared_ptr<Dispatch> openLegacyObject(const office::detail::LegacyObjectSite& site) {
    if (startsWithNoCase(site.progId, "MSGraph.Chart")) {
        return office::detail::openLegacyGraphObject(site);
    }
    if (startsWithNoCase(site.progId, "Excel.Sheet")) {
        return office::detail::openLegacyWorkbookObject(site);
    }
    throw Error(ErrorCode::NotSupported,
                site.where + ": the object (" + (site.progId.empty() ? "of no kind" : site.progId) +
                    ") is neither a Graph chart nor an Excel worksheet, so it cannot be filled");
}

}  // namespace

std::shared_ptr<Dispatch> OLEFormat::Object() {
    if (std::optional<office::detail::LegacyObjectSite> legacy = LegacySite()) {
        return openLegacyObject(*legacy);
    }
    const office::detail::ObjectSite site = Site();
    if (site.chartServer) {
        return office::detail::openChartObject(site);
    }
    return office::detail::openEmbeddedWorkbook(site);
}

}  // namespace office::ppt
