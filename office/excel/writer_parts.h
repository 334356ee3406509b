#pragma once

// What the workbook writer's files share: adding a part to the workbook, and the counted lists
// (styles, table columns) whose count attribute follows their items.

#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace office::excel::detail {

struct WorkbookImpl;
struct SheetImpl;
struct Area;

// Takes the sheet's merged areas that overlap one of `areas` out of its part: cells written
// there are shown as they are, not hidden under the merge's first cell.
void unmergeAreas(WorkbookImpl& book, const SheetImpl& sheet, const std::vector<Area>& areas);

// Adds a new part of the workbook: its contents, its content type and the workbook's
// relationship of type `relType` ("styles", "sharedStrings") to it.
void addWorkbookPart(WorkbookImpl& book, const std::string& part, const pugi::xml_document& doc,
                     std::string_view contentType, std::string_view relType);

// The name of a new part: `stem`.xml, where office suites and readers that look no further than
// the usual name expect it, or a numbered name when that one is taken.
std::string newPartName(const WorkbookImpl& book, const std::string& stem);

// The element children of a list.
int countItems(const pugi::xml_node& list);
// Sets the list's count attribute to its number of items, adding the attribute where missing.
void updateCount(pugi::xml_node list);

}  // namespace office::excel::detail
