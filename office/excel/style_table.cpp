// The style model of a workbook: read from a styles part, turned into the lines that
// Range.Borders gives, and written as the lists of a styles part for copying formats.

#include <cstdio>
#include <cstdlib>

#include "office/excel/model.h"
#include "office/excel/number_format.h"
#include "office/package/xml.h"

namespace office::excel::detail {

namespace {

bool isTrue(const pugi::xml_attribute& attribute) {
    const std::string_view text = attribute.value();
    return text == "1" || text == "true";
}

std::int16_t weightOf(std::string_view style) {
    if (style == "hair")
        return 1;
    if (style == "medium" || style == "mediumDashed" || style == "mediumDashDot" ||
        style == "mediumDashDotDot" || style == "slantDashDot")
        return -4138;
    if (style == "thick" || style == "double")
        return 4;
    return 2;
}

std::int16_t lineStyleOf(std::string_view style) {
    if (style.empty() || style == "none")
        return xlNone;
    if (style == "dashed" || style == "mediumDashed")
        return xlDash;
    if (style == "dotted")
        return xlDot;
    if (style == "double")
        return xlDouble;
    if (style == "dashDot" || style == "mediumDashDot")
        return xlDashDot;
    if (style == "dashDotDot" || style == "mediumDashDotDot")
        return xlDashDotDot;
    if (style == "slantDashDot")
        return xlSlantDashDot;
    return xlContinuous;  // thin, medium, thick, hair
}

Edge edgeOf(const BorderEdge& border) {
    Edge edge;
    edge.lineStyle = lineStyleOf(border.style);
    edge.weight = edge.lineStyle == xlNone ? 2 : weightOf(border.style);
    return edge;
}

// ---- reading a styles part ----

// <color rgb="FF1F4E78"/>, <fgColor theme="4" tint="-0.25"/>, <color indexed="64"/>; an
// automatic colour or none gives Kind::None.
Color colorOf(const pugi::xml_node& node) {
    Color color;
    if (!node) {
        return color;
    }
    if (auto rgb = node.attribute("rgb")) {
        color.kind = Color::Kind::Rgb;
        color.value = static_cast<std::uint32_t>(std::strtoul(rgb.value(), nullptr, 16)) & 0xFFFFFF;
    } else if (auto theme = node.attribute("theme")) {
        color.kind = Color::Kind::Theme;
        color.value = theme.as_uint();
    } else if (auto indexed = node.attribute("indexed")) {
        color.kind = Color::Kind::Indexed;
        color.value = indexed.as_uint();
    }
    color.tint = node.attribute("tint").as_double();
    return color;
}

// <b/> and <b val="1"/> are on; <b val="0"/> (or "false", "none") is off.
bool flagOf(const pugi::xml_node& font, std::string_view local) {
    const pugi::xml_node node = child(font, local);
    if (!node) {
        return false;
    }
    const std::string_view value = node.attribute("val").value();
    return value != "0" && value != "false" && value != "none";
}

Font fontOf(const pugi::xml_node& node) {
    Font font;
    if (auto name = child(node, "name")) {
        font.name = name.attribute("val").value();
    }
    if (auto size = child(node, "sz")) {
        font.points = size.attribute("val").as_double(11);
    }
    font.bold = flagOf(node, "b");
    font.italic = flagOf(node, "i");
    font.strike = flagOf(node, "strike");
    if (flagOf(node, "u")) {
        const std::string_view kind = child(node, "u").attribute("val").value();
        font.underline = kind.empty() ? "single" : std::string(kind);
    }
    font.vertAlign = child(node, "vertAlign").attribute("val").value();
    font.color = colorOf(child(node, "color"));
    font.family = child(node, "family").attribute("val").as_int();
    font.charset = child(node, "charset").attribute("val").as_int();
    return font;
}

Fill fillOf(const pugi::xml_node& node) {
    Fill fill;
    if (auto pattern = child(node, "patternFill")) {
        fill.pattern = pattern.attribute("patternType").value();
        fill.foreground = colorOf(child(pattern, "fgColor"));
        fill.background = colorOf(child(pattern, "bgColor"));
    } else if (auto gradient = child(node, "gradientFill")) {
        fill.gradient = true;
        fill.foreground = colorOf(child(child(gradient, "stop"), "color"));
    }
    return fill;
}

BorderEdge borderEdgeOf(const pugi::xml_node& node) {
    BorderEdge edge;
    edge.style = node.attribute("style").value();
    if (edge.style == "none") {
        edge.style.clear();
    }
    edge.color = colorOf(child(node, "color"));
    return edge;
}

Border borderOf(const pugi::xml_node& node) {
    Border border;
    for (const auto& side : node.children()) {
        const auto name = localName(side);
        if (name == "left" || name == "start")
            border.left = borderEdgeOf(side);
        if (name == "right" || name == "end")
            border.right = borderEdgeOf(side);
        if (name == "top")
            border.top = borderEdgeOf(side);
        if (name == "bottom")
            border.bottom = borderEdgeOf(side);
        if (name == "diagonal")
            border.diagonal = borderEdgeOf(side);
    }
    border.diagonalDown = isTrue(node.attribute("diagonalDown"));
    border.diagonalUp = isTrue(node.attribute("diagonalUp"));
    return border;
}

Alignment alignmentOf(const pugi::xml_node& node) {
    Alignment alignment;
    alignment.horizontal = node.attribute("horizontal").value();
    alignment.vertical = node.attribute("vertical").value();
    alignment.rotation = node.attribute("textRotation").as_int();
    alignment.wrap = isTrue(node.attribute("wrapText"));
    alignment.shrink = isTrue(node.attribute("shrinkToFit"));
    alignment.indent = node.attribute("indent").as_int();
    return alignment;
}

template <class Item, class Read>
void readList(const pugi::xml_node& root, std::string_view list, std::string_view item,
              std::vector<Item>& into, Read read) {
    for (const auto& node : child(root, list).children()) {
        if (localName(node) == item) {
            into.push_back(read(node));
        }
    }
}

// ---- writing the lists of a styles part ----

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

void writeColor(pugi::xml_node parent, const char* name, const Color& color) {
    if (color.kind == Color::Kind::None) {
        return;
    }
    auto node = parent.append_child(name);
    if (color.kind == Color::Kind::Rgb) {
        char text[12];
        std::snprintf(text, sizeof text, "FF%06X", color.value & 0xFFFFFF);
        node.append_attribute("rgb") = text;
    } else {
        node.append_attribute(color.kind == Color::Kind::Theme ? "theme" : "indexed") = color.value;
    }
    if (color.tint != 0) {
        node.append_attribute("tint") = number(color.tint).c_str();
    }
}

void writeFont(pugi::xml_node list, const Font& font) {
    auto node = list.append_child("font");
    for (const auto& [on, name] : {std::pair{font.bold, "b"}, std::pair{font.italic, "i"},
                                   std::pair{font.strike, "strike"}}) {
        if (on) {
            node.append_child(name);
        }
    }
    if (!font.underline.empty()) {
        node.append_child("u").append_attribute("val") = font.underline.c_str();
    }
    if (!font.vertAlign.empty()) {
        node.append_child("vertAlign").append_attribute("val") = font.vertAlign.c_str();
    }
    node.append_child("sz").append_attribute("val") = number(font.points).c_str();
    writeColor(node, "color", font.color);
    node.append_child("name").append_attribute("val") = package::xmlSafe(font.name).c_str();
    if (font.family > 0 && font.family <= 5) {
        node.append_child("family").append_attribute("val") = font.family;
    }
    if (font.charset != 0) {
        node.append_child("charset").append_attribute("val") = font.charset;
    }
}

void writeFill(pugi::xml_node list, const Fill& fill) {
    auto node = list.append_child("fill");
    if (fill.gradient) {
        auto stop = node.append_child("gradientFill").append_child("stop");
        stop.append_attribute("position") = 0;
        writeColor(stop, "color", fill.foreground);
        return;
    }
    auto pattern = node.append_child("patternFill");
    pattern.append_attribute("patternType") = fill.pattern.empty() ? "none" : fill.pattern.c_str();
    writeColor(pattern, "fgColor", fill.foreground);
    writeColor(pattern, "bgColor", fill.background);
}

void writeBorder(pugi::xml_node list, const Border& border) {
    auto node = list.append_child("border");
    if (border.diagonalDown) {
        node.append_attribute("diagonalDown") = 1;
    }
    if (border.diagonalUp) {
        node.append_attribute("diagonalUp") = 1;
    }
    for (const auto& [name, edge] :
         {std::pair{"left", &border.left}, std::pair{"right", &border.right},
          std::pair{"top", &border.top}, std::pair{"bottom", &border.bottom},
          std::pair{"diagonal", &border.diagonal}}) {
        auto side = node.append_child(name);
        if (!edge->style.empty()) {
            side.append_attribute("style") = edge->style.c_str();
            writeColor(side, "color", edge->color);
        }
    }
}

void writeXf(pugi::xml_node list, const Xf& xf) {
    auto node = list.append_child("xf");
    node.append_attribute("numFmtId") = xf.numFmtId;
    node.append_attribute("fontId") = xf.fontId;
    node.append_attribute("fillId") = xf.fillId;
    node.append_attribute("borderId") = xf.borderId;
    node.append_attribute("xfId") = 0;
    const Alignment& a = xf.alignment;
    if (a == Alignment{}) {
        return;
    }
    node.append_attribute("applyAlignment") = 1;
    auto alignment = node.append_child("alignment");
    if (!a.horizontal.empty()) {
        alignment.append_attribute("horizontal") = a.horizontal.c_str();
    }
    if (!a.vertical.empty()) {
        alignment.append_attribute("vertical") = a.vertical.c_str();
    }
    if (a.rotation != 0) {
        alignment.append_attribute("textRotation") = a.rotation;
    }
    if (a.wrap) {
        alignment.append_attribute("wrapText") = 1;
    }
    if (a.indent != 0) {
        alignment.append_attribute("indent") = a.indent;
    }
    if (a.shrink) {
        alignment.append_attribute("shrinkToFit") = 1;
    }
}

template <class Item, class Write>
void writeList(pugi::xml_node root, const char* name, const std::vector<Item>& items, Write write) {
    auto list = root.append_child(name);
    list.append_attribute("count") = static_cast<unsigned>(items.size());
    for (const Item& item : items) {
        write(list, item);
    }
}

}  // namespace

BorderLines linesOf(const Border& border) {
    BorderLines lines;
    lines.edges[0] = edgeOf(border.left);
    lines.edges[1] = edgeOf(border.right);
    lines.edges[2] = edgeOf(border.top);
    lines.edges[3] = edgeOf(border.bottom);
    if (border.diagonalDown) {
        lines.edges[4] = edgeOf(border.diagonal);
    }
    if (border.diagonalUp) {
        lines.edges[5] = edgeOf(border.diagonal);
    }
    return lines;
}

void readStyleSheet(const pugi::xml_node& root, StyleTable& styles) {
    for (const auto& format : child(root, "numFmts").children()) {
        styles.customFormats[format.attribute("numFmtId").as_int()] =
            format.attribute("formatCode").value();
    }
    readList(root, "fonts", "font", styles.fonts, fontOf);
    readList(root, "fills", "fill", styles.fills, fillOf);
    readList(root, "borders", "border", styles.borderStyles, borderOf);
    for (const Border& border : styles.borderStyles) {
        styles.borders.push_back(linesOf(border));
    }
    readList(root, "cellXfs", "xf", styles.xfs, [&styles](const pugi::xml_node& node) {
        Xf xf;
        xf.numFmtId = node.attribute("numFmtId").as_int();
        xf.fontId = node.attribute("fontId").as_int();
        xf.fillId = node.attribute("fillId").as_int();
        xf.borderId = node.attribute("borderId").as_int();
        xf.isDate = isDateFormat(styles.formatCode(xf.numFmtId));
        xf.alignment = alignmentOf(child(node, "alignment"));
        return xf;
    });
    if (styles.xfs.empty()) {
        styles.xfs.push_back({});
    }
}

pugi::xml_document styleSheetOf(const StyleTable& styles) {
    pugi::xml_document doc;
    auto root = doc.append_child("styleSheet");
    root.append_attribute("xmlns") = std::string(package::ns::kSpreadsheet).c_str();
    writeList(root, "fonts", styles.fonts, writeFont);
    writeList(root, "fills", styles.fills, writeFill);
    writeList(root, "borders", styles.borderStyles, writeBorder);
    writeList(root, "cellXfs", styles.xfs, writeXf);
    return doc;
}

}  // namespace office::excel::detail
