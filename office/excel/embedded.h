#pragma once

// Workbooks held in memory: the package of an embedded spreadsheet object or of a chart's
// data workbook.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "office/excel.h"
#include "office/excel/a1.h"
#include "office/excel/cell_grid.h"
#include "office/package/package.h"

namespace office::excel {

namespace detail {
struct WorkbookImpl;
struct SheetImpl;
}  // namespace detail

// Opens a workbook held in memory (an embedded object's package) in a private application of
// its own. When the workbook is saved or closed after a change, onSave receives the new package
// bytes. Fails as Workbooks.Open does, naming displayName.
std::shared_ptr<office::excel::Workbook> openWorkbookFromBytes(
    std::vector<std::uint8_t> bytes, std::string displayName,
    std::function<void(std::vector<std::uint8_t>)> onSave);
// The same for a package already open; its display name names it in messages.
std::shared_ptr<office::excel::Workbook> openWorkbookFromPackage(
    package::Package package, std::function<void(std::vector<std::uint8_t>)> onSave);

// What the save of a binary workbook object (Excel.Sheet.8) hands on: the workbook as a package,
// for drawing its picture, and its stream in its own format.
struct BinaryWorkbookSave {
    std::vector<std::uint8_t> before;  // the package as the workbook was opened
    std::vector<std::uint8_t> after;   // the package with every change
    // The new Workbook stream, with `visible` as the object's visible area when given.
    std::function<std::vector<std::uint8_t>(const std::optional<detail::Area>& visible)> stream;
};

// Opens the Workbook stream (BIFF8) of an embedded object as a workbook of its own private
// application, read by the binary reader and edited as any workbook. When it is saved or
// closed after a change, onSave receives its package and the way to its new stream, which
// keeps every record that the change did not touch. The package holds every cell, the styles
// and, as <oleSize>, the stream's OLESIZE record. Fails as the binary reader does (naming
// displayName), and with NotSupported for an encrypted stream.
std::shared_ptr<office::excel::Workbook> openBinaryWorkbook(
    std::vector<std::uint8_t> stream, std::string displayName,
    std::function<void(BinaryWorkbookSave)> onSave);

// True when the package's main document is a workbook in the binary format (.xlsb), which the
// host reads no cells of.
bool isBinaryWorkbook(const package::Package& package);

// The bytes of a new workbook with one empty worksheet named `sheet`, ISO Strict when `strict`;
// its styles and shared strings are added by the first write that needs them.
std::vector<std::uint8_t> newWorkbookBytes(const std::string& sheet, bool strict = false);

// One worksheet of a workbook held in memory, its cells read and written directly through the
// workbook model: the data sheet of a chart, and the first sheet of an embedded table object.
class SheetCells {
public:
    // Opens the workbook and the worksheet named `sheet`, or the first worksheet that has cells
    // of its own when there is none of that name. Fails as Workbooks.Open does, and with
    // CorruptPart when the workbook holds no such worksheet.
    SheetCells(package::Package package, std::string_view sheet);
    SheetCells(SheetCells&&) noexcept;
    SheetCells& operator=(SheetCells&&) noexcept;
    ~SheetCells();

    const std::string& sheetName() const;
    bool date1904() const;

    // The non-empty cells inside the area, with the number formats they show. Dates come back
    // as Value::date in the 1900 system.
    detail::CellMap read(const detail::Area& area) const;
    detail::CellGrid readGrid(const detail::Area& area) const;
    // Writes the cells (a blank value empties the cell), keeping each cell's style apart from
    // its number format.
    void write(const detail::CellMap& cells);
    // Writes those of the cells that lie inside one of the areas.
    void write(const detail::CellMap& cells, const std::vector<detail::Area>& areas);
    // The grid's cells in the areas; merged areas that overlap them are taken out.
    void write(const detail::CellGrid& cells, const std::vector<detail::Area>& areas);

    // The workbook's visible area when it is embedded (<oleSize ref>); nothing when it names
    // none.
    std::optional<detail::Area> visibleArea() const;
    void setVisibleArea(const detail::Area& area);

    // The package with every change written into it.
    std::vector<std::uint8_t> save();

private:
    template <class F>
    void readCells(const detail::Area& area, F&& take) const;
    void writeCell(const detail::CellPos& pos, const ClipCell& data);

    std::shared_ptr<detail::WorkbookImpl> book_;
    std::shared_ptr<detail::SheetImpl> sheet_;
};

}  // namespace office::excel
