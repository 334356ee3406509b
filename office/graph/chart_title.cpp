#include "office/graph/chart_part.h"

#include "office/graph/chart_xml.h"
#include "office/package/xml.h"

// The title of a chart part: its text read and replaced.

namespace office::graph::detail {

bool hasTitle(const pugi::xml_document& chart) {
    return static_cast<bool>(
        chartml::child(chartml::child(chartml::child(chart, "chartSpace"), "chart"), "title"));
}

std::string titleText(const pugi::xml_document& chart) {
    const pugi::xml_node title =
        chartml::child(chartml::child(chartml::child(chart, "chartSpace"), "chart"), "title");
    std::string text;
    bool firstParagraph = true;
    for (pugi::xml_node p :
         dml::children(chartml::child(chartml::child(title, "tx"), "rich"), "p")) {
        if (!firstParagraph) {
            text += "\n";
        }
        firstParagraph = false;
        for (pugi::xml_node r : p.children()) {
            const std::string_view name = dml::nameOf(r);
            if (name == "r" || name == "fld") {
                text += dml::child(r, "t").text().get();
            }
        }
    }
    if (text.empty()) {
        const pugi::xml_node cache =
            chartml::child(chartml::child(chartml::child(title, "tx"), "strRef"), "strCache");
        text = chartml::child(chartml::child(cache, "pt"), "v").text().get();
    }
    return text;
}

namespace {

pugi::xml_node richOf(pugi::xml_node title) {
    pugi::xml_node tx = chartml::child(title, "tx");
    if (!tx) {
        tx = chartml::prepend(title, "tx");
    }
    pugi::xml_node rich = chartml::child(tx, "rich");
    if (rich) {
        return rich;
    }
    tx.remove_children();
    rich = chartml::append(tx, "rich");
    dml::append(rich, "bodyPr");
    dml::append(rich, "lstStyle");
    pugi::xml_node p = dml::append(rich, "p");
    // A new text takes the title's own default run formatting, where it has one.
    const pugi::xml_node defaults =
        dml::child(dml::child(chartml::child(title, "txPr"), "p"), "pPr");
    if (defaults) {
        p.append_copy(defaults);
    }
    return rich;
}

}  // namespace

void setTitleText(pugi::xml_document& chart, const std::string& text) {
    pugi::xml_node chartNode = chartml::child(chartml::child(chart, "chartSpace"), "chart");
    pugi::xml_node title = chartml::child(chartNode, "title");
    if (!title) {
        return;
    }
    pugi::xml_node rich = richOf(title);
    pugi::xml_node p = dml::child(rich, "p");
    if (!p) {
        p = dml::append(rich, "p");
    }
    for (pugi::xml_node extra = p.next_sibling(); extra;) {
        const pugi::xml_node next = extra.next_sibling();
        if (dml::is(extra, "p")) {
            rich.remove_child(extra);
        }
        extra = next;
    }
    pugi::xml_node run = dml::child(p, "r");
    if (!run) {
        pugi::xml_node end = dml::child(p, "endParaRPr");
        run = end ? dml::insertBefore(p, "r", end) : dml::append(p, "r");
        if (end) {
            pugi::xml_node rPr = run.append_copy(end);
            rPr.set_name(package::qualifiedName(run, package::ns::kDrawing, "rPr").c_str());
        }
    }
    std::vector<pugi::xml_node> drop;
    for (pugi::xml_node n : p.children()) {
        const std::string_view name = dml::nameOf(n);
        if (n != run && (name == "r" || name == "fld" || name == "br")) {
            drop.push_back(n);
        }
    }
    for (pugi::xml_node n : drop) {
        p.remove_child(n);
    }
    pugi::xml_node t = dml::child(run, "t");
    if (!t) {
        t = dml::append(run, "t");
    }
    package::setText(t, text);
    pugi::xml_node deleted = chartml::child(chartNode, "autoTitleDeleted");
    if (deleted) {
        // A shown title: the element without val would mean "deleted".
        if (!deleted.attribute("val")) {
            deleted.append_attribute("val");
        }
        deleted.attribute("val") = "0";
    }
}

}  // namespace office::graph::detail
