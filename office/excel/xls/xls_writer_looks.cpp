// The looks of the binary workbook writer: FONT and XF records for the fonts and cell formats
// that edits added, their colours taken to the workbook's palette.

#include <algorithm>
#include <cmath>

#include "office/excel/xls/style_codes.h"
#include "office/excel/xls/xls_writer_parts.h"

namespace office::excel::xls::writing {

namespace {

// The colours of the Office theme that theme="n" counts (lt1 dk1 lt2 dk2 first, as cells name
// them), for looks carried in from a workbook with a theme.
constexpr std::uint32_t kThemeColors[] = {0xFFFFFF, 0x000000, 0xEEECE1, 0x1F497D,
                                          0x4F81BD, 0xC0504D, 0x9BBB59, 0x8064A2,
                                          0x4BACC6, 0xF79646, 0x0000FF, 0x800080};

template <std::size_t N>
int codeOf(const char* const (&names)[N], const std::string& name, int fallback) {
    for (std::size_t i = 0; i < N; ++i) {
        if (name == names[i]) {
            return static_cast<int>(i);
        }
    }
    return fallback;
}

std::uint32_t tinted(std::uint32_t rgb, double tint) {
    std::uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double c = (rgb >> shift) & 0xFF;
        const double v = tint < 0 ? c * (1 + tint) : c + (255 - c) * tint;
        out |= static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)) << shift;
    }
    return out;
}
std::uint32_t lineCode(const detail::BorderEdge& edge) {
    return edge.style.empty() ? 0 : static_cast<std::uint32_t>(codeOf(kLineStyles, edge.style, 1));
}

}  // namespace

void Palette::read(std::span<const std::uint8_t> body) {
    if (body.size() < 2) {
        return;
    }
    const std::size_t count = std::min<std::size_t>(le16(body.data()), colors_.size());
    for (std::size_t i = 0; i < count && 2 + 4 * i + 3 <= body.size(); ++i) {
        const std::uint8_t* p = body.data() + 2 + 4 * i;
        colors_[i] = (p[0] << 16) | (p[1] << 8) | p[2];
    }
}

std::uint16_t Palette::index(const detail::Color& color, std::uint16_t automatic) const {
    using Kind = detail::Color::Kind;
    switch (color.kind) {
        case Kind::None:
            return automatic;
        case Kind::Indexed:
            return color.value < 66 ? static_cast<std::uint16_t>(color.value) : automatic;
        case Kind::Rgb:
            return nearest(color.tint != 0 ? tinted(color.value, color.tint) : color.value);
        case Kind::Theme:
            return color.value < std::size(kThemeColors)
                       ? nearest(tinted(kThemeColors[color.value], color.tint))
                       : automatic;
    }
    return automatic;
}

std::uint16_t Palette::nearest(std::uint32_t rgb) const {
    std::uint16_t best = 8;
    long bestDistance = -1;
    for (std::size_t i = 0; i < colors_.size(); ++i) {
        long distance = 0;
        for (int shift : {16, 8, 0}) {
            const long d = static_cast<long>((rgb >> shift) & 0xFF) -
                           static_cast<long>((colors_[i] >> shift) & 0xFF);
            distance += d * d;
        }
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<std::uint16_t>(8 + i);
        }
    }
    return best;
}

RecordWriter fontRecord(const detail::Font& font, const Palette& palette) {
    RecordWriter out;
    out.u16(static_cast<std::uint16_t>(std::clamp(std::lround(font.points * 20), 20L, 8180L)));
    // Bit 0 repeats the weight, as Excel writes it and older readers take it.
    out.u16(static_cast<std::uint16_t>((font.bold ? 0x01 : 0) | (font.italic ? 0x02 : 0) |
                                       (font.strike ? 0x08 : 0)));
    out.u16(palette.index(font.color, 0x7FFF));
    out.u16(font.bold ? 700 : 400);
    out.u16(font.vertAlign == "superscript" ? 1 : font.vertAlign == "subscript" ? 2 : 0);
    const std::uint8_t underline = font.underline.empty()                 ? 0
                                   : font.underline == "double"           ? 2
                                   : font.underline == "singleAccounting" ? 0x21
                                   : font.underline == "doubleAccounting" ? 0x22
                                   : font.underline == "none"             ? 0
                                                                          : 1;
    out.u8(underline).u8(static_cast<std::uint8_t>(font.family));
    out.u8(static_cast<std::uint8_t>(font.charset)).u8(0);
    appendString(out, font.name.empty() ? "Arial" : font.name, true);
    return out;
}
RecordWriter xfRecord(const detail::Xf& xf, const detail::StyleTable& looks,
                      const Palette& palette) {
    RecordWriter out;
    const int font = xf.fontId >= 4 ? xf.fontId + 1 : xf.fontId;  // font index 4 is never used
    out.u16(static_cast<std::uint16_t>(font)).u16(static_cast<std::uint16_t>(xf.numFmtId));
    out.u16(0x0001);  // locked, a cell format whose parent is the Normal style
    const auto& alignment = xf.alignment;
    const int horizontal =
        codeOf(kHorizontal, alignment.horizontal.empty() ? "general" : alignment.horizontal, 0);
    const int vertical =
        codeOf(kVertical, alignment.vertical.empty() ? "bottom" : alignment.vertical, 2);
    out.u8(static_cast<std::uint8_t>(horizontal | (alignment.wrap ? 0x08 : 0) | (vertical << 4)));
    out.u8(static_cast<std::uint8_t>(std::clamp(alignment.rotation, 0, 255)));
    out.u8(static_cast<std::uint8_t>(std::clamp(alignment.indent, 0, 15) |
                                     (alignment.shrink ? 0x10 : 0)));
    out.u8(0xFC);  // every attribute is this format's own
    const detail::Border none;
    const detail::Border& border =
        xf.borderId >= 0 && static_cast<std::size_t>(xf.borderId) < looks.borderStyles.size()
            ? looks.borderStyles[xf.borderId]
            : none;
    auto color = [&](const detail::BorderEdge& edge) -> std::uint32_t {
        return edge.style.empty() ? 0 : palette.index(edge.color, 64);
    };
    const std::uint32_t diagonal = (border.diagonalDown ? 1 : 0) | (border.diagonalUp ? 2 : 0);
    out.u32(lineCode(border.left) | (lineCode(border.right) << 4) | (lineCode(border.top) << 8) |
            (lineCode(border.bottom) << 12) | (color(border.left) << 16) |
            (color(border.right) << 23) | (diagonal << 30));
    const detail::Fill plain;
    const detail::Fill& fill =
        xf.fillId >= 0 && static_cast<std::size_t>(xf.fillId) < looks.fills.size()
            ? looks.fills[xf.fillId]
            : plain;
    std::uint32_t pattern =
        fill.gradient ? 1 : static_cast<std::uint32_t>(codeOf(kPatterns, fill.pattern, 0));
    std::uint16_t foreground = 64;
    std::uint16_t background = 65;
    if (pattern != 0) {
        foreground = palette.index(fill.foreground, 64);
        background = palette.index(fill.background, 65);
    }
    out.u32(color(border.top) | (color(border.bottom) << 7) | (color(border.diagonal) << 14) |
            (lineCode(border.diagonal) << 21) | (pattern << 26));
    out.u16(static_cast<std::uint16_t>((foreground & 0x7F) | ((background & 0x7F) << 7)));
    return out;
}

}  // namespace office::excel::xls::writing
