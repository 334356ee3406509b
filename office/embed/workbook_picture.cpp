#include "office/embed/workbook_picture.h"

#include <algorithm>
#include <optional>

#include "office/error.h"
#include "office/excel/embedded.h"
#include "office/excel/look.h"
#include "office/excel/number_format.h"

namespace office::detail {

namespace {

namespace xd = office::excel::detail;
using Bytes = std::vector<std::uint8_t>;

// The cells of the workbook's first worksheet, and the workbook itself, opened through the
// workbook code.
excel::SheetCells firstSheet(const Bytes& bytes, const std::string& name) {
    return excel::SheetCells(package::Package::openBytes(bytes, name, "workbook"), "");
}

xd::CellMap allCells(const excel::SheetCells& sheet) {
    return sheet.read({1, 1, excel::kMaxRows, excel::kMaxColumns});
}

// The cells whose value differs between the two maps, as one area from A1; nothing when none.
std::optional<xd::Area> changedFromA1(const xd::CellMap& before, const xd::CellMap& after) {
    std::optional<xd::Area> area;
    auto grow = [&](const xd::CellPos& p) {
        if (!area) {
            area = xd::Area{1, 1, p.row, p.column};
        }
        area->bottom = std::max(area->bottom, p.row);
        area->right = std::max(area->right, p.column);
    };
    for (const auto& [pos, cell] : after) {
        const auto it = before.find(pos);
        if (it == before.end() || !(it->second.value == cell.value) ||
            it->second.numberFormat != cell.numberFormat) {
            grow(pos);
        }
    }
    for (const auto& [pos, cell] : before) {
        if (!after.contains(pos)) {
            grow(pos);
        }
    }
    return area;
}

// The picture shows at most this many rows and columns of the visible area: a larger one would
// make an image no slide can show legibly.
constexpr int kPreviewRows = 200;
constexpr int kPreviewColumns = 50;

// The look of the workbook's first sheet over the rows shown; the default look where the
// workbook's styles cannot be read, so that the picture is still drawn.
excel::SheetLook lookOf(const Bytes& bytes, const std::string& name, int firstRow, int lastRow) {
    try {
        auto workbook = package::Package::openBytes(bytes, name, "workbook");
        return excel::readSheetLook(workbook, firstRow, lastRow);
    } catch (const Error&) {
        excel::SheetLook plain;
        plain.styles.emplace_back();
        return plain;
    }
}

// The picture of the visible area of the workbook `bytes` (whose first sheet holds `cells`),
// drawn with the cells' look for a shape of cx x cy EMU.
embed::Preview previewOf(const Bytes& bytes, const std::string& name, const xd::CellMap& cells,
                         const xd::Area& area, std::int64_t cx, std::int64_t cy) {
    const int shownRows = std::min(area.rows(), kPreviewRows);
    const int shownColumns = std::min(area.columns(), kPreviewColumns);
    const excel::SheetLook look = lookOf(bytes, name, area.top, area.top + shownRows - 1);
    auto shown = [&](int row, int column) {
        embed::ShownCell cell;
        const auto it = cells.find({row, column});
        if (it != cells.end()) {
            const Value& v = it->second.value;
            cell.text = excel::detail::formatValue(v, it->second.numberFormat);
            cell.numeric = v.kind() == Value::Kind::Number || v.kind() == Value::Kind::Date;
        }
        return cell;
    };
    return embed::drawTableForShape(
        embed::tableOf(look, area.top, area.left, shownRows, shownColumns, shown), cx, cy);
}

}  // namespace

FilledWorkbook finishFill(const Bytes& before, Bytes after, const std::string& name,
                          std::int64_t cx, std::int64_t cy) {
    const xd::CellMap old = allCells(firstSheet(before, name));
    excel::SheetCells sheet = firstSheet(after, name);
    const xd::CellMap cells = allCells(sheet);
    xd::Area visible = sheet.visibleArea().value_or(xd::Area{1, 1, 1, 1});
    if (const auto changed = changedFromA1(old, cells)) {
        visible = {std::min(visible.top, changed->top), std::min(visible.left, changed->left),
                   std::max(visible.bottom, changed->bottom),
                   std::max(visible.right, changed->right)};
    }
    sheet.setVisibleArea(visible);
    FilledWorkbook filled;
    filled.package = sheet.save();
    filled.visible = visible;
    filled.preview = previewOf(filled.package, name, cells, visible, cx, cy);
    return filled;
}

}  // namespace office::detail
