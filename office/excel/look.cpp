#include "office/excel/look.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "office/binary/palette.h"
#include "office/excel/model.h"
#include "office/excel/text_escapes.h"
#include "office/package/xml.h"

namespace office::excel {

namespace {

namespace ns = package::ns;
using package::attribute;
using package::child;
using package::children;

constexpr std::string_view kSheetType = "/worksheet";

// The theme's colours in the order that theme="n" counts them: the scheme lists dk1 lt1 dk2
// lt2, but cells number them lt1 dk1 lt2 dk2.
std::vector<std::uint32_t> themeColors(pugi::xml_node theme) {
    static constexpr std::string_view kOrder[] = {"lt1",     "dk1",     "lt2",     "dk2",
                                                  "accent1", "accent2", "accent3", "accent4",
                                                  "accent5", "accent6", "hlink",   "folHlink"};
    const pugi::xml_node scheme =
        child(child(theme, ns::kDrawing, "themeElements"), ns::kDrawing, "clrScheme");
    std::vector<std::uint32_t> colors;
    for (std::string_view name : kOrder) {
        const pugi::xml_node entry = child(scheme, ns::kDrawing, name);
        pugi::xml_node value = child(entry, ns::kDrawing, "srgbClr");
        std::uint32_t color = name.starts_with("dk") ? 0x000000 : 0xFFFFFF;
        if (value) {
            color = static_cast<std::uint32_t>(
                std::strtoul(value.attribute("val").value(), nullptr, 16));
        } else if ((value = child(entry, ns::kDrawing, "sysClr")) && value.attribute("lastClr")) {
            color = static_cast<std::uint32_t>(
                std::strtoul(value.attribute("lastClr").value(), nullptr, 16));
        }
        colors.push_back(color & 0xFFFFFF);
    }
    return colors;
}

// A colour lightened (tint > 0) or darkened (tint < 0) in HSL space, as a cell colour's tint
// says.
std::uint32_t tinted(std::uint32_t color, double tint) {
    if (tint == 0) {
        return color;
    }
    const double r = ((color >> 16) & 0xFF) / 255.0;
    const double g = ((color >> 8) & 0xFF) / 255.0;
    const double b = (color & 0xFF) / 255.0;
    const double high = std::max({r, g, b});
    const double low = std::min({r, g, b});
    double hue = 0;
    double saturation = 0;
    double light = (high + low) / 2;
    if (high > low) {
        const double d = high - low;
        saturation = light > 0.5 ? d / (2 - high - low) : d / (high + low);
        hue = high == r   ? (g - b) / d + (g < b ? 6 : 0)
              : high == g ? (b - r) / d + 2
                          : (r - g) / d + 4;
        hue /= 6;
    }
    light = tint < 0 ? light * (1 + tint) : light * (1 - tint) + tint;
    auto channel = [&](double t) {
        const double q =
            light < 0.5 ? light * (1 + saturation) : light + saturation - light * saturation;
        const double p = 2 * light - q;
        t = t < 0 ? t + 1 : t > 1 ? t - 1 : t;
        double v = t < 1.0 / 6   ? p + (q - p) * 6 * t
                   : t < 0.5     ? q
                   : t < 2.0 / 3 ? p + (q - p) * (2.0 / 3 - t) * 6
                                 : p;
        return static_cast<std::uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255));
    };
    if (saturation == 0) {
        const auto v = static_cast<std::uint32_t>(std::lround(std::clamp(light, 0.0, 1.0) * 255));
        return (v << 16) | (v << 8) | v;
    }
    return (channel(hue + 1.0 / 3) << 16) | (channel(hue) << 8) | channel(hue - 1.0 / 3);
}

struct Context {
    std::vector<std::uint32_t> theme;
};

// The colour that a style's colour names; nullopt for an automatic colour or none.
std::optional<std::uint32_t> colorOf(const detail::Color& color, const Context& context) {
    using Kind = detail::Color::Kind;
    std::optional<std::uint32_t> rgb;
    if (color.kind == Kind::Rgb) {
        rgb = color.value & 0xFFFFFF;
    } else if (color.kind == Kind::Theme && color.value < context.theme.size()) {
        rgb = context.theme[color.value];
    } else if (color.kind == Kind::Indexed) {
        rgb = binary::legacyColor(color.value);  // the legacy palette that indexed="n" names
    }
    if (rgb) {
        rgb = tinted(*rgb, color.tint);
    }
    return rgb;
}

CellLook fontLook(const detail::Font& font, const Context& context) {
    CellLook look;
    look.fontName = font.name;
    look.fontSize = font.points;
    look.bold = font.bold;
    look.italic = font.italic;
    look.underline = !font.underline.empty();
    look.fontColor = colorOf(font.color, context).value_or(0x000000);
    return look;
}

std::optional<std::uint32_t> fillOf(const detail::Fill& fill, const Context& context) {
    if (fill.gradient) {
        return colorOf(fill.foreground, context);
    }
    if (fill.pattern.empty() || fill.pattern == "none") {
        return std::nullopt;
    }
    // Patterns other than solid are shown in their foreground colour.
    auto color = colorOf(fill.foreground, context);
    return color ? color : colorOf(fill.background, context);
}

BorderLook edgeOf(const detail::BorderEdge& edge, const Context& context) {
    const std::string_view style = edge.style;
    BorderLook look;
    if (style.empty()) {
        return look;
    }
    look.width = style == "thick" || style == "double" ? 3 : style.starts_with("medium") ? 2 : 1;
    look.color = colorOf(edge.color, context).value_or(0x000000);
    return look;
}

HorizontalAlign alignOf(std::string_view value) {
    if (value == "left" || value == "fill" || value == "justify" || value == "distributed") {
        return HorizontalAlign::Left;
    }
    if (value == "center" || value == "centerContinuous") {
        return HorizontalAlign::Center;
    }
    if (value == "right") {
        return HorizontalAlign::Right;
    }
    return HorizontalAlign::General;
}

std::vector<CellLook> styleLooks(const detail::StyleTable& styles, const Context& context) {
    auto at = [](const auto& list, int index) {
        using Item = typename std::decay_t<decltype(list)>::value_type;
        return index >= 0 && static_cast<std::size_t>(index) < list.size() ? list[index] : Item{};
    };
    std::vector<CellLook> looks;
    for (const detail::Xf& xf : styles.xfs) {
        CellLook look = fontLook(at(styles.fonts, xf.fontId), context);
        look.fill = fillOf(at(styles.fills, xf.fillId), context);
        const detail::Border border = at(styles.borderStyles, xf.borderId);
        look.left = edgeOf(border.left, context);
        look.right = edgeOf(border.right, context);
        look.top = edgeOf(border.top, context);
        look.bottom = edgeOf(border.bottom, context);
        look.align = alignOf(xf.alignment.horizontal);
        look.wrap = xf.alignment.wrap;
        looks.push_back(std::move(look));
    }
    return looks;
}

// "B12" as (12, 2); nullopt for anything else.
std::optional<std::pair<int, int>> cellAt(std::string_view text) {
    int column = 0;
    std::size_t i = 0;
    for (; i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); ++i) {
        column = column * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
    }
    if (i == 0 || i == text.size() || column > 16384) {
        return std::nullopt;
    }
    int row = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        row = row * 10 + (text[i] - '0');
        if (row > 1048576) {
            return std::nullopt;
        }
    }
    if (i != text.size() || row == 0) {
        return std::nullopt;
    }
    return std::pair{row, column};
}

std::optional<MergedArea> areaOf(std::string_view ref) {
    const auto colon = ref.find(':');
    const auto first = cellAt(ref.substr(0, colon));
    const auto last = colon == std::string_view::npos ? first : cellAt(ref.substr(colon + 1));
    if (!first || !last) {
        return std::nullopt;
    }
    return MergedArea{std::min(first->first, last->first), std::min(first->second, last->second),
                      std::max(first->first, last->first), std::max(first->second, last->second)};
}

void readColumns(pugi::xml_node sheet, SheetLook& look) {
    if (auto format = child(sheet, ns::kSpreadsheet, "sheetFormatPr")) {
        if (auto width = format.attribute("defaultColWidth")) {
            look.defaultColumnWidth = width.as_double(look.defaultColumnWidth);
        } else if (auto base = format.attribute("baseColWidth")) {
            // baseColWidth counts characters without padding; the column is that many digits
            // and 5 pixels, rounded up to a multiple of 8 pixels.
            const double pixels = std::ceil((base.as_double() * 7 + 5) / 8) * 8;
            look.defaultColumnWidth = pixels / 7;
        }
        look.defaultRowHeight =
            format.attribute("defaultRowHeight").as_double(look.defaultRowHeight);
    }
    for (pugi::xml_node cols : children(sheet, ns::kSpreadsheet, "cols")) {
        for (pugi::xml_node col : children(cols, ns::kSpreadsheet, "col")) {
            ColumnRange range;
            range.first = std::max(1, col.attribute("min").as_int());
            range.last = std::max(range.first, col.attribute("max").as_int());
            if (col.attribute("hidden").as_bool()) {
                range.width = 0;
            } else if (col.attribute("width")) {
                range.width = col.attribute("width").as_double();
            }
            if (col.attribute("style")) {
                range.style = col.attribute("style").as_uint();
            }
            look.columns.push_back(range);
        }
    }
}

void readRows(pugi::xml_node sheet, int firstRow, int lastRow, SheetLook& look) {
    int rowNumber = 0;
    for (pugi::xml_node row :
         children(child(sheet, ns::kSpreadsheet, "sheetData"), ns::kSpreadsheet, "row")) {
        rowNumber = row.attribute("r").as_int(rowNumber + 1);
        if (rowNumber < firstRow) {
            continue;
        }
        if (rowNumber > lastRow) {
            break;
        }
        if (row.attribute("ht")) {
            look.rowHeights[rowNumber] =
                row.attribute("hidden").as_bool() ? 0 : row.attribute("ht").as_double();
        }
        if (row.attribute("customFormat").as_bool() && row.attribute("s")) {
            look.rowStyles[rowNumber] = row.attribute("s").as_uint();
        }
        int column = 0;
        for (pugi::xml_node cell : children(row, ns::kSpreadsheet, "c")) {
            const auto at = cellAt(cell.attribute("r").value());
            column = at ? at->second : column + 1;
            if (cell.attribute("s")) {
                look.cellStyles[{rowNumber, column}] = cell.attribute("s").as_uint();
            }
        }
    }
}

void readMerges(pugi::xml_node sheet, SheetLook& look) {
    for (pugi::xml_node merge :
         children(child(sheet, ns::kSpreadsheet, "mergeCells"), ns::kSpreadsheet, "mergeCell")) {
        if (auto area = areaOf(merge.attribute("ref").value())) {
            look.merges.push_back(*area);
        }
    }
}

// The first worksheet part of the workbook, by the order of <sheets>; empty when there is none.
std::string firstWorksheet(package::Package& workbook, const std::string& bookPart) {
    const auto rels = workbook.relationships(bookPart);
    const pugi::xml_node root = workbook.xml(bookPart).document_element();
    for (pugi::xml_node sheet :
         children(child(root, ns::kSpreadsheet, "sheets"), ns::kSpreadsheet, "sheet")) {
        const auto* rel = rels.find(attribute(sheet, ns::kRelationships, "id").value());
        if (rel && !rel->external && rel->type.ends_with(kSheetType)) {
            const std::string part = package::resolveTarget(bookPart, rel->target);
            if (workbook.has(part)) {
                return part;
            }
        }
    }
    return {};
}

std::string relatedPart(package::Package& workbook, const std::string& source,
                        std::string_view type) {
    const auto rels = workbook.relationships(source);
    const auto* rel = rels.findByType(type);
    if (!rel || rel->external) {
        return {};
    }
    const std::string part = package::resolveTarget(source, rel->target);
    return workbook.has(part) ? part : std::string();
}

}  // namespace

const CellLook& SheetLook::lookAt(int row, int column) const {
    std::uint32_t style = 0;
    if (auto it = cellStyles.find({row, column}); it != cellStyles.end()) {
        style = it->second;
    } else if (auto r = rowStyles.find(row); r != rowStyles.end()) {
        style = r->second;
    } else {
        for (const ColumnRange& range : columns) {
            if (range.style && range.first <= column && column <= range.last) {
                style = *range.style;
                break;
            }
        }
    }
    return style < styles.size() ? styles[style] : styles.front();
}

int SheetLook::columnPixels(int column) const {
    double width = defaultColumnWidth;
    for (const ColumnRange& range : columns) {
        if (range.width && range.first <= column && column <= range.last) {
            width = *range.width;
            break;
        }
    }
    return static_cast<int>(std::lround(width * 7));
}

int SheetLook::rowPixels(int row) const {
    const auto it = rowHeights.find(row);
    const double points = it == rowHeights.end() ? defaultRowHeight : it->second;
    return static_cast<int>(std::lround(points * 96 / 72));
}

SheetLook readSheetLook(package::Package& workbook, int firstRow, int lastRow) {
    SheetLook look;
    workbook.setTextEscape(kSheetTextEscape);
    const auto packageRels = workbook.relationships("");
    const auto* main = packageRels.findByType("/officeDocument");
    const std::string bookPart = main ? package::resolveTarget("", main->target) : std::string();
    Context context;
    detail::StyleTable styles;
    std::string sheetPart;
    if (!bookPart.empty() && workbook.has(bookPart)) {
        if (const std::string theme = relatedPart(workbook, bookPart, "/theme"); !theme.empty()) {
            context.theme = themeColors(workbook.xml(theme).document_element());
        }
        if (const std::string part = relatedPart(workbook, bookPart, "/styles"); !part.empty()) {
            detail::readStyleSheet(workbook.xml(part).document_element(), styles);
        }
        sheetPart = firstWorksheet(workbook, bookPart);
    }
    if (styles.xfs.empty()) {
        styles.xfs.emplace_back();
    }
    look.styles = styleLooks(styles, context);
    if (sheetPart.empty()) {
        return look;
    }
    const pugi::xml_node sheet = workbook.xml(sheetPart).document_element();
    readColumns(sheet, look);
    readRows(sheet, firstRow, lastRow, look);
    readMerges(sheet, look);
    return look;
}

}  // namespace office::excel
