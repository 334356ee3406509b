#include "office/package/xml.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <utility>

#include "office/ascii.h"
#include "office/error.h"

namespace office::package {

// ---------------------------------------------------------------------------------------------
// Parsing and printing

namespace {

void sanitiseValues(pugi::xml_node node, CharacterEscape escape);

}  // namespace

pugi::xml_document parseXml(std::string_view xml, std::string_view file, std::string_view part,
                            TextEscape escape) {
    pugi::xml_document doc;
    const auto result = doc.load_buffer(
        xml.data(), xml.size(),
        pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single,
        pugi::encoding_auto);
    const std::string where = std::string(file) + ": " + std::string(part) + ": ";
    if (!result) {
        throw Error(ErrorCode::CorruptPart, where + asciiLower(result.description()) +
                                                " at offset " + std::to_string(result.offset));
    }
    if (!doc.document_element()) {
        throw Error(ErrorCode::CorruptPart, where + "no root element");
    }
    // A character reference may name a character that XML cannot hold ("&#1;"); the parser
    // takes it, and the tree would be written back with the raw character, which no reader
    // accepts. Such values are cleaned at once, in the way of the part's vocabulary.
    if (xml.find("&#") != std::string_view::npos) {
        const bool escaped = escape.root != Namespace::Unknown &&
                             namespaceId(namespaceOf(doc.document_element())) == escape.root;
        sanitiseValues(doc, escaped ? escape.escape : nullptr);
    }
    return doc;
}

namespace {

constexpr std::string_view kTextMarker = "tabulon-xml-text";

// Collects pugixml's output in a string, without the copies of a string stream.
struct StringWriter : pugi::xml_writer {
    std::string& out;
    explicit StringWriter(std::string& o) : out(o) {}
    void write(const void* data, std::size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

// Writes the text of every marker of insertXmlText in the marker's place, from `from` on. The
// output only shrinks, so this is done in place.
void spliceMarkers(std::string& out, std::size_t from) {
    const std::string open = "<?" + std::string(kTextMarker);
    std::size_t found = out.find(open, from);
    if (found == std::string::npos) {
        return;
    }
    char* data = out.data();
    std::size_t write = found;
    std::size_t read = found;
    auto keep = [&](std::size_t start, std::size_t end) {
        std::memmove(data + write, data + start, end - start);
        write += end - start;
    };
    while (found != std::string::npos) {
        keep(read, found);
        std::size_t start = found + open.size();
        start += start < out.size() && out[start] == ' ' ? 1 : 0;
        const std::size_t end = out.find("?>", start);
        keep(start, end);
        read = end + 2;
        found = out.find(open, read);
    }
    keep(read, out.size());
    out.resize(write);
}

// Counts pugixml's output without keeping it.
struct CountingWriter : pugi::xml_writer {
    std::size_t size = 0;
    void write(const void*, std::size_t bytes) override { size += bytes; }
};

bool holdsXmlText(const pugi::xml_node& root) {
    for (pugi::xml_node node = root.first_child(); node;) {
        if (node.type() == pugi::node_pi && kTextMarker == node.name()) {
            return true;
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling() && node != root) {
            node = node.parent();
        }
        node = node && node != root ? node.next_sibling() : pugi::xml_node();
    }
    return false;
}

// The part's XML declaration as its own (or, where it has none, Office's standalone one),
// followed by the line break that Office writes after it.
std::string declarationLine(const pugi::xml_document& doc) {
    const auto declaration = doc.first_child();
    if (declaration.type() != pugi::node_declaration) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\r\n";
    }
    std::string line = "<?xml";
    for (auto attribute : declaration.attributes()) {
        line += ' ';
        line += attribute.name();
        line += "=\"";
        line += attribute.value();
        line += '"';
    }
    line += "?>\r\n";
    return line;
}

}  // namespace

std::string toXml(const pugi::xml_document& doc) {
    // Office starts every part with a standalone declaration followed by a line break.
    std::string out = declarationLine(doc);
    const auto declaration = doc.first_child();
    const std::size_t head = out.size();
    constexpr unsigned kFlags = pugi::format_raw | pugi::format_no_declaration;
    if (holdsXmlText(doc)) {
        // Text held in markers is most of such a part: the string is sized once instead of
        // growing to one and a half times the part on the way.
        CountingWriter counter;
        doc.save(counter, "", kFlags, pugi::encoding_utf8);
        out.reserve(head + counter.size);
    }
    StringWriter writer(out);
    doc.save(writer, "", kFlags, pugi::encoding_utf8);
    if (declaration.type() == pugi::node_declaration &&
        std::string_view(out).substr(head).starts_with("<?xml")) {
        const auto end = out.find("?>", head);
        if (end != std::string::npos) {
            out.erase(head, end + 2 - head);
        }
    }
    spliceMarkers(out, head);
    return out;
}

namespace {

// Hands pugixml's output on in pieces, with the text of every marker of insertXmlText in the
// marker's place (as spliceMarkers does to a whole string). The pieces are gathered into a
// buffer first so that the sink sees few large ones.
class SplicingWriter : public pugi::xml_writer {
public:
    explicit SplicingWriter(const std::function<void(std::string_view)>& sink) : sink_(sink) {
        buffer_.reserve(kBuffer);
    }

    void write(const void* data, std::size_t size) override {
        std::string_view rest(static_cast<const char*>(data), size);
        while (!rest.empty()) {
            rest = inside_ ? inMarker(rest) : outside(rest);
        }
    }

    void flush() {
        if (!buffer_.empty()) {
            sink_(buffer_);
            buffer_.clear();
        }
    }

private:
    static constexpr std::size_t kBuffer = 64 * 1024;

    void emit(std::string_view bytes) {
        buffer_.append(bytes);
        if (buffer_.size() >= kBuffer) {
            flush();
        }
    }

    // Outside a marker: text up to a '<' goes out; a '<' is held until it is known whether a
    // marker opens there.
    std::string_view outside(std::string_view rest) {
        if (matched_ > 0) {
            while (!rest.empty() && matched_ < open_.size() && rest.front() == open_[matched_]) {
                ++matched_;
                rest.remove_prefix(1);
            }
            if (matched_ == open_.size()) {
                matched_ = 0;
                inside_ = true;
                skipSpace_ = true;
                return rest;
            }
            if (rest.empty()) {
                return rest;  // the next piece decides
            }
            emit(open_.substr(0, matched_));
            matched_ = 0;
        }
        if (rest.front() == '<') {
            matched_ = 1;
            rest.remove_prefix(1);
            return rest;
        }
        const auto angle = rest.find('<');
        emit(rest.substr(0, angle));
        return angle == std::string_view::npos ? std::string_view() : rest.substr(angle);
    }

    // Inside a marker: its text goes out, up to the "?>" that ends it.
    std::string_view inMarker(std::string_view rest) {
        if (skipSpace_) {
            skipSpace_ = false;
            if (rest.front() == ' ') {
                rest.remove_prefix(1);
                return rest;
            }
        }
        if (question_) {
            question_ = false;
            if (rest.front() == '>') {
                inside_ = false;
                rest.remove_prefix(1);
                return rest;
            }
            emit("?");
        }
        const auto mark = rest.find('?');
        emit(rest.substr(0, mark));
        if (mark == std::string_view::npos) {
            return {};
        }
        question_ = true;
        return rest.substr(mark + 1);
    }

    const std::function<void(std::string_view)>& sink_;
    const std::string open_ = "<?" + std::string(kTextMarker);
    std::string buffer_;
    std::size_t matched_ = 0;  // characters of open_ seen outside a marker
    bool inside_ = false;
    bool skipSpace_ = false;
    bool question_ = false;  // a '?' inside a marker, perhaps its end
};

}  // namespace

void streamXml(const pugi::xml_document& doc, const std::function<void(std::string_view)>& sink) {
    const std::string head = declarationLine(doc);
    const auto declaration = doc.first_child();
    SplicingWriter writer(sink);
    writer.write(head.data(), head.size());
    for (auto node = doc.first_child(); node; node = node.next_sibling()) {
        if (node != declaration || node.type() != pugi::node_declaration) {
            node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
        }
    }
    writer.flush();
}

std::string nodeText(const pugi::xml_node& node) {
    std::string out;
    StringWriter writer(out);
    node.print(writer, "", pugi::format_raw);
    spliceMarkers(out, 0);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Names and namespaces

namespace {

constexpr std::string_view kXmlns = "xmlns";

// The prefix an attribute declares ("" for xmlns itself); nullopt when it declares none.
std::optional<std::string_view> declaredPrefix(const char* name) {
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

bool declaresNamespaces(pugi::xml_node element) {
    for (auto attribute = element.first_attribute(); attribute;
         attribute = attribute.next_attribute()) {
        if (declaredPrefix(attribute.name())) {
            return true;
        }
    }
    return false;
}

struct Binding {
    std::string_view prefix;
    std::string_view uri;  // empty: the prefix (the default namespace) is undeclared here
};

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

bool isTextMarker(pugi::xml_node node) {
    return node.type() == pugi::node_pi && kTextMarker == node.name();
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

pugi::xml_node documentElementOf(pugi::xml_node node) {
    pugi::xml_node top = node;
    while (top.parent() && top.parent().type() == pugi::node_element) {
        top = top.parent();
    }
    return top;
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

std::vector<pugi::xml_node> descendants(pugi::xml_node node, std::string_view uri,
                                        std::string_view local) {
    std::vector<pugi::xml_node> found;
    for (pugi::xml_node element = visible(node.first_child()); element;
         element = visible(element.next_sibling())) {
        if (element.type() != pugi::node_element) {
            continue;
        }
        if (is(element, uri, local)) {
            found.push_back(element);
        }
        auto below = descendants(element, uri, local);
        found.insert(found.end(), below.begin(), below.end());
    }
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

// ---------------------------------------------------------------------------------------------
// Text

namespace {

void sanitiseValues(pugi::xml_node node, CharacterEscape escape) {
    for (auto attribute = node.first_attribute(); attribute;
         attribute = attribute.next_attribute()) {
        if (!holdsOnlyXml(attribute.value())) {
            attribute.set_value(xmlSafe(attribute.value(), escape).c_str());
        }
    }
    for (pugi::xml_node item : node.children()) {
        const auto type = item.type();
        if ((type == pugi::node_pcdata || type == pugi::node_cdata) &&
            !holdsOnlyXml(item.value())) {
            item.set_value(xmlSafe(item.value(), escape).c_str());
        } else if (type == pugi::node_element) {
            sanitiseValues(item, escape);
        }
    }
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

pugi::xml_node insertXmlText(pugi::xml_node parent, pugi::xml_node before, std::string_view xml) {
    pugi::xml_node marker = before ? parent.insert_child_before(pugi::node_pi, before)
                                   : parent.append_child(pugi::node_pi);
    marker.set_name(std::string(kTextMarker).c_str());
    marker.set_value(xml.data(), xml.size());
    return marker;
}

void expandXmlText(pugi::xml_node marker) {
    pugi::xml_node parent = marker.parent();
    const pugi::xml_node last = parent.last_child();
    const std::string_view text = marker.value();
    parent.append_buffer(text.data(), text.size(),
                         pugi::parse_default | pugi::parse_ws_pcdata_single, pugi::encoding_utf8);
    pugi::xml_node next = last.next_sibling();
    while (next) {
        pugi::xml_node moved = next;
        next = next.next_sibling();
        parent.insert_move_before(moved, marker);
    }
    parent.remove_child(marker);
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
        .set_value(std::string(uriLike(uri, namespaceOf(root))).c_str());
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
