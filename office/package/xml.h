#pragma once

// The one XML convention of the office host, on top of pugixml (which knows nothing of
// namespaces):
// - elements and attributes are matched by namespace and local name, whatever prefix a part
//   gives them (a default namespace, "x:", "ns0:", a prefix redeclared lower down), and whether
//   the part writes the namespace's transitional URI or its ISO Strict twin (namespaces.h);
// - a new element takes the prefix that its parent's namespace already has in that part, and
//   a namespace the part lacks is declared on the root, in the flavour (transitional or Strict)
//   of the root's own namespace;
// - text and attribute values pass through one setter that keeps only what XML 1.0 may hold;
// - a new child goes in the schema's child order, given as a list of local names.
//
// Prefixes are resolved where they are declared. Lookups over many children (children(),
// child()) resolve the parent's bindings once and only look again at a child that declares
// namespaces of its own, so that loops over the rows and cells of a large sheet stay cheap.

#include <cstddef>
#include <functional>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "office/package/namespaces.h"
#include "office/package/xml_text.h"

namespace office::package {

// How the parts of one vocabulary keep a character that XML cannot hold, where a character
// reference ("&#1;") named one: parts whose document element is in namespace `root` write it
// with `escape`; every other part drops it.
struct TextEscape {
    Namespace root = Namespace::Unknown;
    CharacterEscape escape = nullptr;
};

// Parses xml as part `part` of file `file`; fails with ErrorCode::CorruptPart and a text such
// as "report.pptx: ppt/charts/chart3.xml: end tag mismatch at offset 812". A value that a
// character reference filled with a character XML cannot hold is cleaned at once, as `escape`
// says, so that the tree is never written back with the raw character.
pugi::xml_document parseXml(std::string_view xml, std::string_view file, std::string_view part,
                            TextEscape escape = {});
// Serialises a document as Office writes it: the declaration kept, no indentation added.
std::string toXml(const pugi::xml_document& doc);
// The text toXml gives, handed to `sink` in pieces as it is written, so that a large part is
// never held whole (the save deflates it as it comes).
void streamXml(const pugi::xml_document& doc, const std::function<void(std::string_view)>& sink);
// One element as raw text, no indentation: to compare two elements, or to read an escaped form.
std::string nodeText(const pugi::xml_node& node);

// The name without its namespace prefix: "p:sp" gives "sp".
std::string_view localName(std::string_view qualifiedName);
// The prefix of a qualified name: "p:sp" gives "p", "sp" gives "".
std::string_view prefixOf(std::string_view qualifiedName);
// The first child element whose local name is `local`, whatever its namespace; null when there
// is none. Prefer the namespace-aware child() below.
pugi::xml_node child(pugi::xml_node parent, std::string_view local);

// The namespace URI bound to `prefix` ("" for the default namespace) where `node` stands; empty
// when it is unbound.
std::string_view namespaceUri(pugi::xml_node node, std::string_view prefix);
// The namespace URI of an element; empty for an element in no namespace.
std::string_view namespaceOf(pugi::xml_node element);
// The prefix bound to uri where `node` stands ("" when it is the default namespace); nullopt
// when the namespace is not in scope there. A prefix that is rebound lower down counts for its
// lower binding only.
std::optional<std::string> prefixFor(pugi::xml_node node, std::string_view uri);

// True when `node` is an element of namespace uri with that local name.
bool is(pugi::xml_node node, std::string_view uri, std::string_view local);

// The children of one parent that are elements of namespace uri with that local name (all of
// the namespace's elements when `local` is empty), in document order. The range holds the
// parent's bindings; the parent must outlive it and keep its namespace declarations meanwhile.
class ElementRange {
public:
    class iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = pugi::xml_node;
        using difference_type = std::ptrdiff_t;
        using pointer = const pugi::xml_node*;
        using reference = const pugi::xml_node&;

        iterator() = default;
        reference operator*() const noexcept { return node_; }
        pointer operator->() const noexcept { return &node_; }
        iterator& operator++();
        iterator operator++(int);
        bool operator==(const iterator& other) const noexcept { return node_ == other.node_; }

    private:
        friend class ElementRange;
        iterator(const ElementRange* range, pugi::xml_node node);
        void skipToMatch();

        const ElementRange* range_ = nullptr;
        pugi::xml_node node_;
    };

    ElementRange(pugi::xml_node parent, std::string_view uri, std::string_view local);
    iterator begin() const;
    iterator end() const noexcept { return {}; }
    // True when the element, a child of the parent, is one this range yields.
    bool matches(pugi::xml_node element) const;
    // The first child of `element` (one this range yielded) in the range's namespace with that
    // local name, found with the bindings the range already holds: the fast way to reach, say,
    // each cell's <v> in a loop over a row's cells. Null when there is none.
    pugi::xml_node childOf(pugi::xml_node element, std::string_view local) const;

private:
    pugi::xml_node parent_;
    std::string uri_;
    std::string local_;
    std::vector<std::string> prefixes_;  // bound to uri at the parent ("" for the default)
};

ElementRange children(pugi::xml_node parent, std::string_view uri, std::string_view local = {});
// The first child element of namespace uri with that local name; null when there is none.
pugi::xml_node child(pugi::xml_node parent, std::string_view uri, std::string_view local);
// Every element below `node` (not itself) of namespace uri with that local name, in document
// order.
std::vector<pugi::xml_node> descendants(pugi::xml_node node, std::string_view uri,
                                        std::string_view local);
// True when some attribute of the element or of an element below it has exactly that value.
bool holdsAttributeValue(pugi::xml_node node, std::string_view value);
// The first child element whatever its kind; null when there is none.
pugi::xml_node firstElement(pugi::xml_node parent);

// The attribute of namespace uri with that local name ("r:id": ns::kRelationships, "id"); an
// empty uri names an attribute without a prefix, which is in no namespace. Null when absent.
pugi::xml_attribute attribute(pugi::xml_node node, std::string_view uri, std::string_view local);

// Sets the element's text (its first text child, made when absent) to what XML may hold of it.
void setText(pugi::xml_node element, std::string_view text);
// Sets an attribute, made when absent, written as `name` says ("val", "r:id" as the part
// already binds it), to what XML may hold of the value.
pugi::xml_attribute setAttribute(pugi::xml_node element, std::string_view name,
                                 std::string_view value);
// Sets the attribute of namespace uri with that local name, made when absent with the prefix
// the part binds uri to (declared on the root when it binds none).
pugi::xml_attribute setAttribute(pugi::xml_node element, std::string_view uri,
                                 std::string_view local, std::string_view value);

// Contents written as text rather than as nodes, for the parts of a tree that hold many
// thousand elements (a chart's caches, the new rows of a sheet): a tree costs several times the
// text's size per element. The text is kept in a marker node of the tree and written in the
// marker's place by toXml, streamXml, nodeText and every save, so the part comes out as if it
// held the elements. The marker is invisible to the readers of this header: children(),
// child(), descendants() and firstElement() turn a marker they meet into its elements first,
// so that a tree read after a large write shows what it shows after a small one (and only a
// part that is read again pays for the elements).
//
// The text must be element content built with appendEscaped for every value, which never
// writes "?>", the end of the marker.
pugi::xml_node insertXmlText(pugi::xml_node parent, pugi::xml_node before, std::string_view xml);
// Replaces a marker made by insertXmlText with the elements its text holds.
void expandXmlText(pugi::xml_node marker);
// The prefix to write an element or attribute of namespace uri under, where `node` stands:
// the one already bound there, else a new one (usualPrefix, made unique) declared on the
// document element. Attributes cannot use a default namespace, so with forAttribute a default
// binding does not count.
std::string ensurePrefix(pugi::xml_node node, std::string_view uri, bool forAttribute = false);
// The qualified name to write an element of namespace uri and that local name under `parent`.
std::string qualifiedName(pugi::xml_node parent, std::string_view uri, std::string_view local);

// A new last child element of namespace uri, under the prefix that namespace has in the part.
pugi::xml_node appendChild(pugi::xml_node parent, std::string_view uri, std::string_view local);
// A new child element before `before` (appended when `before` is null).
pugi::xml_node insertChild(pugi::xml_node parent, std::string_view uri, std::string_view local,
                           pugi::xml_node before);
// A new child element in the schema's order of the parent's children, `order` listing their
// local names in that order: it goes before the first existing child that the list places after
// it, and last when there is none. Children the list does not name are passed over.
pugi::xml_node insertInOrder(pugi::xml_node parent, std::string_view uri, std::string_view local,
                             std::span<const std::string_view> order);
// The child of namespace uri with that local name, inserted in order when absent.
pugi::xml_node ensureChild(pugi::xml_node parent, std::string_view uri, std::string_view local,
                           std::span<const std::string_view> order);

}  // namespace office::package
