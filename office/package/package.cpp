#include "office/package/package.h"

#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <unordered_map>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "office/ascii.h"
#include "office/compound/compound_file.h"
#include "office/error.h"
#include "office/package/output_file.h"
#include "office/package/spool.h"

namespace office::package {
namespace {

constexpr std::string_view kContentTypesPart = "[Content_Types].xml";
// Defaults come before Overrides.
constexpr std::string_view kTypesOrder[] = {"Default", "Override"};

std::string fileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

[[noreturn]] void fail(ErrorCode code, std::string_view file, const std::string& problem) {
    throw Error(code, std::string(file) + ": " + problem);
}

[[noreturn]] void failCompoundFile(const std::vector<std::uint8_t>& bytes, std::string_view file,
                                   std::string_view kind) {
    if (compound::isEncryptedPackage(bytes)) {
        fail(ErrorCode::Encrypted, file,
             "the " + std::string(kind) +
                 " is protected by a password; remove the password in the office suite and save "
                 "it again");
    }
    const std::string modern = kind == "presentation" ? ".pptx" : kind == "workbook" ? ".xlsx" : "";
    fail(ErrorCode::LegacyFormat, file,
         "this is a legacy binary " + std::string(kind) + "; save it as " +
             (modern.empty() ? "an Office Open XML file" : modern) + " and use that file");
}

// The whole of an open file, from its start.
std::vector<std::uint8_t> readAll(std::FILE* file) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::rewind(file);
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

// The bytes of a zip source written in memory; empty when they cannot be read back.
std::vector<std::uint8_t> bytesOf(zip_source_t* source) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_source_stat(source, &st) != 0 || zip_source_open(source) != 0) {
        return {};
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.size));
    const zip_int64_t got = zip_source_read(source, bytes.data(), st.size);
    zip_source_close(source);
    if (got != static_cast<zip_int64_t>(st.size)) {
        return {};
    }
    return bytes;
}

// A zip written into memory: `out` writes into `target`, which is kept past zip_close so that
// its bytes can be read back with bytesOf. Both are null when it cannot be made.
struct MemoryZip {
    zip_source_t* target = nullptr;
    zip_t* out = nullptr;
};

MemoryZip openMemoryZip() {
    zip_error_t error;
    zip_error_init(&error);
    MemoryZip zip;
    zip.target = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip.out = zip.target ? zip_open_from_source(zip.target, ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (!zip.out) {
        if (zip.target) {
            zip_source_free(zip.target);
        }
        return {};
    }
    zip_source_keep(zip.target);
    return zip;
}

struct Entry {
    std::string name;                              // as stored in the archive (or as added)
    zip_int64_t index = -1;                        // in the source archive; -1 for an added part
    std::optional<std::string> data;               // new contents, held in memory
    std::optional<detail::Spool::Record> spooled;  // new contents, in the package's spool
    bool removed = false;
    bool storedInArchive = false;  // the source archive holds it uncompressed
    std::time_t mtime = 0;
    // Its bytes in the source archive were read whole and matched their CRC; an unchanged
    // part is copied into a saved package only so.
    mutable bool verified = false;

    bool fresh() const noexcept { return data || spooled; }
    void forgetContents() {
        data.reset();
        spooled.reset();
    }
};

struct CachedXml {
    std::unique_ptr<pugi::xml_document> doc;
    bool dirty = false;
};

std::string percentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
            out.push_back(
                static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16)));
            i += 2;
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

std::string folderOf(std::string_view part) {
    const auto slash = part.rfind('/');
    return slash == std::string_view::npos ? std::string() : std::string(part.substr(0, slash));
}

std::vector<std::string> splitPath(std::string_view path) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto slash = path.find('/', start);
        const auto end = slash == std::string_view::npos ? path.size() : slash;
        if (end > start) {
            pieces.emplace_back(path.substr(start, end - start));
        }
        if (slash == std::string_view::npos) {
            break;
        }
        start = slash + 1;
    }
    return pieces;
}

std::string extensionOf(std::string_view part) {
    const auto dot = part.rfind('.');
    const auto slash = part.rfind('/');
    if (dot == std::string_view::npos || (slash != std::string_view::npos && dot < slash)) {
        return {};
    }
    return asciiLower(part.substr(dot + 1));
}

// Images whose own format is compressed: deflating them again gains nothing. Packages (an
// embedded .xlsx) are deflated all the same, as PowerPoint writes them: their entry headers,
// names and directory still shrink by a fifth.
bool isCompressedFormat(std::string_view part) {
    static constexpr std::string_view kPacked[] = {"png", "jpg", "jpeg", "gif"};
    const std::string extension = extensionOf(part);
    return std::find(std::begin(kPacked), std::end(kPacked), extension) != std::end(kPacked);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Relationships

const Relationship* Relationships::find(std::string_view id) const {
    for (const auto& rel : items_) {
        if (rel.id == id) {
            return &rel;
        }
    }
    return nullptr;
}

const Relationship* Relationships::findByType(std::string_view typeSuffix) const {
    for (const auto& rel : items_) {
        if (rel.type.ends_with(typeSuffix)) {
            return &rel;
        }
    }
    return nullptr;
}

std::vector<const Relationship*> Relationships::allByType(std::string_view typeSuffix) const {
    std::vector<const Relationship*> found;
    for (const auto& rel : items_) {
        if (rel.type.ends_with(typeSuffix)) {
            found.push_back(&rel);
        }
    }
    return found;
}

std::string Relationships::add(std::string type, std::string target, bool external) {
    long highest = 0;
    for (const auto& rel : items_) {
        if (rel.id.starts_with("rId")) {
            highest = std::max(highest, std::strtol(rel.id.c_str() + 3, nullptr, 10));
        }
    }
    std::string id = "rId" + std::to_string(highest + 1);
    items_.push_back(Relationship{id, std::move(type), std::move(target), external});
    return id;
}

void Relationships::remove(std::string_view id) {
    std::erase_if(items_, [&](const Relationship& rel) { return rel.id == id; });
}

std::string relsPartName(std::string_view sourcePart) {
    if (sourcePart.empty()) {
        return "_rels/.rels";
    }
    const std::string folder = folderOf(sourcePart);
    const std::string file(sourcePart.substr(folder.empty() ? 0 : folder.size() + 1));
    return (folder.empty() ? std::string() : folder + "/") + "_rels/" + file + ".rels";
}

std::string resolveTarget(std::string_view sourcePart, std::string_view target) {
    const std::string decoded = percentDecoded(target);
    std::vector<std::string> pieces;
    std::string_view rest = decoded;
    if (rest.starts_with('/')) {
        rest.remove_prefix(1);
    } else {
        pieces = splitPath(folderOf(sourcePart));
    }
    for (auto& piece : splitPath(rest)) {
        if (piece == ".") {
            continue;
        }
        if (piece == "..") {
            if (!pieces.empty()) {
                pieces.pop_back();
            }
            continue;
        }
        pieces.push_back(std::move(piece));
    }
    std::string out;
    for (const auto& piece : pieces) {
        if (!out.empty()) {
            out += '/';
        }
        out += piece;
    }
    return out;
}

std::string relativeTarget(std::string_view sourcePart, std::string_view partName) {
    const auto from = splitPath(folderOf(sourcePart));
    const auto to = splitPath(partName);
    std::size_t common = 0;
    while (common < from.size() && common + 1 < to.size() && from[common] == to[common]) {
        ++common;
    }
    std::string out;
    for (std::size_t i = common; i < from.size(); ++i) {
        out += "../";
    }
    for (std::size_t i = common; i < to.size(); ++i) {
        out += to[i] + (i + 1 < to.size() ? "/" : "");
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Package

struct Package::Impl {
    std::string displayName;
    std::string kind;
    std::vector<std::uint8_t> bytes;  // the archive, when it was opened from memory
    zip_t* archive = nullptr;
    // The file the archive is read from, when it was opened from one, and how it was when
    // opened: parts are read from it as they are asked for, so it must not change meanwhile.
    int fileDescriptor = -1;
    struct stat opened {};
    // Changed parts of a package opened from a file go to a spool, made on first use; a
    // package opened from memory is small and short-lived and keeps them in memory.
    bool spoolChanges = false;
    std::unique_ptr<detail::Spool> spool;
    std::vector<Entry> entries;
    std::unordered_map<std::string, std::size_t> byName;  // lower-cased part name -> entry
    std::unordered_map<std::string, CachedXml> xmlCache;  // lower-cased part name -> tree
    // Lower-cased part name (no leading slash) -> content type of its Override; rebuilt after
    // any change of [Content_Types].xml.
    std::optional<std::unordered_map<std::string, std::string>> overrides;

    ~Impl() {
        if (archive) {
            zip_discard(archive);  // closes the file too
        }
    }

    Entry* entry(std::string_view part) {
        auto it = byName.find(asciiLower(part));
        if (it == byName.end() || entries[it->second].removed) {
            return nullptr;
        }
        return &entries[it->second];
    }
    const Entry* entry(std::string_view part) const { return const_cast<Impl*>(this)->entry(part); }

    // Adds every part to the archive being written; an error text, or empty on success.
    // Trees that are serialised on the way are kept in `serialised` until the archive is
    // closed.
    std::string addEntries(zip_t* out, std::vector<std::string>& serialised) const;

    // Fails when another program has written into the file since it was opened: the parts
    // not read yet would come from a different file. A file replaced by a new one (as office
    // suites and this package's own saves do) leaves the opened one as it was.
    void checkUnchanged() const {
        if (fileDescriptor < 0) {
            return;
        }
        struct stat now {};
        if (::fstat(fileDescriptor, &now) != 0 || now.st_size != opened.st_size ||
            now.st_mtim.tv_sec != opened.st_mtim.tv_sec ||
            now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec) {
            fail(ErrorCode::FileAccess, displayName,
                 "was changed by another program while it was open; open it again");
        }
    }

    // Sets the new contents of a part: in the spool when there is one, else in memory.
    void keep(Entry& e, std::string contents) {
        e.forgetContents();
        if (spoolChanges && !spool) {
            spool = detail::Spool::create();
            spoolChanges = spool != nullptr;
        }
        if (spool) {
            e.spooled = spool->append(contents, !isCompressedFormat(e.name));
        }
        if (!e.spooled) {
            e.data = std::move(contents);
        }
    }

    // Sets a tree as the new contents of a part: deflated into the spool as it is written out
    // where it can be, so that a large part's text is never held whole; else as keep does.
    void keepXml(Entry& e, const pugi::xml_document& doc) {
        if (spoolChanges && !spool) {
            spool = detail::Spool::create();
            spoolChanges = spool != nullptr;
        }
        if (spool && !isCompressedFormat(e.name)) {
            if (auto deflated = detail::deflateXml(doc)) {
                e.forgetContents();
                e.spooled = spool->append(*deflated);
                if (e.spooled) {
                    return;
                }
            }
        }
        keep(e, toXml(doc));
    }

    std::string readEntry(const Entry& e) const {
        if (e.data) {
            return *e.data;
        }
        if (e.spooled) {
            auto contents = spool->read(*e.spooled);
            if (!contents) {
                fail(ErrorCode::CorruptPart, displayName,
                     e.name + ": cannot be read back from the temporary file that holds it");
            }
            return std::move(*contents);
        }
        return readIndex(e);
    }

    // The part's bytes from the source archive, read to their end so that the zip library
    // compares them with the CRC the archive records; a mismatch is an error, never data.
    std::string readIndex(const Entry& e) const {
        checkUnchanged();
        zip_stat_t st;
        zip_stat_init(&st);
        const auto index = static_cast<zip_uint64_t>(e.index);
        if (zip_stat_index(archive, index, 0, &st) != 0) {
            fail(ErrorCode::CorruptPart, displayName, e.name + ": cannot be read");
        }
        zip_file_t* file = zip_fopen_index(archive, index, 0);
        if (!file) {
            fail(ErrorCode::CorruptPart, displayName,
                 e.name + ": cannot be read (" + zip_strerror(archive) + ")");
        }
        std::string data(static_cast<std::size_t>(st.size), '\0');
        const zip_int64_t got = zip_fread(file, data.data(), st.size);
        char beyond = 0;
        // The check runs when the end is reached: one more read must find nothing.
        const bool whole =
            got == static_cast<zip_int64_t>(st.size) && zip_fread(file, &beyond, 1) == 0;
        const bool crcMismatch =
            !whole && zip_error_code_zip(zip_file_get_error(file)) == ZIP_ER_CRC;
        std::string why = whole ? "" : zip_file_strerror(file);
        zip_fclose(file);
        if (crcMismatch) {
            fail(ErrorCode::CorruptPart, displayName,
                 e.name +
                     ": is damaged: its bytes do not match the checksum (CRC) that the file "
                     "records for them");
        }
        if (!whole) {
            fail(ErrorCode::CorruptPart, displayName, e.name + ": cannot be read (" + why + ")");
        }
        e.verified = true;
        return data;
    }

    // Reads every part that a save would copy unchanged and has not been read yet, so that a
    // damaged one fails the save before anything is written.
    void verifyUnchanged() const {
        for (const auto& e : entries) {
            const bool copied = !e.removed && !e.fresh() && e.index >= 0;
            const auto cached = xmlCache.find(asciiLower(e.name));
            const bool dirtyTree = cached != xmlCache.end() && cached->second.dirty;
            if (copied && !dirtyTree && !e.verified) {
                readIndex(e);
            }
        }
    }
};

Package::Package(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Package::Package(Package&&) noexcept = default;
Package& Package::operator=(Package&&) noexcept = default;
Package::~Package() = default;

namespace {

void indexEntries(Package::Impl& impl);

// Opens the archive of impl from source and indexes its entries; takes source in any case.
void openArchive(Package::Impl& impl, zip_source_t* source) {
    zip_error_t error;
    zip_error_init(&error);
    impl.archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    zip_error_fini(&error);
    if (!impl.archive) {
        zip_source_free(source);
        fail(ErrorCode::NotADocument, impl.displayName,
             "not a " + impl.kind + ": the file is not a zip package");
    }
    indexEntries(impl);
    if (!impl.entry(kContentTypesPart)) {
        fail(ErrorCode::NotADocument, impl.displayName,
             "not a " + impl.kind +
                 ": the zip holds no [Content_Types].xml, so it is no Office Open XML package");
    }
}

// The first bytes of a file, to tell a compound file from a zip.
std::vector<std::uint8_t> headOf(std::FILE* file) {
    std::vector<std::uint8_t> head(8);
    head.resize(std::fread(head.data(), 1, head.size(), file));
    std::rewind(file);
    return head;
}

}  // namespace

Package Package::openFile(const std::string& path, std::string_view kind) {
    auto impl = std::make_unique<Impl>();
    impl->displayName = fileNameOf(path);
    impl->kind = std::string(kind);
    const auto& name = impl->displayName;
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status)) {
        fail(ErrorCode::FileNotFound, name, "no such file (" + path + ")");
    }
    if (std::filesystem::is_directory(status)) {
        fail(ErrorCode::FileAccess, name, "is a folder, not a " + std::string(kind));
    }
    // The file stays open while the package is, and its parts are read from it when they are
    // first asked for: only what is used is ever in memory.
    std::FILE* file = std::fopen(path.c_str(), "rbe");
    if (!file) {
        fail(ErrorCode::FileAccess, name, "cannot be read: " + std::string(std::strerror(errno)));
    }
    struct stat opened {};
    if (::fstat(::fileno(file), &opened) != 0 || opened.st_size == 0) {
        std::fclose(file);
        fail(ErrorCode::NotADocument, name, "the file is empty, not a " + std::string(kind));
    }
    if (compound::isCompoundFile(headOf(file))) {
        const auto bytes = readAll(file);
        std::fclose(file);
        failCompoundFile(bytes, name, kind);
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
    zip_error_fini(&error);
    if (!source) {
        std::fclose(file);
        fail(ErrorCode::FileAccess, name, "cannot be read as a zip package");
    }
    impl->fileDescriptor = ::fileno(file);
    impl->opened = opened;
    impl->spoolChanges = true;
    openArchive(*impl, source);
    return Package(std::move(impl));
}

Package Package::openBytes(std::vector<std::uint8_t> bytes, std::string displayName,
                           std::string_view kind) {
    auto impl = std::make_unique<Impl>();
    impl->displayName = std::move(displayName);
    impl->kind = std::string(kind);
    impl->bytes = std::move(bytes);
    const auto& name = impl->displayName;
    if (impl->bytes.empty()) {
        fail(ErrorCode::NotADocument, name, "the file is empty, not a " + std::string(kind));
    }
    if (compound::isCompoundFile(impl->bytes)) {
        failCompoundFile(impl->bytes, name, kind);
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        zip_source_buffer_create(impl->bytes.data(), impl->bytes.size(), 0, &error);
    zip_error_fini(&error);
    if (!source) {
        fail(ErrorCode::NotADocument, name, "cannot be read as a zip package");
    }
    openArchive(*impl, source);
    return Package(std::move(impl));
}

namespace {

void indexEntries(Package::Impl& impl) {
    const zip_int64_t count = zip_get_num_entries(impl.archive, 0);
    if (count < 0 || static_cast<std::uint64_t>(count) > Package::kMaxEntries) {
        fail(ErrorCode::TooLarge, impl.displayName,
             "the package holds more than " + std::to_string(Package::kMaxEntries) + " entries");
    }
    impl.entries.reserve(static_cast<std::size_t>(count));
    impl.byName.reserve(static_cast<std::size_t>(count));
    std::uint64_t total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(impl.archive, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
            !(st.valid & ZIP_STAT_NAME)) {
            fail(ErrorCode::CorruptPart, impl.displayName,
                 "zip entry " + std::to_string(i) + " cannot be read");
        }
        std::string name = st.name;
        if (name.empty() || name.back() == '/') {
            continue;  // a folder entry
        }
        if (st.size > Package::kMaxPartUncompressed) {
            fail(ErrorCode::TooLarge, impl.displayName,
                 name + ": would expand to " + std::to_string(st.size) +
                     " bytes, more than a sane part holds");
        }
        total += st.size;
        if (total > Package::kMaxTotalUncompressed) {
            fail(ErrorCode::TooLarge, impl.displayName,
                 "the package would expand beyond " +
                     std::to_string(Package::kMaxTotalUncompressed >> 20) + " MiB");
        }
        if (name.starts_with('/')) {
            name.erase(0, 1);
        }
        const std::string key = asciiLower(name);
        if (impl.byName.contains(key)) {
            continue;  // a duplicate entry name; the first one wins, as readers do
        }
        impl.byName.emplace(key, impl.entries.size());
        Entry entry;
        entry.name = name;
        entry.index = i;
        entry.mtime = st.mtime;
        entry.storedInArchive = (st.valid & ZIP_STAT_COMP_METHOD) && st.comp_method == ZIP_CM_STORE;
        impl.entries.push_back(std::move(entry));
    }
}

}  // namespace

const std::string& Package::displayName() const noexcept {
    return impl_->displayName;
}

bool Package::has(std::string_view part) const {
    return impl_->entry(part) != nullptr;
}

std::string Package::read(std::string_view part) const {
    const Entry* e = impl_->entry(part);
    if (!e) {
        fail(ErrorCode::CorruptPart, impl_->displayName,
             std::string(part) + ": the part does not exist");
    }
    auto cached = impl_->xmlCache.find(asciiLower(part));
    if (cached != impl_->xmlCache.end() && cached->second.dirty) {
        return toXml(*cached->second.doc);
    }
    return impl_->readEntry(*e);
}

pugi::xml_document Package::readXml(std::string_view part) const {
    return parseXml(read(part), impl_->displayName, part);
}

pugi::xml_document& Package::xml(std::string_view part) {
    const std::string key = asciiLower(part);
    auto it = impl_->xmlCache.find(key);
    if (it != impl_->xmlCache.end()) {
        return *it->second.doc;
    }
    auto doc = std::make_unique<pugi::xml_document>(readXml(part));
    auto& slot = impl_->xmlCache[key];
    slot.doc = std::move(doc);
    return *slot.doc;
}

void Package::markDirty(std::string_view part) {
    if (asciiLower(part) == asciiLower(kContentTypesPart)) {
        impl_->overrides.reset();
    }
    auto it = impl_->xmlCache.find(asciiLower(part));
    if (it == impl_->xmlCache.end()) {
        return;
    }
    it->second.dirty = true;
    if (Entry* e = impl_->entry(part)) {
        e->forgetContents();  // the tree is now the part's contents
    }
}

void Package::release(std::string_view part) {
    auto it = impl_->xmlCache.find(asciiLower(part));
    if (it == impl_->xmlCache.end()) {
        return;
    }
    if (it->second.dirty) {
        if (Entry* e = impl_->entry(part)) {
            impl_->keepXml(*e, *it->second.doc);
        }
    }
    impl_->xmlCache.erase(it);
}

void Package::write(std::string_view part, std::string bytes) {
    std::string name(part);
    if (name.starts_with('/')) {
        name.erase(0, 1);
    }
    const std::string key = asciiLower(name);
    impl_->xmlCache.erase(key);
    if (key == asciiLower(kContentTypesPart)) {
        impl_->overrides.reset();
    }
    if (auto it = impl_->byName.find(key); it != impl_->byName.end()) {
        Entry& e = impl_->entries[it->second];
        impl_->keep(e, std::move(bytes));
        e.removed = false;
        return;
    }
    impl_->byName.emplace(key, impl_->entries.size());
    Entry added;
    added.name = name;
    impl_->keep(added, std::move(bytes));
    impl_->entries.push_back(std::move(added));
}

void Package::writeXml(std::string_view part, const pugi::xml_document& doc) {
    write(part, toXml(doc));
}

void Package::remove(std::string_view part) {
    Entry* e = impl_->entry(part);
    if (!e) {
        return;
    }
    e->removed = true;
    e->forgetContents();
    impl_->xmlCache.erase(asciiLower(part));
    std::string wanted = asciiLower(part);
    wanted.insert(wanted.begin(), '/');
    auto& types = xml(kContentTypesPart);
    for (auto over : children(types.document_element(), ns::kContentTypes, "Override")) {
        if (asciiLower(over.attribute("PartName").value()) == wanted) {
            types.document_element().remove_child(over);
            markDirty(kContentTypesPart);
            break;
        }
    }
}

std::vector<std::string> Package::partNames() const {
    std::vector<std::string> names;
    for (const auto& e : impl_->entries) {
        if (!e.removed) {
            names.push_back(e.name);
        }
    }
    return names;
}

bool Package::changed(std::string_view part) const {
    auto it = impl_->byName.find(asciiLower(part));
    if (it == impl_->byName.end()) {
        return false;
    }
    const Entry& e = impl_->entries[it->second];
    if (e.removed || e.fresh() || e.index < 0) {
        return true;
    }
    auto cached = impl_->xmlCache.find(asciiLower(part));
    return cached != impl_->xmlCache.end() && cached->second.dirty;
}

std::string Package::contentType(std::string_view part) const {
    auto& types = const_cast<Package*>(this)->xml(kContentTypesPart);
    if (!impl_->overrides) {
        // Looked up for every part that is read, so the Overrides are indexed once.
        auto& index = impl_->overrides.emplace();
        for (auto over : children(types.document_element(), ns::kContentTypes, "Override")) {
            std::string name = asciiLower(over.attribute("PartName").value());
            if (name.starts_with('/')) {
                name.erase(0, 1);
            }
            index.emplace(std::move(name), over.attribute("ContentType").value());
        }
    }
    if (auto it = impl_->overrides->find(asciiLower(part)); it != impl_->overrides->end()) {
        return it->second;
    }
    const std::string extension = extensionOf(part);
    for (auto def : children(types.document_element(), ns::kContentTypes, "Default")) {
        if (asciiLower(def.attribute("Extension").value()) == extension) {
            return def.attribute("ContentType").value();
        }
    }
    return {};
}

void Package::setContentType(std::string_view part, std::string_view type) {
    auto& types = xml(kContentTypesPart);
    auto root = types.document_element();
    std::string wanted = asciiLower(part);
    wanted.insert(wanted.begin(), '/');
    for (auto over : children(root, ns::kContentTypes, "Override")) {
        if (asciiLower(over.attribute("PartName").value()) == wanted) {
            over.attribute("ContentType").set_value(std::string(type).c_str());
            markDirty(kContentTypesPart);
            return;
        }
    }
    const std::string extension = extensionOf(part);
    for (auto def : children(root, ns::kContentTypes, "Default")) {
        if (asciiLower(def.attribute("Extension").value()) == extension &&
            def.attribute("ContentType").value() == type) {
            return;  // the Default already says so
        }
    }
    auto over = insertInOrder(root, ns::kContentTypes, "Override", kTypesOrder);
    setAttribute(over, "PartName", "/" + std::string(part));
    setAttribute(over, "ContentType", type);
    markDirty(kContentTypesPart);
}

void Package::ensureDefault(std::string_view extension, std::string_view type) {
    auto& types = xml(kContentTypesPart);
    auto root = types.document_element();
    for (auto def : children(root, ns::kContentTypes, "Default")) {
        if (asciiLower(def.attribute("Extension").value()) == asciiLower(extension)) {
            return;
        }
    }
    auto def = insertInOrder(root, ns::kContentTypes, "Default", kTypesOrder);
    setAttribute(def, "Extension", extension);
    setAttribute(def, "ContentType", type);
    markDirty(kContentTypesPart);
}

// Relationship parts are many and small, and a parsed tree costs far more than the text, so
// they are parsed when asked for and written back as text, never kept as trees.
Relationships Package::relationships(std::string_view sourcePart) const {
    Relationships rels;
    const std::string name = relsPartName(sourcePart);
    if (!has(name)) {
        return rels;
    }
    const pugi::xml_document doc = readXml(name);
    for (auto node : children(doc.document_element(), ns::kPackageRelationships, "Relationship")) {
        rels.items().push_back(
            Relationship{node.attribute("Id").value(), node.attribute("Type").value(),
                         node.attribute("Target").value(),
                         std::string_view(node.attribute("TargetMode").value()) == "External"});
    }
    return rels;
}

void Package::setRelationships(std::string_view sourcePart, const Relationships& rels) {
    const std::string name = relsPartName(sourcePart);
    if (rels.empty()) {
        remove(name);
        return;
    }
    const bool fresh = !has(name);
    pugi::xml_document doc;
    if (fresh) {
        auto decl = doc.append_child(pugi::node_declaration);
        decl.append_attribute("version") = "1.0";
        decl.append_attribute("encoding") = "UTF-8";
        decl.append_attribute("standalone") = "yes";
        doc.append_child("Relationships").append_attribute("xmlns") =
            std::string(ns::kPackageRelationships).c_str();
    } else {
        doc = readXml(name);
    }
    auto root = doc.document_element();
    root.remove_children();
    for (const auto& rel : rels.all()) {
        auto node = appendChild(root, ns::kPackageRelationships, "Relationship");
        setAttribute(node, "Id", rel.id);
        setAttribute(node, "Type", rel.type);
        setAttribute(node, "Target", rel.target);
        if (rel.external) {
            setAttribute(node, "TargetMode", "External");
        }
    }
    write(name, toXml(doc));
    if (fresh) {
        ensureDefault("rels", "application/vnd.openxmlformats-package.relationships+xml");
    }
}

std::string Package::freePartName(std::string_view pattern) const {
    const auto hash = pattern.find('#');
    for (int n = 1;; ++n) {
        std::string candidate(pattern);
        if (hash != std::string_view::npos) {
            candidate.replace(hash, 1, std::to_string(n));
        }
        if (!has(candidate)) {
            return candidate;
        }
    }
}

namespace {

// Office's own date for every new entry: 1980-01-01 00:00, the earliest a zip can hold.
std::time_t dosEpoch() {
    std::tm epoch{};
    epoch.tm_year = 80;
    epoch.tm_mday = 1;
    epoch.tm_isdst = -1;
    return std::mktime(&epoch);
}

}  // namespace

namespace {

// The source of a part with new contents, and the compression to ask of the zip writer for
// it (none when the source hands over deflated bytes that are copied as they are).
struct FreshSource {
    zip_source_t* source = nullptr;
    std::optional<zip_int32_t> compression;
};

// Text parts and packages are deflated here, with one stream for the whole save; compressed
// images are stored. The bytes must outlive the archive unless the source brings its own.
FreshSource freshSource(zip_t* out, std::string_view bytes, std::string_view name) {
    const bool compressedFormat = isCompressedFormat(name);
    if (!compressedFormat && !bytes.empty()) {
        if (auto deflated = detail::deflatePart(bytes)) {
            return {detail::deflatedSource(out, std::move(*deflated)), std::nullopt};
        }
    }
    return {zip_source_buffer(out, bytes.data(), bytes.size(), 0),
            compressedFormat ? ZIP_CM_STORE : ZIP_CM_DEFLATE};
}

}  // namespace

std::string Package::Impl::addEntries(zip_t* out, std::vector<std::string>& serialised) const {
    const std::time_t fixedTime = dosEpoch();
    for (const auto& e : entries) {
        if (e.removed) {
            continue;
        }
        FreshSource fresh;
        auto cached = xmlCache.find(asciiLower(e.name));
        const bool dirtyTree = cached != xmlCache.end() && cached->second.dirty;
        std::optional<detail::DeflatedPart> deflatedTree;
        if (dirtyTree && !isCompressedFormat(e.name)) {
            // Deflated as it is written out: a large part's text is never held whole.
            deflatedTree = detail::deflateXml(*cached->second.doc);
        }
        if (deflatedTree) {
            fresh.source = detail::deflatedSource(out, std::move(*deflatedTree));
        } else if (dirtyTree) {
            serialised.push_back(toXml(*cached->second.doc));
            fresh = freshSource(out, serialised.back(), e.name);
            if (!fresh.compression) {
                serialised.pop_back();  // the source holds the deflated copy
            }
        } else if (e.data) {
            fresh = freshSource(out, *e.data, e.name);
        } else if (e.spooled) {
            // Deflated (or stored) when it was spooled: copied as it is.
            fresh.source = spool->source(out, *e.spooled);
            if (!e.spooled->deflated) {
                fresh.compression = ZIP_CM_STORE;
            }
        } else {
            // Unchanged: copy the compressed bytes as they are, and a stored part stays stored
            // (the writer would deflate it otherwise).
            fresh.source = zip_source_zip(out, archive, static_cast<zip_uint64_t>(e.index),
                                          ZIP_FL_COMPRESSED, 0, -1);
            if (e.storedInArchive) {
                fresh.compression = ZIP_CM_STORE;
            }
        }
        if (!fresh.source) {
            return e.name + ": " + zip_strerror(out);
        }
        const zip_int64_t index = zip_file_add(out, e.name.c_str(), fresh.source, ZIP_FL_ENC_UTF_8);
        if (index < 0) {
            zip_source_free(fresh.source);
            return e.name + ": " + zip_strerror(out);
        }
        const bool changedPart = dirtyTree || e.fresh();
        zip_file_set_mtime(out, static_cast<zip_uint64_t>(index), changedPart ? fixedTime : e.mtime,
                           0);
        if (fresh.compression) {
            const bool store = *fresh.compression == ZIP_CM_STORE;
            zip_set_file_compression(out, static_cast<zip_uint64_t>(index), *fresh.compression,
                                     store ? 0 : 6);
        }
    }
    return {};
}

std::vector<std::uint8_t> Package::saveBytes() const {
    impl_->checkUnchanged();
    impl_->verifyUnchanged();
    auto [target, out] = openMemoryZip();
    if (!out) {
        fail(ErrorCode::WriteFailed, impl_->displayName, "cannot make the zip package");
    }

    std::vector<std::string> serialised;  // kept alive until zip_close has read the buffers
    std::string problem = impl_->addEntries(out, serialised);
    if (problem.empty() && zip_close(out) != 0) {
        problem = zip_strerror(out);
    }
    if (!problem.empty()) {
        zip_discard(out);
        zip_source_free(target);
        fail(ErrorCode::WriteFailed, impl_->displayName, "cannot be saved: " + problem);
    }

    std::vector<std::uint8_t> bytes = bytesOf(target);
    zip_source_free(target);
    impl_->checkUnchanged();  // the unchanged parts were copied from the file just now
    if (bytes.empty()) {
        fail(ErrorCode::WriteFailed, impl_->displayName, "cannot read back the saved package");
    }
    return bytes;
}

void Package::saveFile(const std::string& path) const {
    // The zip is written straight into a file beside the target, which then replaces the
    // target, so the package is never held twice in memory and a failure leaves the earlier
    // file as it was.
    impl_->checkUnchanged();
    impl_->verifyUnchanged();
    detail::OutputFile file(path);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = file.source(&error);
    zip_t* out = target ? zip_open_from_source(target, ZIP_TRUNCATE, &error) : nullptr;
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    if (!out) {
        if (target) {
            zip_source_free(target);
        }
        fail(ErrorCode::WriteFailed, fileNameOf(path), "cannot be written: " + why);
    }
    std::vector<std::string> serialised;
    std::string problem = impl_->addEntries(out, serialised);
    if (problem.empty() && zip_close(out) != 0) {
        problem = zip_strerror(out);
    }
    if (!problem.empty()) {
        zip_discard(out);
        fail(ErrorCode::WriteFailed, fileNameOf(path), "cannot be written: " + problem);
    }
    impl_->checkUnchanged();  // the unchanged parts were copied from the file just now
    file.commit();
}

}  // namespace office::package
