#include "office/error.h"
#include "office/ppt/object_site.h"

namespace office::detail {

std::shared_ptr<Dispatch> openLegacyGraphObject(const LegacyObjectSite& site) {
    throw Error(ErrorCode::NotSupported,
                site.where + ": the Graph chart (" + site.progId +
                    ") lies in a PowerPoint 97-2003 presentation, whose objects cannot be filled "
                    "yet");
}

}  // namespace office::detail
