#pragma once

// The state behind the presentation objects of office/powerpoint.h, and the XML helpers that the
// presentation code shares. Private to office/ppt.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "office/error.h"
#include "office/package/namespaces.h"
#include "office/powerpoint.h"
#include "office/ppt/object_site.h"

namespace office::ppt::binary {
class Deck;
}  // namespace office::ppt::binary

namespace office::ppt::detail {

struct PresentationImpl;

struct ApplicationImpl {
    bool running = true;
    int visible = msoFalse;
    int windowState = ppWindowNormal;
    int displayAlerts = ppAlertsAll;
    // In the order opened: the order of Presentations.Item.
    std::vector<std::shared_ptr<PresentationImpl>> presentations;
    // Least recently activated first; the last one is the ActivePresentation.
    std::vector<PresentationImpl*> activation;

    // Fails with ObjectClosed after Quit.
    void checkRunning() const;
    void activate(PresentationImpl* presentation);
    void forget(PresentationImpl* presentation);
};

struct SlideImpl {
    // For a .ppt, deck holds the binary document and document is null.
    std::shared_ptr<binary::Deck> deck;
    std::shared_ptr<office::detail::OpenDocument> document;
    std::string part;  // "ppt/slides/slide1.xml"
    int id = 0;        // p:sldId/@id
    int index = 0;     // 1-based position in the presentation
    // The slide's p:cSld/@name as last read or written. Names are asked for far more often than
    // anything else (once per worksheet and slide in a run), and every Slide object of this slide
    // shares this record, so the name is kept here rather than in a parsed tree of every slide.
    mutable std::optional<std::string> storedName;
    // The slide's tags as last read, for the same reason: the engine asks a slide for its tags
    // several times while it finds the slide's target. Every change of the tags through Tags
    // drops them.
    struct StoredTag {
        std::string name;
        std::string value;
    };
    mutable std::optional<std::vector<StoredTag>> storedTags;

    // The package, after checking that the presentation is still open.
    package::Package& package() const;
    // The slide's parsed XML, shared with every other user of the package.
    pugi::xml_document& xml() const;
    // The p:cSld element; CorruptPart when the slide has none.
    pugi::xml_node commonSlideData() const;
    pugi::xml_node shapeTree() const;
    // "report.pptx: ppt/slides/slide2.xml": the prefix of errors about the slide's part.
    std::string where() const;
};

struct PresentationImpl {
    std::weak_ptr<ApplicationImpl> application;
    std::shared_ptr<office::detail::OpenDocument> document;
    // For a .ppt, deck holds the binary document and document is null.
    std::shared_ptr<binary::Deck> deck;
    std::string fullName;  // absolute path; empty for an untitled presentation
    bool readOnly = false;
    std::string mainPart;  // "ppt/presentation.xml"
    std::vector<std::shared_ptr<SlideImpl>> slides;

    // Fails with ObjectClosed once closed or after the application quit.
    void checkOpen() const;
    void close();
    // The file name used in error texts.
    const std::string& displayName() const;
};

struct ShapeImpl {
    std::shared_ptr<SlideImpl> slide;
    int position = 0;  // 1-based among the shapes of its group (or slide) when it was taken
    int id = 0;        // p:cNvPr/@id when it was taken
    int group = 0;     // the id of the group shape that holds it; 0 for a top-level shape

    // The shape's element in the shape tree (for mc:AlternateContent, the wrapper itself).
    // Fails with IndexOutOfRange when the shape is no longer on the slide.
    pugi::xml_node element() const;
    // "report.pptx: slide 2, shape \"Table 3\"": the prefix of errors about the shape.
    std::string describe() const;
};

// Opens the presentation at path for the application; the caller registers it.
std::shared_ptr<PresentationImpl> openPresentation(const std::shared_ptr<ApplicationImpl>& app,
                                                   const std::string& path, bool readOnly,
                                                   bool untitled);

// XML helpers. Elements and attributes are matched by namespace and local name (the package's
// convention), so that a part that binds the usual namespaces to other prefixes is read the same
// way.
using package::localName;
namespace ns = package::ns;
// The child of the PresentationML namespace with that local name; null when there is none.
inline pugi::xml_node pmlChild(pugi::xml_node parent, std::string_view local) {
    return package::child(parent, ns::kPresentation, local);
}
// The r:id of an element, whatever prefix the part gives the relationships namespace.
inline std::string relationshipId(pugi::xml_node element) {
    return package::attribute(element, ns::kRelationships, "id").value();
}

// The top-level shapes of a shape tree, in stacking order.
std::vector<pugi::xml_node> topLevelShapes(pugi::xml_node shapeTree);
// The p:grpSp of that id anywhere below container, groups inside groups included; null when
// there is none.
pugi::xml_node findGroup(pugi::xml_node container, int id);
// What a shape element stands for: the element inside the first choice of an
// mc:AlternateContent, the element itself otherwise.
pugi::xml_node effectiveShape(pugi::xml_node shape);
// Every p:cNvPr that names the shape: both branches of an mc:AlternateContent.
std::vector<pugi::xml_node> shapeProperties(pugi::xml_node shape);

// Fails with IndexOutOfRange unless 1 <= index <= count, saying "SUBJECT index 3 is out of
// range (2 COUNTED)", e.g. "report.pptx: slide index 3 is out of range (2 slides)".
inline void checkIndex(int index, std::size_t count, const std::string& subject,
                       std::string_view counted) {
    if (index < 1 || static_cast<std::size_t>(index) > count) {
        throw Error(ErrorCode::IndexOutOfRange, subject + " index " + std::to_string(index) +
                                                    " is out of range (" + std::to_string(count) +
                                                    " " + std::string(counted) + ")");
    }
}

inline const std::string kTagsType = package::relationshipType("tags");
inline constexpr std::string_view kTagsContentType =
    "application/vnd.openxmlformats-officedocument.presentationml.tags+xml";

}  // namespace office::ppt::detail
