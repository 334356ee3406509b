#pragma once

// Turns an embedded .xlsx object of a deck into an Excel 97-2003 object (Excel.Sheet.8) as
// PowerPoint stores one: an oleObject part, named by the frame's ProgID, whose storage is a
// compound file of the Excel.Sheet.8 class with the workbook stream and a cached picture.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "office/compound/compound_file.h"
#include "office/package/package.h"

namespace tabulon::testing {

// The Workbook stream of an .xls file.
inline std::vector<std::uint8_t> workbookStreamOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    return office::compound::File::openBytes(std::move(bytes), path).readStream("Workbook");
}

inline std::vector<std::uint8_t> excel97Storage(const std::vector<std::uint8_t>& stream) {
    const office::compound::ClassId excel8 = {0x20, 0x08, 0x02, 0, 0, 0, 0, 0,
                                              0xC0, 0,    0,    0, 0, 0, 0, 0x46};
    return office::compound::create(
        {{"Workbook", stream}, {"\2OlePres000", std::vector<std::uint8_t>(64, 7)}}, {{"", excel8}});
}

// Puts the storage in place of the object that the slide's relationship relId points at.
inline void makeExcel97Object(office::package::Package& package, const std::string& slidePart,
                              const std::string& relId, const std::vector<std::uint8_t>& storage) {
    auto rels = package.relationships(slidePart);
    const std::string part = package.freePartName("ppt/embeddings/oleObject#.bin");
    for (auto& rel : rels.items()) {
        if (rel.id == relId) {
            package.remove(office::package::resolveTarget(slidePart, rel.target));
            rel.type = office::package::relationshipType("oleObject");
            rel.target = office::package::relativeTarget(slidePart, part);
        }
    }
    package.write(part, std::string(storage.begin(), storage.end()));
    package.setContentType(part, "application/vnd.openxmlformats-officedocument.oleObject");
    package.setRelationships(slidePart, rels);
    for (auto ole : package.xml(slidePart).select_nodes("//p:oleObj")) {
        if (relId == ole.node().attribute("r:id").value()) {
            ole.node().attribute("progId") = "Excel.Sheet.8";
        }
    }
    package.markDirty(slidePart);
}

}  // namespace tabulon::testing
