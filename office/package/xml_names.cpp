#include "office/package/xml.h"

#include <algorithm>
#include <cstring>

#include "office/package/xml_scope.h"

namespace office::package {

namespace detail {

// Every binding in scope where `node` stands, the innermost declaration of each prefix only.
std::vector<Binding> bindingsAt(pugi::xml_node node) {
    std::vector<Binding> bindings;
    for (pugi::xml_node scope = node; scope; scope = scope.parent()) {
        if (scope.type() != pugi::node_element) {
            continue;
        }
        for (pugi::xml_attribute attribute : scope.attributes()) {
            auto prefix = declaredPrefix(attribute.name());
            if (!prefix) {
                continue;
            }
            const bool shadowed =
                std::any_of(bindings.begin(), bindings.end(),
                            [&](const Binding& inner) { return inner.prefix == *prefix; });
            if (!shadowed) {
                bindings.push_back({*prefix, attribute.value()});
            }
        }
    }
    return bindings;
}

pugi::xml_node documentElementOf(pugi::xml_node node) {
    pugi::xml_node top = node;
    while (top.parent() && top.parent().type() == pugi::node_element) {
        top = top.parent();
    }
    return top;
}

}  // namespace detail

using detail::Binding;
using detail::bindingsAt;
using detail::declaredPrefix;
using detail::isTextMarker;

namespace {

bool declaresNamespaces(pugi::xml_node element) {
    for (auto attribute = element.first_attribute(); attribute;
         attribute = attribute.next_attribute()) {
        if (declaredPrefix(attribute.name())) {
            return true;
        }
    }
    return false;
}

// Turns a marker of insertXmlText into its elements; the first of them, or the node that
// followed the marker when its text held none.
pugi::xml_node expandedAt(pugi::xml_node marker) {
    const pugi::xml_node previous = marker.previous_sibling();
    const pugi::xml_node parent = marker.parent();
    expandXmlText(marker);
    return previous ? previous.next_sibling() : parent.first_child();
}

// The node after one that is no element: the next sibling, or for a marker the first node its
// text gives. Loops over many children test a node's kind once, and only a node that is no
// element can be a marker.
pugi::xml_node afterNonElement(pugi::xml_node node) {
    return isTextMarker(node) ? expandedAt(node) : node.next_sibling();
}

// The node itself, or where it is a marker the first node its text gives.
pugi::xml_node visible(pugi::xml_node node) {
    while (isTextMarker(node)) {
        node = expandedAt(node);
    }
    return node;
}

}  // namespace

std::string_view localName(std::string_view qualifiedName) {
    const std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
}

std::string_view prefixOf(std::string_view qualifiedName) {
    const std::size_t colon = qualifiedName.find(':');
    return colon == std::string_view::npos ? std::string_view() : qualifiedName.substr(0, colon);
}

pugi::xml_node child(pugi::xml_node parent, std::string_view local) {
    for (pugi::xml_node node = parent.first_child(); node;) {
        if (node.type() != pugi::node_element) {
            node = afterNonElement(node);
            continue;
        }
        if (localName(node.name()) == local) {
            return node;
        }
        node = node.next_sibling();
    }
    return {};
}

std::string_view namespaceUri(pugi::xml_node node, std::string_view prefix) {
    if (prefix == "xml") {
        return ns::kXml;
    }
    for (pugi::xml_node scope = node; scope; scope = scope.parent()) {
        if (scope.type() != pugi::node_element) {
            continue;
        }
        for (auto attribute = scope.first_attribute(); attribute;
             attribute = attribute.next_attribute()) {
            if (declaredPrefix(attribute.name()) == prefix) {
                return attribute.value();
            }
        }
    }
    return {};
}

std::string_view namespaceOf(pugi::xml_node element) {
    if (element.type() != pugi::node_element) {
        return {};
    }
    return namespaceUri(element, prefixOf(element.name()));
}

std::optional<std::string> prefixFor(pugi::xml_node node, std::string_view uri) {
    if (uri == ns::kXml) {
        return std::string("xml");
    }
    for (const Binding& binding : bindingsAt(node)) {
        if (!uri.empty() && sameNamespace(binding.uri, uri)) {
            return std::string(binding.prefix);
        }
    }
    return std::nullopt;
}

bool is(pugi::xml_node node, std::string_view uri, std::string_view local) {
    return node.type() == pugi::node_element && localName(node.name()) == local &&
           sameNamespace(namespaceOf(node), uri);
}

// ---------------------------------------------------------------------------------------------
// Children of one namespace

ElementRange::ElementRange(pugi::xml_node parent, std::string_view uri, std::string_view local)
    : parent_(parent), uri_(uri), local_(local) {
    bool defaultSeen = false;
    for (const Binding& binding : bindingsAt(parent)) {
        defaultSeen = defaultSeen || binding.prefix.empty();
        if (sameNamespace(binding.uri, uri) && !(uri.empty() && !binding.prefix.empty())) {
            prefixes_.emplace_back(binding.prefix);
        }
    }
    if (uri.empty() && !defaultSeen) {
        prefixes_.emplace_back();  // no default namespace: unprefixed names are in none
    }
    if (uri == ns::kXml) {
        prefixes_.emplace_back("xml");
    }
}

bool ElementRange::matches(pugi::xml_node element) const {
    if (element.type() != pugi::node_element) {
        return false;
    }
    const std::string_view name = element.name();
    if (!local_.empty() && localName(name) != local_) {
        return false;
    }
    const std::string_view prefix = prefixOf(name);
    if (declaresNamespaces(element)) {
        return sameNamespace(namespaceUri(element, prefix), uri_);
    }
    return std::find(prefixes_.begin(), prefixes_.end(), prefix) != prefixes_.end();
}

pugi::xml_node ElementRange::childOf(pugi::xml_node element, std::string_view local) const {
    if (declaresNamespaces(element)) {
        return child(element, uri_, local);  // its own declarations may change the bindings
    }
    for (pugi::xml_node node = element.first_child(); node;) {
        if (node.type() != pugi::node_element) {
            node = afterNonElement(node);
            continue;
        }
        if (localName(node.name()) == local) {
            const std::string_view prefix = prefixOf(node.name());
            if (declaresNamespaces(node)
                    ? sameNamespace(namespaceUri(node, prefix), uri_)
                    : std::find(prefixes_.begin(), prefixes_.end(), prefix) != prefixes_.end()) {
                return node;
            }
        }
        node = node.next_sibling();
    }
    return {};
}

ElementRange::iterator ElementRange::begin() const {
    return iterator(this, parent_.first_child());
}

ElementRange::iterator::iterator(const ElementRange* range, pugi::xml_node node)
    : range_(range), node_(node) {
    skipToMatch();
}

void ElementRange::iterator::skipToMatch() {
    while (node_ && !range_->matches(node_)) {
        node_ = isTextMarker(node_) ? expandedAt(node_) : node_.next_sibling();
    }
}

ElementRange::iterator& ElementRange::iterator::operator++() {
    node_ = node_.next_sibling();
    skipToMatch();
    return *this;
}

ElementRange::iterator ElementRange::iterator::operator++(int) {
    iterator before = *this;
    ++*this;
    return before;
}

ElementRange children(pugi::xml_node parent, std::string_view uri, std::string_view local) {
    return ElementRange(parent, uri, local);
}

pugi::xml_node child(pugi::xml_node parent, std::string_view uri, std::string_view local) {
    // One lookup: resolving the candidate alone is cheaper than the parent's whole scope.
    for (pugi::xml_node node = parent.first_child(); node;) {
        if (node.type() != pugi::node_element) {
            node = afterNonElement(node);
            continue;
        }
        if (localName(node.name()) == local && sameNamespace(namespaceOf(node), uri)) {
            return node;
        }
        node = node.next_sibling();
    }
    return {};
}

namespace {

// Adds the matching elements below `node` to `found`, in document order: one list for the whole
// walk rather than one per element.
void collectDescendants(pugi::xml_node node, std::string_view uri, std::string_view local,
                        std::vector<pugi::xml_node>& found) {
    for (pugi::xml_node element = visible(node.first_child()); element;
         element = visible(element.next_sibling())) {
        if (element.type() != pugi::node_element) {
            continue;
        }
        if (is(element, uri, local)) {
            found.push_back(element);
        }
        collectDescendants(element, uri, local, found);
    }
}

}  // namespace

std::vector<pugi::xml_node> descendants(pugi::xml_node node, std::string_view uri,
                                        std::string_view local) {
    std::vector<pugi::xml_node> found;
    collectDescendants(node, uri, local, found);
    return found;
}

bool holdsAttributeValue(pugi::xml_node node, std::string_view value) {
    for (auto attribute = node.first_attribute(); attribute;
         attribute = attribute.next_attribute()) {
        if (attribute.value() == value) {
            return true;
        }
    }
    for (pugi::xml_node element : node.children()) {
        if (element.type() == pugi::node_element && holdsAttributeValue(element, value)) {
            return true;
        }
    }
    return false;
}

pugi::xml_node firstElement(pugi::xml_node parent) {
    for (pugi::xml_node node = visible(parent.first_child()); node;
         node = visible(node.next_sibling())) {
        if (node.type() == pugi::node_element) {
            return node;
        }
    }
    return {};
}

pugi::xml_attribute attribute(pugi::xml_node node, std::string_view uri, std::string_view local) {
    for (pugi::xml_attribute candidate : node.attributes()) {
        const std::string_view name = candidate.name();
        if (localName(name) != local || declaredPrefix(candidate.name())) {
            continue;
        }
        const std::string_view prefix = prefixOf(name);
        if (prefix.empty() ? uri.empty()
                           : !uri.empty() && sameNamespace(namespaceUri(node, prefix), uri)) {
            return candidate;
        }
    }
    return {};
}

}  // namespace office::package
