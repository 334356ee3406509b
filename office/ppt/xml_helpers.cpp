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

}  // namespace

std::string_view prefixOf(std::string_view qualifiedName) {
    std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
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
