// Namespace-aware lookups over pugixml, which itself knows nothing of namespaces, and the walk
// over the top-level shapes of a slide.

#include <cstdint>

#include "office/ppt/ppt_impl.h"

namespace office::ppt::detail {

namespace {

constexpr std::string_view kMarkupCompatibilityNs =
    "http://schemas.openxmlformats.org/markup-compatibility/2006";

// The elements of a shape tree that are not shapes: the tree's own properties and extensions.
bool isShapeTreeProperty(std::string_view local) {
    return local == "nvGrpSpPr" || local == "grpSpPr" || local == "extLst";
}

bool isAlternateContent(pugi::xml_node node) {
    if (localName(node.name()) != "AlternateContent") {
        return false;
    }
    std::string prefix(prefixOf(node.name()));
    std::string attribute = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    for (pugi::xml_node scope = node; scope; scope = scope.parent()) {
        pugi::xml_attribute declared = scope.attribute(attribute.c_str());
        if (declared) {
            return declared.value() == kMarkupCompatibilityNs;
        }
    }
    return prefix == "mc";
}

pugi::xml_node firstElement(pugi::xml_node node) {
    for (pugi::xml_node child : node.children()) {
        if (child.type() == pugi::node_element) {
            return child;
        }
    }
    return {};
}

// The p:cNvPr of a shape element: inside its non-visual properties (p:nvSpPr, p:nvPicPr, ...).
pugi::xml_node nonVisualProperties(pugi::xml_node shape) {
    for (pugi::xml_node child : shape.children()) {
        std::string_view local = localName(child.name());
        if (local.starts_with("nv") && local.ends_with("Pr")) {
            return detail::child(child, "cNvPr");
        }
    }
    return {};
}

// The UTF-8 sequence at text[i] as a code point, with its length; a byte that starts no valid
// sequence gives length 1 and an invalid code point.
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

bool allowedInXml(std::uint32_t code) {
    if (code < 0x20) {
        return code == 0x9 || code == 0xA || code == 0xD;
    }
    if (code >= 0xD800 && code <= 0xDFFF) {
        return false;
    }
    return code != 0xFFFE && code != 0xFFFF && code <= 0x10FFFF;
}

}  // namespace

std::string_view localName(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

std::string_view prefixOf(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
}

pugi::xml_node child(pugi::xml_node parent, std::string_view local) {
    for (pugi::xml_node node : parent.children()) {
        if (node.type() == pugi::node_element && localName(node.name()) == local) {
            return node;
        }
    }
    return {};
}

pugi::xml_attribute prefixedAttribute(pugi::xml_node node, std::string_view local) {
    for (pugi::xml_attribute attribute : node.attributes()) {
        std::string_view name = attribute.name();
        if (!prefixOf(name).empty() && localName(name) == local) {
            return attribute;
        }
    }
    return {};
}

std::string prefixFor(pugi::xml_node node, std::string_view uri, std::string_view preferred) {
    for (pugi::xml_node scope = node; scope; scope = scope.parent()) {
        for (pugi::xml_attribute attribute : scope.attributes()) {
            std::string_view name = attribute.name();
            if (name.starts_with("xmlns:") && attribute.value() == uri) {
                return std::string(name.substr(6));
            }
        }
    }
    pugi::xml_node root = firstElement(node.root());
    std::string prefix(preferred);
    while (root.attribute(("xmlns:" + prefix).c_str())) {
        prefix += "x";
    }
    root.append_attribute(("xmlns:" + prefix).c_str()).set_value(std::string(uri).c_str());
    return prefix;
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

std::vector<pugi::xml_node> topLevelShapes(pugi::xml_node shapeTree) {
    std::vector<pugi::xml_node> shapes;
    for (pugi::xml_node node : shapeTree.children()) {
        if (node.type() != pugi::node_element || isShapeTreeProperty(localName(node.name()))) {
            continue;
        }
        shapes.push_back(node);
    }
    return shapes;
}

pugi::xml_node effectiveShape(pugi::xml_node shape) {
    if (!isAlternateContent(shape)) {
        return shape;
    }
    for (pugi::xml_node branch : shape.children()) {
        pugi::xml_node held = firstElement(branch);
        if (held) {
            return held;
        }
    }
    return shape;
}

std::vector<pugi::xml_node> shapeProperties(pugi::xml_node shape) {
    std::vector<pugi::xml_node> found;
    if (!isAlternateContent(shape)) {
        if (pugi::xml_node properties = nonVisualProperties(shape)) {
            found.push_back(properties);
        }
        return found;
    }
    for (pugi::xml_node branch : shape.children()) {
        pugi::xml_node held = firstElement(branch);
        if (pugi::xml_node properties = held ? nonVisualProperties(held) : pugi::xml_node()) {
            found.push_back(properties);
        }
    }
    return found;
}

}  // namespace office::ppt::detail
