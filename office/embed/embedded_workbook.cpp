// Opens an embedded spreadsheet object of a slide as a workbook of the host.

#include "office/dispatch.h"
#include "office/ppt/object_site.h"

namespace office::detail {

std::shared_ptr<Dispatch> openEmbeddedWorkbook(const ObjectSite& site) {
    throw Error(ErrorCode::NotSupported,
                site.where() + ": embedded workbooks are not yet available in this build");
}

}  // namespace office::detail
