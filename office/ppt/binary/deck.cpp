#include "office/ppt/binary/deck.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <future>
#include <set>
#include <string_view>
#include <system_error>

#include <QString>

#include "office/error.h"
#include "office/package/write_file.h"
#include "office/ppt/binary/drawing.h"
#include "office/ppt/binary/pictures.h"
#include "office/ppt/object_site.h"

namespace office::ppt::binary {

namespace {

bool isPng(std::span<const std::uint8_t> bytes) {
    constexpr std::uint8_t kPngSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    return bytes.size() >= sizeof kPngSignature &&
           std::equal(std::begin(kPngSignature), std::end(kPngSignature), bytes.begin());
}

constexpr std::string_view kDocumentStream = "PowerPoint Document";
constexpr std::string_view kCurrentUserStream = "Current User";
constexpr std::string_view kPicturesStream = "Pictures";
constexpr std::uint16_t kCompressedStorage = 1;  // the ExOleObjStg instance of a zlib stream

// Record types of the document stream.
constexpr std::uint16_t kDocumentContainer = 0x03E8;
constexpr std::uint16_t kSlideContainer = 0x03EE;
constexpr std::uint16_t kSlidePersistAtom = 0x03F3;
constexpr std::uint16_t kDrawingContainer = 0x040C;
constexpr std::uint16_t kExObjList = 0x0409;
constexpr std::uint16_t kColorScheme = 0x07F0;
constexpr std::uint16_t kCString = 0x0FBA;
constexpr std::uint16_t kExOleObjAtom = 0x0FC3;
constexpr std::uint16_t kExOleEmbed = 0x0FCC;
constexpr std::uint16_t kExOleLink = 0x0FCE;
constexpr std::uint16_t kSlideList = 0x0FF0;
constexpr std::uint16_t kUserEditAtom = 0x0FF5;
constexpr std::uint16_t kCurrentUserAtom = 0x0FF6;
constexpr std::uint16_t kExOleObjStg = 0x1011;
constexpr std::uint16_t kPersistDirectory = 0x1772;
constexpr std::uint16_t kProgTags = 0x1388;
constexpr std::uint16_t kProgStringTag = 0x1389;
constexpr std::uint16_t kCryptSession = 0x2F14;

constexpr std::uint16_t kSlideNameInstance = 3;
constexpr std::uint32_t kPlainToken = 0xE391C05F;
constexpr std::uint32_t kEncryptedToken = 0xF3D1C4DF;
constexpr std::uint16_t kPowerPoint97Version = 0x03F4;
constexpr std::size_t kUserEditSize = 28;  // without the optional encryption reference

std::string upper(const std::string& text) {
    return QString::fromStdString(text).toUpper().toStdString();
}

std::string hex(std::uint32_t value) {
    return "0x" + QString::number(value, 16).toUpper().toStdString();
}

// The text of a CString child of that instance; nullopt when there is none.
std::optional<std::string> cstring(const Record& parent, std::uint16_t instance) {
    const Record* found = parent.child(kCString, instance);
    if (!found) {
        return std::nullopt;
    }
    return fromUtf16(found->body);
}

void setCString(Record& parent, std::uint16_t instance, const std::string& text) {
    if (Record* found = parent.child(kCString, instance)) {
        found->body = toUtf16(text);
        return;
    }
    parent.children.push_back(makeAtom(kCString, instance, toUtf16(text)));
}

// Where a slide's name and tags go: after the drawing and its colour scheme, the order the
// slide container keeps.
std::size_t afterDrawing(const Record& slide) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < slide.children.size(); ++i) {
        const std::uint16_t type = slide.children[i].header.type;
        if (type == kDrawingContainer || type == kColorScheme ||
            (type == kCString && slide.children[i].header.instance == kSlideNameInstance)) {
            at = i + 1;
        }
    }
    return at;
}

bool sameName(const Record& tag, const std::string& wanted) {
    std::optional<std::string> name = cstring(tag, 0);
    return name && upper(*name) == wanted;
}

}  // namespace

Deck::Deck(compound::File file) : file_(std::move(file)) {}

bool Deck::holdsPresentation(const compound::File& file) {
    return file.hasStream(kDocumentStream);
}

std::shared_ptr<Deck> Deck::open(compound::File file) {
    std::shared_ptr<Deck> deck(new Deck(std::move(file)));
    deck->readCurrentUser();
    deck->readEditChain();
    deck->readDocument();
    return deck;
}

const std::string& Deck::displayName() const {
    return file_.displayName();
}

void Deck::checkOpen() const {
    if (!open_) {
        throw Error(ErrorCode::ObjectClosed,
                    displayName() + ": object closed: the document was closed");
    }
}

std::string Deck::streamWhere() const {
    return displayName() + ": stream \"PowerPoint Document\"";
}

void Deck::readCurrentUser() {
    const std::string& file = displayName();
    if (file_.hasStream("PP40") || !file_.hasStream(kCurrentUserStream)) {
        throw Error(ErrorCode::LegacyFormat,
                    file +
                        ": this presentation is of PowerPoint 95 or older, which is not read; "
                        "save it in PowerPoint 97-2003 format or as .pptx and use that file");
    }
    currentUser_ = file_.readStream(kCurrentUserStream);
    stream_ = file_.readStream(kDocumentStream);
    const std::string where = file + ": stream \"Current User\"";
    RecordHeader header = headerAt(currentUser_, 0, where);
    if (header.type != kCurrentUserAtom || header.length < 16) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": offset 0: no CurrentUserAtom (record " + hex(header.type) + ")");
    }
    const std::uint32_t token = u32At(currentUser_, 12);
    if (token == kEncryptedToken) {
        throw Error(ErrorCode::Encrypted, file +
                                              ": the presentation is protected by a password; "
                                              "remove the password in the office suite and save "
                                              "it again");
    }
    if (token != kPlainToken || u16At(currentUser_, 22) < kPowerPoint97Version) {
        throw Error(ErrorCode::LegacyFormat,
                    file +
                        ": this presentation is of PowerPoint 95 or older, which is not read; "
                        "save it in PowerPoint 97-2003 format or as .pptx and use that file");
    }
    currentEdit_ = u32At(currentUser_, 16);
}

// Walks the edits from the newest back to the first; the newest entry of a persist id wins.
void Deck::readEditChain() {
    std::set<std::uint32_t> seen;
    const std::string where = streamWhere();
    bool newest = true;
    for (std::uint32_t offset = currentEdit_;;) {
        if (!seen.insert(offset).second) {
            throw Error(ErrorCode::CorruptPart, where + ": offset " + std::to_string(offset) +
                                                    ": the chain of edits loops back here");
        }
        RecordHeader edit = headerAt(stream_, offset, where);
        if (edit.type != kUserEditAtom || edit.length < kUserEditSize) {
            throw Error(ErrorCode::CorruptPart, where + ": offset " + std::to_string(offset) +
                                                    ": no UserEditAtom (record " + hex(edit.type) +
                                                    ")");
        }
        const std::size_t body = offset + kHeaderSize;
        if (newest) {
            documentRef_ = u32At(stream_, body + 16);
            if (edit.length >= kUserEditSize + 4 && u32At(stream_, body + 28) != 0) {
                throw Error(ErrorCode::Encrypted,
                            displayName() +
                                ": the presentation is protected by a password; remove the "
                                "password in the office suite and save it again");
            }
            newest = false;
        }
        const std::uint32_t directory = u32At(stream_, body + 12);
        RecordHeader dir = headerAt(stream_, directory, where);
        if (dir.type != kPersistDirectory) {
            throw Error(ErrorCode::CorruptPart, where + ": offset " + std::to_string(directory) +
                                                    ": no PersistDirectoryAtom (record " +
                                                    hex(dir.type) + ")");
        }
        const std::size_t end = directory + kHeaderSize + dir.length;
        for (std::size_t at = directory + kHeaderSize; at + 4 <= end;) {
            const std::uint32_t entry = u32At(stream_, at);
            const std::uint32_t first = entry & 0xFFFFF;
            const std::uint32_t count = entry >> 20;
            if (count > (end - at - 4) / 4) {
                throw Error(ErrorCode::CorruptPart, where + ": offset " + std::to_string(at) +
                                                        ": a persist directory "
                                                        "entry of " +
                                                        std::to_string(count) +
                                                        " offsets runs past its record");
            }
            for (std::uint32_t i = 0; i < count; ++i) {
                persist_.emplace(first + i, u32At(stream_, at + 4 + 4 * i));
            }
            at += 4 + 4 * std::size_t{count};
        }
        ++editCount_;
        offset = u32At(stream_, body + 8);
        if (offset == 0) {
            break;
        }
    }
}

// The record of a persist object, checked to be of the type expected.
Record Deck::persistObject(std::uint32_t persistId, std::uint16_t type) const {
    const std::string where = streamWhere();
    auto found = persist_.find(persistId);
    if (found == persist_.end()) {
        throw Error(ErrorCode::CorruptPart, where + ": persist id " + std::to_string(persistId) +
                                                " is in no persist directory");
    }
    if (found->second >= stream_.size()) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": persist id " + std::to_string(persistId) + " points at offset " +
                        std::to_string(found->second) + ", outside the stream of " +
                        std::to_string(stream_.size()) + " bytes");
    }
    RecordHeader header = headerAt(stream_, found->second, where);
    if (header.type != type) {
        throw Error(ErrorCode::CorruptPart, where + ": offset " + std::to_string(found->second) +
                                                ": persist id " + std::to_string(persistId) +
                                                " is a record " + hex(header.type) + ", not the " +
                                                hex(type) + " expected");
    }
    return parseRecord(stream_, found->second, where);
}

void Deck::readDocument() {
    document_ = persistObject(documentRef_, kDocumentContainer);
    const Record& document = document_;
    if (document.child(kCryptSession)) {
        throw Error(ErrorCode::Encrypted, displayName() +
                                              ": the presentation is protected by a password; "
                                              "remove the password in the office suite and save "
                                              "it again");
    }
    if (const Record* list = document.child(kExObjList)) {
        for (const Record& embed : list->children) {
            const Record* atom = embed.child(kExOleObjAtom);
            const bool linked = embed.header.type == kExOleLink;
            if ((embed.header.type != kExOleEmbed && !linked) || !atom || atom->body.size() < 20) {
                continue;
            }
            EmbeddedObject object;
            object.linked = linked;
            object.objectId = u32At(atom->body, 8);
            object.storageRef = u32At(atom->body, 16);
            object.menuName = cstring(embed, 1).value_or("");
            object.progId = cstring(embed, 2).value_or("");
            objects_.emplace(object.objectId, object);
        }
    }
    nameObjectsByStorage();
    std::set<std::uint32_t> taken;  // stream offsets: two slides never share a container
    if (const Record* list = document.child(kSlideList, 0)) {
        for (const Record& entry : list->children) {
            if (entry.header.type != kSlidePersistAtom || entry.body.size() < 16) {
                continue;
            }
            const std::uint32_t persistId = u32At(entry.body, 0);
            auto offset = persist_.find(persistId);
            if (offset != persist_.end() && !taken.insert(offset->second).second) {
                throw Error(ErrorCode::CorruptPart, streamWhere() + ": persist id " +
                                                        std::to_string(persistId) +
                                                        " names the container of another slide");
            }
            readSlide(persistId, static_cast<int>(u32At(entry.body, 12)));
        }
    }
}

// LibreOffice stores no ProgID for the objects it writes, only the class id of their storage:
// an object that names no kind is named by its storage. One whose storage cannot be read stays
// without a name, and fails when it is filled.
void Deck::nameObjectsByStorage() {
    for (auto& [id, object] : objects_) {
        if (!object.progId.empty() || object.linked) {
            continue;
        }
        try {
            object.progId = office::detail::storageProgId(objectStorage(id), streamWhere());
        } catch (const Error&) {
        }
    }
}

void Deck::readSlide(std::uint32_t persistId, int slideId) {
    Slide slide;
    slide.persistId = persistId;
    slide.slideId = slideId;
    slide.container = persistObject(persistId, kSlideContainer);
    slides_.push_back(std::move(slide));
    refreshShapes(slides_.back());
}

void Deck::refreshShapes(Slide& slide) {
    const Record* drawing = slide.container.child(kDrawingContainer);
    slide.shapes = drawing ? readShapes(*drawing) : std::vector<ShapeInfo>{};
}

Deck::Slide& Deck::slideAt(std::size_t slide) {
    checkOpen();
    return slides_.at(slide);
}

const Deck::Slide& Deck::slideAt(std::size_t slide) const {
    checkOpen();
    return slides_.at(slide);
}

std::string Deck::where(std::size_t slide) const {
    return displayName() + ": slide " + std::to_string(slide + 1);
}

int Deck::slideId(std::size_t slide) const {
    return slideAt(slide).slideId;
}

std::string Deck::slideName(std::size_t slide) const {
    return cstring(slideAt(slide).container, kSlideNameInstance).value_or("");
}

void Deck::setSlideName(std::size_t index, const std::string& name) {
    Slide& slide = slideAt(index);
    std::vector<Record>& children = slide.container.children;
    std::erase_if(children, [](const Record& r) {
        return r.header.type == kCString && r.header.instance == kSlideNameInstance;
    });
    if (!name.empty()) {
        children.insert(
            children.begin() + static_cast<std::ptrdiff_t>(afterDrawing(slide.container)),
            makeAtom(kCString, kSlideNameInstance, toUtf16(name)));
    }
    slide.changed = true;
}

std::vector<Tag> Deck::tags(std::size_t slide) const {
    std::vector<Tag> found;
    const Record* list = slideAt(slide).container.child(kProgTags);
    for (const Record& tag : list ? list->children : std::vector<Record>{}) {
        if (tag.header.type == kProgStringTag) {
            found.push_back({cstring(tag, 0).value_or(""), cstring(tag, 1).value_or("")});
        }
    }
    return found;
}

void Deck::addTag(std::size_t index, const std::string& name, const std::string& value) {
    Slide& slide = slideAt(index);
    const std::string stored = upper(name);
    if (stored.empty()) {
        throw Error(ErrorCode::InvalidArgument, where(index) + ": a tag needs a name");
    }
    Record* list = slide.container.child(kProgTags);
    if (!list) {
        auto at = slide.container.children.begin() +
                  static_cast<std::ptrdiff_t>(afterDrawing(slide.container));
        list = &*slide.container.children.insert(at, makeContainer(kProgTags, 0));
    }
    auto tag = std::find_if(list->children.begin(), list->children.end(), [&](const Record& r) {
        return r.header.type == kProgStringTag && sameName(r, stored);
    });
    if (tag == list->children.end()) {
        auto last = std::find_if(list->children.rbegin(), list->children.rend(),
                                 [](const Record& r) { return r.header.type == kProgStringTag; });
        tag = list->children.insert(last.base(), makeContainer(kProgStringTag, 0));
    }
    setCString(*tag, 0, stored);
    setCString(*tag, 1, value);
    slide.changed = true;
    if (stored == "NAME") {
        storeGivenName(slide.container, slide.shapes, value, where(index));
        refreshShapes(slide);
    }
}

void Deck::deleteTag(std::size_t index, const std::string& name) {
    Slide& slide = slideAt(index);
    Record* list = slide.container.child(kProgTags);
    if (!list) {
        return;
    }
    const std::string wanted = upper(name);
    const std::size_t before = list->children.size();
    std::erase_if(list->children, [&](const Record& r) {
        return r.header.type == kProgStringTag && sameName(r, wanted);
    });
    if (list->children.size() == before) {
        return;
    }
    if (list->children.empty()) {
        std::erase_if(slide.container.children,
                      [](const Record& r) { return r.header.type == kProgTags; });
    }
    slide.changed = true;
}

const std::vector<ShapeInfo>& Deck::shapes(std::size_t slide) const {
    return slideAt(slide).shapes;
}

void Deck::setShapeName(std::size_t index, int shapeId, const std::string& name) {
    Slide& slide = slideAt(index);
    const ShapeInfo* shape = findShape(slide.shapes, shapeId);
    if (!shape) {
        throw Error(
            ErrorCode::IndexOutOfRange,
            where(index) + ": shape " + std::to_string(shapeId) + " is no longer on the slide");
    }
    storeName(*slide.container.child(kDrawingContainer), *shape, name, where(index));
    slide.changed = true;
    refreshShapes(slide);
}

const EmbeddedObject* Deck::object(std::uint32_t objectId) const {
    auto found = objects_.find(objectId);
    return found == objects_.end() ? nullptr : &found->second;
}

Bytes Deck::objectStorage(std::uint32_t objectId, const std::string& where) const {
    checkOpen();
    const EmbeddedObject* found = object(objectId);
    const std::string subject = where.empty() ? streamWhere() : where;
    if (!found) {
        throw Error(ErrorCode::CorruptPart, subject + ": embedded object " +
                                                std::to_string(objectId) +
                                                " is not in the document's object list");
    }
    Record storage;
    if (auto pending = storages_.find(found->storageRef); pending != storages_.end()) {
        storage = pending->second;
    } else {
        try {
            storage = persistObject(found->storageRef, kExOleObjStg);
        } catch (const Error& error) {
            if (where.empty()) {
                throw;
            }
            throw Error(error.code(),
                        where + ": the object's storage cannot be read: " + error.text());
        }
    }
    if (storage.header.instance == 0) {
        return storage.body;
    }
    return inflateStorage(storage.body,
                          where.empty() ? streamWhere() + ": object " + found->progId : where);
}

std::string Deck::where(std::size_t slide, const ShapeInfo& shape) const {
    return where(slide) + ", shape \"" + shape.name + "\"";
}

const ShapeInfo& Deck::shapeAt(std::size_t slide, int shapeId) const {
    if (const ShapeInfo* shape = findShape(slideAt(slide).shapes, shapeId)) {
        return *shape;
    }
    throw Error(ErrorCode::IndexOutOfRange,
                where(slide) + ": shape " + std::to_string(shapeId) + " is no longer on the slide");
}

std::pair<std::int64_t, std::int64_t> Deck::shapeSize(std::size_t slide, int shapeId) const {
    const ShapeInfo& shape = shapeAt(slide, shapeId);
    const Record* drawing = slideAt(slide).container.child(kDrawingContainer);
    return binary::shapeSize(*drawing, shape, where(slide, shape));
}

const Bytes& Deck::pictures() {
    if (!pictures_) {
        pictures_ = file_.hasStream(kPicturesStream) ? file_.readStream(kPicturesStream) : Bytes{};
    }
    return *pictures_;
}

struct Deck::Drawing {
    explicit Drawing(PictureMaker maker) : draw(std::move(maker)), result(made.get_future()) {}

    // Draws the picture unless another thread has taken it already.
    void run() {
        if (taken.exchange(true)) {
            return;
        }
        try {
            made.set_value(draw());
        } catch (...) {
            made.set_exception(std::current_exception());
        }
    }

    PictureMaker draw;
    std::atomic<bool> taken = false;
    std::promise<std::string> made;
    std::shared_future<std::string> result;
};

void Deck::replaceObject(std::size_t index, int shapeId, const Bytes& storage,
                         PictureMaker picture) {
    Slide& slide = slideAt(index);
    const ShapeInfo& shape = shapeAt(index, shapeId);
    const std::string subject = where(index, shape);
    const EmbeddedObject* found = shape.objectId ? object(*shape.objectId) : nullptr;
    if (!found || found->linked) {
        throw Error(ErrorCode::TypeMismatch, subject + " holds no embedded object");
    }
    if (!compound::isCompoundFile(storage)) {
        throw Error(ErrorCode::InvalidArgument,
                    subject + ": the object's new storage is no compound file");
    }
    auto same = std::find_if(
        pendingPictures_.begin(), pendingPictures_.end(),
        [&](const PendingPicture& p) { return p.slide == index && p.shapeId == shapeId; });
    // Everything that can fail is done on copies first, so that a failure changes nothing.
    const std::uint32_t blip =
        same != pendingPictures_.end()
            ? same->blip
            : blipCount(document_, pictures(), subject, pendingPictures_.size()) +
                  static_cast<std::uint32_t>(pendingPictures_.size()) + 1;
    Record container = slide.container;
    setPicture(*container.child(kDrawingContainer), shape, blip, subject);
    Record stored = makeAtom(kExOleObjStg, kCompressedStorage, deflateStorage(storage));

    slide.container = std::move(container);
    slide.changed = true;
    documentChanged_ = true;
    picturesChanged_ = true;
    storages_[found->storageRef] = std::move(stored);
    refreshShapes(slide);
    const PendingPicture* earlier = same != pendingPictures_.end() ? &*same : nullptr;
    // The other objects' pictures are final as far as anyone knows: they are drawn meanwhile.
    for (PendingPicture& other : pendingPictures_) {
        if (!other.drawing && &other != earlier) {
            startDrawing(other, true);
        }
    }
    if (earlier) {
        if (same->drawing) {
            same->drawing->taken = true;  // not drawn if it has not started; not taken if it has
        }
        same->draw = std::move(picture);
        same->drawing = nullptr;
        return;
    }
    pendingPictures_.push_back({index, shapeId, blip, subject, std::move(picture), {}});
}

void Deck::replaceObject(std::size_t index, int shapeId, const Bytes& storage,
                         std::span<const std::uint8_t> png) {
    if (!isPng(png)) {
        throw Error(ErrorCode::InvalidArgument,
                    where(index, shapeAt(index, shapeId)) + ": the object's new picture is no PNG");
    }
    replaceObject(index, shapeId, storage,
                  [drawn = std::string(png.begin(), png.end())] { return drawn; });
}

void Deck::startDrawing(PendingPicture& picture, bool inBackground) {
    picture.drawing = std::make_shared<Drawing>(picture.draw);
    if (!inBackground) {
        return;
    }
    if (!drawer_) {
        try {
            drawer_ = std::make_unique<Worker>();
        } catch (const std::system_error&) {
            return;  // no second thread: the save draws it
        }
    }
    drawer_->post([drawing = picture.drawing] { drawing->run(); });
}

// Draws what is still to be drawn, from the last picture back, while the deck's thread goes on
// from the first; waits for every picture, and only when all of them are PNG files enters them
// in the blip store, in the order of the indexes their shapes show.
void Deck::addPendingPictures() {
    if (pendingPictures_.empty()) {
        return;
    }
    for (PendingPicture& picture : pendingPictures_) {
        if (!picture.drawing) {
            startDrawing(picture, false);
        }
    }
    for (auto it = pendingPictures_.rbegin(); it != pendingPictures_.rend(); ++it) {
        it->drawing->run();
    }
    std::vector<std::string> pngs;
    std::size_t total = 0;
    for (PendingPicture& picture : pendingPictures_) {
        try {
            pngs.push_back(picture.drawing->result.get());
        } catch (...) {
            picture.drawing = nullptr;  // the next save draws it again
            throw;
        }
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(pngs.back().data());
        if (!isPng(std::span(bytes, pngs.back().size()))) {
            picture.drawing = nullptr;
            throw Error(ErrorCode::InvalidArgument,
                        picture.subject + ": the object's new picture is no PNG");
        }
        total += pngs.back().size();
    }
    pictures();
    pictures_->reserve(pictures_->size() + total + pngs.size() * 64);
    for (std::size_t i = 0; i < pngs.size(); ++i) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(pngs[i].data());
        addPngBlip(document_, *pictures_, std::span(bytes, pngs[i].size()));
    }
    pendingPictures_.clear();
}

// The changed persist objects, appended to the stream with their new offsets.
void Deck::appendPersistObjects(Bytes& stream, std::map<std::uint32_t, std::uint32_t>& written) {
    for (Slide& slide : slides_) {
        if (slide.changed) {
            written[slide.persistId] = static_cast<std::uint32_t>(stream.size());
            slide.container.appendTo(stream);
        }
    }
    if (documentChanged_) {
        written[documentRef_] = static_cast<std::uint32_t>(stream.size());
        document_.appendTo(stream);
    }
    for (const auto& [id, storage] : storages_) {
        written[id] = static_cast<std::uint32_t>(stream.size());
        storage.appendTo(stream);
    }
}

void Deck::save(const std::string& path) {
    checkOpen();
    addPendingPictures();
    Bytes stream = stream_;
    std::map<std::uint32_t, std::uint32_t> written;
    appendPersistObjects(stream, written);
    const std::uint32_t edit = currentEdit_;
    Bytes user = currentUser_;
    if (!written.empty()) {
        Bytes directory;
        for (const auto& [id, offset] : written) {
            appendU32(directory, id | (1u << 20));
            appendU32(directory, offset);
        }
        const auto directoryAt = static_cast<std::uint32_t>(stream.size());
        makeAtom(kPersistDirectory, 0, std::move(directory)).appendTo(stream);
        const RecordHeader header = headerAt(stream_, edit, streamWhere());
        Bytes body(stream_.begin() + edit + kHeaderSize,
                   stream_.begin() + edit + kHeaderSize + header.length);
        putU32(body, 8, edit);
        putU32(body, 12, directoryAt);
        const auto editAt = static_cast<std::uint32_t>(stream.size());
        makeAtom(kUserEditAtom, header.instance, std::move(body)).appendTo(stream);
        putU32(user, 16, editAt);
    }
    std::map<std::string, Bytes> streams{{std::string(kDocumentStream), stream},
                                         {std::string(kCurrentUserStream), user}};
    // The pictures, tens of megabytes in a deck of many filled objects, go into the rewrite
    // without a copy, and come back after it, whether it fails or not.
    const std::string picturesName(kPicturesStream);
    if (picturesChanged_) {
        streams.emplace(picturesName, std::move(*pictures_));
    }
    auto takePicturesBack = [&] {
        if (picturesChanged_) {
            *pictures_ = std::move(streams.at(picturesName));
        }
    };
    Bytes bytes;
    try {
        bytes = file_.rewrite(streams);
        package::writeFileAtomically(path, bytes);
    } catch (...) {
        takePicturesBack();
        throw;
    }
    takePicturesBack();
    // The file now holds this state: the next save appends to it.
    file_ = compound::File::openBytes(std::move(bytes),
                                      std::filesystem::path(path).filename().string());
    if (!written.empty()) {
        currentEdit_ = u32At(user, 16);
        ++editCount_;
        for (const auto& [id, offset] : written) {
            persist_[id] = offset;
        }
    }
    stream_ = std::move(stream);
    currentUser_ = std::move(user);
    for (Slide& slide : slides_) {
        slide.changed = false;
    }
    documentChanged_ = false;
    picturesChanged_ = false;
    storages_.clear();
}

}  // namespace office::ppt::binary
