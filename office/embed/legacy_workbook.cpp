// An embedded workbook of Excel 97-2003 (Excel.Sheet.8): the object's storage is a compound file
// whose "Workbook" stream holds the workbook (BIFF8). It is filled as any workbook and written
// back in its own format, so that the object stays what it was for every program that shows
// it: the new stream goes into the storage with every other stream kept, the cached pictures
// (which show the old numbers) go, and the picture the slide shows is drawn from the new cells.

#include <memory>

#include "office/compound/compound_file.h"
#include "office/embed/workbook_picture.h"
#include "office/error.h"
#include "office/excel/embedded.h"
#include "office/ppt/object_site.h"

namespace office::detail {

std::shared_ptr<Dispatch> openLegacyWorkbookObject(const LegacyObjectSite& site) {
    auto file = std::make_shared<const compound::File>(
        compound::File::openBytes(site.storage(), site.where));
    if (!file->hasStream("Workbook")) {
        throw Error(ErrorCode::NotSupported,
                    site.where + ": the object (" + site.progId +
                        ") holds no workbook of Excel 97-2003 (no Workbook stream) and cannot be "
                        "filled");
    }
    auto book = excel::openBinaryWorkbook(
        file->readStream("Workbook"), site.where, [site, file](excel::BinaryWorkbookSave saved) {
            const FilledWorkbook filled =
                finishFill(saved.before, std::move(saved.after), site.where, site.cx, site.cy);
            const compound::Bytes storage =
                file->rewrite({{"Workbook", saved.stream(filled.visible)}}, file->cachedPictures());
            site.replace(storage, filled.preview.png);
        });
    return book;
}

}  // namespace office::detail
