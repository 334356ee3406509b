// Opens the chart server for a native chart graphic frame.

#include "office/graph.h"
#include "office/ppt/object_site.h"

namespace office::detail {

std::shared_ptr<Dispatch> openChartObject(const ObjectSite& site) {
    throw Error(ErrorCode::NotSupported,
                site.where() + ": filling charts is not yet available in this build");
}

}  // namespace office::detail
