#include "office/graph/cells.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <utility>

namespace office::graph::detail {

namespace {

using excel::detail::cellName;
using excel::detail::parseArea;

bool needsQuotes(std::string_view sheet) {
    if (sheet.empty() || std::isdigit(static_cast<unsigned char>(sheet.front()))) {
        return true;
    }
    for (char c : sheet) {
        const auto u = static_cast<unsigned char>(c);
        if (!std::isalnum(u) && c != '_' && c != '.' && u < 0x80) {
            return true;
        }
    }
    // A name that reads as a cell ("A1", "R1C1") must be quoted too.
    return parseArea(sheet).has_value();
}

// Splits "Sheet!B2:C3" into sheet and area text; handles quoted names with doubled quotes.
std::optional<std::pair<std::string, std::string_view>> splitSheet(std::string_view formula) {
    if (formula.empty()) {
        return std::nullopt;
    }
    if (formula.front() != '\'') {
        const auto bang = formula.rfind('!');
        if (bang == std::string_view::npos) {
            return std::pair{std::string(), formula};
        }
        return std::pair{std::string(formula.substr(0, bang)), formula.substr(bang + 1)};
    }
    std::string sheet;
    std::size_t i = 1;
    for (; i < formula.size(); ++i) {
        if (formula[i] != '\'') {
            sheet += formula[i];
            continue;
        }
        if (i + 1 < formula.size() && formula[i + 1] == '\'') {
            sheet += '\'';
            ++i;
            continue;
        }
        break;
    }
    if (i + 1 >= formula.size() || formula[i + 1] != '!') {
        return std::nullopt;
    }
    return std::pair{sheet, formula.substr(i + 2)};
}

}  // namespace

std::optional<SheetRef> parseRef(std::string_view formula) {
    const auto split = splitSheet(formula);
    if (!split || split->first.find('[') != std::string::npos) {
        return std::nullopt;
    }
    const auto area = parseArea(split->second);
    if (!area) {
        return std::nullopt;
    }
    return SheetRef{split->first, *area};
}

std::string sheetOf(std::string_view formula) {
    if (!formula.empty() && formula.front() == '(') {
        formula.remove_prefix(1);
    }
    if (formula.empty() || formula.front() != '\'') {
        formula = formula.substr(0, formula.find(','));  // no comma in an unquoted name
    }
    const auto split = splitSheet(formula);
    return split && split->first.find('[') == std::string::npos ? split->first : std::string();
}

std::string formatRef(std::string_view sheet, const Area& area) {
    std::string text;
    if (needsQuotes(sheet)) {
        text = "'";
        for (char c : sheet) {
            text += c;
            if (c == '\'') {
                text += c;  // a quote inside the name is doubled
            }
        }
        text += "'";
    } else {
        text = sheet;
    }
    text += '!';
    text += cellName(area.top, area.left, true);
    if (area.top != area.bottom || area.left != area.right) {
        text += ':';
        text += cellName(area.bottom, area.right, true);
    }
    return text;
}

double parseNumber(std::string_view text) {
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

}  // namespace office::graph::detail
