#pragma once

// A sheet's cells by position, each a value with its number format, held compactly: 16 bytes a
// cell, texts end to end in one buffer and each number format once. A chart's data sheet holds
// every cell of a pasted block, and a block of many thousand rows would cost several times as
// much as a map of clipboard cells.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "office/clipboard.h"
#include "office/excel/a1.h"

namespace office::excel::detail {

class CellGrid {
public:
    CellGrid() = default;
    // The cells of a map (implicit, so that code holding a CellMap can hand it over).
    CellGrid(const CellMap& cells);  // NOLINT(google-explicit-constructor)

    bool empty() const noexcept { return rows_.empty(); }
    std::size_t size() const noexcept;

    // The cell at pos; nothing when the grid has none there (a cell holding a blank value is a
    // cell all the same).
    std::optional<ClipCell> find(CellPos pos) const;
    bool contains(CellPos pos) const;
    // Sets the cell at pos, value and number format.
    void set(CellPos pos, const ClipCell& cell);
    // Sets the value of the cell at pos, keeping its number format ("General" for a new cell).
    void setValue(CellPos pos, const Value& value);

    // The smallest area that holds every cell; nothing when the grid is empty.
    std::optional<Area> bounds() const;

    // Calls f(pos, cell) for every cell, by rows and then columns; forEachIn only for the cells
    // inside the area.
    template <class F>
    void forEach(F&& f) const {
        for (const Row& row : rows_) {
            for (const Slot& slot : row.cells) {
                f(CellPos{row.row, slot.column}, cellOf(slot));
            }
        }
    }
    template <class F>
    void forEachIn(const Area& area, F&& f) const {
        for (auto row = firstRowFrom(area.top); row != rows_.end() && row->row <= area.bottom;
             ++row) {
            for (auto slot = firstSlotFrom(*row, area.left);
                 slot != row->cells.end() && slot->column <= area.right; ++slot) {
                f(CellPos{row->row, slot->column}, cellOf(*slot));
            }
        }
    }

    CellMap toMap() const;

private:
    struct Slot {
        union {
            double number = 0;   // Number, Date, Boolean
            std::uint32_t text;  // Text, Error: index into the texts
        };
        std::uint32_t format = 0;  // index into formats_
        std::uint16_t column = 0;
        std::uint8_t kind = 0;  // a Value::Kind
    };
    struct Row {
        int row = 0;
        std::vector<Slot> cells;  // sorted by column
    };

    std::vector<Row>::const_iterator firstRowFrom(int row) const;
    static std::vector<Slot>::const_iterator firstSlotFrom(const Row& row, int column);
    Slot& obtain(CellPos pos, bool& created);
    const Slot* slotAt(CellPos pos) const;
    void store(Slot& slot, const Value& value);
    std::uint32_t formatIndex(const std::string& format);
    std::string_view text(std::uint32_t index) const;
    ClipCell cellOf(const Slot& slot) const;

    std::vector<Row> rows_;  // sorted by row
    std::string chars_;
    std::vector<std::uint32_t> textEnds_;
    std::vector<std::string> formats_;
    std::unordered_map<std::string, std::uint32_t> formatIndex_;
};

}  // namespace office::excel::detail
