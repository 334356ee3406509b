#pragma once

// The elements of chart parts by namespace and local name: the chart namespace (c:) and
// DrawingML (a:), in whichever prefix, default namespace or flavour (transitional or ISO
// Strict) the part writes them. New elements take the prefix the part already gives their
// namespace.

#include <string_view>

#include <pugixml.hpp>

#include "office/package/xml.h"

namespace office::graph::detail {

// The element helpers of one namespace; chartml and dml below are the two that chart code uses.
template <const std::string_view& Uri>
struct Elements {
    static pugi::xml_node child(pugi::xml_node parent, std::string_view local) {
        return package::child(parent, Uri, local);
    }
    static package::ElementRange children(pugi::xml_node parent, std::string_view local = {}) {
        return package::children(parent, Uri, local);
    }
    static bool is(pugi::xml_node node, std::string_view local) {
        return package::is(node, Uri, local);
    }
    // The local name of an element of the namespace; empty for any other node.
    static std::string_view nameOf(pugi::xml_node node) {
        if (node.type() != pugi::node_element ||
            !package::sameNamespace(package::namespaceOf(node), Uri)) {
            return {};
        }
        return package::localName(node.name());
    }
    static pugi::xml_node append(pugi::xml_node parent, std::string_view local) {
        return package::appendChild(parent, Uri, local);
    }
    static pugi::xml_node insertBefore(pugi::xml_node parent, std::string_view local,
                                       pugi::xml_node before) {
        return package::insertChild(parent, Uri, local, before);
    }
    static pugi::xml_node insertAfter(pugi::xml_node parent, std::string_view local,
                                      pugi::xml_node after) {
        return package::insertChild(parent, Uri, local, after.next_sibling());
    }
    static pugi::xml_node prepend(pugi::xml_node parent, std::string_view local) {
        return package::insertChild(parent, Uri, local, parent.first_child());
    }
};

// The chart namespace (c:) and DrawingML (a:).
using chartml = Elements<package::ns::kChart>;
using dml = Elements<package::ns::kDrawing>;

}  // namespace office::graph::detail
