// Opens an embedded spreadsheet object of a slide as a workbook of the host. When the workbook
// is closed after a change, its package goes back into the presentation (as a package part, or
// as the "Package" stream of the compound file it came in), the workbook's visible area
// (oleSize) grows to the written cells, and the object's preview picture is redrawn.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include <QImage>

#include "office/ascii.h"
#include "office/compound/compound_file.h"
#include "office/dispatch.h"
#include "office/embed/preview.h"
#include "office/embed/workbook_picture.h"
#include "office/excel/embedded.h"
#include "office/package/namespaces.h"
#include "office/ppt/object_site.h"

namespace office::detail {

namespace {

namespace ns = package::ns;
namespace xd = office::excel::detail;
using compound::Bytes;

const std::string kImageRel = package::relationshipType("image");
constexpr int kEmuPerPixel = 9525;

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

struct ObjectStore {
    ObjectSite site;
    std::optional<compound::File> compound;  // the file it came in, when there is one
    Bytes original;                          // the workbook package as it came in
};

// The size of the object's frame on the slide (p:xfrm/a:ext), in EMU; zero where the frame
// gives none.
std::pair<std::int64_t, std::int64_t> frameSize(const ObjectSite& site);

// Notes the part an image relationship points at, so that it can go once nothing refers to it.
void noteImage(const package::Relationship* rel, std::string_view source,
               std::set<std::string>& oldImages) {
    if (rel && !rel->external && rel->type.ends_with("/image")) {
        oldImages.insert(package::resolveTarget(source, rel->target));
    }
}

// The graphic frames of the slide (at any depth: in groups and alternate content too) whose
// p:cNvPr has the object's shape id.
std::vector<pugi::xml_node> objectFrames(pugi::xml_document& slide, int shapeId) {
    std::vector<pugi::xml_node> frames;
    const std::string wanted = std::to_string(shapeId);
    for (pugi::xml_node frame : package::descendants(slide, ns::kPresentation, "graphicFrame")) {
        const pugi::xml_node properties =
            package::child(package::child(frame, ns::kPresentation, "nvGraphicFramePr"),
                           ns::kPresentation, "cNvPr");
        if (wanted == properties.attribute("id").value()) {
            frames.push_back(frame);
        }
    }
    return frames;
}

std::pair<std::int64_t, std::int64_t> frameSize(const ObjectSite& site) {
    pugi::xml_document& slide = site.document->package.xml(site.slidePart);
    for (pugi::xml_node frame : objectFrames(slide, site.shapeId)) {
        const pugi::xml_node extent =
            package::child(package::child(frame, ns::kPresentation, "xfrm"), ns::kDrawing, "ext");
        if (extent) {
            return {extent.attribute("cx").as_llong(), extent.attribute("cy").as_llong()};
        }
    }
    return {0, 0};
}

std::vector<pugi::xml_node> oleObjects(pugi::xml_node frame) {
    return package::descendants(frame, ns::kPresentation, "oleObj");
}

// Office reads an object's picture from the slide's legacy drawing (VML) where the frame's
// alternate content offers it (p:oleObj/@spid): its v:imagedata is pointed at the new image too.
// Returns the shape ids that the drawing holds; the images of the relationships it drops are
// added to oldImages.
std::set<std::string> repointDrawing(const ObjectSite& site, pugi::xml_document& slide,
                                     const std::string& image, std::set<std::string>& oldImages) {
    std::set<std::string> found;
    auto& package = site.document->package;
    std::vector<std::string> shapeIds;
    for (pugi::xml_node frame : objectFrames(slide, site.shapeId)) {
        for (pugi::xml_node ole : oleObjects(frame)) {
            if (ole.attribute("spid")) {
                shapeIds.push_back(ole.attribute("spid").value());
            }
        }
    }
    if (shapeIds.empty()) {
        return found;
    }
    const package::Relationships slideRels = package.relationships(site.slidePart);
    for (const package::Relationship* rel : slideRels.allByType("/vmlDrawing")) {
        const std::string part = package::resolveTarget(site.slidePart, rel->target);
        if (rel->external || !package.has(part)) {
            continue;
        }
        pugi::xml_document* drawing = nullptr;
        try {
            drawing = &package.xml(part);
        } catch (const Error&) {
            continue;  // a drawing that is no well-formed XML is left as it is
        }
        package::Relationships rels = package.relationships(part);
        bool changed = false;
        for (pugi::xml_node shape : package::descendants(*drawing, ns::kVml, "shape")) {
            const std::string id = shape.attribute("id").value();
            pugi::xml_node data = package::child(shape, ns::kVml, "imagedata");
            if (!data || std::find(shapeIds.begin(), shapeIds.end(), id) == shapeIds.end()) {
                continue;
            }
            found.insert(id);
            const std::string newId =
                rels.add(std::string(kImageRel), package::relativeTarget(part, image));
            const std::string old = package::attribute(data, ns::kOfficeVml, "relid").value();
            package::setAttribute(data, ns::kOfficeVml, "relid", newId);
            if (!old.empty() && !package::holdsAttributeValue(*drawing, old)) {
                noteImage(rels.find(old), part, oldImages);
                rels.remove(old);
            }
            changed = true;
        }
        if (changed) {
            package.setRelationships(part, rels);
            package.markDirty(part);
        }
    }
    return found;
}

// A branch that names a legacy drawing shape which no drawing holds would show nothing; it gets
// the picture of the other branch, as the object's own picture.
void addMissingPictures(pugi::xml_node frame, const std::set<std::string>& drawn) {
    pugi::xml_node picture;
    for (pugi::xml_node ole : oleObjects(frame)) {
        if ((picture = package::child(ole, ns::kPresentation, "pic"))) {
            break;
        }
    }
    if (!picture) {
        return;
    }
    for (pugi::xml_node obj : oleObjects(frame)) {
        if (!obj.attribute("spid") || package::child(obj, ns::kPresentation, "pic") ||
            drawn.contains(obj.attribute("spid").value())) {
            continue;
        }
        obj.append_copy(picture);
    }
}

// The source part of a .rels part: "ppt/slides/_rels/slide1.xml.rels" gives
// "ppt/slides/slide1.xml", "_rels/.rels" gives "" (the package); nothing for a name that is no
// relationships part.
std::optional<std::string> sourceOfRels(const std::string& relsPart) {
    const std::size_t folder = relsPart.rfind("_rels/");
    const bool folderName =
        folder != std::string::npos && (folder == 0 || relsPart[folder - 1] == '/');
    if (!folderName || !asciiLower(relsPart).ends_with(".rels")) {
        return std::nullopt;
    }
    const std::string name = relsPart.substr(folder + 6, relsPart.size() - folder - 6 - 5);
    return relsPart.substr(0, folder) + name;
}

// A file name that a relationship target always spells as it is: no percent or XML escapes.
bool plainFileName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '.' || c == '_' || c == '-';
    });
}

// True when a relationship of some part still points at `part`. Parsing every .rels part of a
// large deck is costly, so a .rels part whose text does not name the part's file is passed over
// unparsed (unless the file name could be written escaped).
bool referenced(const package::Package& package, const std::string& part) {
    const std::string wanted = asciiLower(part);
    const std::string file = asciiLower(part.substr(part.rfind('/') + 1));
    const bool quick = plainFileName(file);
    for (const std::string& name : package.partNames()) {
        const auto source = sourceOfRels(name);
        if (!source || (quick && asciiLower(package.read(name)).find(file) == std::string::npos)) {
            continue;
        }
        const package::Relationships rels = package.relationships(*source);
        for (const package::Relationship& rel : rels.all()) {
            if (!rel.external &&
                asciiLower(package::resolveTarget(*source, rel.target)) == wanted) {
                return true;
            }
        }
    }
    return false;
}

// Removes the image parts (and their content-type overrides) that no relationship in the
// package points at any more.
void removeUnreferenced(package::Package& package, const std::set<std::string>& images) {
    for (const std::string& image : images) {
        if (package.has(image) && !referenced(package, image)) {
            package.remove(image);
        }
    }
}

// Points every preview picture of the object's frame (both branches of its alternate content)
// at a new image part with the picture; the images it showed before go when nothing else shows
// them.
void replacePreview(const ObjectSite& site, const embed::Preview& preview) {
    auto& package = site.document->package;
    const std::string image = package.freePartName("ppt/media/image#.png");
    package.write(image, preview.png);
    package.ensureDefault("png", "image/png");
    package::Relationships rels = package.relationships(site.slidePart);
    const std::string id =
        rels.add(std::string(kImageRel), package::relativeTarget(site.slidePart, image));
    pugi::xml_document& slide = package.xml(site.slidePart);
    std::vector<std::string> replaced;
    std::set<std::string> oldImages;
    const std::set<std::string> drawn = repointDrawing(site, slide, image, oldImages);
    for (pugi::xml_node frame : objectFrames(slide, site.shapeId)) {
        addMissingPictures(frame, drawn);
        for (pugi::xml_node obj : oleObjects(frame)) {
            if (obj.attribute("imgW")) {
                obj.attribute("imgW") = preview.sheetWidth * kEmuPerPixel;
                obj.attribute("imgH") = preview.sheetHeight * kEmuPerPixel;
            }
            for (pugi::xml_node blip : package::descendants(obj, ns::kDrawing, "blip")) {
                pugi::xml_attribute embed = package::attribute(blip, ns::kRelationships, "embed");
                if (embed) {
                    replaced.push_back(embed.value());
                    embed = id.c_str();
                }
            }
        }
    }
    // An image relationship nothing on the slide uses any more goes.
    for (const std::string& old : replaced) {
        if (old != id && rels.find(old) && !package::holdsAttributeValue(slide, old)) {
            noteImage(rels.find(old), site.slidePart, oldImages);
            rels.remove(old);
        }
    }
    package.setRelationships(site.slidePart, rels);
    package.markDirty(site.slidePart);
    removeUnreferenced(package, oldImages);
}

void writeBack(const std::shared_ptr<ObjectStore>& store, Bytes bytes) {
    const ObjectSite& site = store->site;
    site.document->checkOpen();
    const std::string name = site.document->package.displayName() + ": " + site.objectPart;
    const auto [cx, cy] = frameSize(site);
    FilledWorkbook filled = finishFill(store->original, std::move(bytes), name, cx, cy);
    bytes = std::move(filled.package);
    store->original = bytes;

    auto& package = site.document->package;
    if (store->compound) {
        // The object's cached pictures show the old table; the slide's preview is drawn anew
        // below, and the office suite draws the object's own from the package.
        const Bytes file =
            store->compound->rewrite({{"Package", bytes}}, store->compound->cachedPictures());
        package.write(site.objectPart, std::string(file.begin(), file.end()));
    } else {
        package.write(site.objectPart, std::string(bytes.begin(), bytes.end()));
    }
    replacePreview(site, filled.preview);
    // The slide's edited tree goes back into the package as text; nothing holds it between
    // calls, and a run over many slides should not keep one tree per slide.
    package.release(site.slidePart);
}

[[noreturn]] void refuse(const ObjectSite& site, const std::string& reason) {
    throw Error(ErrorCode::NotSupported, site.where() + ": " + reason);
}

// True when the compound file holds a workbook of Excel 97-2003: a root stream "Workbook" that
// begins with the BOF of BIFF8 workbook globals. Graph's data, which takes the same stream
// name, has a version of its own.
bool holdsBinaryWorkbook(const compound::File& file) {
    if (!file.hasStream("Workbook")) {
        return false;
    }
    const Bytes stream = file.readStream("Workbook");
    auto le16 = [&](std::size_t at) { return stream[at] | (stream[at + 1] << 8); };
    return stream.size() >= 8 && le16(0) == 0x0809 && le16(4) == 0x0600 && le16(6) == 0x0005;
}

// The picture as the preview code describes it: a drawn PNG with its density stored, so its
// size on the sheet is its size at 96 pixels per inch.
embed::Preview previewOfPicture(const std::string& png) {
    embed::Preview preview;
    preview.png = png;
    QImage image;
    if (image.loadFromData(reinterpret_cast<const uchar*>(png.data()), static_cast<int>(png.size()),
                           "PNG")) {
        preview.width = image.width();
        preview.height = image.height();
        const double scale = image.dotsPerMeterX() > 0 ? image.dotsPerMeterX() * 0.0254 / 96 : 1;
        preview.sheetWidth = static_cast<int>(preview.width / scale + 0.5);
        preview.sheetHeight = static_cast<int>(preview.height / scale + 0.5);
    }
    return preview;
}

// An Excel 97-2003 object of the slide, filled in place in its own format through the opener of
// legacy objects: the part is its storage, and the filled storage goes back into the part with
// a new preview picture, as an .xlsx object's does. Kept in its format rather than converted to
// an .xlsx object, so that nothing of the object but its data changes: its names, charts and
// other sheets stay, and the deck's parts, content types and relationships stay as they were.
std::shared_ptr<Dispatch> openBinaryObject(const ObjectSite& site) {
    LegacyObjectSite legacy;
    legacy.progId = site.progId.empty() ? "Excel.Sheet.8" : site.progId;
    legacy.where = site.where();
    std::tie(legacy.cx, legacy.cy) = frameSize(site);
    legacy.storage = [site] {
        site.document->checkOpen();
        const std::string raw = site.document->package.read(site.objectPart);
        return Bytes(raw.begin(), raw.end());
    };
    legacy.replace = [site](std::vector<std::uint8_t> storage, const std::string& png) {
        site.document->checkOpen();
        auto& package = site.document->package;
        package.write(site.objectPart, std::string(storage.begin(), storage.end()));
        replacePreview(site, previewOfPicture(png));
        package.release(site.slidePart);
    };
    return openLegacyWorkbookObject(legacy);
}

}  // namespace

std::shared_ptr<Dispatch> openEmbeddedWorkbook(const ObjectSite& site) {
    site.document->checkOpen();
    if (site.objectPart.empty()) {
        refuse(site, "the object is linked to an outside file (" + site.progId +
                         "), not embedded; only embedded workbooks can be filled");
    }
    if (!site.progId.empty() && !contains(site.progId, "Excel") &&
        !contains(site.progId, "Sheet")) {
        refuse(site, "the object (" + site.progId + ") is not a workbook");
    }
    const std::string raw = site.document->package.read(site.objectPart);
    auto store = std::make_shared<ObjectStore>();
    store->site = site;
    Bytes bytes(raw.begin(), raw.end());
    std::optional<compound::File> file;
    if (compound::isCompoundFile(bytes)) {
        file = compound::File::openBytes(
            std::move(bytes), site.document->package.displayName() + ": " + site.objectPart);
        if (holdsBinaryWorkbook(*file)) {
            return openBinaryObject(site);
        }
    }
    if (contains(site.progId, "Excel.Sheet.8") || contains(site.progId, "Excel.Sheet.5")) {
        refuse(
            site,
            "the object is a legacy binary workbook (" + site.progId +
                ") whose storage holds no workbook of Excel 97-2003 that can be filled; open it in "
                "an office suite and save it as .xlsx");
    }
    if (file) {
        if (!file->hasStream("Package")) {
            refuse(site, "the object is a binary workbook (" + site.progId +
                             ") that cannot be filled; open it in an office suite and save it as "
                             ".xlsx");
        }
        bytes = file->readStream("Package");
        store->compound = std::move(file);
    }
    store->original = bytes;
    const std::string name = site.document->package.displayName() + ": " + site.objectPart;
    auto package = package::Package::openBytes(std::move(bytes), name, "workbook");
    if (excel::isBinaryWorkbook(package)) {
        refuse(site,
               "the object's workbook is in the binary format (.xlsb), whose cells cannot "
               "be filled; open it in an office suite and save it as .xlsx");
    }
    return excel::openWorkbookFromPackage(
        std::move(package), [store](Bytes saved) { writeBack(store, std::move(saved)); });
}

}  // namespace office::detail
