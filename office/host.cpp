// The office host as a whole: the one place that knows every kind of object a presentation can
// embed. The presentation code finds an object and describes where it sits (OLEFormat::Site);
// opening it needs the chart server and the embedded-workbook code, which are built on the
// presentation code, so the call that joins them is made here, above all of them.

#include "office/powerpoint.h"
#include "office/ppt/object_site.h"

namespace office::ppt {

std::shared_ptr<Dispatch> OLEFormat::Object() {
    const office::detail::ObjectSite site = Site();
    if (site.chartServer) {
        return office::detail::openChartObject(site);
    }
    return office::detail::openEmbeddedWorkbook(site);
}

}  // namespace office::ppt
