#include "office/ppt/binary/model.h"

#include <cstdio>
#include <filesystem>
#include <tuple>

#include "office/ascii.h"
#include "office/error.h"
#include "office/ppt/binary/drawing.h"

namespace office::ppt::detail {

namespace {

namespace fs = std::filesystem;

bool startsAsCompoundFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        return false;
    }
    std::uint8_t head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    std::fclose(file);
    return compound::isCompoundFile(std::span<const std::uint8_t>(head, got));
}

std::string kindText(const binary::ShapeInfo& shape) {
    if (shape.group) {
        return "a group";
    }
    if (shape.shapeType == 75) {
        return "a picture";
    }
    if (shape.objectId) {
        return "an embedded object that the document does not list";
    }
    return "an auto shape, text box or placeholder";
}

}  // namespace

std::optional<compound::File> binaryPresentationFile(const std::string& path) {
    if (!startsAsCompoundFile(path)) {
        return std::nullopt;
    }
    std::optional<compound::File> file;
    try {
        file.emplace(compound::File::openFile(path));
    } catch (const Error&) {
        return std::nullopt;
    }
    if (binary::Deck::holdsPresentation(*file) || file->hasStream("EncryptedPackage")) {
        return binary::Deck::holdsPresentation(*file) ? std::move(file) : std::nullopt;
    }
    throw Error(ErrorCode::NotADocument,
                file->displayName() +
                    ": not a presentation: the compound file holds no \"PowerPoint Document\" "
                    "stream");
}

std::shared_ptr<PresentationImpl> openBinaryPresentation(
    const std::shared_ptr<ApplicationImpl>& app, compound::File file, const std::string& fullName,
    bool readOnly) {
    auto presentation = std::make_shared<PresentationImpl>();
    presentation->application = app;
    presentation->deck = binary::Deck::open(std::move(file));
    presentation->readOnly = readOnly;
    presentation->fullName = fullName;
    for (std::size_t i = 0; i < presentation->deck->slideCount(); ++i) {
        auto slide = std::make_shared<SlideImpl>();
        slide->deck = presentation->deck;
        slide->index = static_cast<int>(i) + 1;
        slide->id = presentation->deck->slideId(i);
        presentation->slides.push_back(std::move(slide));
    }
    return presentation;
}

void saveBinaryAs(PresentationImpl& presentation, const std::string& path, int fileFormat) {
    if (fileFormat != ppSaveAsPresentation && fileFormat != ppSaveAsDefault) {
        throw Error(ErrorCode::InvalidArgument,
                    fs::path(path).filename().string() + ": file format " +
                        std::to_string(fileFormat) +
                        " cannot be written: a PowerPoint 97-2003 presentation is written in its "
                        "own format; converting it is not supported yet");
    }
    if (path.empty()) {
        throw Error(ErrorCode::InvalidArgument, "SaveAs needs a file name");
    }
    std::string target = path;
    const std::string extension = asciiLower(fs::path(path).extension().string());
    if (extension.empty()) {
        target += ".ppt";
    } else if (extension != ".ppt") {
        throw Error(ErrorCode::InvalidArgument,
                    fs::path(path).filename().string() + ": cannot save as \"" + extension +
                        "\": a PowerPoint 97-2003 presentation is written as .ppt; converting "
                        "it to another format is not supported yet");
    }
    std::error_code error;
    fs::path absolute = fs::absolute(target, error);
    target = error ? target : absolute.lexically_normal().string();
    presentation.deck->save(target);
    presentation.fullName = target;
    presentation.readOnly = false;
}

std::size_t slideIndexOf(const SlideImpl& slide) {
    slide.deck->checkOpen();
    return static_cast<std::size_t>(slide.index - 1);
}

void checkSlideOpen(const SlideImpl& slide) {
    if (slide.deck) {
        slide.deck->checkOpen();
        return;
    }
    slide.document->checkOpen();
}

const binary::ShapeInfo& binaryShape(const ShapeImpl& shape) {
    const SlideImpl& slide = *shape.slide;
    // Members of groups included: a group's Shapes hands them out like top-level ones.
    if (const binary::ShapeInfo* info =
            binary::findShape(slide.deck->shapes(slideIndexOf(slide)), shape.id)) {
        return *info;
    }
    throw Error(ErrorCode::IndexOutOfRange, slide.deck->where(slideIndexOf(slide)) + ": shape " +
                                                std::to_string(shape.id) +
                                                " is no longer on the slide");
}

std::string describeBinaryShape(const ShapeImpl& shape) {
    return shape.slide->deck->where(slideIndexOf(*shape.slide)) + ", shape \"" +
           binaryShape(shape).name + "\"";
}

const binary::EmbeddedObject& binaryObject(const ShapeImpl& shape) {
    const binary::ShapeInfo& info = binaryShape(shape);
    const binary::EmbeddedObject* object =
        info.objectId ? shape.slide->deck->object(*info.objectId) : nullptr;
    if (!object) {
        throw Error(
            ErrorCode::TypeMismatch,
            describeBinaryShape(shape) + " holds no embedded object: it is " + kindText(info));
    }
    return *object;
}

void refuseBinaryObject(const ShapeImpl& shape) {
    const binary::EmbeddedObject& object = binaryObject(shape);
    throw Error(ErrorCode::NotSupported,
                describeBinaryShape(shape) + ": the object (" + object.progId +
                    ") lies in a PowerPoint 97-2003 presentation, which keeps its objects in its "
                    "own records rather than in package parts");
}

office::detail::LegacyObjectSite legacySite(const ShapeImpl& shape) {
    const binary::EmbeddedObject& object = binaryObject(shape);
    const std::string where = describeBinaryShape(shape);
    if (object.linked) {
        throw Error(ErrorCode::NotSupported,
                    where + ": the object (" + object.progId +
                        ") is linked to a file outside the presentation; only embedded objects "
                        "are filled");
    }
    std::shared_ptr<binary::Deck> deck = shape.slide->deck;
    const std::size_t slide = slideIndexOf(*shape.slide);
    office::detail::LegacyObjectSite site;
    site.progId = object.progId;
    site.where = where;
    std::tie(site.cx, site.cy) = deck->shapeSize(slide, shape.id);
    site.storage = [deck, id = object.objectId, where] { return deck->objectStorage(id, where); };
    site.replace = [deck, slide, id = shape.id](std::vector<std::uint8_t> storage,
                                                const std::string& png) {
        // The object may outlive its presentation: a closed deck takes nothing back.
        deck->checkOpen();
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(png.data());
        deck->replaceObject(slide, id, storage, std::span(bytes, png.size()));
    };
    site.replaceLater = [deck, slide, id = shape.id](std::vector<std::uint8_t> storage,
                                                     std::function<std::string()> picture) {
        deck->checkOpen();
        deck->replaceObject(slide, id, storage, std::move(picture));
    };
    return site;
}

}  // namespace office::ppt::detail
