#pragma once

// The XML side of native tables (a:tbl in a graphic frame): finding the table of a shape, and
// reading and writing the text of one cell. Private to office/ppt.

#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace office::ppt::detail {

// The a:tbl of a graphic frame that holds a native table; null for any other shape.
pugi::xml_node tableOf(pugi::xml_node shape);

// The text of a table cell (a:tc): its paragraphs joined by line feeds, line breaks as line
// feeds.
std::string cellText(pugi::xml_node cell);

// Replaces the text of a table cell with one paragraph per line of text. Each new paragraph
// takes the properties of the cell's first paragraph (a:pPr, a:endParaRPr); each run takes
// those of the cell's first run, or of the first paragraph's end in a cell without runs. The
// cell's own properties (a:tcPr) are not touched. Characters that XML cannot hold are dropped.
void setCellText(pugi::xml_node cell, std::string_view text);

}  // namespace office::ppt::detail
