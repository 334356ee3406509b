#pragma once

// The looks of the native chart that takes a Graph chart's place, as native_chart.cpp writes
// them into its chart part: elements with a val attribute, fills and lines, text properties,
// markers, tick marks and titles.

#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "office/graph/chart_xml.h"
#include "office/graph/msgraph/model.h"

namespace office::graph::msgraph::native {

using chartml = detail::chartml;

// A new element of the chart namespace with its val attribute.
pugi::xml_node valued(pugi::xml_node parent, std::string_view name, const std::string& value);
pugi::xml_node valued(pugi::xml_node parent, std::string_view name, int value);
pugi::xml_node flag(pugi::xml_node parent, std::string_view name, bool on);

// Graph's black outline of bars, slices and areas, as a preset colour: a series added when the
// chart is filled takes a new colour for its fills, and keeps this outline.
void blackOutline(pugi::xml_node spPr);
void paint(pugi::xml_node parent, const Paint& p, Rgb automatic);

// a:ln of a line: its own colour, weight and dashes, none, or (automatic) the colour and width
// Graph gives it.
void line(pugi::xml_node spPr, const Paint& p, Rgb automatic, int automaticWidth);

// c:spPr of the chart area, plot area or legend from its frame: an inside and a border of their
// own, or none. An automatic inside is left to the reader; an automatic border is Graph's thin
// black line.
void boxLook(pugi::xml_node parent, const Box& box);

// c:txPr: the text properties of an axis, the legend, the data labels or the whole chart.
void textProperties(pugi::xml_node parent, const TextLook& font);

// A text's own font over a default: a font of its own replaces the default, a colour alone
// (tick labels) only changes the default's colour.
TextLook over(const TextLook& own, const TextLook& fallback);

// c:marker of a series or point: an automatic marker is left to the reader, as Graph leaves it
// to its own order of symbols; another says its symbol, size and colours.
void marker(pugi::xml_node parent, const Marker& m);

// The gridlines' own line, where the records give one; else the reader's.
void gridlines(pugi::xml_node node, const std::optional<Paint>& look);
const char* tickMarkName(TickMark mark);
const char* tickLabelsName(TickLabels labels);

// The extent of the data sheet from its corner: the last row and column holding a value.
detail::CellPos extent(const DataSheet& sheet);
bool isLineKind(Kind kind);
void title(pugi::xml_node parent, const std::string& text, const TextLook& font);

}  // namespace office::graph::msgraph::native
