#include "office/graph/cells.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

namespace office::graph::detail {

namespace {

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;

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
    return parseCellName(sheet).has_value();
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

std::string columnName(int column) {
    std::string name;
    for (; column > 0; column = (column - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
    }
    return name;
}

std::string cellName(int row, int column, bool absolute) {
    if (!absolute) {
        return columnName(column) + std::to_string(row);
    }
    return "$" + columnName(column) + "$" + std::to_string(row);
}

std::optional<CellPos> parseCellName(std::string_view text) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    int column = 0;
    const std::size_t letters = i;
    for (; i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])); ++i) {
        column = column * 26 + (std::toupper(static_cast<unsigned char>(text[i])) - 'A' + 1);
        if (column > kMaxColumn) {
            return std::nullopt;
        }
    }
    if (i == letters) {
        return std::nullopt;
    }
    if (i < text.size() && text[i] == '$') {
        ++i;
    }
    int row = 0;
    const std::size_t digits = i;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        row = row * 10 + (text[i] - '0');
        if (row > kMaxRow) {
            return std::nullopt;
        }
    }
    if (i == digits || i != text.size() || row == 0) {
        return std::nullopt;
    }
    return CellPos{row, column};
}

std::optional<SheetRef> parseRef(std::string_view formula) {
    const auto split = splitSheet(formula);
    if (!split || split->first.find('[') != std::string::npos) {
        return std::nullopt;
    }
    const std::string_view area = split->second;
    const auto colon = area.find(':');
    const auto first = parseCellName(area.substr(0, colon));
    const auto last =
        colon == std::string_view::npos ? first : parseCellName(area.substr(colon + 1));
    if (!first || !last) {
        return std::nullopt;
    }
    SheetRef ref;
    ref.sheet = split->first;
    ref.area = {std::min(first->row, last->row), std::min(first->column, last->column),
                std::max(first->row, last->row), std::max(first->column, last->column)};
    return ref;
}

std::string formatRef(std::string_view sheet, const Area& area) {
    std::string text;
    if (needsQuotes(sheet)) {
        text = "'";
        for (char c : sheet) {
            text += c == '\'' ? std::string("''") : std::string(1, c);
        }
        text += "'";
    } else {
        text = sheet;
    }
    text += "!" + cellName(area.top, area.left, true);
    if (area.top != area.bottom || area.left != area.right) {
        text += ":" + cellName(area.bottom, area.right, true);
    }
    return text;
}

namespace {

constexpr std::array<std::pair<int, std::string_view>, 28> kBuiltinFormats{{
    {0, "General"},
    {1, "0"},
    {2, "0.00"},
    {3, "#,##0"},
    {4, "#,##0.00"},
    {9, "0%"},
    {10, "0.00%"},
    {11, "0.00E+00"},
    {12, "# ?/?"},
    {13, "# ?\?/??"},
    {14, "m/d/yyyy"},
    {15, "d-mmm-yy"},
    {16, "d-mmm"},
    {17, "mmm-yy"},
    {18, "h:mm AM/PM"},
    {19, "h:mm:ss AM/PM"},
    {20, "h:mm"},
    {21, "h:mm:ss"},
    {22, "m/d/yyyy h:mm"},
    {37, "#,##0 ;(#,##0)"},
    {38, "#,##0 ;[Red](#,##0)"},
    {39, "#,##0.00;(#,##0.00)"},
    {40, "#,##0.00;[Red](#,##0.00)"},
    {45, "mm:ss"},
    {46, "[h]:mm:ss"},
    {47, "mmss.0"},
    {48, "##0.0E+0"},
    {49, "@"},
}};

}  // namespace

double parseNumber(std::string_view text) {
    double v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    return v;
}

std::string builtinFormat(int id) {
    for (const auto& [builtinId, code] : kBuiltinFormats) {
        if (builtinId == id) {
            return std::string(code);
        }
    }
    return {};
}

int builtinFormatId(std::string_view code) {
    for (const auto& [builtinId, builtinCode] : kBuiltinFormats) {
        if (builtinCode == code) {
            return builtinId;
        }
    }
    return -1;
}

bool isDateFormat(std::string_view code) {
    bool quoted = false;
    bool bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == ';') {
            return false;  // only the first section decides
        }
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (quoted) {
            continue;
        }
        if (c == '\\' || c == '_' || c == '*') {
            ++i;
            continue;
        }
        if (c == '[') {
            bracket = true;
            // Elapsed time ([h], [mm], [ss]) is a time; colours and conditions are not.
            if (i + 1 < code.size() &&
                std::string_view("hHmMsS").find(code[i + 1]) != std::string_view::npos) {
                return true;
            }
            continue;
        }
        if (c == ']') {
            bracket = false;
            continue;
        }
        if (bracket) {
            continue;
        }
        if (std::string_view("dDmMyYhHsS").find(c) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace office::graph::detail
