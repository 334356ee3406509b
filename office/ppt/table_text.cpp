// The text of native table cells: read as plain text, and replaced paragraph by paragraph with
// the cell's own paragraph and run properties kept.

#include <vector>

#include "office/package/xml.h"
#include "office/ppt/ppt_impl.h"
#include "office/ppt/table_impl.h"

namespace office::ppt::detail {

namespace {

using package::ns::kDrawing;

std::vector<pugi::xml_node> paragraphsOf(pugi::xml_node body) {
    package::ElementRange paragraphs = package::children(body, kDrawing, "p");
    return {paragraphs.begin(), paragraphs.end()};
}

// The cell's a:txBody; a cell without one gets an empty one, as the schema wants it first.
pugi::xml_node textBody(pugi::xml_node cell) {
    if (pugi::xml_node body = package::child(cell, kDrawing, "txBody")) {
        return body;
    }
    pugi::xml_node body =
        package::insertChild(cell, kDrawing, "txBody", package::firstElement(cell));
    package::appendChild(body, kDrawing, "bodyPr");
    package::appendChild(body, kDrawing, "lstStyle");
    return body;
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
    pugi::xml_node paragraph;  // a:pPr of the first paragraph
    pugi::xml_node run;        // a:rPr of the first run, or the a:endParaRPr that stands in for it
    pugi::xml_node end;        // a:endParaRPr of the first paragraph
};

// The look, read in one pass over the paragraphs up to the first run with properties.
ParagraphLook lookOf(const std::vector<pugi::xml_node>& paragraphs) {
    ParagraphLook look;
    for (std::size_t i = 0; i < paragraphs.size() && !look.run; ++i) {
        for (pugi::xml_node item : package::children(paragraphs[i], kDrawing)) {
            std::string_view local = localName(item.name());
            if (i == 0 && local == "pPr") {
                look.paragraph = item;
            } else if (i == 0 && local == "endParaRPr") {
                look.end = item;
            } else if (local == "r" && !look.run) {
                pugi::xml_node properties = package::firstElement(item);
                look.run = localName(properties.name()) == "rPr" ? properties : pugi::xml_node();
            }
        }
    }
    if (!look.run) {
        look.run = look.end;
    }
    return look;
}

// The names of the elements a paragraph is made of, under the prefix DrawingML has in the part.
struct ParagraphNames {
    explicit ParagraphNames(pugi::xml_node body) : prefix(package::ensurePrefix(body, kDrawing)) {}
    std::string of(std::string_view local) const {
        return prefix.empty() ? std::string(local) : prefix + ":" + std::string(local);
    }
    std::string prefix;
};

void appendParagraph(pugi::xml_node body, const ParagraphNames& names, const ParagraphLook& look,
                     std::string_view line) {
    pugi::xml_node paragraph = body.append_child(names.of("p").c_str());
    if (look.paragraph) {
        paragraph.append_copy(look.paragraph);
    }
    if (!line.empty()) {
        pugi::xml_node run = paragraph.append_child(names.of("r").c_str());
        if (look.run) {
            run.append_copy(look.run).set_name(names.of("rPr").c_str());
        }
        package::setText(run.append_child(names.of("t").c_str()), line);
    }
    // An empty paragraph keeps the run's look in its end, as PowerPoint does when the text of a
    // cell is deleted, so that the text written into it later looks the same.
    if (line.empty() && look.run) {
        paragraph.append_copy(look.run).set_name(names.of("endParaRPr").c_str());
    } else if (look.end) {
        paragraph.append_copy(look.end);
    }
}

}  // namespace

std::string cellText(pugi::xml_node cell) {
    std::string text;
    std::vector<pugi::xml_node> paragraphs = paragraphsOf(package::child(cell, kDrawing, "txBody"));
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        for (pugi::xml_node item : package::children(paragraphs[i], kDrawing)) {
            std::string_view local = localName(item.name());
            if (local == "r" || local == "fld") {
                text += package::child(item, kDrawing, "t").text().get();
            } else if (local == "br") {
                text += '\n';
            }
        }
    }
    return text;
}

void setCellText(pugi::xml_node cell, std::string_view text) {
    pugi::xml_node body = textBody(cell);
    const std::vector<pugi::xml_node> old = paragraphsOf(body);
    const ParagraphLook look = lookOf(old);
    const ParagraphNames names(body);
    for (std::string_view line : linesOf(text)) {
        appendParagraph(body, names, look, line);
    }
    for (pugi::xml_node paragraph : old) {
        body.remove_child(paragraph);
    }
}

}  // namespace office::ppt::detail
