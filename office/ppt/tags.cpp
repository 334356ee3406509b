// The tags of a slide: a p:tagLst part reached from the slide's p:cSld/p:custDataLst/p:tags.
// Names are stored upper-case and matched without regard to case, as the office suites do.

#include <QString>

#include "office/powerpoint.h"
#include "office/ppt/binary/model.h"
#include "office/ppt/ppt_impl.h"

namespace office::ppt {

namespace {

std::string upper(const std::string& text) {
    return QString::fromStdString(text).toUpper().toStdString();
}

// The slide's p:tags reference, or null when the slide has no tags.
pugi::xml_node tagsReference(const detail::SlideImpl& slide) {
    pugi::xml_node list = detail::pmlChild(slide.commonSlideData(), "custDataLst");
    return detail::pmlChild(list, "tags");
}

// The tag part the slide refers to; empty when the slide has no tags.
std::string tagPart(const detail::SlideImpl& slide) {
    pugi::xml_node reference = tagsReference(slide);
    if (!reference) {
        return {};
    }
    std::string relId = detail::relationshipId(reference);
    package::Package& package = slide.package();
    package::Relationships rels = package.relationships(slide.part);
    const package::Relationship* rel = rels.find(relId);
    if (!rel || rel->external) {
        throw Error(ErrorCode::CorruptPart, slide.where() + ": the slide's tags refer to \"" +
                                                relId + "\", a relationship that points nowhere");
    }
    std::string part = package::resolveTarget(slide.part, rel->target);
    if (!package.has(part)) {
        throw Error(ErrorCode::CorruptPart, slide.where() + ": the slide's tags point at " + part +
                                                ", which is not in the package");
    }
    return part;
}

std::vector<pugi::xml_node> tagElements(pugi::xml_node tagList) {
    std::vector<pugi::xml_node> tags;
    for (pugi::xml_node node : package::children(tagList, package::ns::kPresentation, "tag")) {
        tags.push_back(node);
    }
    return tags;
}

using TagEntry = detail::SlideImpl::StoredTag;

// The slide's tags as text, read from a tree made for the purpose and dropped again: tag parts
// are many and small, and a kept tree of each would cost far more memory than its text. Edits
// go through the package's shared tree, which a read here sees as the part's contents.
std::vector<TagEntry> parseTags(const detail::SlideImpl& slide) {
    if (slide.deck) {
        std::vector<TagEntry> tags;
        for (const auto& tag : slide.deck->tags(detail::slideIndexOf(slide))) {
            tags.push_back({tag.name, tag.value});
        }
        return tags;
    }
    std::string part = tagPart(slide);
    if (part.empty()) {
        return {};
    }
    const pugi::xml_document doc = slide.package().readXml(part);
    std::vector<TagEntry> tags;
    for (pugi::xml_node node : tagElements(doc.document_element())) {
        tags.push_back({node.attribute("name").value(), node.attribute("val").value()});
    }
    return tags;
}

const std::vector<TagEntry>& readTags(const detail::SlideImpl& slide) {
    if (!slide.storedTags) {
        slide.storedTags = parseTags(slide);
    }
    return *slide.storedTags;
}

const TagEntry& tagAt(const detail::SlideImpl& slide, const std::vector<TagEntry>& tags,
                      int index) {
    detail::checkIndex(index, tags.size(), slide.where() + ": tag", "tags");
    return tags[static_cast<std::size_t>(index - 1)];
}

pugi::xml_node findTag(const std::vector<pugi::xml_node>& tags, const std::string& name) {
    std::string wanted = upper(name);
    for (pugi::xml_node tag : tags) {
        if (upper(tag.attribute("name").value()) == wanted) {
            return tag;
        }
    }
    return {};
}

// The source part of a .rels part: "ppt/slides/_rels/slide1.xml.rels" gives
// "ppt/slides/slide1.xml", "_rels/.rels" gives "".
std::string sourceOfRels(const std::string& relsPart) {
    std::size_t folder = relsPart.rfind("_rels/");
    std::string name = relsPart.substr(folder + 6, relsPart.size() - folder - 6 - 5);
    return relsPart.substr(0, folder) + name;
}

// The children of p:cSld in the schema's order.
constexpr std::string_view kCommonSlideDataOrder[] = {"bg", "spTree", "custDataLst", "controls",
                                                      "extLst"};

// Creates an empty tag part for the slide, with its content type, relationship and reference.
std::string createTagPart(const detail::SlideImpl& slide) {
    package::Package& package = slide.package();
    std::string part = package.freePartName("ppt/tags/tag#.xml");
    pugi::xml_document doc;
    pugi::xml_node declaration = doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    declaration.append_attribute("standalone") = "yes";
    pugi::xml_node root = doc.append_child("p:tagLst");
    root.append_attribute("xmlns:a") = std::string(package::ns::kDrawing).c_str();
    root.append_attribute("xmlns:r") = std::string(package::ns::kRelationships).c_str();
    root.append_attribute("xmlns:p") = std::string(package::ns::kPresentation).c_str();
    package.writeXml(part, doc);
    package.setContentType(part, detail::kTagsContentType);

    package::Relationships rels = package.relationships(slide.part);
    std::string relId =
        rels.add(std::string(detail::kTagsType), package::relativeTarget(slide.part, part));
    package.setRelationships(slide.part, rels);

    pugi::xml_node list = package::ensureChild(slide.commonSlideData(), package::ns::kPresentation,
                                               "custDataLst", kCommonSlideDataOrder);
    pugi::xml_node reference = detail::pmlChild(list, "tags");
    if (!reference) {
        reference = package::appendChild(list, package::ns::kPresentation, "tags");
    }
    package::setAttribute(reference, package::ns::kRelationships, "id", relId);
    package.markDirty(slide.part);
    return part;
}

// True when a relationship of some part still points at `part`.
bool referencedElsewhere(const package::Package& package, const std::string& part) {
    for (const std::string& name : package.partNames()) {
        if (!name.ends_with(".rels")) {
            continue;
        }
        std::string source = sourceOfRels(name);
        package::Relationships rels = package.relationships(source);
        for (const package::Relationship& rel : rels.all()) {
            if (!rel.external && package::resolveTarget(source, rel.target) == part) {
                return true;
            }
        }
    }
    return false;
}

// Removes the slide's emptied tag part and everything that pointed at it.
void removeTagPart(const detail::SlideImpl& slide, const std::string& part) {
    package::Package& package = slide.package();
    pugi::xml_node reference = tagsReference(slide);
    std::string relId = detail::relationshipId(reference);
    pugi::xml_node list = reference.parent();
    list.remove_child(reference);
    if (!list.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; })) {
        list.parent().remove_child(list);
    }
    package.markDirty(slide.part);

    package::Relationships rels = package.relationships(slide.part);
    rels.remove(relId);
    package.setRelationships(slide.part, rels);
    if (referencedElsewhere(package, part)) {
        return;
    }
    package.remove(part);
    if (!package.relationships(part).empty()) {
        package.remove(package::relsPartName(part));
    }
}

}  // namespace

Tags::Tags(std::shared_ptr<detail::SlideImpl> slide) : slide_(std::move(slide)) {}

int Tags::Count() const {
    return static_cast<int>(readTags(*slide_).size());
}

std::string Tags::Name(int index) const {
    return tagAt(*slide_, readTags(*slide_), index).name;
}

std::string Tags::Value(int index) const {
    return tagAt(*slide_, readTags(*slide_), index).value;
}

std::string Tags::Item(const std::string& name) const {
    const std::string wanted = upper(name);
    for (const TagEntry& tag : readTags(*slide_)) {
        if (upper(tag.name) == wanted) {
            return tag.value;
        }
    }
    return {};
}

void Tags::Add(const std::string& name, const std::string& value) {
    slide_->storedTags.reset();
    if (slide_->deck) {
        slide_->deck->addTag(detail::slideIndexOf(*slide_), name, value);
        return;
    }
    std::string stored = upper(package::xmlSafe(name));
    if (stored.empty()) {
        throw Error(ErrorCode::InvalidArgument, slide_->where() + ": a tag needs a name");
    }
    std::string part = tagPart(*slide_);
    if (part.empty()) {
        part = createTagPart(*slide_);
    }
    package::Package& package = slide_->package();
    pugi::xml_node list = package.xml(part).document_element();
    pugi::xml_node tag = findTag(tagElements(list), stored);
    if (!tag) {
        tag = package::appendChild(list, package::ns::kPresentation, "tag");
    }
    package::setAttribute(tag, "name", stored);
    package::setAttribute(tag, "val", value);
    package.markDirty(part);
}

void Tags::Delete(const std::string& name) {
    slide_->storedTags.reset();
    if (slide_->deck) {
        slide_->deck->deleteTag(detail::slideIndexOf(*slide_), name);
        return;
    }
    std::string part = tagPart(*slide_);
    if (part.empty()) {
        return;
    }
    package::Package& package = slide_->package();
    pugi::xml_node list = package.xml(part).document_element();
    std::vector<pugi::xml_node> tags = tagElements(list);
    pugi::xml_node tag = findTag(tags, name);
    if (!tag) {
        return;
    }
    if (tags.size() == 1) {
        removeTagPart(*slide_, part);
        return;
    }
    list.remove_child(tag);
    package.markDirty(part);
}

}  // namespace office::ppt
