#pragma once

// The elements of chart parts by namespace and local name: the chart namespace (c:) and
// DrawingML (a:), in whichever prefix, default namespace or flavour (transitional or ISO
// Strict) the part writes them. New elements take the prefix the part already gives their
// namespace.

#include <string_view>

#include <pugixml.hpp>

#include "office/package/xml.h"

namespace office::graph::detail {

namespace chartml {

inline pugi::xml_node child(pugi::xml_node parent, std::string_view local) {
    return package::child(parent, package::ns::kChart, local);
}
inline package::ElementRange children(pugi::xml_node parent, std::string_view local = {}) {
    return package::children(parent, package::ns::kChart, local);
}
inline bool is(pugi::xml_node node, std::string_view local) {
    return package::is(node, package::ns::kChart, local);
}
// The local name of an element of the chart namespace; empty for any other node.
inline std::string_view nameOf(pugi::xml_node node) {
    if (node.type() != pugi::node_element ||
        !package::sameNamespace(package::namespaceOf(node), package::ns::kChart)) {
        return {};
    }
    return package::localName(node.name());
}
inline pugi::xml_node append(pugi::xml_node parent, std::string_view local) {
    return package::appendChild(parent, package::ns::kChart, local);
}
inline pugi::xml_node insertBefore(pugi::xml_node parent, std::string_view local,
                                   pugi::xml_node before) {
    return package::insertChild(parent, package::ns::kChart, local, before);
}
inline pugi::xml_node insertAfter(pugi::xml_node parent, std::string_view local,
                                  pugi::xml_node after) {
    return package::insertChild(parent, package::ns::kChart, local, after.next_sibling());
}
inline pugi::xml_node prepend(pugi::xml_node parent, std::string_view local) {
    return package::insertChild(parent, package::ns::kChart, local, parent.first_child());
}

}  // namespace chartml

namespace dml {

inline pugi::xml_node child(pugi::xml_node parent, std::string_view local) {
    return package::child(parent, package::ns::kDrawing, local);
}
inline package::ElementRange children(pugi::xml_node parent, std::string_view local = {}) {
    return package::children(parent, package::ns::kDrawing, local);
}
inline bool is(pugi::xml_node node, std::string_view local) {
    return package::is(node, package::ns::kDrawing, local);
}
// The local name of a DrawingML element; empty for any other node.
inline std::string_view nameOf(pugi::xml_node node) {
    if (node.type() != pugi::node_element ||
        !package::sameNamespace(package::namespaceOf(node), package::ns::kDrawing)) {
        return {};
    }
    return package::localName(node.name());
}
inline pugi::xml_node append(pugi::xml_node parent, std::string_view local) {
    return package::appendChild(parent, package::ns::kDrawing, local);
}
inline pugi::xml_node insertBefore(pugi::xml_node parent, std::string_view local,
                                   pugi::xml_node before) {
    return package::insertChild(parent, package::ns::kDrawing, local, before);
}
inline pugi::xml_node prepend(pugi::xml_node parent, std::string_view local) {
    return package::insertChild(parent, package::ns::kDrawing, local, parent.first_child());
}

}  // namespace dml

}  // namespace office::graph::detail
