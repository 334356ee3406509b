#include "office/graph/chart_series.h"

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "office/graph/chart_xml.h"
#include "office/package/xml.h"

namespace office::graph::detail {

namespace {

constexpr const char* kUniqueIdUri = "{C3380CC4-5D6E-409C-BE32-E72D297353CC}";

bool endsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

// The colours that series take by their index: a base colour each, cycled, and for each round
// of the bases a variation (luminance changes) added to them.
struct Palette {
    // Colour elements (schemeClr, srgbClr, ...) and one element per variation, its children the
    // changes. Only their local names count: copies into a part take the part's prefix.
    pugi::xml_document bases;
    pugi::xml_document variations;
};

void addVariation(pugi::xml_node variations,
                  std::initializer_list<std::pair<const char*, int>> changes) {
    pugi::xml_node v = variations.append_child("variation");
    for (const auto& [name, value] : changes) {
        v.append_child(name).append_attribute("val") = value;
    }
}

// The colour style's list where the chart has one; else the six accents, shaded as office
// suites shade them for the seventh and later series.
void loadPalette(Palette& palette, pugi::xml_node style) {
    for (pugi::xml_node n : style.children()) {
        const std::string_view name = n.name();
        if (endsWith(name, "variation")) {
            palette.variations.append_copy(n);
        } else if (endsWith(name, "Clr")) {
            palette.bases.append_copy(n);
        }
    }
    if (!palette.bases.first_child()) {
        for (int i = 1; i <= 6; ++i) {
            palette.bases.append_child("schemeClr").append_attribute("val") =
                ("accent" + std::to_string(i)).c_str();
        }
    }
    if (palette.variations.first_child()) {
        return;
    }
    pugi::xml_node v = palette.variations;
    addVariation(v, {});
    addVariation(v, {{"lumMod", 60000}});
    addVariation(v, {{"lumMod", 80000}, {"lumOff", 20000}});
    addVariation(v, {{"lumMod", 80000}});
    addVariation(v, {{"lumMod", 60000}, {"lumOff", 40000}});
    addVariation(v, {{"lumMod", 50000}});
    addVariation(v, {{"lumMod", 70000}, {"lumOff", 30000}});
    addVariation(v, {{"lumMod", 70000}});
    addVariation(v, {{"lumMod", 50000}, {"lumOff", 50000}});
}

std::vector<pugi::xml_node> childrenOf(pugi::xml_node parent) {
    std::vector<pugi::xml_node> all;
    for (pugi::xml_node n : parent.children()) {
        all.push_back(n);
    }
    return all;
}

// A colour that the palette replaces: an accent or an explicit colour.
bool isPaletteColour(pugi::xml_node colour) {
    const std::string_view kind = dml::nameOf(colour);
    return kind == "srgbClr" ||
           (kind == "schemeClr" &&
            std::string_view(colour.attribute("val").value()).starts_with("accent"));
}

bool isLuminance(std::string_view name) {
    return name == "lumMod" || name == "lumOff" || name == "shade" || name == "tint";
}

// A copy of a palette element (and of its children) before `before`, every element named in
// DrawingML under the prefix `prefix` (which the part binds); attributes as they are.
pugi::xml_node copyAsDrawing(pugi::xml_node parent, pugi::xml_node before, pugi::xml_node source,
                             const std::string& prefix) {
    const std::string_view local = package::localName(source.name());
    const std::string name =
        prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
    pugi::xml_node copy = before ? parent.insert_child_before(name.c_str(), before)
                                 : parent.append_child(name.c_str());
    for (pugi::xml_attribute a : source.attributes()) {
        copy.append_copy(a);
    }
    for (pugi::xml_node child : source.children()) {
        if (child.type() == pugi::node_element) {
            copyAsDrawing(copy, {}, child, prefix);
        }
    }
    return copy;
}

// Gives one fill (an accent or explicit colour; text and background colours stay) the palette's
// colour for index `index`.
void recolourFill(pugi::xml_node fill, const Palette& palette, int index) {
    pugi::xml_node colour = fill.first_child();
    if (!isPaletteColour(colour)) {
        return;
    }
    const auto bases = childrenOf(palette.bases);
    const auto variations = childrenOf(palette.variations);
    const int n = static_cast<int>(bases.size());
    const pugi::xml_node base = bases[index % n];
    const pugi::xml_node variation = variations[(index / n) % static_cast<int>(variations.size())];
    const std::string prefix = package::ensurePrefix(fill, package::ns::kDrawing);
    pugi::xml_node fresh = copyAsDrawing(fill, colour, base, prefix);
    for (pugi::xml_node change : variation.children()) {
        copyAsDrawing(fresh, {}, change, prefix);
    }
    // Other changes of the old colour (transparency and kin) stay.
    for (pugi::xml_node kept : colour.children()) {
        if (!isLuminance(dml::nameOf(kept))) {
            fresh.append_copy(kept);
        }
    }
    fill.remove_child(colour);
}

// Gives the fills of `node` the palette's colour for series index `index`.
void recolour(pugi::xml_node node, const Palette& palette, int index) {
    for (pugi::xml_node fill : package::descendants(node, package::ns::kDrawing, "solidFill")) {
        recolourFill(fill, palette, index);
    }
}

// Hands out series indexes, orders and unique ids that no series of the chart uses yet,
// looking at the chart once.
class SeriesNumbers {
public:
    explicit SeriesNumbers(pugi::xml_node plotArea) {
        for (pugi::xml_node ser : package::descendants(plotArea, package::ns::kChart, "ser")) {
            idx_ = std::max(idx_, chartml::child(ser, "idx").attribute("val").as_int());
            order_ = std::max(order_, chartml::child(ser, "order").attribute("val").as_int());
            for (pugi::xml_node ext : chartml::children(chartml::child(ser, "extLst"), "ext")) {
                for (pugi::xml_node id : ext.children()) {
                    used_.insert(id.attribute("val").value());
                }
            }
        }
    }
    int nextIdx() { return ++idx_; }
    int nextOrder() { return ++order_; }
    std::string nextUniqueId() {
        for (;;) {
            char buffer[48];
            ++counter_;
            std::snprintf(buffer, sizeof buffer, "{%08X-7A1B-4C2D-8E3F-%012X}", counter_, counter_);
            if (used_.insert(buffer).second) {
                return buffer;
            }
        }
    }

private:
    int idx_ = -1;
    int order_ = -1;
    unsigned counter_ = 0;
    std::set<std::string> used_;
};

// A copy of `source` after `last` (a series of the same plot) with new numbers and colours.
pugi::xml_node addSeriesAfter(pugi::xml_node source, pugi::xml_node last, SeriesNumbers& numbers,
                              const Palette& palette) {
    pugi::xml_node ser = last.parent().insert_copy_after(source, last);
    const int idx = numbers.nextIdx();
    chartml::child(ser, "idx").attribute("val") = idx;
    chartml::child(ser, "order").attribute("val") = numbers.nextOrder();
    for (pugi::xml_node ext : chartml::children(chartml::child(ser, "extLst"), "ext")) {
        if (std::string_view(ext.attribute("uri").value()) != kUniqueIdUri) {
            continue;
        }
        for (pugi::xml_node id : ext.children()) {
            id.attribute("val") = numbers.nextUniqueId().c_str();
        }
    }
    recolour(chartml::child(ser, "spPr"), palette, idx);
    recolour(chartml::child(ser, "marker"), palette, idx);
    // Point-by-point formatting belongs to the copied series' own points.
    while (pugi::xml_node dpt = chartml::child(ser, "dPt")) {
        ser.remove_child(dpt);
    }
    return ser;
}

}  // namespace

void addSeriesUpTo(std::vector<SeriesInfo>& series, int wanted, pugi::xml_node plotArea,
                   pugi::xml_node colours) {
    if (static_cast<int>(series.size()) >= wanted || series.empty()) {
        return;
    }
    Palette palette;
    loadPalette(palette, colours);
    SeriesNumbers numbers(plotArea);
    // New series go into the plot of the series in the last column, after its last one.
    const SeriesInfo source = series.back();
    pugi::xml_node last = source.plot.last_child();
    while (last && !chartml::is(last, "ser")) {
        last = last.previous_sibling();
    }
    while (static_cast<int>(series.size()) < wanted) {
        SeriesInfo copy = source;
        copy.node = last = addSeriesAfter(source.node, last, numbers, palette);
        series.push_back(copy);
    }
}

void colourNewPoints(pugi::xml_node ser, int count, pugi::xml_node colours) {
    pugi::xml_node model;
    int last = -1;
    for (pugi::xml_node dPt : chartml::children(ser, "dPt")) {
        const int idx = chartml::child(dPt, "idx").attribute("val").as_int();
        if (idx > last) {
            last = idx;
            model = dPt;
        }
    }
    const pugi::xml_node fill = dml::child(chartml::child(model, "spPr"), "solidFill");
    if (last + 1 >= count || !isPaletteColour(fill.first_child())) {
        return;  // no new points, or none whose colour the palette gives
    }
    Palette palette;
    loadPalette(palette, colours);
    pugi::xml_node after = model;
    for (pugi::xml_node dPt = model; dPt; dPt = dPt.next_sibling()) {
        after = chartml::is(dPt, "dPt") ? dPt : after;
    }
    for (int i = last + 1; i < count; ++i) {
        pugi::xml_node dPt = ser.insert_copy_after(model, after);
        chartml::child(dPt, "idx").attribute("val") = i;
        // An explosion is the model point's own; the new points take the series'.
        dPt.remove_child(chartml::child(dPt, "explosion"));
        recolourFill(dml::child(chartml::child(dPt, "spPr"), "solidFill"), palette, i);
        after = dPt;
    }
}

}  // namespace office::graph::detail
