#include "office/excel/xls/styles.h"

#include <algorithm>
#include <cstdio>

#include <pugixml.hpp>

#include "office/binary/palette.h"
#include "office/excel/model.h"
#include "office/excel/number_format.h"
#include "office/excel/xls/style_codes.h"
#include "office/package/namespaces.h"
#include "office/package/package.h"
#include "office/package/xml.h"

namespace office::excel::xls {

namespace {

const std::string kMainNs(package::ns::kSpreadsheet);
const std::string kRelNs(package::ns::kRelationships);

using binary::kDefaultPalette;
using binary::kFixedColors;

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

ExtColor readExtColor(RecordReader& in) {
    ExtColor color;
    const std::uint16_t type = in.u16();
    const auto tint = static_cast<std::int16_t>(in.u16());
    const std::uint32_t value = in.u32();
    in.skip(8);
    color.tint = tint / 32767.0;
    if (type == 1) {
        color.kind = ExtColor::Indexed;
        color.value = value;
    } else if (type == 2) {  // red, green, blue, alpha bytes in that order
        color.kind = ExtColor::Rgb;
        color.value = ((value & 0xFF) << 16) | (value & 0xFF00) | ((value >> 16) & 0xFF);
    } else if (type == 3) {
        color.kind = ExtColor::Theme;
        color.value = value;
    }
    return color;
}

}  // namespace

// ---- reading the records ----

void StyleRecords::add(RecordReader in) {
    switch (in.record().id) {
        case rt::Font:
            font(in);
            break;
        case rt::Format: {
            const int id = in.u16();
            formats_[id] = in.unicodeString();
            break;
        }
        case rt::Xf:
            xf(in);
            break;
        case rt::XfExt:
            xfExt(in);
            break;
        case rt::Palette:
            palette(in);
            break;
        default:
            break;
    }
}

void StyleRecords::font(RecordReader& in) {
    FontRecord font;
    font.points = in.u16() / 20.0;
    const std::uint16_t flags = in.u16();
    font.italic = flags & 0x02;
    font.strike = flags & 0x08;
    font.color = in.u16();
    font.bold = in.u16() >= 600;
    font.script = in.u16();
    font.underline = in.u8();
    font.family = in.u8();
    font.charset = in.u8();
    in.u8();
    font.name = in.shortUnicodeString();
    fonts_.push_back(std::move(font));
}

void StyleRecords::xf(RecordReader& in) {
    XfRecord xf;
    xf.font = in.u16();
    xf.format = in.u16();
    in.u16();  // protection, style flag, parent
    const std::uint8_t align = in.u8();
    xf.horizontal = align & 0x07;
    xf.wrap = align & 0x08;
    xf.vertical = std::min<std::uint8_t>((align >> 4) & 0x07, 4);
    xf.rotation = in.u8();
    const std::uint8_t indent = in.u8();
    xf.indent = indent & 0x0F;
    xf.shrink = indent & 0x10;
    in.u8();  // which attributes differ from the parent style
    const std::uint32_t border1 = in.u32();
    const std::uint32_t border2 = in.u32();
    const std::uint16_t colors = in.u16();
    for (int side = 0; side < 4; ++side) {
        xf.lineStyle[side] = (border1 >> (4 * side)) & 0x0F;
    }
    xf.lineColor[0] = (border1 >> 16) & 0x7F;
    xf.lineColor[1] = (border1 >> 23) & 0x7F;
    xf.diagonal = (border1 >> 30) & 0x03;
    xf.lineColor[2] = border2 & 0x7F;
    xf.lineColor[3] = (border2 >> 7) & 0x7F;
    xf.lineColor[4] = (border2 >> 14) & 0x7F;
    xf.lineStyle[4] = (border2 >> 21) & 0x0F;
    xf.pattern = (border2 >> 26) & 0x3F;
    xf.foreground = colors & 0x7F;
    xf.background = (colors >> 7) & 0x7F;
    xfs_.push_back(xf);
}

void StyleRecords::xfExt(RecordReader& in) {
    in.skip(12 + 2);  // the future-record header, reserved
    const std::uint16_t index = in.u16();
    in.u16();
    const std::uint16_t count = in.u16();
    if (index >= xfs_.size()) {
        return;  // an extension of an XF that does not exist
    }
    XfRecord& xf = xfs_[index];
    for (std::uint16_t i = 0; i < count && in.remaining() >= 4; ++i) {
        const std::uint16_t type = in.u16();
        const std::uint16_t size = in.u16();
        if (size < 4 || size - 4u > in.remaining()) {
            in.fail("an extension property of " + std::to_string(size) +
                    " bytes does not fit the record");
        }
        const std::size_t body = size - 4u;
        // Colours: 4, 5 fill foreground and background; 7 to 11 the top, bottom, left, right
        // and diagonal borders.
        static constexpr int kLineOf[] = {2, 3, 0, 1, 4};
        if ((type == 4 || type == 5 || (type >= 7 && type <= 11)) && body >= 16) {
            const ExtColor color = readExtColor(in);
            in.skip(body - 16);
            if (type <= 5) {
                xf.extFill[type - 4] = color;
            } else {
                xf.extLine[kLineOf[type - 7]] = color;
            }
        } else {
            in.skip(body);
        }
    }
}

void StyleRecords::palette(RecordReader& in) {
    const std::size_t count = std::min<std::size_t>(in.u16(), palette_.size());
    palette_ = kDefaultPalette;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t red = in.u8();
        const std::uint8_t green = in.u8();
        const std::uint8_t blue = in.u8();
        in.u8();
        palette_[i] = (red << 16) | (green << 8) | blue;
    }
    paletteSet_ = true;
}

std::uint32_t StyleRecords::cellStyle(std::uint32_t xf) const {
    if (xf < xfs_.size()) {
        return xf;
    }
    return xfs_.size() > 15 ? 15 : 0;  // 15: the default cell format
}

// ---- the style model ----

namespace {

// The index of an equal item in `items`, or of `item` added to it.
template <class Item>
int indexOf(std::vector<Item>& items, Item item) {
    const auto found = std::find(items.begin(), items.end(), item);
    if (found != items.end()) {
        return static_cast<int>(found - items.begin());
    }
    items.push_back(std::move(item));
    return static_cast<int>(items.size() - 1);
}

detail::Font fontOf(const FontRecord& record, detail::Color color) {
    detail::Font font;
    font.name = record.name;
    font.points = record.points;
    font.bold = record.bold;
    font.italic = record.italic;
    font.strike = record.strike;
    if (record.underline != 0) {
        font.underline = record.underline == 2      ? "double"
                         : record.underline == 0x21 ? "singleAccounting"
                         : record.underline == 0x22 ? "doubleAccounting"
                                                    : "single";
    }
    if (record.script == 1 || record.script == 2) {
        font.vertAlign = record.script == 1 ? "superscript" : "subscript";
    }
    font.color = color;
    font.family = record.family;
    font.charset = record.charset;
    return font;
}

detail::Alignment alignmentOf(const XfRecord& xf) {
    detail::Alignment alignment;
    if (xf.horizontal != 0) {
        alignment.horizontal = kHorizontal[xf.horizontal];
    }
    if (xf.vertical != 2) {
        alignment.vertical = kVertical[xf.vertical];
    }
    if (xf.rotation <= 180 || xf.rotation == 255) {
        alignment.rotation = xf.rotation;
    }
    alignment.wrap = xf.wrap;
    alignment.shrink = xf.shrink;
    alignment.indent = xf.indent;
    return alignment;
}

}  // namespace

// The extension's colour where there is one, else the palette's colour of the index; the
// system's window text and background (64, 65) stay indexed; others are automatic.
detail::Color StyleRecords::colorOf(std::uint16_t index, const ExtColor& ext) const {
    using Kind = detail::Color::Kind;
    if (ext.kind == ExtColor::Rgb) {
        return {Kind::Rgb, ext.value, 0};
    }
    if (ext.kind == ExtColor::Theme) {
        return {Kind::Theme, ext.value, ext.tint};
    }
    if (ext.kind == ExtColor::Indexed) {
        index = static_cast<std::uint16_t>(ext.value);
    }
    if (index < 8) {
        return {Kind::Rgb, kFixedColors[index], 0};
    }
    if (index < 64) {
        return {Kind::Rgb, paletteSet_ ? palette_[index - 8] : kDefaultPalette[index - 8], 0};
    }
    if (index == 64 || index == 65) {
        return {Kind::Indexed, index, 0};
    }
    return {};
}

detail::Xf StyleRecords::cellFormat(const XfRecord& xf, detail::StyleTable& table) const {
    detail::Xf format;
    format.numFmtId = xf.format;
    format.isDate = detail::isDateFormat(table.formatCode(xf.format));
    format.fontId = xf.font >= 4 ? xf.font - 1 : xf.font;  // font index 4 is never used
    if (format.fontId >= static_cast<int>(table.fonts.size())) {
        format.fontId = 0;
    }
    if (xf.pattern != 0) {
        detail::Fill fill;
        fill.pattern = xf.pattern < std::size(kPatterns) ? kPatterns[xf.pattern] : "solid";
        fill.foreground = colorOf(xf.foreground, xf.extFill[0]);
        fill.background = colorOf(xf.background, xf.extFill[1]);
        format.fillId = indexOf(table.fills, std::move(fill));
    }
    detail::Border border;
    detail::BorderEdge* edges[] = {&border.left, &border.right, &border.top, &border.bottom,
                                   &border.diagonal};
    for (int side = 0; side < 5; ++side) {
        const std::uint8_t style = xf.lineStyle[side];
        if (style != 0 && style < std::size(kLineStyles)) {
            edges[side]->style = kLineStyles[style];
            edges[side]->color = colorOf(xf.lineColor[side], xf.extLine[side]);
        }
    }
    border.diagonalDown = xf.lineStyle[4] != 0 && (xf.diagonal & 1);
    border.diagonalUp = xf.lineStyle[4] != 0 && (xf.diagonal & 2);
    format.borderId = indexOf(table.borderStyles, std::move(border));
    format.alignment = alignmentOf(xf);
    return format;
}

detail::StyleTable StyleRecords::table() const {
    detail::StyleTable table;
    table.customFormats = formats_;
    for (const FontRecord& font : fonts_) {
        table.fonts.push_back(fontOf(font, colorOf(font.color, {})));
    }
    if (table.fonts.empty()) {
        table.fonts.push_back(
            fontOf(FontRecord{10, false, false, false, 0x7FFF, 0, 0, 0, 0, "Arial"}, {}));
    }
    // The two fills and the border without lines that every styles part starts with.
    table.fills = {{"none", {}, {}, false}, {"gray125", {}, {}, false}};
    table.borderStyles.emplace_back();
    for (const XfRecord& xf : xfs_) {
        table.xfs.push_back(cellFormat(xf, table));
    }
    if (table.xfs.empty()) {
        table.xfs.push_back(cellFormat(XfRecord{}, table));
    }
    for (const detail::Border& border : table.borderStyles) {
        table.borders.push_back(detail::linesOf(border));
    }
    return table;
}

// ---- the package's other parts ----

namespace {

constexpr const char* kContentType = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

pugi::xml_document worksheetXml(const SheetLayout& layout) {
    pugi::xml_document doc;
    auto root = doc.append_child("worksheet");
    root.append_attribute("xmlns") = kMainNs.c_str();
    auto format = root.append_child("sheetFormatPr");
    format.append_attribute("baseColWidth") = layout.defaultColumnWidth;
    format.append_attribute("defaultRowHeight") = number(layout.defaultRowHeight).c_str();
    if (!layout.columns.empty()) {
        auto cols = root.append_child("cols");
        for (const auto& column : layout.columns) {
            auto col = cols.append_child("col");
            col.append_attribute("min") = column.first;
            col.append_attribute("max") = column.last;
            col.append_attribute("width") = number(column.width).c_str();
            if (column.style != 0) {
                col.append_attribute("style") = column.style;
            }
            if (column.hidden) {
                col.append_attribute("hidden") = 1;
            }
            col.append_attribute("customWidth") = 1;
        }
    }
    auto sheetData = root.append_child("sheetData");
    auto rows = layout.rows;
    std::stable_sort(rows.begin(), rows.end(),
                     [](const RowLayout& a, const RowLayout& b) { return a.row < b.row; });
    int last = 0;
    for (const auto& row : rows) {
        if (row.row == last) {
            continue;
        }
        last = row.row;
        auto node = sheetData.append_child("row");
        node.append_attribute("r") = row.row;
        if (row.hidden) {
            node.append_attribute("hidden") = 1;
        }
        node.append_attribute("ht") = number(row.height).c_str();
        node.append_attribute("customHeight") = 1;
    }
    if (!layout.merges.empty()) {
        auto merges = root.append_child("mergeCells");
        merges.append_attribute("count") = static_cast<unsigned>(layout.merges.size());
        for (const auto& area : layout.merges) {
            const std::string ref = detail::columnName(area.left) + std::to_string(area.top) + ":" +
                                    detail::columnName(area.right) + std::to_string(area.bottom);
            merges.append_child("mergeCell").append_attribute("ref") = ref.c_str();
        }
    }
    return doc;
}

}  // namespace

package::Package workbookPackage(const std::vector<SheetPart>& sheets, bool date1904,
                                 const std::string& displayName) {
    auto package = package::Package::openBytes(detail::emptyPackage(), displayName, "workbook");
    const std::string relBase = kRelNs + "/";
    const std::string bookPart = "xl/workbook.xml";
    package::Relationships packageRels;
    packageRels.add(relBase + "officeDocument", bookPart);
    package.setRelationships("", packageRels);

    pugi::xml_document workbook;
    auto root = workbook.append_child("workbook");
    root.append_attribute("xmlns") = kMainNs.c_str();
    root.append_attribute("xmlns:r") = kRelNs.c_str();
    if (date1904) {
        root.append_child("workbookPr").append_attribute("date1904") = 1;
    }
    auto list = root.append_child("sheets");
    package::Relationships rels;
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const SheetPart& sheet = sheets[i];
        const std::string number = std::to_string(i + 1);
        std::string id;
        if (sheet.type == 0) {
            const std::string part = "worksheets/sheet" + number + ".xml";
            id = rels.add(relBase + "worksheet", part);
            package.writeXml("xl/" + part, worksheetXml(sheet.layout));
            package.setContentType("xl/" + part, std::string(kContentType) + "worksheet+xml");
        } else if (sheet.type == 2) {
            id = rels.add(relBase + "chartsheet", "chartsheets/sheet" + number + ".xml");
        } else {
            id = rels.add(package::relationshipType(package::Namespace::OfficeRelationships2006,
                                                    "xlMacrosheet"),
                          "macrosheets/sheet" + number + ".xml");
        }
        auto node = list.append_child("sheet");
        node.append_attribute("name") = package::xmlSafe(sheet.name).c_str();
        node.append_attribute("sheetId") = static_cast<unsigned>(i + 1);
        if (sheet.state != 0) {
            node.append_attribute("state") = sheet.state == 2 ? "veryHidden" : "hidden";
        }
        node.append_attribute("r:id") = id.c_str();
    }
    package.writeXml(bookPart, workbook);
    package.setContentType(bookPart, std::string(kContentType) + "sheet.main+xml");
    package.setRelationships(bookPart, rels);
    return package;
}

}  // namespace office::excel::xls
