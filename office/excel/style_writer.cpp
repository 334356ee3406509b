// Writing the styles part: number formats, cell formats and the fonts, fills and borders of
// styles copied from another workbook, appended to the lists the part has (or made with it).

#include <algorithm>
#include <map>
#include <optional>

#include "office/error.h"
#include "office/excel/model.h"
#include "office/excel/number_format.h"
#include "office/excel/writer_parts.h"
#include "office/package/xml.h"

namespace office::excel::detail {

namespace {

constexpr std::string_view kMainNs = package::ns::kSpreadsheet;
constexpr const char* kRelNs = package::ns::kRelationships.data();

}  // namespace

// Adds a new part of the workbook: its contents, its content type and the workbook's
// relationship of type `relType` ("styles", "sharedStrings") to it.
void addWorkbookPart(WorkbookImpl& book, const std::string& part, const pugi::xml_document& doc,
                     std::string_view contentType, std::string_view relType) {
    book.package.writeXml(part, doc);
    book.package.setContentType(part, contentType);
    auto rels = book.package.relationships(book.workbookPart);
    rels.add(std::string(kRelNs) + "/" + std::string(relType),
             package::relativeTarget(book.workbookPart, part));
    book.package.setRelationships(book.workbookPart, rels);
}

std::string newPartName(const WorkbookImpl& book, const std::string& stem) {
    const std::string usual = stem + ".xml";
    return book.package.has(usual) ? book.package.freePartName(stem + "#.xml") : usual;
}

int countItems(const pugi::xml_node& list) {
    int count = 0;
    for (const auto& node : list.children()) {
        count += node.type() == pugi::node_element ? 1 : 0;
    }
    return count;
}

void updateCount(pugi::xml_node list) {
    auto count = list.attribute("count");
    if (!count) {
        count = list.append_attribute("count");
    }
    count = countItems(list);
}

namespace {

// A copy of `item` from another part (a font, fill, border or xf of a source workbook), ready
// to go into `list`: its SpreadsheetML elements take the prefix that namespace has at the
// list, and the other prefixes it uses are declared on it where the list has them not.
pugi::xml_document adopted(const pugi::xml_node& item, const pugi::xml_node& list) {
    pugi::xml_document doc;
    auto copy = doc.append_copy(item);
    const std::string prefix = mainPrefix(list);
    std::vector<std::pair<pugi::xml_node, pugi::xml_node>> pending{{item, copy}};
    while (!pending.empty()) {
        auto [from, to] = pending.back();
        pending.pop_back();
        const std::string_view own = package::prefixOf(from.name());
        const std::string_view ns = package::namespaceUri(from, own);
        if (ns == kMainNs) {
            to.set_name((prefix + std::string(localName(from))).c_str());
        } else if (!own.empty() && package::namespaceUri(list, own) != ns &&
                   !copy.attribute(("xmlns:" + std::string(own)).c_str())) {
            copy.append_attribute(("xmlns:" + std::string(own)).c_str()) = std::string(ns).c_str();
        }
        auto source = from.first_child();
        for (auto target = to.first_child(); source && target;
             source = source.next_sibling(), target = target.next_sibling()) {
            if (source.type() == pugi::node_element) {
                pending.emplace_back(source, target);
            }
        }
    }
    return doc;
}

// The styles tree, made when the package has no styles part yet.
pugi::xml_node stylesRoot(WorkbookImpl& book) {
    if (book.stylesPart.empty()) {
        book.stylesPart = newPartName(book, "xl/styles");
        pugi::xml_document doc;
        const std::string xml =
            "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<styleSheet xmlns=\"" +
            std::string(kMainNs) +
            "\">"
            "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"Calibri\"/></font></fonts>"
            "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
            "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
            "<borders "
            "count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
            "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
            "borderId=\"0\"/></cellStyleXfs>"
            "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
            "xfId=\"0\"/></cellXfs>"
            "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" "
            "builtinId=\"0\"/></cellStyles>"
            "</styleSheet>";
        doc.load_string(xml.c_str());
        addWorkbookPart(book, book.stylesPart, doc,
                        "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml",
                        "styles");
        book.styles.borders.assign(1, BorderLines{});
    }
    book.package.markDirty(book.stylesPart);
    return book.package.xml(book.stylesPart).document_element();
}

// The schema's order of the styleSheet's children, for inserting a missing list.
constexpr std::string_view kStyleOrder[] = {"numFmts",      "fonts",   "fills",      "borders",
                                            "cellStyleXfs", "cellXfs", "cellStyles", "dxfs",
                                            "tableStyles",  "colors",  "extLst"};

pugi::xml_node styleList(pugi::xml_node root, std::string_view name) {
    if (auto list = child(root, name)) {
        return list;
    }
    return package::insertInOrder(root, package::namespaceOf(root), name, kStyleOrder);
}

pugi::xml_node itemAt(const pugi::xml_node& list, int index) {
    int i = 0;
    for (const auto& node : list.children()) {
        if (node.type() != pugi::node_element) {
            continue;
        }
        if (i++ == index) {
            return node;
        }
    }
    return {};
}

// The index of an item equal to `item` in `list`, appending a copy when there is none.
int findOrAppend(pugi::xml_node list, const pugi::xml_node& item) {
    const std::string wanted = package::nodeText(item);
    int index = 0;
    for (const auto& node : list.children()) {
        if (node.type() != pugi::node_element) {
            continue;
        }
        if (package::nodeText(node) == wanted) {
            return index;
        }
        ++index;
    }
    list.append_copy(item);
    updateCount(list);
    return index;
}

int formatId(WorkbookImpl& book, const std::string& code) {
    const int builtin = builtinNumberFormatId(code);
    if (builtin >= 0 && !book.styles.customFormats.count(builtin)) {
        return builtin;
    }
    int highest = 163;
    for (const auto& [id, custom] : book.styles.customFormats) {
        if (custom == code) {
            return id;
        }
        highest = std::max(highest, id);
    }
    const int id = highest + 1;
    auto list = styleList(stylesRoot(book), "numFmts");
    auto format = list.append_child((mainPrefix(list) + "numFmt").c_str());
    format.append_attribute("numFmtId") = id;
    format.append_attribute("formatCode") = package::xmlSafe(code).c_str();
    updateCount(list);
    book.styles.customFormats[id] = code;
    return id;
}

void setXfAttributes(pugi::xml_node node, const Xf& xf) {
    auto set = [&node](const char* name, int value) {
        auto attribute = node.attribute(name);
        if (!attribute) {
            attribute = node.append_attribute(name);
        }
        attribute = value;
    };
    set("numFmtId", xf.numFmtId);
    set("fontId", xf.fontId);
    set("fillId", xf.fillId);
    set("borderId", xf.borderId);
    if (!node.attribute("xfId")) {
        set("xfId", 0);
    }
    if (xf.numFmtId != 0) {
        set("applyNumberFormat", 1);
    }
}

// The cell formats of the styles part as it is, without marking it changed; null when there
// are none.
pugi::xml_node existingXfs(WorkbookImpl& book) {
    if (book.stylesPart.empty()) {
        return {};
    }
    return child(book.package.xml(book.stylesPart).document_element(), "cellXfs");
}

// The index of a cell format equal to the one appendXf would add, when the styles part has one:
// writing a number format that a workbook already has then leaves its styles as they are.
std::optional<std::uint32_t> equalXf(WorkbookImpl& book, const pugi::xml_node& model,
                                     const Xf& xf) {
    const auto list = existingXfs(book);
    if (!list) {
        return std::nullopt;
    }
    pugi::xml_document scratch;
    auto node = model ? scratch.append_copy(model)
                      : scratch.append_child((mainPrefix(list) + "xf").c_str());
    setXfAttributes(node, xf);
    const std::string wanted = package::nodeText(node);
    std::uint32_t index = 0;
    for (const auto& item : list.children()) {
        if (item.type() != pugi::node_element) {
            continue;
        }
        if (index >= book.styles.xfs.size()) {
            break;
        }
        if (package::nodeText(item) == wanted) {
            return index;
        }
        ++index;
    }
    return std::nullopt;
}

std::uint32_t appendXf(WorkbookImpl& book, const pugi::xml_node& model, const Xf& xf) {
    if (const auto found = equalXf(book, model, xf)) {
        return *found;
    }
    auto list = styleList(stylesRoot(book), "cellXfs");
    // A styles part without cell formats still gives its cells the plain format 0: it is
    // written out first, or the new format would take its index.
    while (countItems(list) < static_cast<int>(book.styles.xfs.size())) {
        auto plain = list.append_child((mainPrefix(list) + "xf").c_str());
        for (const char* name : {"numFmtId", "fontId", "fillId", "borderId", "xfId"}) {
            plain.append_attribute(name) = 0;
        }
    }
    pugi::xml_node node =
        model ? list.append_copy(model) : list.append_child((mainPrefix(list) + "xf").c_str());
    setXfAttributes(node, xf);
    updateCount(list);
    book.styles.xfs.push_back(xf);
    return static_cast<std::uint32_t>(book.styles.xfs.size() - 1);
}

}  // namespace

std::string mainPrefix(const pugi::xml_node& node) {
    if (const auto prefix = package::prefixFor(node, package::ns::kSpreadsheet)) {
        return prefix->empty() ? std::string() : *prefix + ":";
    }
    const std::string_view own = package::prefixOf(node.name());
    return own.empty() ? std::string() : std::string(own) + ":";
}

std::uint32_t styleWithFormat(WorkbookImpl& book, std::uint32_t index, const std::string& code) {
    const auto key = std::make_pair(index, code);
    if (const auto found = book.formatVariants.find(key); found != book.formatVariants.end()) {
        return found->second;
    }
    Xf xf = book.styles.xf(index);
    const int id = formatId(book, code);
    if (xf.numFmtId == id && index < book.styles.xfs.size()) {
        return index;
    }
    xf.numFmtId = id;
    xf.isDate = isDateFormat(code);
    const auto model = index < book.styles.xfs.size()
                           ? itemAt(existingXfs(book), static_cast<int>(index))
                           : pugi::xml_node();
    const auto result = appendXf(book, model, xf);
    book.formatVariants[key] = result;
    return result;
}

StyleImporter::StyleImporter(const WorkbookImpl& from, WorkbookImpl& to) : from_(from), to_(to) {
    if (&from != &to && from.binary) {
        source_ = styleSheetOf(from.styles);
    } else if (&from != &to && !from.stylesPart.empty()) {
        source_ = from.package.readXml(from.stylesPart);
    }
}

std::uint32_t StyleImporter::import(std::uint32_t index) {
    if (&from_ == &to_) {
        return index;
    }
    if (const auto found = done_.find(index); found != done_.end()) {
        return found->second;
    }
    const Xf& source = from_.styles.xf(index);
    const auto root = source_.document_element();
    Xf xf = source;
    xf.numFmtId = formatId(to_, from_.styles.formatCode(source.numFmtId));
    auto carry = [&](std::string_view listName, int sourceIndex, int fallback) {
        const auto item = itemAt(child(root, listName), sourceIndex);
        if (!item) {
            return fallback;
        }
        auto list = styleList(stylesRoot(to_), listName);
        return findOrAppend(list, adopted(item, list).document_element());
    };
    xf.fontId = carry("fonts", source.fontId, 0);
    xf.fillId = carry("fills", source.fillId, 0);
    const int borders = countItems(child(stylesRoot(to_), "borders"));
    xf.borderId = carry("borders", source.borderId, 0);
    if (xf.borderId >= borders) {
        to_.styles.borders.resize(static_cast<std::size_t>(xf.borderId) + 1);
        to_.styles.borders[xf.borderId] = from_.styles.borderOf(index);
    }
    pugi::xml_node model = itemAt(child(root, "cellXfs"), static_cast<int>(index));
    pugi::xml_document copy;
    pugi::xml_node node;
    if (model) {
        copy.reset(adopted(model, styleList(stylesRoot(to_), "cellXfs")));
        node = copy.document_element();
        node.remove_attribute("xfId");
        node.remove_attribute("quotePrefix");
        node.remove_attribute("pivotButton");
    }
    const auto result = appendXf(to_, node, xf);
    done_[index] = result;
    return result;
}

}  // namespace office::excel::detail
