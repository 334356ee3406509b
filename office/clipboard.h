#pragma once

// The host's own clipboard: Range.Copy without a destination puts a block of cells here and
// the chart server's Paste reads it. It belongs to the process; the desktop clipboard of the
// user is never touched.

#include <string>
#include <vector>

#include "office/value.h"

namespace office {

struct ClipCell {
    Value value;
    std::string numberFormat = "General";
};

struct CellBlock {
    int rows = 0;
    int columns = 0;
    std::vector<ClipCell> cells;  // row by row, rows * columns entries

    const ClipCell& at(int row, int column) const { return cells[row * columns + column]; }
    bool empty() const noexcept { return rows == 0 || columns == 0; }
};

// The process's clipboard. Set replaces what it held.
class Clipboard {
public:
    static Clipboard& instance();

    void set(CellBlock block) { block_ = std::move(block); }
    const CellBlock& block() const noexcept { return block_; }
    void clear() { block_ = {}; }

private:
    CellBlock block_;
};

}  // namespace office
