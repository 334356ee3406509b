#include "office/ppt/binary/pictures.h"

#include <algorithm>

#include <QCryptographicHash>
#include <QString>

#include "office/error.h"

namespace office::ppt::binary {

namespace {

constexpr std::uint16_t kDrawingGroup = 0x040B;
constexpr std::uint16_t kDggContainer = 0xF000;
constexpr std::uint16_t kBlipStore = 0xF001;
constexpr std::uint16_t kDgg = 0xF006;
constexpr std::uint16_t kFbse = 0xF007;
constexpr std::uint16_t kBlipPng = 0xF01E;

constexpr std::uint16_t kFbseVersion = 2;
constexpr std::uint8_t kPngKind = 6;           // msoblipPNG, in the entry's btWin32 and btMacOS
constexpr std::uint16_t kPngInstance = 0x6E0;  // a PNG blip with one digest
constexpr std::size_t kFbseSize = 36;          // without a name or an embedded blip
constexpr std::size_t kDigestSize = 16;
// The count lives in the 12 bits of the store's instance.
constexpr std::uint32_t kMaxEntries = 0xFFF;
constexpr std::uint16_t kLibreOfficeCount = 1;

const Record* groupOf(const Record& document) {
    const Record* group = document.child(kDrawingGroup);
    return group ? group->child(kDggContainer) : nullptr;
}

std::string entryText(std::size_t index) {
    return "entry " + std::to_string(index + 1) + " of the blip store";
}

// Fails unless the entry is an OfficeArtFBSE whose blip, when it lies in the Pictures stream,
// lies inside it.
void checkEntry(const Record& entry, std::size_t index, std::span<const std::uint8_t> pictures,
                const std::string& where) {
    if (entry.header.type != kFbse || entry.body.size() < kFbseSize) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": " + entryText(index) + " is no picture " + "entry (record 0x" +
                        QString::number(entry.header.type, 16).toUpper().toStdString() + " of " +
                        std::to_string(entry.body.size()) + " bytes)");
    }
    const std::size_t size = u32At(entry.body, 20);
    const std::size_t offset = u32At(entry.body, 28);
    const bool embedded = entry.body.size() > kFbseSize + entry.body[33];
    if (embedded || size == 0) {
        return;
    }
    if (offset > pictures.size() || size > pictures.size() - offset) {
        throw Error(ErrorCode::CorruptPart, where + ": " + entryText(index) + " names bytes " +
                                                std::to_string(offset) + " to " +
                                                std::to_string(offset + size) +
                                                " of the \"Pictures\" stream, which holds " +
                                                std::to_string(pictures.size()));
    }
}

// Fails unless the store, holding `entries`, has room for one more.
void checkRoom(std::size_t entries, const std::string& where) {
    if (entries >= kMaxEntries) {
        throw Error(ErrorCode::NotSupported,
                    where + ": the blip store is full (" + std::to_string(kMaxEntries) +
                        " pictures), so the object's new picture cannot be added");
    }
}

}  // namespace

std::uint32_t blipCount(const Record& document, std::span<const std::uint8_t> pictures,
                        const std::string& where, std::size_t coming) {
    const Record* group = groupOf(document);
    if (!group || !group->isContainer()) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": the document's drawing group is missing or does not parse");
    }
    const Record* store = group->child(kBlipStore);
    if (!store) {
        checkRoom(coming, where);
        return 0;
    }
    if (!store->isContainer()) {
        throw Error(ErrorCode::CorruptPart, where + ": the blip store does not parse");
    }
    // LibreOffice writes every store with a count of one, whatever it holds; PowerPoint reads
    // such stores by their entries, and so do we. Any other count must match.
    const bool libreOfficeCount = store->header.instance == kLibreOfficeCount;
    if (store->header.instance != store->children.size() && !libreOfficeCount) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": the blip store counts " + std::to_string(store->header.instance) +
                        " entries but holds " + std::to_string(store->children.size()));
    }
    for (std::size_t i = 0; i < store->children.size(); ++i) {
        checkEntry(store->children[i], i, pictures, where);
    }
    checkRoom(store->children.size() + coming, where);
    return static_cast<std::uint32_t>(store->children.size());
}

std::uint32_t addPngBlip(Record& document, Bytes& pictures, std::span<const std::uint8_t> png) {
    // The digest that names the blip: MD4 of the picture's bytes, as the format describes it.
    const QByteArray digest = QCryptographicHash::hash(
        QByteArrayView(png.data(), static_cast<qsizetype>(png.size())), QCryptographicHash::Md4);
    Bytes body(digest.begin(), digest.begin() + kDigestSize);
    body.push_back(0xFF);
    body.insert(body.end(), png.begin(), png.end());
    const auto offset = static_cast<std::uint32_t>(pictures.size());
    makeAtom(kBlipPng, kPngInstance, std::move(body)).appendTo(pictures);

    Bytes entry;
    entry.reserve(kFbseSize);
    entry.push_back(kPngKind);  // btWin32
    entry.push_back(kPngKind);  // btMacOS
    entry.insert(entry.end(), digest.begin(), digest.begin() + kDigestSize);
    appendU16(entry, 0xFF);
    appendU32(entry, static_cast<std::uint32_t>(pictures.size() - offset));
    appendU32(entry, 1);  // one shape shows it
    appendU32(entry, offset);
    appendU32(entry, 0);  // no name
    Record fbse = makeAtom(kFbse, kPngKind, std::move(entry));
    fbse.header.version = kFbseVersion;

    Record& group = *document.child(kDrawingGroup)->child(kDggContainer);
    Record* store = group.child(kBlipStore);
    if (!store) {
        auto after = std::find_if(group.children.begin(), group.children.end(),
                                  [](const Record& r) { return r.header.type == kDgg; });
        auto at = after == group.children.end() ? group.children.begin() : after + 1;
        store = &*group.children.insert(at, makeContainer(kBlipStore, 0));
    }
    store->children.push_back(std::move(fbse));
    store->header.instance = static_cast<std::uint16_t>(store->children.size());
    return static_cast<std::uint32_t>(store->children.size());
}

}  // namespace office::ppt::binary
