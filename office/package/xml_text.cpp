#include "office/package/xml_text.h"

namespace office::package {

std::pair<std::uint32_t, std::size_t> decodeUtf8(std::string_view text, std::size_t i) {
    auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char lead = byte(i);
    if (lead < 0x80) {
        return {lead, 1};
    }
    std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead >= 0xF8 || i + length > text.size()) {
        return {0xFFFFFFFF, 1};
    }
    std::uint32_t code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return {0xFFFFFFFF, 1};
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    return {code, length};
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

bool allowedInXml(std::uint32_t code) {
    if (code < 0x20) {
        return code == 0x9 || code == 0xA || code == 0xD;
    }
    if (code >= 0xD800 && code <= 0xDFFF) {
        return false;
    }
    return code != 0xFFFE && code != 0xFFFF && code <= 0x10FFFF;
}

std::string xmlSafe(std::string_view text) {
    std::string safe;
    safe.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto [code, length] = decodeUtf8(text, i);
        if (allowedInXml(code)) {
            safe.append(text.substr(i, length));
        }
        i += length;
    }
    return safe;
}

std::string xmlSafe(std::string_view text, CharacterEscape escape) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        auto [code, length] = decodeUtf8(text, i);
        if (allowedInXml(code)) {
            out.append(text.substr(i, length));
        } else if (escape) {
            escape(out, code);
        }
        i += length;
    }
    return out;
}

bool holdsOnlyXml(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto [code, length] = decodeUtf8(text, i);
        if (!allowedInXml(code)) {
            return false;
        }
        i += length;
    }
    return true;
}

void appendEscaped(std::string& out, std::string_view value, Context context) {
    const std::string safe = xmlSafe(value);
    const bool attribute = context == Context::Attribute;
    for (const char c : safe) {
        switch (c) {
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '&':
                out += "&amp;";
                break;
            case '"':
                out += attribute ? "&quot;" : "\"";
                break;
            case '\t':
                out += attribute ? "&#9;" : "\t";
                break;
            case '\n':
                out += attribute ? "&#10;" : "\n";
                break;
            case '\r':
                out += attribute ? "&#13;" : "\r";
                break;
            default:
                out += c;
        }
    }
}

}  // namespace office::package
