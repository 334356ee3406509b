#pragma once

// Workbooks held in memory: the package of an embedded spreadsheet object or of a chart's
// data workbook.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "office/excel.h"

namespace office::excel {

// Opens a workbook held in memory (an embedded object's package) in a private application of
// its own. When the workbook is saved or closed after a change, onSave receives the new package
// bytes. Fails as Workbooks.Open does, naming displayName.
std::shared_ptr<office::excel::Workbook> openWorkbookFromBytes(
    std::vector<std::uint8_t> bytes, std::string displayName,
    std::function<void(std::vector<std::uint8_t>)> onSave);

}  // namespace office::excel
