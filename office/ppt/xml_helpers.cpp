// The walk over the top-level shapes of a slide, and what a shape element stands for, with
// elements matched by namespace and local name.

#include "office/ppt/ppt_impl.h"

namespace office::ppt::detail {

namespace {

// The elements of a shape tree that are not shapes: the tree's own properties and extensions.
bool isShapeTreeProperty(pugi::xml_node node) {
    return package::is(node, ns::kPresentation, "nvGrpSpPr") ||
           package::is(node, ns::kPresentation, "grpSpPr") ||
           package::is(node, ns::kPresentation, "extLst");
}

bool isAlternateContent(pugi::xml_node node) {
    return package::is(node, ns::kMarkupCompatibility, "AlternateContent");
}

// The p:cNvPr of a shape element: inside its non-visual properties (p:nvSpPr, p:nvPicPr, ...).
pugi::xml_node nonVisualProperties(pugi::xml_node shape) {
    for (pugi::xml_node child : package::children(shape, ns::kPresentation)) {
        std::string_view local = localName(child.name());
        if (local.starts_with("nv") && local.ends_with("Pr")) {
            return pmlChild(child, "cNvPr");
        }
    }
    return {};
}

}  // namespace

std::vector<pugi::xml_node> topLevelShapes(pugi::xml_node shapeTree) {
    std::vector<pugi::xml_node> shapes;
    for (pugi::xml_node node : shapeTree.children()) {
        if (node.type() != pugi::node_element || isShapeTreeProperty(node)) {
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
        pugi::xml_node held = package::firstElement(branch);
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
        pugi::xml_node held = package::firstElement(branch);
        if (pugi::xml_node properties = held ? nonVisualProperties(held) : pugi::xml_node()) {
            found.push_back(properties);
        }
    }
    return found;
}

}  // namespace office::ppt::detail
