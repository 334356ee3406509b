#include "office/package/xml.h"

#include <algorithm>
#include <string>

#include "office/package/xml_scope.h"

namespace office::package {

using detail::Binding;
using detail::bindingsAt;
using detail::documentElementOf;
using detail::kXmlns;

namespace {

// The URI whose flavour (transitional or Strict) a namespace declared on `root` takes: the
// root's own where that namespace has a Strict twin; else a Strict one that the root declares,
// since a part of Office's own vocabulary (a chart's colour style) is the same in both flavours.
std::string_view flavourOf(pugi::xml_node root) {
    const std::string_view own = namespaceOf(root);
    const Namespace id = namespaceId(own);
    if (uriOf(id, true) != uriOf(id, false)) {
        return own;
    }
    for (pugi::xml_attribute attribute : root.attributes()) {
        if (detail::declaredPrefix(attribute.name()) && isStrictUri(attribute.value())) {
            return attribute.value();
        }
    }
    return own;
}

}  // namespace

void setText(pugi::xml_node element, std::string_view text) {
    element.text().set(xmlSafe(text).c_str());
}

pugi::xml_attribute setAttribute(pugi::xml_node element, std::string_view name,
                                 std::string_view value) {
    const std::string key(name);
    pugi::xml_attribute attribute = element.attribute(key.c_str());
    if (!attribute) {
        attribute = element.append_attribute(key.c_str());
    }
    attribute.set_value(xmlSafe(value).c_str());
    return attribute;
}

pugi::xml_attribute setAttribute(pugi::xml_node element, std::string_view uri,
                                 std::string_view local, std::string_view value) {
    pugi::xml_attribute existing = attribute(element, uri, local);
    if (existing) {
        existing.set_value(xmlSafe(value).c_str());
        return existing;
    }
    if (uri.empty()) {
        return setAttribute(element, local, value);
    }
    return setAttribute(element, ensurePrefix(element, uri, true) + ":" + std::string(local),
                        value);
}

// ---------------------------------------------------------------------------------------------
// New elements

std::string ensurePrefix(pugi::xml_node node, std::string_view uri, bool forAttribute) {
    if (uri == ns::kXml) {
        return "xml";
    }
    for (const Binding& binding : bindingsAt(node)) {
        if (sameNamespace(binding.uri, uri) && !(forAttribute && binding.prefix.empty())) {
            return std::string(binding.prefix);
        }
    }
    const std::string_view usual = usualPrefix(uri);
    const std::string base = usual.empty() ? "ns" : std::string(usual);
    std::string prefix = base;
    pugi::xml_node root = documentElementOf(node);
    for (int n = 1; !namespaceUri(node, prefix).empty() ||
                    root.attribute((std::string(kXmlns) + ":" + prefix).c_str());
         ++n) {
        prefix = base + std::to_string(n);
    }
    // A Strict part gets the Strict twin, so that what is added stays in the part's flavour.
    root.append_attribute((std::string(kXmlns) + ":" + prefix).c_str())
        .set_value(std::string(uriLike(uri, flavourOf(root))).c_str());
    return prefix;
}

std::string qualifiedName(pugi::xml_node parent, std::string_view uri, std::string_view local) {
    if (parent.type() == pugi::node_element && !uri.empty() &&
        sameNamespace(namespaceOf(parent), uri)) {
        const std::string_view prefix = prefixOf(parent.name());
        return prefix.empty() ? std::string(local) : std::string(prefix) + ":" + std::string(local);
    }
    if (uri.empty()) {
        return std::string(local);
    }
    const std::string prefix = ensurePrefix(parent, uri);
    return prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
}

namespace {

// An element in no namespace under a default namespace must undeclare it.
void undeclareDefaultWhenNeeded(pugi::xml_node element, std::string_view uri) {
    if (uri.empty() && !namespaceUri(element.parent(), "").empty()) {
        element.append_attribute("xmlns") = "";
    }
}

}  // namespace

pugi::xml_node appendChild(pugi::xml_node parent, std::string_view uri, std::string_view local) {
    pugi::xml_node element = parent.append_child(qualifiedName(parent, uri, local).c_str());
    undeclareDefaultWhenNeeded(element, uri);
    return element;
}

pugi::xml_node insertChild(pugi::xml_node parent, std::string_view uri, std::string_view local,
                           pugi::xml_node before) {
    if (!before) {
        return appendChild(parent, uri, local);
    }
    pugi::xml_node element =
        parent.insert_child_before(qualifiedName(parent, uri, local).c_str(), before);
    undeclareDefaultWhenNeeded(element, uri);
    return element;
}

pugi::xml_node insertInOrder(pugi::xml_node parent, std::string_view uri, std::string_view local,
                             std::span<const std::string_view> order) {
    const auto rank = [&](std::string_view name) {
        return static_cast<std::size_t>(std::find(order.begin(), order.end(), name) -
                                        order.begin());
    };
    const std::size_t wanted = rank(local);
    pugi::xml_node before;
    if (wanted < order.size()) {
        for (pugi::xml_node existing : children(parent, uri)) {
            const std::size_t placed = rank(localName(existing.name()));
            if (placed < order.size() && placed > wanted) {
                before = existing;
                break;
            }
        }
    }
    return insertChild(parent, uri, local, before);
}

pugi::xml_node ensureChild(pugi::xml_node parent, std::string_view uri, std::string_view local,
                           std::span<const std::string_view> order) {
    if (pugi::xml_node existing = child(parent, uri, local)) {
        return existing;
    }
    return insertInOrder(parent, uri, local, order);
}

}  // namespace office::package
