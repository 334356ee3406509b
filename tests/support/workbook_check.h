#pragma once

// Checks of a workbook package that our code wrote, made without the workbook code: every cell's
// format and shared-string index names an item of its styles and shared strings (found by
// relationship), and openpyxl, which looks for the styles only in xl/styles.xml, opens it.

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "office/package/package.h"
#include "support/validator.h"

namespace support {

// Every cell whose s or shared-string index names nothing, as "xl/worksheets/sheet1.xml B2: s=1
// of 1"; empty when there is none.
inline std::vector<std::string> missingIndexes(const office::package::Package& package) {
    using office::package::resolveTarget;
    const auto top = package.relationships("");
    const std::string book = resolveTarget("", top.findByType("/officeDocument")->target);
    const auto rels = package.relationships(book);
    auto count = [&](const char* type, const char* items) -> long {
        const auto* rel = rels.findByType(type);
        return rel ? static_cast<long>(package.readXml(resolveTarget(book, rel->target))
                                           .select_nodes(items)
                                           .size())
                   : 0;
    };
    const long formats = count("/styles", "/*/*[local-name()='cellXfs']/*");
    const long strings = count("/sharedStrings", "/*/*[local-name()='si']");
    std::vector<std::string> missing;
    for (const auto& rel : rels.all()) {
        if (!rel.type.ends_with("/worksheet")) {
            continue;
        }
        const std::string part = resolveTarget(book, rel.target);
        const auto sheet = package.readXml(part);
        for (const auto& c : sheet.select_nodes("//*[local-name()='c']")) {
            const long s = c.node().attribute("s").as_int(0);
            const long v = c.node().select_node("*[local-name()='v']").node().text().as_int(-1);
            const bool shared = std::string(c.node().attribute("t").value()) == "s";
            if ((s != 0 && s >= formats) || (shared && (v < 0 || v >= strings))) {
                missing.push_back(
                    part + " " + c.node().attribute("r").value() + ": s=" + std::to_string(s) +
                    " of " + std::to_string(formats) +
                    (shared ? ", string " + std::to_string(v) + " of " + std::to_string(strings)
                            : ""));
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
        "[(c.value, c.number_format) for s in book.worksheets for r in s.iter_rows() for c in r]' "
        "'" +
        path + "'");
    return result.status == 0 ? std::string() : result.output;
}

}  // namespace support
