// A Graph chart object becomes a native chart: the chart part is written from the object's
// records when the object is opened, and put into the object's frame at the first Update,
// when the object's own parts leave the presentation.

#include "office/graph/msgraph/convert.h"

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "office/ascii.h"
#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/graph/chart_server.h"
#include "office/graph/msgraph/native_chart.h"
#include "office/graph/msgraph/records.h"
#include "office/package/xml.h"
#include "office/powerpoint.h"

namespace office::graph::msgraph {

namespace {

using office::detail::ObjectSite;

constexpr std::string_view kChartType =
    "application/vnd.openxmlformats-officedocument.drawingml.chart+xml";
const std::string kChartRel = package::relationshipType("chart");
constexpr std::string_view kColourStyleType = "application/vnd.ms-office.chartcolorstyle+xml";
const std::string kColourStyleRel =
    package::relationshipType(package::Namespace::OfficeRelationships2011, "chartColorStyle");
constexpr const char* kColourStyleNs = package::ns::kChartStyle.data();
constexpr const char* kDrawingNs = package::ns::kDrawing.data();
constexpr const char* kChartUri = package::ns::kChart.data();
constexpr const char* kChartNs = package::ns::kChart.data();
constexpr const char* kRelNs = package::ns::kRelationships.data();

// Calls visit for the element and every element below it.
template <typename Visit>
void walk(pugi::xml_node node, Visit&& visit) {
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element) {
            visit(child);
            walk(child, visit);
        }
    }
}

// A relationship id attribute: r:id, r:embed, r:link (whatever the prefix), or VML's o:relid.
bool isRelationshipAttribute(const pugi::xml_attribute& a) {
    const std::string_view name = a.name();
    if (name.find(':') == std::string_view::npos) {
        return false;
    }
    const std::string_view local = package::localName(name);
    return local == "id" || local == "embed" || local == "link" || local == "relid" ||
           local == "pict";
}

std::set<std::string> relationshipIds(pugi::xml_node node) {
    std::set<std::string> ids;
    auto collect = [&ids](pugi::xml_node n) {
        for (pugi::xml_attribute a : n.attributes()) {
            if (isRelationshipAttribute(a)) {
                ids.insert(a.value());
            }
        }
    };
    collect(node);
    walk(node, collect);
    return ids;
}

pugi::xml_node findFrame(pugi::xml_document& slide, int shapeId) {
    pugi::xml_node found;
    walk(slide, [&](pugi::xml_node n) {
        if (found || package::localName(n.name()) != "graphicFrame") {
            return;
        }
        pugi::xml_node cNvPr = package::child(package::child(n, "nvGraphicFramePr"), "cNvPr");
        if (cNvPr.attribute("id").as_int() == shapeId) {
            found = n;
        }
    });
    return found;
}

// Removes the relationships of `source` among `ids` that nothing in `tree` still uses, and
// gives the parts they pointed at.
std::vector<std::string> dropUnusedRelationships(package::Package& package,
                                                 const std::string& source, pugi::xml_node tree,
                                                 const std::set<std::string>& ids) {
    const std::set<std::string> stillUsed = relationshipIds(tree);
    package::Relationships rels = package.relationships(source);
    std::vector<std::string> targets;
    for (const std::string& id : ids) {
        const package::Relationship* rel = rels.find(id);
        if (!rel || stillUsed.contains(id)) {
            continue;
        }
        if (!rel->external) {
            targets.push_back(package::resolveTarget(source, rel->target));
        }
        rels.remove(id);
    }
    package.setRelationships(source, rels);
    return targets;
}

// Which parts' relationships point at each part (lower-case names), built once per document:
// reading every relationship part again for each converted object would make a deck of
// hundreds of Graph charts slow. The index is asked only about the parts a Graph object used
// (its embedding, pictures and legacy drawing), which the host never gives new relationships
// to; a source it names is read afresh before it counts, so removed relationships do not.
using ReferrerIndex = std::map<std::string, std::set<std::string>>;

ReferrerIndex buildIndex(const package::Package& package) {
    ReferrerIndex index;
    for (const std::string& name : package.partNames()) {
        const std::size_t folder = name.rfind("_rels/");
        if (folder == std::string::npos || !name.ends_with(".rels")) {
            continue;
        }
        const std::string source =
            name.substr(0, folder) + name.substr(folder + 6, name.size() - folder - 6 - 5);
        const package::Relationships rels = package.relationships(source);
        for (const auto& rel : rels.all()) {
            if (!rel.external) {
                index[asciiLower(package::resolveTarget(source, rel.target))].insert(source);
            }
        }
    }
    return index;
}

std::shared_ptr<const ReferrerIndex> referrers(
    const std::shared_ptr<office::detail::OpenDocument>& document) {
    static std::mutex guard;
    static std::map<std::weak_ptr<office::detail::OpenDocument>,
                    std::shared_ptr<const ReferrerIndex>, std::owner_less<>>
        indexes;
    const std::lock_guard lock(guard);
    std::erase_if(indexes, [](const auto& entry) { return entry.first.expired(); });
    auto it = indexes.find(document);
    if (it == indexes.end()) {
        it = indexes
                 .emplace(document,
                          std::make_shared<const ReferrerIndex>(buildIndex(document->package)))
                 .first;
    }
    return it->second;
}

// True when a relationship of some part of the package still points at `part`.
bool referenced(const package::Package& package, const ReferrerIndex& index,
                const std::string& part) {
    const std::string wanted = asciiLower(part);
    const auto it = index.find(wanted);
    if (it == index.end()) {
        return false;
    }
    for (const std::string& source : it->second) {
        const package::Relationships rels = package.relationships(source);
        for (const auto& rel : rels.all()) {
            if (!rel.external && asciiLower(package::resolveTarget(source, rel.target)) == wanted) {
                return true;
            }
        }
    }
    return false;
}

void removeOrphans(const ObjectSite& site, const std::vector<std::string>& parts) {
    package::Package& package = site.document->package;
    const std::shared_ptr<const ReferrerIndex> index = referrers(site.document);
    for (const std::string& part : parts) {
        if (package.has(part) && !referenced(package, *index, part)) {
            package.setRelationships(part, {});
            package.remove(part);
        }
    }
}

// Takes the object's shapes (v:shape ids `spids`) out of the slide's legacy drawing, and the
// drawing itself when no shape is left in it.
std::vector<std::string> removeLegacyShapes(package::Package& package, const ObjectSite& site,
                                            const std::set<std::string>& spids) {
    const package::Relationships slideRels = package.relationships(site.slidePart);
    const package::Relationship* rel = slideRels.findByType("/vmlDrawing");
    if (!rel || rel->external || spids.empty()) {
        return {};
    }
    const std::string vml = package::resolveTarget(site.slidePart, rel->target);
    if (!package.has(vml)) {
        return {};
    }
    pugi::xml_document& drawing = package.xml(vml);
    std::vector<pugi::xml_node> shapes;
    int remaining = 0;
    walk(drawing, [&](pugi::xml_node n) {
        if (package::localName(n.name()) != "shape") {
            return;
        }
        if (spids.contains(n.attribute("id").value())) {
            shapes.push_back(n);
        } else {
            ++remaining;
        }
    });
    std::set<std::string> ids;
    for (pugi::xml_node shape : shapes) {
        const std::set<std::string> own = relationshipIds(shape);
        ids.insert(own.begin(), own.end());
        shape.parent().remove_child(shape);
    }
    if (shapes.empty()) {
        return {};
    }
    if (remaining > 0) {
        package.markDirty(vml);
        return dropUnusedRelationships(package, vml, drawing, ids);
    }
    // Nothing left to draw: the drawing goes, with the slide's relationship to it.
    std::vector<std::string> targets;
    const package::Relationships drawingRels = package.relationships(vml);
    for (const auto& r : drawingRels.all()) {
        if (!r.external) {
            targets.push_back(package::resolveTarget(vml, r.target));
        }
    }
    package::Relationships rels = slideRels;
    rels.remove(rel->id);
    package.setRelationships(site.slidePart, rels);
    package.setRelationships(vml, {});
    package.remove(vml);
    return targets;
}

// The colours a series added to the chart takes by its index, as Graph gives its automatic
// series colours: the fill colours of the object's palette for bars, slices and areas, its
// line colours for lines, markers and radar lines, in Graph's order and without shading.
pugi::xml_document colourStyle(const GraphChart& graph) {
    const Kind kind = graph.look.kind;
    const bool lines = kind == Kind::Line || kind == Kind::Scatter || kind == Kind::Radar;
    pugi::xml_document doc;
    pugi::xml_node style = doc.append_child("cs:colorStyle");
    style.append_attribute("xmlns:cs") = kColourStyleNs;
    style.append_attribute("xmlns:a") = kDrawingNs;
    style.append_attribute("meth") = "cycle";
    style.append_attribute("id") = 10;
    const int count = lines ? 32 : 40;
    for (int i = 0; i < count; ++i) {
        const Rgb colour = lines ? graph.automaticLine(i) : graph.automaticFill(i);
        style.append_child("a:srgbClr").append_attribute("val") = hexColor(colour).c_str();
    }
    style.append_child("cs:variation");
    return doc;
}

// The parts written for a Graph object when it is opened: its chart part and the chart's
// colour style. Until the first Update puts the chart in the object's frame nothing refers to
// them; when the chart server goes away without that (no Update, no Quit, or a failure in
// between) they leave the presentation again, so that no unreferenced part is saved.
class StagedParts {
public:
    StagedParts(std::shared_ptr<office::detail::OpenDocument> document,
                std::vector<std::string> parts)
        : document_(std::move(document)), parts_(std::move(parts)) {}
    StagedParts(const StagedParts&) = delete;
    StagedParts& operator=(const StagedParts&) = delete;
    ~StagedParts() {
        if (!placed_) {
            drop();
        }
    }

    void place() { placed_ = true; }
    void drop() noexcept {
        for (const std::string& part : parts_) {
            try {
                if (document_->package.has(part)) {
                    document_->package.setRelationships(part, {});
                    document_->package.remove(part);
                }
            } catch (...) {
                // Leaving a part behind is all that can go wrong here; a destructor must not
                // throw.
            }
        }
        placed_ = true;
    }

private:
    std::shared_ptr<office::detail::OpenDocument> document_;
    std::vector<std::string> parts_;
    bool placed_ = false;
};

// Writes the chart part and its colour style into the package; gives their names.
std::vector<std::string> stageParts(package::Package& package, const GraphChart& graph,
                                    const pugi::xml_document& chart) {
    const std::string part = package.freePartName("ppt/charts/chart#.xml");
    package.writeXml(part, chart);
    package.setContentType(part, kChartType);
    // The colour style takes the chart's number where it is free, as office suites name them;
    // looking for a free number only when it is not saves a search per chart in a large deck.
    std::string colours =
        "ppt/charts/colors" + part.substr(std::string_view("ppt/charts/chart").size());
    if (package.has(colours)) {
        colours = package.freePartName("ppt/charts/colors#.xml");
    }
    package.writeXml(colours, colourStyle(graph));
    package.setContentType(colours, kColourStyleType);
    package::Relationships rels;
    rels.add(std::string(kColourStyleRel), package::relativeTarget(part, colours));
    package.setRelationships(part, rels);
    return {part, colours};
}

}  // namespace

bool isGraphObject(const ObjectSite& site) {
    return asciiLower(site.progId).starts_with("msgraph.chart");
}

void replaceFrame(const ObjectSite& site, const std::string& chartPart) {
    package::Package& package = site.document->package;
    pugi::xml_document& slide = package.xml(site.slidePart);
    pugi::xml_node frame = findFrame(slide, site.shapeId);
    pugi::xml_node data = package::child(package::child(frame, "graphic"), "graphicData");
    if (!data) {
        throw Error(ErrorCode::CorruptPart,
                    site.where() + ": " + site.slidePart +
                        ": the chart object's frame is no longer on the slide");
    }
    const std::set<std::string> ids = relationshipIds(data);
    std::set<std::string> spids;
    walk(data, [&spids](pugi::xml_node n) {
        if (pugi::xml_attribute spid = n.attribute("spid")) {
            spids.insert(spid.value());
        }
    });

    data.remove_children();
    // The slide's flavour (transitional or Strict) names the kind and the namespaces.
    const std::string_view flavour = package::namespaceOf(slide.document_element());
    data.attribute("uri").set_value(std::string(package::uriLike(kChartUri, flavour)).c_str());
    package::Relationships rels = package.relationships(site.slidePart);
    const std::string id =
        rels.add(std::string(kChartRel), package::relativeTarget(site.slidePart, chartPart));
    package.setRelationships(site.slidePart, rels);
    // The reference declares its own namespaces, as office suites write it.
    const std::string prefix(package::usualPrefix(kChartNs));
    pugi::xml_node chart = data.append_child((prefix + ":chart").c_str());
    chart.append_attribute(("xmlns:" + prefix).c_str()) =
        std::string(package::uriLike(kChartNs, flavour)).c_str();
    chart.append_attribute("xmlns:r") = std::string(package::uriLike(kRelNs, flavour)).c_str();
    package::setAttribute(chart, package::ns::kRelationships, "id", id);
    package.markDirty(site.slidePart);

    std::vector<std::string> gone = dropUnusedRelationships(package, site.slidePart, slide, ids);
    const std::vector<std::string> drawn = removeLegacyShapes(package, site, spids);
    gone.insert(gone.end(), drawn.begin(), drawn.end());
    removeOrphans(site, gone);
}

std::shared_ptr<Dispatch> openGraphObject(const ObjectSite& site) {
    if (site.objectPart.empty()) {
        throw Error(ErrorCode::NotSupported,
                    site.where() +
                        ": the chart object is linked to an outside file, whose "
                        "data cannot be filled");
    }
    package::Package& package = site.document->package;
    const std::string raw = package.read(site.objectPart);
    const auto file = compound::File::openBytes(compound::Bytes(raw.begin(), raw.end()),
                                                site.where() + ": " + site.objectPart);
    if (!file.hasStream("Workbook")) {
        throw Error(ErrorCode::CorruptPart,
                    site.where() + ": " + site.objectPart +
                        ": the chart object holds no data sheet (no Workbook stream)");
    }
    const GraphChart graph = readGraphChart(file.readStream("Workbook"), site.where());
    const pugi::xml_document chart =
        nativeChart(graph, "Sheet1", site.where() + ": " + site.objectPart);

    std::vector<std::string> parts = stageParts(package, graph, chart);
    ObjectSite native = site;
    native.objectPart = parts.front();
    auto staged = std::make_shared<StagedParts>(site.document, std::move(parts));
    native.nativeChart = true;
    native.progId = std::string(ppt::kChartServerProgID);

    graph::detail::Replacement replacement;
    replacement.replace = [site, staged, part = native.objectPart] {
        replaceFrame(site, part);
        staged->place();
    };
    replacement.discard = [staged] { staged->drop(); };
    replacement.dataSheet = graph.sheet.cells;
    return graph::detail::openReplacementChart(native, std::move(replacement));
}

}  // namespace office::graph::msgraph
