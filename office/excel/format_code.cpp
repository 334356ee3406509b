#include "office/excel/format_code.h"

#include <cstring>
#include <vector>

namespace office::excel::detail {

namespace {

char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, std::size_t at, std::string_view prefix) {
    if (text.size() - at < prefix.size()) {
        return false;
    }
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (lower(text[at + i]) != lower(prefix[i])) {
            return false;
        }
    }
    return true;
}

bool isDateLetter(char c) {
    c = lower(c);
    return c == 'y' || c == 'm' || c == 'd' || c == 'h' || c == 's';
}

}  // namespace

std::vector<std::string_view> splitSections(std::string_view code) {
    std::vector<std::string_view> sections;
    std::size_t start = 0;
    bool quoted = false;
    bool bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            quoted = c != '"';
            continue;
        }
        if (bracket) {
            bracket = c != ']';
            continue;
        }
        if (c == '"') {
            quoted = true;
        } else if (c == '[') {
            bracket = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == ';') {
            sections.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    sections.push_back(code.substr(start));
    return sections;
}

namespace {

void addLiteral(std::vector<Token>& tokens, std::string_view text) {
    if (!tokens.empty() && tokens.back().kind == TokenKind::Literal) {
        tokens.back().text += text;
        return;
    }
    tokens.push_back({TokenKind::Literal, std::string(text)});
}

bool isElapsed(std::string_view inner) {
    if (inner.empty()) {
        return false;
    }
    const char first = lower(inner[0]);
    if (first != 'h' && first != 'm' && first != 's') {
        return false;
    }
    for (char c : inner) {
        if (lower(c) != first) {
            return false;
        }
    }
    return true;
}

// A bracketed item: a currency literal, an elapsed-time part, a condition; colours and locales
// show nothing.
void readBracket(std::string_view inner, Section& section) {
    if (isElapsed(inner)) {
        std::string text;
        for (char c : inner) {
            text += lower(c);
        }
        section.tokens.push_back({TokenKind::Elapsed, text});
        return;
    }
    if (!inner.empty() && inner[0] == '$') {
        const auto dash = inner.find('-');
        addLiteral(section.tokens,
                   inner.substr(1, dash == std::string_view::npos ? dash : dash - 1));
        return;
    }
    if (inner.empty() || (inner[0] != '<' && inner[0] != '>' && inner[0] != '=')) {
        return;
    }
    std::size_t length = 1;
    if (inner.size() > 1 && (inner[1] == '=' || inner[1] == '>')) {
        length = 2;
    }
    section.hasCondition = true;
    section.op = std::string(inner.substr(0, length));
    section.operand = std::atof(std::string(inner.substr(length)).c_str());
}

}  // namespace

Section parseSection(std::string_view text) {
    Section section;
    auto& tokens = section.tokens;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            const auto end = text.find('"', i + 1);
            const auto stop = end == std::string_view::npos ? text.size() : end;
            addLiteral(tokens, text.substr(i + 1, stop - i - 1));
            i = stop;
        } else if (c == '\\') {
            if (i + 1 < text.size()) {
                addLiteral(tokens, text.substr(++i, 1));
            }
        } else if (c == '_') {
            ++i;
            addLiteral(tokens, " ");
        } else if (c == '*') {
            ++i;
        } else if (c == '[') {
            const auto end = text.find(']', i);
            const auto stop = end == std::string_view::npos ? text.size() : end;
            readBracket(text.substr(i + 1, stop - i - 1), section);
            i = stop;
        } else if (startsWithNoCase(text, i, "AM/PM")) {
            tokens.push_back({TokenKind::AmPm, "AM/PM"});
            i += 4;
        } else if (startsWithNoCase(text, i, "A/P")) {
            tokens.push_back({TokenKind::AmPm, std::string(text.substr(i, 3))});
            i += 2;
        } else if (startsWithNoCase(text, i, "General")) {
            tokens.push_back({TokenKind::General, {}});
            i += 6;
        } else if (isDateLetter(c)) {
            std::size_t end = i;
            while (end < text.size() && lower(text[end]) == lower(c)) {
                ++end;
            }
            tokens.push_back({TokenKind::DatePart, std::string(end - i, lower(c))});
            i = end - 1;
        } else if ((c == 'E' || c == 'e') && i + 1 < text.size() &&
                   (text[i + 1] == '+' || text[i + 1] == '-')) {
            tokens.push_back({TokenKind::Exponent, std::string{'E', text[i + 1]}});
            ++i;
        } else if (c == '0' || c == '#' || c == '?') {
            tokens.push_back({TokenKind::Digit, std::string(1, c)});
        } else if (c == '.') {
            tokens.push_back({TokenKind::Point, "."});
        } else if (c == ',') {
            tokens.push_back({TokenKind::Comma, ","});
        } else if (c == '%') {
            tokens.push_back({TokenKind::Percent, "%"});
        } else if (c == '@') {
            tokens.push_back({TokenKind::TextAt, {}});
        } else {
            addLiteral(tokens, text.substr(i, 1));
        }
    }
    return section;
}

bool isDateSection(const Section& section) {
    for (const auto& token : section.tokens) {
        if (token.kind == TokenKind::DatePart || token.kind == TokenKind::AmPm ||
            token.kind == TokenKind::Elapsed) {
            return true;
        }
    }
    return false;
}

}  // namespace office::excel::detail
