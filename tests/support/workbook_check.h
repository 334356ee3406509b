#pragma once

// Checks of a workbook package that our code wrote, made without the workbook code: every cell's
// format index names a cell format of its styles part, every shared-string index an item of its
// shared strings (both found by relationship, as the standard says); and openpyxl, a reader
// that takes the styles only from xl/styles.xml, opens it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "office/package/package.h"
#include "support/validator.h"

namespace support {

namespace detail {

// The element children of `parent` named `local` in any prefix.
inline int countNamed(pugi::xml_node parent, std::string_view local) {
    int count = 0;
    for (pugi::xml_node n : parent.children()) {
        const std::string_view name = n.name();
        const std::size_t colon = name.find(':');
        count += name.substr(colon == std::string_view::npos ? 0 : colon + 1) == local ? 1 : 0;
    }
    return count;
}

inline std::string_view localOf(pugi::xml_node n) {
    const std::string_view name = n.name();
    const std::size_t colon = name.find(':');
    return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

inline pugi::xml_node childNamed(pugi::xml_node parent, std::string_view local) {
    for (pugi::xml_node n : parent.children()) {
        if (localOf(n) == local) {
            return n;
        }
    }
    return {};
}

}  // namespace detail

// Every cell of the workbook whose s or shared-string index names nothing, as
// "xl/worksheets/sheet1.xml B2: s=1 of 1 cell formats"; empty when there is none.
inline std::vector<std::string> missingIndexes(const office::package::Package& package) {
    using office::package::resolveTarget;
    const auto top = package.relationships("");
    const auto* main = top.findByType("/officeDocument");
    if (!main) {
        return {"no workbook part"};
    }
    const std::string workbook = resolveTarget("", main->target);
    const auto rels = package.relationships(workbook);
    int formats = 0, strings = 0;
    if (const auto* styles = rels.findByType("/styles")) {
        const auto doc = package.readXml(resolveTarget(workbook, styles->target));
        formats = detail::countNamed(detail::childNamed(doc.document_element(), "cellXfs"), "xf");
    }
    if (const auto* sst = rels.findByType("/sharedStrings")) {
        const auto doc = package.readXml(resolveTarget(workbook, sst->target));
        strings = detail::countNamed(doc.document_element(), "si");
    }
    std::vector<std::string> missing;
    for (const auto& rel : rels.all()) {
        if (!rel.type.ends_with("/worksheet")) {
            continue;
        }
        const std::string part = resolveTarget(workbook, rel.target);
        const auto doc = package.readXml(part);
        for (pugi::xml_node row : detail::childNamed(doc.document_element(), "sheetData")) {
            for (pugi::xml_node c : row.children()) {
                const std::string where = part + " " + c.attribute("r").value();
                const int s = c.attribute("s").as_int(0);
                if (s != 0 && s >= formats) {
                    missing.push_back(where + ": s=" + std::to_string(s) + " of " +
                                      std::to_string(formats) + " cell formats");
                }
                const int v = detail::childNamed(c, "v").text().as_int(-1);
                if (std::string_view(c.attribute("t").value()) == "s" && (v < 0 || v >= strings)) {
                    missing.push_back(where + ": shared string " + std::to_string(v) + " of " +
                                      std::to_string(strings));
                }
            }
        }
    }
    return missing;
}

inline bool openpyxlPresent() {
    static const bool present =
        std::system("/usr/bin/python3 -c 'import openpyxl' >/dev/null 2>&1") == 0;
    return present;
}

// What openpyxl says when it opens the workbook and reads every cell's value and format: empty
// when it can; nothing when openpyxl is not installed.
inline std::optional<std::string> openpyxlVerdict(const std::string& path) {
    if (!openpyxlPresent()) {
        return std::nullopt;
    }
    const auto result = tabulon::testing::runCommand(
        "/usr/bin/python3 -c 'import sys, openpyxl\n"
        "book = openpyxl.load_workbook(sys.argv[1])\n"
        "[(c.value, c.number_format) for s in book.worksheets for r in s.iter_rows() for c in r]'"
        " '" +
        path + "'");
    return result.status == 0 ? std::string() : result.output;
}

// The same for workbook bytes held in memory (a chart's embedded workbook), written to `path`.
inline std::optional<std::string> openpyxlVerdict(const std::string& bytes,
                                                  const std::filesystem::path& path) {
    std::ofstream(path, std::ios::binary) << bytes;
    return openpyxlVerdict(path.string());
}

}  // namespace support
