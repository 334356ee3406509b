#pragma once

// The last step of filling an embedded workbook, whatever format it goes back in: its visible
// area grows over the cells that changed, and its picture is drawn anew from the new cells for
// the shape that shows it.

#include <cstdint>
#include <string>
#include <vector>

#include "office/embed/preview.h"
#include "office/excel/a1.h"

namespace office::detail {

struct FilledWorkbook {
    std::vector<std::uint8_t> package;  // the workbook package with its new visible area
    excel::detail::Area visible;
    embed::Preview preview;
};

// `before` and `after` are the workbook's package as it was opened and as it is now; `name`
// names it in messages; the picture is drawn for a shape of cx x cy EMU (zero: its own size).
FilledWorkbook finishFill(const std::vector<std::uint8_t>& before, std::vector<std::uint8_t> after,
                          const std::string& name, std::int64_t cx, std::int64_t cy);

}  // namespace office::detail
