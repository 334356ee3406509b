#pragma once

// The legacy colour palette of the binary office formats, which SpreadsheetML's indexed colours
// name too: eight fixed colours (indexes 0 to 7), then 56 that a document's palette may replace
// (indexes 8 to 63), then the system's text and window colours (64 and 65). Colours 0xRRGGBB.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace office::binary {

// Indexes 0 to 7.
inline constexpr std::array<std::uint32_t, 8> kFixedColors = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};

// Indexes 8 to 63 when the document has no palette of its own.
inline constexpr std::array<std::uint32_t, 56> kDefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};

// The colour of an index with the default palette, the system colours taken as black text on
// white; nothing beyond index 65.
constexpr std::optional<std::uint32_t> legacyColor(std::size_t index) {
    if (index < kFixedColors.size()) {
        return kFixedColors[index];
    }
    if (index < kFixedColors.size() + kDefaultPalette.size()) {
        return kDefaultPalette[index - kFixedColors.size()];
    }
    if (index == 64 || index == 65) {
        return index == 64 ? 0x000000 : 0xFFFFFF;
    }
    return std::nullopt;
}

}  // namespace office::binary
