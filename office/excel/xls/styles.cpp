#include "office/excel/xls/styles.h"

#include <cstdio>

#include <pugixml.hpp>

#include "office/excel/model.h"
#include "office/package/namespaces.h"
#include "office/package/package.h"

namespace office::excel::xls {

namespace {

constexpr const char* kMainNs = package::ns::kSpreadsheet.data();
constexpr const char* kRelNs = package::ns::kRelationships.data();

// The colours of palette indexes 8 to 63 when the workbook has no palette of its own.
constexpr std::array<std::uint32_t, 56> kDefaultPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333,
};
// Indexes 0 to 7.
constexpr std::uint32_t kFixedColors[8] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00,
                                           0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};

// The line styles of a border edge, by the code a binary XF gives it.
constexpr const char* kLineStyles[] = {"",
                                       "thin",
                                       "medium",
                                       "dashed",
                                       "dotted",
                                       "thick",
                                       "double",
                                       "hair",
                                       "mediumDashed",
                                       "dashDot",
                                       "mediumDashDot",
                                       "dashDotDot",
                                       "mediumDashDotDot",
                                       "slantDashDot"};

constexpr const char* kPatterns[] = {
    "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
    "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
    "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
    "lightGrid",      "lightTrellis",    "gray125",       "gray0625"};

constexpr const char* kHorizontal[] = {"general", "left",    "center",           "right",
                                       "fill",    "justify", "centerContinuous", "distributed"};
constexpr const char* kVertical[] = {"top", "center", "bottom", "justify", "distributed"};

std::string hexColor(std::uint32_t rgb) {
    char text[12];
    std::snprintf(text, sizeof text, "FF%06X", rgb & 0xFFFFFF);
    return text;
}

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

std::string StyleRecords::rgbOf(std::uint16_t index) const {
    if (index < 8) {
        return hexColor(kFixedColors[index]);
    }
    if (index < 64) {
        return hexColor(paletteSet_ ? palette_[index - 8] : kDefaultPalette[index - 8]);
    }
    return {};
}

// ---- writing styles.xml ----

class StyleXmlWriter {
public:
    explicit StyleXmlWriter(const StyleRecords& records) : records_(records) {}

    std::string write() {
        auto root = doc_.append_child("styleSheet");
        root.append_attribute("xmlns") = kMainNs;
        formats(root);
        fonts(root);
        fills_ = root.append_child("fills");
        fill(0, 0, 0, {}, {});  // the two fills every styles part starts with
        fill(17, 0, 0, {}, {});
        borders_ = root.append_child("borders");
        border(XfRecord{});  // the first border has no lines
        auto styleXfs = root.append_child("cellStyleXfs");
        styleXfs.append_attribute("count") = 1;
        styleXfs.append_child("xf").append_attribute("numFmtId") = 0;
        auto cellXfs = root.append_child("cellXfs");
        for (const auto& xf : records_.xfs_) {
            cellFormat(cellXfs, xf);
        }
        if (records_.xfs_.empty()) {
            cellFormat(cellXfs, XfRecord{});
        }
        cellXfs.prepend_attribute("count") =
            static_cast<unsigned>(std::max<std::size_t>(1, records_.xfs_.size()));
        fills_.prepend_attribute("count") = fillCount_;
        borders_.prepend_attribute("count") = borderCount_;
        auto styles = root.append_child("cellStyles");
        auto normal = styles.append_child("cellStyle");
        normal.append_attribute("name") = "Normal";
        normal.append_attribute("xfId") = 0;
        normal.append_attribute("builtinId") = 0;
        return package::toXml(doc_);
    }

private:
    void formats(pugi::xml_node root) {
        if (records_.formats_.empty()) {
            return;
        }
        auto list = root.append_child("numFmts");
        list.append_attribute("count") = static_cast<unsigned>(records_.formats_.size());
        for (const auto& [id, code] : records_.formats_) {
            auto format = list.append_child("numFmt");
            format.append_attribute("numFmtId") = id;
            format.append_attribute("formatCode") = package::xmlSafe(code).c_str();
        }
    }

    void fonts(pugi::xml_node root) {
        auto list = root.append_child("fonts");
        std::vector<FontRecord> fonts = records_.fonts_;
        if (fonts.empty()) {
            fonts.push_back(FontRecord{10, false, false, false, 0x7FFF, 0, 0, 0, 0, "Arial"});
        }
        list.append_attribute("count") = static_cast<unsigned>(fonts.size());
        for (const auto& font : fonts) {
            auto node = list.append_child("font");
            auto flag = [&](bool on, const char* name) {
                if (on) {
                    node.append_child(name);
                }
            };
            flag(font.bold, "b");
            flag(font.italic, "i");
            flag(font.strike, "strike");
            if (font.underline != 0) {
                const char* kind = font.underline == 2      ? "double"
                                   : font.underline == 0x21 ? "singleAccounting"
                                   : font.underline == 0x22 ? "doubleAccounting"
                                                            : "single";
                node.append_child("u").append_attribute("val") = kind;
            }
            if (font.script == 1 || font.script == 2) {
                node.append_child("vertAlign").append_attribute("val") =
                    font.script == 1 ? "superscript" : "subscript";
            }
            node.append_child("sz").append_attribute("val") = number(font.points).c_str();
            color(node, "color", font.color, {});
            node.append_child("name").append_attribute("val") = package::xmlSafe(font.name).c_str();
            if (font.family > 0 && font.family <= 5) {
                node.append_child("family").append_attribute("val") = font.family;
            }
            if (font.charset != 0) {
                node.append_child("charset").append_attribute("val") = font.charset;
            }
        }
    }

    // A colour element: the extension's colour where there is one, else the palette index.
    bool color(pugi::xml_node parent, const char* name, std::uint16_t index, const ExtColor& ext) {
        if (ext.kind == ExtColor::Rgb) {
            parent.append_child(name).append_attribute("rgb") = hexColor(ext.value).c_str();
            return true;
        }
        if (ext.kind == ExtColor::Theme) {
            auto node = parent.append_child(name);
            node.append_attribute("theme") = ext.value;
            if (ext.tint != 0) {
                node.append_attribute("tint") = number(ext.tint).c_str();
            }
            return true;
        }
        if (ext.kind == ExtColor::Indexed) {
            index = static_cast<std::uint16_t>(ext.value);
        }
        const std::string rgb = records_.rgbOf(index);
        if (!rgb.empty()) {
            parent.append_child(name).append_attribute("rgb") = rgb.c_str();
            return true;
        }
        if (index == 64 || index == 65) {  // the system's window text and background
            parent.append_child(name).append_attribute("indexed") = index;
            return true;
        }
        return false;
    }

    // The index of an equal element in `list`, or of `node` appended to it.
    int findOrKeep(pugi::xml_node list, pugi::xml_node node, std::map<std::string, int>& seen,
                   int& count) {
        const std::string key = package::nodeText(node);
        if (const auto found = seen.find(key); found != seen.end()) {
            list.remove_child(node);
            return found->second;
        }
        seen.emplace(key, count);
        return count++;
    }

    int fill(std::uint8_t pattern, std::uint16_t fore, std::uint16_t back, const ExtColor& extFore,
             const ExtColor& extBack) {
        auto node = fills_.append_child("fill");
        auto patternFill = node.append_child("patternFill");
        patternFill.append_attribute("patternType") =
            pattern < std::size(kPatterns) ? kPatterns[pattern] : "solid";
        if (pattern != 0 && !(pattern == 17 && fillCount_ == 1)) {
            color(patternFill, "fgColor", fore, extFore);
            color(patternFill, "bgColor", back, extBack);
        }
        return findOrKeep(fills_, node, fillKeys_, fillCount_);
    }

    int border(const XfRecord& xf) {
        auto node = borders_.append_child("border");
        if (xf.lineStyle[4] != 0 && (xf.diagonal & 1)) {
            node.append_attribute("diagonalDown") = 1;
        }
        if (xf.lineStyle[4] != 0 && (xf.diagonal & 2)) {
            node.append_attribute("diagonalUp") = 1;
        }
        static constexpr const char* kEdges[] = {"left", "right", "top", "bottom", "diagonal"};
        for (int side = 0; side < 5; ++side) {
            auto edge = node.append_child(kEdges[side]);
            const std::uint8_t style = xf.lineStyle[side];
            if (style != 0 && style < std::size(kLineStyles)) {
                edge.append_attribute("style") = kLineStyles[style];
                color(edge, "color", xf.lineColor[side], xf.extLine[side]);
            }
        }
        return findOrKeep(borders_, node, borderKeys_, borderCount_);
    }

    void cellFormat(pugi::xml_node list, const XfRecord& xf) {
        auto node = list.append_child("xf");
        const int fonts = std::max<int>(1, static_cast<int>(records_.fonts_.size()));
        int font = xf.font >= 4 ? xf.font - 1 : xf.font;  // font index 4 is never used
        if (font >= fonts) {
            font = 0;
        }
        node.append_attribute("numFmtId") = xf.format;
        node.append_attribute("fontId") = font;
        node.append_attribute("fillId") =
            xf.pattern == 0
                ? 0
                : fill(xf.pattern, xf.foreground, xf.background, xf.extFill[0], xf.extFill[1]);
        node.append_attribute("borderId") = border(xf);
        node.append_attribute("xfId") = 0;
        const bool aligned = xf.horizontal != 0 || xf.vertical != 2 || xf.wrap || xf.shrink ||
                             xf.rotation != 0 || xf.indent != 0;
        if (!aligned) {
            return;
        }
        node.append_attribute("applyAlignment") = 1;
        auto alignment = node.append_child("alignment");
        if (xf.horizontal != 0) {
            alignment.append_attribute("horizontal") = kHorizontal[xf.horizontal];
        }
        if (xf.vertical != 2) {
            alignment.append_attribute("vertical") = kVertical[xf.vertical];
        }
        if (xf.rotation != 0 && (xf.rotation <= 180 || xf.rotation == 255)) {
            alignment.append_attribute("textRotation") = xf.rotation;
        }
        if (xf.wrap) {
            alignment.append_attribute("wrapText") = 1;
        }
        if (xf.indent != 0) {
            alignment.append_attribute("indent") = xf.indent;
        }
        if (xf.shrink) {
            alignment.append_attribute("shrinkToFit") = 1;
        }
    }

    const StyleRecords& records_;
    pugi::xml_document doc_;
    pugi::xml_node fills_;
    pugi::xml_node borders_;
    std::map<std::string, int> fillKeys_;
    std::map<std::string, int> borderKeys_;
    int fillCount_ = 0;
    int borderCount_ = 0;
};

std::string StyleRecords::stylesXml() const {
    return StyleXmlWriter(*this).write();
}

// ---- the package's other parts ----

namespace {

constexpr const char* kContentType = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

std::string worksheetXml(const SheetLayout& layout) {
    pugi::xml_document doc;
    auto root = doc.append_child("worksheet");
    root.append_attribute("xmlns") = kMainNs;
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
    return package::toXml(doc);
}

}  // namespace

std::map<std::string, std::string> workbookParts(const std::vector<SheetPart>& sheets,
                                                 bool date1904, const StyleRecords& styles) {
    std::map<std::string, std::string> parts;
    pugi::xml_document types;
    auto typesRoot = types.append_child("Types");
    typesRoot.append_attribute("xmlns") = package::ns::kContentTypes.data();
    auto addDefault = [&](const char* extension, const char* type) {
        auto node = typesRoot.append_child("Default");
        node.append_attribute("Extension") = extension;
        node.append_attribute("ContentType") = type;
    };
    addDefault("rels", "application/vnd.openxmlformats-package.relationships+xml");
    addDefault("xml", "application/xml");
    auto addOverride = [&](const std::string& part, const std::string& type) {
        auto node = typesRoot.append_child("Override");
        node.append_attribute("PartName") = ("/" + part).c_str();
        node.append_attribute("ContentType") = type.c_str();
    };
    addOverride("xl/workbook.xml", std::string(kContentType) + "sheet.main+xml");
    addOverride("xl/styles.xml", std::string(kContentType) + "styles+xml");

    pugi::xml_document rels;
    auto relsRoot = rels.append_child("Relationships");
    relsRoot.append_attribute("xmlns") = package::ns::kPackageRelationships.data();
    auto addRel = [&](const std::string& id, const std::string& type, const std::string& target) {
        auto node = relsRoot.append_child("Relationship");
        node.append_attribute("Id") = id.c_str();
        node.append_attribute("Type") = type.c_str();
        node.append_attribute("Target") = target.c_str();
    };

    pugi::xml_document workbook;
    auto root = workbook.append_child("workbook");
    root.append_attribute("xmlns") = kMainNs;
    root.append_attribute("xmlns:r") = kRelNs;
    if (date1904) {
        root.append_child("workbookPr").append_attribute("date1904") = 1;
    }
    auto list = root.append_child("sheets");
    const std::string relBase = std::string(kRelNs) + "/";
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        const SheetPart& sheet = sheets[i];
        const std::string number = std::to_string(i + 1);
        const std::string id = "rId" + number;
        auto node = list.append_child("sheet");
        node.append_attribute("name") = package::xmlSafe(sheet.name).c_str();
        node.append_attribute("sheetId") = static_cast<unsigned>(i + 1);
        if (sheet.state != 0) {
            node.append_attribute("state") = sheet.state == 2 ? "veryHidden" : "hidden";
        }
        node.append_attribute("r:id") = id.c_str();
        if (sheet.type == 0) {
            const std::string part = "worksheets/sheet" + number + ".xml";
            addRel(id, relBase + "worksheet", part);
            addOverride("xl/" + part, std::string(kContentType) + "worksheet+xml");
            parts["xl/" + part] = worksheetXml(sheet.layout);
        } else if (sheet.type == 2) {
            addRel(id, relBase + "chartsheet", "chartsheets/sheet" + number + ".xml");
        } else {
            addRel(id,
                   package::relationshipType(package::Namespace::OfficeRelationships2006,
                                             "xlMacrosheet"),
                   "macrosheets/sheet" + number + ".xml");
        }
    }
    addRel("rId" + std::to_string(sheets.size() + 1), relBase + "styles", "styles.xml");
    parts["xl/workbook.xml"] = package::toXml(workbook);
    parts["xl/_rels/workbook.xml.rels"] = package::toXml(rels);
    parts["xl/styles.xml"] = styles.stylesXml();
    parts["[Content_Types].xml"] = package::toXml(types);

    pugi::xml_document packageRels;
    auto packageRoot = packageRels.append_child("Relationships");
    packageRoot.append_attribute("xmlns") = package::ns::kPackageRelationships.data();
    auto main = packageRoot.append_child("Relationship");
    main.append_attribute("Id") = "rId1";
    main.append_attribute("Type") = (relBase + "officeDocument").c_str();
    main.append_attribute("Target") = "xl/workbook.xml";
    parts["_rels/.rels"] = package::toXml(packageRels);
    return parts;
}

}  // namespace office::excel::xls
