#include "office/error.h"
#include "office/ppt/object_site.h"

namespace office::detail {

std::shared_ptr<Dispatch> openLegacyWorkbookObject(const LegacyObjectSite& site) {
    throw Error(ErrorCode::NotSupported,
                site.where + ": the object is a legacy binary workbook (" + site.progId +
                    ") that cannot be filled; open it in an office suite and save it as .xlsx");
}

}  // namespace office::detail
