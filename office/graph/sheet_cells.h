#pragma once

// The cells of one worksheet of a chart's embedded workbook, read and written in place: other
// sheets, formulas outside the written cells, styles and the rest of the package are kept.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "office/graph/cells.h"
#include "office/package/package.h"

namespace office::graph::detail {

class SheetCells {
public:
    // Opens the workbook package and the sheet named `sheet` (the first sheet when empty or
    // absent). Fails with CorruptPart when the package holds no worksheet.
    SheetCells(std::vector<std::uint8_t> bytes, std::string displayName, const std::string& sheet);

    // The bytes of a new workbook with one empty sheet of that name.
    static std::vector<std::uint8_t> newWorkbook(const std::string& sheet);

    const std::string& sheetName() const noexcept { return sheetName_; }
    bool date1904() const noexcept { return date1904_; }

    // The non-empty cells inside the area, with their number formats. Dates come back as
    // Value::date in the 1900 system.
    CellMap read(const Area& area);
    // Writes the cells (a blank value empties the cell), keeping each cell's style apart from
    // its number format.
    void write(const CellMap& cells);
    std::vector<std::uint8_t> save() const { return package_.saveBytes(); }

private:
    std::string formatOf(int styleIndex);
    int styleWithFormat(int styleIndex, const std::string& format);
    int sharedString(const std::string& text);
    void loadSharedStrings();
    void growTables(const Area& written);
    void dropCalcChain();

    package::Package package_;
    std::string sheetName_;
    std::string sheetPart_;
    std::string stylesPart_;
    std::string stringsPart_;
    bool date1904_ = false;
    std::vector<std::string> strings_;
    bool stringsLoaded_ = false;
};

}  // namespace office::graph::detail
