#include "office/excel/embedded.h"

#include "office/excel/model.h"

namespace office::excel {

std::shared_ptr<Workbook> openWorkbookFromBytes(
    std::vector<std::uint8_t> bytes, std::string displayName,
    std::function<void(std::vector<std::uint8_t>)> onSave) {
    auto package = package::Package::openBytes(std::move(bytes), displayName, "workbook");
    auto book = detail::loadWorkbook(std::move(package), displayName);
    book->name = std::move(displayName);
    book->onSave = std::move(onSave);
    // The private application lives as long as the workbook; it does not list the workbook,
    // so that the two do not keep each other alive.
    book->ownedApp = std::make_shared<detail::ApplicationImpl>();
    book->app = book->ownedApp;
    return std::make_shared<Workbook>(book);
}

}  // namespace office::excel
