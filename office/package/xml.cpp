#include "office/package/xml.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <utility>

#include "office/ascii.h"
#include "office/error.h"
#include "office/package/xml_scope.h"

namespace office::package {

using detail::kTextMarker;

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

// ---------------------------------------------------------------------------------------------
// Contents written as text

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

}  // namespace office::package
