#include "office/excel/look.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "office/package/xml.h"

namespace office::excel {

namespace {

namespace ns = package::ns;
using package::attribute;
using package::child;
using package::children;

constexpr std::string_view kSheetType = "/worksheet";

// The legacy palette that indexed="n" names (64 and 65 are the system's text and window colours).
constexpr std::uint32_t kIndexed[] = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x000000,
    0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0x800000, 0x008000,
    0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080, 0x9999FF, 0x993366, 0xFFFFCC,
    0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF, 0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF,
    0x800080, 0x800000, 0x008080, 0x0000FF, 0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF,
    0xFF99CC, 0xCC99FF, 0xFFCC99, 0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600,
    0x666699, 0x969696, 0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399,
    0x333333, 0x000000, 0xFFFFFF};

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

// The colour an element such as <color rgb="FF1F4E78"/> or <fgColor theme="4" tint="-0.25"/>
// names; nullopt for an automatic colour or none.
std::optional<std::uint32_t> colorOf(pugi::xml_node element, const Context& context) {
    if (!element) {
        return std::nullopt;
    }
    std::optional<std::uint32_t> color;
    if (auto rgb = element.attribute("rgb")) {
        color = static_cast<std::uint32_t>(std::strtoul(rgb.value(), nullptr, 16)) & 0xFFFFFF;
    } else if (auto theme = element.attribute("theme")) {
        const auto index = static_cast<std::size_t>(theme.as_uint());
        if (index < context.theme.size()) {
            color = context.theme[index];
        }
    } else if (auto indexed = element.attribute("indexed")) {
        const auto index = static_cast<std::size_t>(indexed.as_uint());
        if (index < std::size(kIndexed)) {
            color = kIndexed[index];
        }
    }
    if (color) {
        color = tinted(*color, element.attribute("tint").as_double());
    }
    return color;
}

// <b/> and <b val="1"/> are on; <b val="0"/> (or "false") is off.
bool flag(pugi::xml_node font, std::string_view local) {
    const pugi::xml_node node = child(font, ns::kSpreadsheet, local);
    if (!node) {
        return false;
    }
    const std::string_view value = node.attribute("val").value();
    return value != "0" && value != "false" && value != "none";
}

CellLook fontLook(pugi::xml_node font, const Context& context) {
    CellLook look;
    if (auto name = child(font, ns::kSpreadsheet, "name")) {
        look.fontName = name.attribute("val").value();
    }
    if (auto size = child(font, ns::kSpreadsheet, "sz")) {
        look.fontSize = size.attribute("val").as_double(11);
    }
    look.bold = flag(font, "b");
    look.italic = flag(font, "i");
    look.underline = flag(font, "u");
    look.fontColor = colorOf(child(font, ns::kSpreadsheet, "color"), context).value_or(0x000000);
    return look;
}

std::optional<std::uint32_t> fillOf(pugi::xml_node fill, const Context& context) {
    if (auto pattern = child(fill, ns::kSpreadsheet, "patternFill")) {
        const std::string_view type = pattern.attribute("patternType").value();
        if (type.empty() || type == "none") {
            return std::nullopt;
        }
        // Patterns other than solid are shown in their foreground colour.
        auto color = colorOf(child(pattern, ns::kSpreadsheet, "fgColor"), context);
        return color ? color : colorOf(child(pattern, ns::kSpreadsheet, "bgColor"), context);
    }
    if (auto gradient = child(fill, ns::kSpreadsheet, "gradientFill")) {
        return colorOf(child(child(gradient, ns::kSpreadsheet, "stop"), ns::kSpreadsheet, "color"),
                       context);
    }
    return std::nullopt;
}

BorderLook edgeOf(pugi::xml_node edge, const Context& context) {
    const std::string_view style = edge.attribute("style").value();
    BorderLook look;
    if (style.empty() || style == "none") {
        return look;
    }
    look.width = style == "thick" || style == "double" ? 3 : style.starts_with("medium") ? 2 : 1;
    look.color = colorOf(child(edge, ns::kSpreadsheet, "color"), context).value_or(0x000000);
    return look;
}

HorizontalAlign alignOf(pugi::xml_node xf) {
    const std::string_view value =
        child(xf, ns::kSpreadsheet, "alignment").attribute("horizontal").value();
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

std::vector<pugi::xml_node> listOf(pugi::xml_node styles, std::string_view list,
                                   std::string_view item) {
    std::vector<pugi::xml_node> items;
    for (pugi::xml_node node :
         children(child(styles, ns::kSpreadsheet, list), ns::kSpreadsheet, item)) {
        items.push_back(node);
    }
    return items;
}

std::vector<CellLook> styleLooks(pugi::xml_node styles, const Context& context) {
    const auto fonts = listOf(styles, "fonts", "font");
    const auto fills = listOf(styles, "fills", "fill");
    const auto borders = listOf(styles, "borders", "border");
    std::vector<CellLook> looks;
    auto at = [](const std::vector<pugi::xml_node>& list, unsigned index) {
        return index < list.size() ? list[index] : pugi::xml_node();
    };
    for (pugi::xml_node xf : listOf(styles, "cellXfs", "xf")) {
        CellLook look = fontLook(at(fonts, xf.attribute("fontId").as_uint()), context);
        look.fill = fillOf(at(fills, xf.attribute("fillId").as_uint()), context);
        const pugi::xml_node border = at(borders, xf.attribute("borderId").as_uint());
        look.left = edgeOf(child(border, ns::kSpreadsheet, "left"), context);
        look.right = edgeOf(child(border, ns::kSpreadsheet, "right"), context);
        look.top = edgeOf(child(border, ns::kSpreadsheet, "top"), context);
        look.bottom = edgeOf(child(border, ns::kSpreadsheet, "bottom"), context);
        look.align = alignOf(xf);
        look.wrap = child(xf, ns::kSpreadsheet, "alignment").attribute("wrapText").as_bool();
        looks.push_back(std::move(look));
    }
    if (looks.empty()) {
        looks.push_back(fonts.empty() ? CellLook{} : fontLook(fonts.front(), context));
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
    const auto packageRels = workbook.relationships("");
    const auto* main = packageRels.findByType("/officeDocument");
    const std::string bookPart = main ? package::resolveTarget("", main->target) : std::string();
    Context context;
    pugi::xml_node styles;
    std::string sheetPart;
    if (!bookPart.empty() && workbook.has(bookPart)) {
        if (const std::string theme = relatedPart(workbook, bookPart, "/theme"); !theme.empty()) {
            context.theme = themeColors(workbook.xml(theme).document_element());
        }
        if (const std::string part = relatedPart(workbook, bookPart, "/styles"); !part.empty()) {
            styles = workbook.xml(part).document_element();
        }
        sheetPart = firstWorksheet(workbook, bookPart);
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
