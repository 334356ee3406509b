#pragma once

// The preview picture of an embedded spreadsheet object: the visible cells drawn as a plain
// table, as the slide shows the object without opening it.

#include <string>
#include <vector>

namespace office::embed {

struct PreviewCell {
    std::string text;
    bool alignRight = false;  // numbers and dates
};

struct Preview {
    std::string png;  // the PNG file's bytes
    int width = 0;    // pixels
    int height = 0;
};

// Draws the rows of cells as a table. Works without a display: where the process has no
// QGuiApplication yet, one is made on the offscreen platform.
Preview drawTable(const std::vector<std::vector<PreviewCell>>& rows);

}  // namespace office::embed
