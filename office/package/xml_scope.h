#pragma once

// INTERNAL to the package layer: what the XML files share of namespace scope, below xml.h.

#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

namespace office::package::detail {

// The name of the processing instruction that holds the text of insertXmlText.
inline constexpr std::string_view kTextMarker = "tabulon-xml-text";
inline constexpr std::string_view kXmlns = "xmlns";

// The prefix an attribute declares ("" for xmlns itself); nullopt when it declares none.
inline std::optional<std::string_view> declaredPrefix(const char* name) {
    // Most attributes (r, s, t, val) fail on the first byte, before their length is taken.
    if (name[0] != 'x' || std::strncmp(name, "xmlns", kXmlns.size()) != 0) {
        return std::nullopt;
    }
    const std::string_view attributeName(name);
    if (attributeName.size() == kXmlns.size()) {
        return std::string_view();
    }
    if (attributeName[kXmlns.size()] != ':') {
        return std::nullopt;
    }
    return attributeName.substr(kXmlns.size() + 1);
}

inline bool isTextMarker(pugi::xml_node node) {
    return node.type() == pugi::node_pi && kTextMarker == node.name();
}

struct Binding {
    std::string_view prefix;
    std::string_view uri;  // empty: the prefix (the default namespace) is undeclared here
};

// Every binding in scope where `node` stands, the innermost declaration of each prefix only.
std::vector<Binding> bindingsAt(pugi::xml_node node);
// The document element above `node` (the node itself when it has no element above it).
pugi::xml_node documentElementOf(pugi::xml_node node);

}  // namespace office::package::detail
