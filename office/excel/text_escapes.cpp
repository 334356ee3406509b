#include "office/excel/text_escapes.h"

#include <cstdio>
#include <optional>

#include "office/package/xml_text.h"

namespace office::excel {

namespace {

using package::allowedInXml;
using package::appendUtf8;
using package::decodeUtf8;

// A character XML cannot hold but a "_xHHHH_" escape can: every code point but surrogates.
bool escapable(std::uint32_t code) {
    return code <= 0xFFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

// The code of a "_xHHHH_" escape at text[i]; nullopt when none starts there.
std::optional<std::uint32_t> escapeAt(std::string_view text, std::size_t i) {
    if (i + 7 > text.size() || text[i] != '_' || (text[i + 1] != 'x' && text[i + 1] != 'X') ||
        text[i + 6] != '_') {
        return std::nullopt;
    }
    std::uint32_t code = 0;
    for (std::size_t k = i + 2; k < i + 6; ++k) {
        const char c = text[k];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return std::nullopt;
        }
        code = code * 16 + static_cast<std::uint32_t>(digit);
    }
    return code;
}

void appendEscape(std::string& out, std::uint32_t code) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "_x%04X_", static_cast<unsigned>(code));
    out += buffer;
}

}  // namespace

std::string spreadsheetEscaped(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto [code, length] = decodeUtf8(text, i);
        if (code == '_' && escapeAt(text, i)) {
            appendEscape(out, '_');  // keeps a literal "_x0041_" from reading back as "A"
        } else if (allowedInXml(code)) {
            out.append(text.substr(i, length));
        } else if (escapable(code)) {
            appendEscape(out, code);
        }
        i += length;
    }
    return out;
}

std::string spreadsheetUnescaped(std::string_view text) {
    if (text.find('_') == std::string_view::npos) {
        return std::string(text);
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto code = escapeAt(text, i);
        if (code && *code >= 0xD800 && *code <= 0xDBFF) {
            // A character beyond the basic plane, written as two escaped surrogates.
            auto low = escapeAt(text, i + 7);
            if (low && *low >= 0xDC00 && *low <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((*code - 0xD800) << 10) + (*low - 0xDC00));
                i += 14;
                continue;
            }
            code.reset();  // a lone surrogate is no character: keep the text as written
        }
        if (code && *code >= 0xDC00 && *code <= 0xDFFF) {
            code.reset();
        }
        if (code) {
            appendUtf8(out, *code);
            i += 7;
            continue;
        }
        out.push_back(text[i]);
        ++i;
    }
    return out;
}

bool escapeCharacter(std::string& out, std::uint32_t code) {
    if (!escapable(code)) {
        return false;
    }
    appendEscape(out, code);
    return true;
}

}  // namespace office::excel
