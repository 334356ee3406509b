// The looks of the native chart that takes a Graph chart's place: the values, fills, lines,
// text properties, markers and titles of its chart part's elements.

#include "office/graph/msgraph/native_look.h"

#include <algorithm>
#include <string>

namespace office::graph::msgraph::native {

using dml = detail::dml;

// A new element of the chart namespace with its val attribute.
pugi::xml_node valued(pugi::xml_node parent, std::string_view name, const std::string& value) {
    pugi::xml_node node = detail::chartml::append(parent, name);
    node.append_attribute("val") = value.c_str();
    return node;
}

pugi::xml_node valued(pugi::xml_node parent, std::string_view name, int value) {
    return valued(parent, name, std::to_string(value));
}

pugi::xml_node flag(pugi::xml_node parent, std::string_view name, bool on) {
    return valued(parent, name, on ? "1" : "0");
}

namespace {

// The same for DrawingML.
pugi::xml_node dmlValued(pugi::xml_node parent, std::string_view name, const std::string& value) {
    pugi::xml_node node = detail::dml::append(parent, name);
    node.append_attribute("val") = value.c_str();
    return node;
}

void solidFill(pugi::xml_node parent, Rgb color) {
    dmlValued(dml::append(parent, "solidFill"), "srgbClr", hexColor(color));
}

}  // namespace

// Graph's black outline of bars, slices and areas, as a preset colour: a series added when the
// chart is filled takes a new colour for its fills, and keeps this outline.
void blackOutline(pugi::xml_node spPr) {
    pugi::xml_node ln = dml::append(spPr, "ln");
    ln.append_attribute("w") = 3175;
    dmlValued(dml::append(ln, "solidFill"), "prstClr", "black");
}

void paint(pugi::xml_node parent, const Paint& p, Rgb automatic) {
    if (p.mode == Paint::Mode::None) {
        dml::append(parent, "noFill");
        return;
    }
    solidFill(parent, p.mode == Paint::Mode::Explicit ? p.color : automatic);
}

namespace {

const char* dashName(Paint::Dash dash) {
    switch (dash) {
        case Paint::Dash::Solid:
            return "solid";
        case Paint::Dash::Dash:
            return "dash";
        case Paint::Dash::Dot:
            return "sysDot";
        case Paint::Dash::DashDot:
            return "dashDot";
        case Paint::Dash::DashDotDot:
            return "sysDashDotDot";
    }
    return "solid";
}

}  // namespace

// a:ln of a line: its own colour, weight and dashes, none, or (automatic) the colour and width
// Graph gives it.
void line(pugi::xml_node spPr, const Paint& p, Rgb automatic, int automaticWidth) {
    pugi::xml_node ln = dml::append(spPr, "ln");
    const int width = p.mode == Paint::Mode::Explicit    ? p.width
                      : p.mode == Paint::Mode::Automatic ? automaticWidth
                                                         : 0;
    if (width > 0) {
        ln.append_attribute("w") = width;
    }
    paint(ln, p, automatic);
    if (p.mode == Paint::Mode::Explicit && p.dash != Paint::Dash::Solid) {
        dmlValued(ln, "prstDash", dashName(p.dash));
    }
}

// c:spPr of the chart area, plot area or legend from its frame: an inside and a border of their
// own, or none. An automatic inside is left to the reader; an automatic border is Graph's thin
// black line.
void boxLook(pugi::xml_node parent, const Box& box) {
    const bool fill = box.fill && box.fill->mode != Paint::Mode::Automatic;
    if (!fill && !box.line) {
        return;
    }
    pugi::xml_node spPr = chartml::append(parent, "spPr");
    if (fill) {
        paint(spPr, *box.fill, Rgb{});
    }
    if (!box.line) {
        return;
    }
    if (box.line->mode == Paint::Mode::Automatic) {
        pugi::xml_node ln = dml::append(spPr, "ln");
        ln.append_attribute("w") = 9525;
        dmlValued(dml::append(ln, "solidFill"), "prstClr", "black");
        return;
    }
    line(spPr, *box.line, Rgb{}, 0);
}

namespace {

// A run's or paragraph's character properties from a font: size, bold, italic, colour, face.
void characterLook(pugi::xml_node rPr, const TextLook& font) {
    if (font.size) {
        rPr.append_attribute("sz") = std::clamp(*font.size, 100, 400000);
    }
    rPr.append_attribute("b") = font.bold ? "1" : "0";
    rPr.append_attribute("i") = font.italic ? "1" : "0";
    if (font.color) {
        solidFill(rPr, *font.color);
    }
    if (font.family && !font.family->empty()) {
        dml::append(rPr, "latin").append_attribute("typeface") = font.family->c_str();
    }
}

}  // namespace

// c:txPr: the text properties of an axis, the legend, the data labels or the whole chart.
void textProperties(pugi::xml_node parent, const TextLook& font) {
    if (!font.known) {
        return;
    }
    pugi::xml_node txPr = chartml::append(parent, "txPr");
    dml::append(txPr, "bodyPr");
    dml::append(txPr, "lstStyle");
    pugi::xml_node p = dml::append(txPr, "p");
    characterLook(dml::append(dml::append(p, "pPr"), "defRPr"), font);
    dml::append(p, "endParaRPr").append_attribute("lang") = "en-US";
}

// A text's own font over a default: a font of its own replaces the default, a colour alone
// (tick labels) only changes the default's colour.
TextLook over(const TextLook& own, const TextLook& fallback) {
    if (!own.known) {
        return fallback;
    }
    if (own.family || own.size) {
        return own;
    }
    TextLook look = fallback;
    look.known = true;
    look.color = own.color ? own.color : fallback.color;
    return look;
}

namespace {

const char* symbolName(Marker::Symbol symbol) {
    switch (symbol) {
        case Marker::Symbol::None:
            return "none";
        case Marker::Symbol::Square:
            return "square";
        case Marker::Symbol::Diamond:
            return "diamond";
        case Marker::Symbol::Triangle:
            return "triangle";
        case Marker::Symbol::X:
            return "x";
        case Marker::Symbol::Star:
            return "star";
        case Marker::Symbol::DowJones:
        case Marker::Symbol::StdDev:
            return "dash";
        case Marker::Symbol::Circle:
            return "circle";
        case Marker::Symbol::Plus:
            return "plus";
    }
    return "auto";
}

}  // namespace

// c:marker of a series or point: an automatic marker is left to the reader, as Graph leaves it
// to its own order of symbols; another says its symbol, size and colours.
void marker(pugi::xml_node parent, const Marker& m) {
    pugi::xml_node node = chartml::append(parent, "marker");
    if (m.automatic) {
        valued(node, "symbol", "auto");
        return;
    }
    valued(node, "symbol", symbolName(m.symbol));
    if (m.symbol == Marker::Symbol::None) {
        return;
    }
    valued(node, "size", m.size);
    pugi::xml_node spPr = chartml::append(node, "spPr");
    if (m.noFill) {
        dml::append(spPr, "noFill");
    } else {
        solidFill(spPr, m.fill);
    }
    pugi::xml_node ln = dml::append(spPr, "ln");
    if (m.noLine) {
        dml::append(ln, "noFill");
    } else {
        solidFill(ln, m.line);
    }
}

// The gridlines' own line, where the records give one; else the reader's.
void gridlines(pugi::xml_node node, const std::optional<Paint>& look) {
    if (look) {
        line(chartml::append(node, "spPr"), *look, Rgb{}, 0);
    }
}

const char* tickMarkName(TickMark mark) {
    switch (mark) {
        case TickMark::None:
            return "none";
        case TickMark::Inside:
            return "in";
        case TickMark::Outside:
            return "out";
        case TickMark::Cross:
            return "cross";
    }
    return "out";
}

const char* tickLabelsName(TickLabels labels) {
    switch (labels) {
        case TickLabels::None:
            return "none";
        case TickLabels::Low:
            return "low";
        case TickLabels::High:
            return "high";
        case TickLabels::NextTo:
            return "nextTo";
    }
    return "nextTo";
}

// The extent of the data sheet from its corner: the last row and column holding a value.
detail::CellPos extent(const DataSheet& sheet) {
    detail::CellPos last{1, 1};
    for (const auto& [pos, cell] : sheet.cells) {
        if (!cell.value.isBlank()) {
            last.row = std::max(last.row, pos.row);
            last.column = std::max(last.column, pos.column);
        }
    }
    return last;
}

bool isLineKind(Kind kind) {
    return kind == Kind::Line || kind == Kind::Scatter || kind == Kind::Radar;
}

namespace {

// A text body of one run, as titles hold it, in the title's font where the records give one.
void richText(pugi::xml_node parent, const std::string& text, const TextLook& font) {
    pugi::xml_node rich = chartml::append(chartml::append(parent, "tx"), "rich");
    dml::append(rich, "bodyPr");
    dml::append(rich, "lstStyle");
    pugi::xml_node p = dml::append(rich, "p");
    if (font.known) {
        characterLook(dml::append(dml::append(p, "pPr"), "defRPr"), font);
    }
    pugi::xml_node r = dml::append(p, "r");
    pugi::xml_node rPr = dml::append(r, "rPr");
    rPr.append_attribute("lang") = "en-US";
    if (font.known) {
        characterLook(rPr, font);
    }
    dml::append(r, "t").text().set(text.c_str());
}

}  // namespace

void title(pugi::xml_node parent, const std::string& text, const TextLook& font) {
    pugi::xml_node node = chartml::append(parent, "title");
    richText(node, text, font);
    flag(node, "overlay", false);
}

}  // namespace office::graph::msgraph::native
