// The text of native table cells: read as plain text, and replaced paragraph by paragraph with
// the cell's own paragraph and run properties kept.

#include <vector>

#include "office/package/package.h"
#include "office/ppt/ppt_impl.h"
#include "office/ppt/table_impl.h"

namespace office::ppt::detail {

namespace {

// The name of a new element in the namespace, and with the prefix, of `sibling`.
std::string nameLike(pugi::xml_node sibling, std::string_view local) {
    std::string_view prefix = prefixOf(sibling.name());
    return prefix.empty() ? std::string(local) : std::string(prefix) + ":" + std::string(local);
}

std::vector<pugi::xml_node> childrenNamed(pugi::xml_node parent, std::string_view local) {
    std::vector<pugi::xml_node> found;
    for (pugi::xml_node node : parent.children()) {
        if (node.type() == pugi::node_element && localName(node.name()) == local) {
            found.push_back(node);
        }
    }
    return found;
}

// The cell's a:txBody; a cell without one gets an empty one, as the schema wants it first.
pugi::xml_node textBody(pugi::xml_node cell) {
    if (pugi::xml_node body = child(cell, "txBody")) {
        return body;
    }
    pugi::xml_node body = cell.prepend_child(nameLike(cell, "txBody").c_str());
    body.append_child(nameLike(cell, "bodyPr").c_str());
    body.append_child(nameLike(cell, "lstStyle").c_str());
    return body;
}

// The properties of the first run of the body that has any.
pugi::xml_node firstRunProperties(pugi::xml_node body) {
    for (pugi::xml_node paragraph : childrenNamed(body, "p")) {
        for (pugi::xml_node run : childrenNamed(paragraph, "r")) {
            if (pugi::xml_node properties = child(run, "rPr")) {
                return properties;
            }
        }
    }
    return {};
}

std::vector<std::string_view> linesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    for (;;) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        if (end == std::string_view::npos) {
            return lines;
        }
        text.remove_prefix(end + 1);
    }
}

// What every new paragraph of a cell copies.
struct ParagraphLook {
    pugi::xml_node paragraph;  // a:pPr
    pugi::xml_node run;        // a:rPr, or the a:endParaRPr that stands in for it
    pugi::xml_node end;        // a:endParaRPr
};

void appendParagraph(pugi::xml_node body, const ParagraphLook& look, std::string_view line) {
    pugi::xml_node paragraph = body.append_child(nameLike(body, "p").c_str());
    if (look.paragraph) {
        paragraph.append_copy(look.paragraph);
    }
    if (!line.empty()) {
        pugi::xml_node run = paragraph.append_child(nameLike(body, "r").c_str());
        if (look.run) {
            run.append_copy(look.run).set_name(nameLike(body, "rPr").c_str());
        }
        run.append_child(nameLike(body, "t").c_str()).text().set(std::string(line).c_str());
    }
    // An empty paragraph keeps the run's look in its end, as PowerPoint does when the text of a
    // cell is deleted, so that the text written into it later looks the same.
    if (line.empty() && look.run) {
        paragraph.append_copy(look.run).set_name(nameLike(body, "endParaRPr").c_str());
    } else if (look.end) {
        paragraph.append_copy(look.end);
    }
}

}  // namespace

std::string cellText(pugi::xml_node cell) {
    std::string text;
    std::vector<pugi::xml_node> paragraphs = childrenNamed(child(cell, "txBody"), "p");
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        for (pugi::xml_node item : paragraphs[i].children()) {
            std::string_view local = localName(item.name());
            if (local == "r" || local == "fld") {
                text += child(item, "t").text().get();
            } else if (local == "br") {
                text += '\n';
            }
        }
    }
    return text;
}

void setCellText(pugi::xml_node cell, std::string_view text) {
    pugi::xml_node body = textBody(cell);
    std::vector<pugi::xml_node> old = childrenNamed(body, "p");
    pugi::xml_node first = old.empty() ? pugi::xml_node() : old.front();
    ParagraphLook look{child(first, "pPr"), firstRunProperties(body), child(first, "endParaRPr")};
    if (!look.run) {
        look.run = look.end;
    }
    const std::string safe = package::xmlSafe(text);
    for (std::string_view line : linesOf(safe)) {
        appendParagraph(body, look, line);
    }
    for (pugi::xml_node paragraph : old) {
        body.remove_child(paragraph);
    }
}

}  // namespace office::ppt::detail
