#include "office/compound/compound_file.h"

#include <glib.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "office/binary/records.h"
#include "office/compound/structure_check.h"
#include "office/error.h"

namespace office::compound {

namespace {

constexpr std::uint8_t kSignature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;

// Owners of libgsf's objects and errors.
struct Unref {
    void operator()(gpointer object) const { g_object_unref(object); }
};
template <class T>
using GsfPtr = std::unique_ptr<T, Unref>;

[[noreturn]] void fail(ErrorCode code, const std::string& file, const std::string& problem) {
    throw Error(code, file + ": " + problem);
}

std::string inQuotes(std::string_view path) {
    return "\"" + printableName(path) + "\"";
}

constexpr std::uint32_t kNoEntry = 0xFFFFFFFF;
constexpr std::size_t kEntrySize = 128;
enum EntryType : std::uint8_t { kStorage = 1, kStream = 2, kRoot = 5 };

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// What a rewrite writes: the replaced and added streams, the paths left out and the class ids
// of storages that the source lacks or that are to change.
struct Changes {
    const std::map<std::string, Bytes>& replace;
    const std::set<std::string>& remove;
    const std::map<std::string, ClassId>& classIds;
};

// The file a rewrite copies from: its entries, the entries held by each storage entry and by
// the root, in their order, and a way to read a stream entry.
struct Source {
    const std::vector<File::Entry>& entries;
    const std::vector<std::vector<std::size_t>>& children;
    const std::vector<std::size_t>& top;
    ClassId rootId;
    std::function<Bytes(std::size_t)> read;
};

// Writes a compound file into memory with libgsf, storage by storage.
class Writer {
public:
    Writer(const Changes& changes, const std::string& name) : changes_(changes), name_(name) {}

    Bytes write(const Source* source) {
        GsfPtr<GsfOutput> sink(gsf_output_memory_new());
        GsfPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
        if (!root) {
            fail(ErrorCode::WriteFailed, name_, "cannot start a compound file");
        }
        source_ = source;
        ClassId rootId = source ? source->rootId : ClassId{};
        if (const auto it = changes_.classIds.find(""); it != changes_.classIds.end()) {
            rootId = it->second;
        }
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(root.get()), rootId.data());
        storage(root.get(), source ? &source->top : nullptr, "");
        close(GSF_OUTPUT(root.get()), "the root storage");
        if (!gsf_output_is_closed(sink.get())) {
            close(sink.get(), "the compound file");
        }
        const guint8* data = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(sink.get()));
        const auto size = static_cast<std::size_t>(gsf_output_size(sink.get()));
        return data ? Bytes(data, data + size) : Bytes{};
    }

private:
    void close(GsfOutput* output, const std::string& what) {
        if (!gsf_output_close(output)) {
            const GError* error = gsf_output_error(output);
            fail(ErrorCode::WriteFailed, name_,
                 "cannot write " + what + (error ? std::string(": ") + error->message : ""));
        }
    }

    GsfPtr<GsfOutput> child(GsfOutfile* parent, const std::string& name, bool storage,
                            const std::string& path) {
        GsfPtr<GsfOutput> out(gsf_outfile_new_child(parent, name.c_str(), storage));
        if (!out) {
            fail(ErrorCode::WriteFailed, name_, "cannot add " + inQuotes(path));
        }
        return out;
    }

    void put(GsfOutput* out, const Bytes& bytes, const std::string& path) {
        for (std::size_t at = 0; at < bytes.size(); at += kCopyChunk) {
            const std::size_t n = std::min(kCopyChunk, bytes.size() - at);
            if (!gsf_output_write(out, n, bytes.data() + at)) {
                fail(ErrorCode::WriteFailed, name_, "cannot write stream " + inQuotes(path));
            }
        }
    }

    // `entry` is the source's entry of that path, or none.
    void stream(GsfOutfile* parent, const std::string& name, const std::string& path,
                const std::size_t* entry) {
        GsfPtr<GsfOutput> out = child(parent, name, false, path);
        if (const auto it = changes_.replace.find(path); it != changes_.replace.end()) {
            put(out.get(), it->second, path);
        } else if (entry) {
            put(out.get(), source_->read(*entry), path);
        }
        close(out.get(), "stream " + inQuotes(path));
    }

    void subStorage(GsfOutfile* parent, const std::string& name, const std::string& path,
                    const std::size_t* entry) {
        GsfPtr<GsfOutput> out = child(parent, name, true, path);
        ClassId id = entry ? source_->entries[*entry].classId : ClassId{};
        if (const auto it = changes_.classIds.find(path); it != changes_.classIds.end()) {
            id = it->second;
        }
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out.get()), id.data());
        storage(GSF_OUTFILE(out.get()), entry ? &source_->children[*entry] : nullptr, path + "/");
        close(out.get(), "storage " + inQuotes(path));
    }

    // The entries of one storage: first those of the source, in its order, then the added ones.
    void storage(GsfOutfile* out, const std::vector<std::size_t>* held, const std::string& prefix) {
        std::set<std::string> written;
        static const std::vector<std::size_t> none;
        for (const std::size_t& entry : held ? *held : none) {
            const std::string& path = source_->entries[entry].path;
            const std::string name = path.substr(prefix.size());
            written.insert(name);
            if (changes_.remove.contains(path)) {
                continue;
            }
            if (source_->entries[entry].storage) {
                subStorage(out, name, path, &entry);
            } else {
                stream(out, name, path, &entry);
            }
        }
        const auto& replace = changes_.replace;
        for (auto it = replace.lower_bound(prefix);
             it != replace.end() && startsWith(it->first, prefix); ++it) {
            const std::string rest = it->first.substr(prefix.size());
            const std::string name = rest.substr(0, rest.find('/'));
            const std::string path = prefix + name;
            if (!written.insert(name).second || changes_.remove.contains(path)) {
                continue;
            }
            if (name == rest) {
                stream(out, name, path, nullptr);
            } else {
                subStorage(out, name, path, nullptr);
            }
        }
    }

    const Changes& changes_;
    const std::string& name_;
    const Source* source_ = nullptr;
};

// Refuses replaced paths that cannot be written: empty names, a path that is a stream and a
// storage at once, or (against the source's entries) a stream where a storage is.
void checkPaths(const std::map<std::string, Bytes>& replace,
                const std::map<std::string, bool, std::less<>>& storages, const std::string& name) {
    for (const auto& [path, bytes] : replace) {
        if (path.empty() || path.front() == '/' || path.back() == '/' ||
            path.find("//") != std::string::npos) {
            fail(ErrorCode::InvalidArgument, name, "cannot write a stream at " + inQuotes(path));
        }
        if (const auto it = storages.find(path); it != storages.end() && it->second) {
            fail(ErrorCode::InvalidArgument, name,
                 inQuotes(path) + " is a storage and cannot be replaced by a stream");
        }
        for (std::size_t slash = path.find('/'); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            const std::string parent = path.substr(0, slash);
            const auto it = storages.find(parent);
            if (replace.contains(parent) || (it != storages.end() && !it->second)) {
                fail(ErrorCode::InvalidArgument, name,
                     inQuotes(parent) + " is a stream and cannot hold " + inQuotes(path));
            }
        }
    }
}

// An entry's name as the directory gives it: UTF-16LE up to a zero, or, as some writers store
// it, UTF-8 whose closing zero the name length counts. Empty when the length is out of range
// or the UTF-16 is broken (a lone surrogate).
std::string entryName(std::span<const std::uint8_t> entry) {
    const std::size_t length = binary::le16(&entry[0x40]);
    if (length == 0 || length > 64) {
        return {};
    }
    const auto* text = reinterpret_cast<const char*>(entry.data());
    if (entry[length - 1] == 0 && g_utf8_validate_len(text, length - 1, nullptr)) {
        return std::string(text, length - 1);
    }
    std::vector<gunichar2> units((length + 1) / 2 + 1, 0);
    for (std::size_t i = 0; 2 * i < length; ++i) {
        units[i] = binary::le16(&entry[2 * i]);
    }
    gchar* utf8 = g_utf16_to_utf8(units.data(), -1, nullptr, nullptr, nullptr);
    std::string name = utf8 ? utf8 : "";
    g_free(utf8);
    return name;
}

// The order of the entries of a storage: shorter names first, then by their UTF-16 code units
// in upper case.
std::u16string sortingKey(const std::string& name) {
    std::u16string key;
    for (const char* p = name.c_str(); *p; p = g_utf8_next_char(p)) {
        const gunichar c = g_utf8_get_char(p);
        if (c < 0x10000) {
            key.push_back(static_cast<char16_t>(g_unichar_toupper(c)));
        } else {
            key.push_back(static_cast<char16_t>((c - 0x10000) / 0x400 + 0xD800));
            key.push_back(static_cast<char16_t>((c - 0x10000) % 0x400 + 0xDC00));
        }
    }
    return key;
}

bool keyBefore(const std::u16string& a, const std::u16string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

bool isCompoundFile(std::span<const std::uint8_t> head) {
    return head.size() >= sizeof kSignature &&
           std::equal(std::begin(kSignature), std::end(kSignature), head.begin());
}

bool isEncryptedPackage(std::span<const std::uint8_t> bytes) {
    if (!isCompoundFile(bytes)) {
        return false;
    }
    try {
        return File::openBytes(Bytes(bytes.begin(), bytes.end()), "").hasStream("EncryptedPackage");
    } catch (const Error&) {
        return false;
    }
}

std::string classIdText(const ClassId& id) {
    char text[40];
    std::snprintf(text, sizeof text,
                  "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id[3],
                  id[2], id[1], id[0], id[5], id[4], id[7], id[6], id[8], id[9], id[10], id[11],
                  id[12], id[13], id[14], id[15]);
    return text;
}

std::string printableName(std::string_view name) {
    std::string text;
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20) {
            text += "\\" + std::to_string(static_cast<int>(c));
        } else {
            text.push_back(c);
        }
    }
    return text;
}

Bytes create(const std::map<std::string, Bytes>& streams,
             const std::map<std::string, ClassId>& classIds) {
    const std::string name = "new compound file";
    checkPaths(streams, {}, name);
    const std::set<std::string> none;
    return Writer(Changes{streams, none, classIds}, name).write(nullptr);
}

// ---- File ---------------------------------------------------------------------------------

struct File::Impl {
    Bytes bytes;
    std::string name;
    detail::Layout layout;
    ClassId rootId{};
    std::vector<Entry> entries;
    std::vector<std::uint32_t> ids;                  // of each entry: its directory entry
    std::vector<std::vector<std::size_t>> children;  // of each storage entry, in order
    std::vector<std::size_t> top;                    // the entries of the root
    std::map<std::string, std::size_t, std::less<>> byPath;

    std::span<const std::uint8_t> dirent(std::uint32_t id) const {
        const std::size_t perSector = layout.sectorSize / kEntrySize;
        const std::size_t at =
            (layout.directory[id / perSector] + std::size_t{1}) * layout.sectorSize +
            (id % perSector) * kEntrySize;
        return std::span<const std::uint8_t>(bytes).subspan(at, kEntrySize);
    }
    void checkName(std::string_view entryName, const std::string& path) const;
    std::vector<std::uint32_t> held(std::uint32_t first) const;
    void list(std::uint32_t first, const std::string& prefix, std::vector<std::size_t>& into);
    bool copyMini(std::size_t entry, std::uint8_t* into) const;
    Bytes read(std::size_t entry) const;
    const Entry* find(std::string_view path) const {
        const auto it = byPath.find(path);
        return it == byPath.end() ? nullptr : &entries[it->second];
    }
};

// Paths address entries by name: a name must be there, hold no '/' and be unique in its storage,
// as the format requires.
void File::Impl::checkName(std::string_view entryName, const std::string& path) const {
    const std::string storage =
        path.size() > entryName.size() ? path.substr(0, path.size() - entryName.size() - 1) : "";
    const std::string where = storage.empty() ? "the root storage" : "storage " + inQuotes(storage);
    if (entryName.empty()) {
        fail(ErrorCode::CorruptPart, name, where + " holds an entry without a name");
    }
    if (entryName.find('/') != std::string_view::npos) {
        fail(ErrorCode::CorruptPart, name, where + " holds an entry named " + inQuotes(entryName));
    }
    if (byPath.contains(path)) {
        fail(ErrorCode::CorruptPart, name,
             where + " holds two entries named " + inQuotes(entryName));
    }
}

// The directory entries of one storage, from its child link along the sibling links: each
// entry, then those before it, then those after it. An entry of no known kind, or a stream
// longer than the whole file, is passed over with the entries it links to.
std::vector<std::uint32_t> File::Impl::held(std::uint32_t first) const {
    std::vector<std::uint32_t> found;
    std::vector<std::uint32_t> todo = {first};
    while (!todo.empty()) {
        const std::uint32_t id = todo.back();
        todo.pop_back();
        if (id == kNoEntry) {
            continue;
        }
        const auto e = dirent(id);
        const std::uint8_t type = e[0x42];
        if ((type != kStorage && type != kStream && type != kRoot) ||
            (type == kStream && binary::le32(&e[0x78]) > bytes.size())) {
            continue;
        }
        found.push_back(id);
        todo.push_back(binary::le32(&e[0x48]));
        todo.push_back(binary::le32(&e[0x44]));
    }
    return found;
}

// Lists the entries of the storage whose child link is `first`, each storage followed by what
// it holds, in the order of their names' sorting keys (of two alike, the one found later first).
void File::Impl::list(std::uint32_t first, const std::string& prefix,
                      std::vector<std::size_t>& into) {
    struct Found {
        std::uint32_t id;
        std::string name;
        std::u16string key;
    };
    std::vector<Found> found;
    for (const std::uint32_t id : held(first)) {
        std::string text = entryName(dirent(id));
        std::u16string key = sortingKey(text);
        found.push_back({id, std::move(text), std::move(key)});
    }
    std::reverse(found.begin(), found.end());
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return keyBefore(a.key, b.key); });
    for (const Found& child : found) {
        const std::string path = prefix + child.name;
        checkName(child.name, path);
        const auto e = dirent(child.id);
        Entry entry;
        entry.path = path;
        entry.storage = e[0x42] != kStream;
        if (entry.storage) {
            std::copy_n(e.begin() + 0x50, 16, entry.classId.begin());
        } else {
            entry.size = binary::le32(&e[0x78]);
        }
        const std::size_t index = entries.size();
        into.push_back(index);
        byPath.emplace(path, index);
        entries.push_back(std::move(entry));
        ids.push_back(child.id);
        children.emplace_back();
        if (entries.back().storage) {
            std::vector<std::size_t> held;
            list(binary::le32(&e[0x4C]), path + "/", held);
            children[index] = std::move(held);
        } else if (entries.back().size > 0 && entries.back().size < layout.cutoff &&
                   !copyMini(index, nullptr)) {
            fail(ErrorCode::CorruptPart, name, inQuotes(path) + " cannot be opened");
        }
    }
}

// Copies a stream that lies in the mini stream (or, without `into`, checks that it can be):
// false when its last mini sector runs past the end of the mini stream or of the file.
bool File::Impl::copyMini(std::size_t entry, std::uint8_t* into) const {
    const auto& chain = layout.chains.at(ids[entry]);
    std::size_t left = entries[entry].size;
    for (std::size_t i = 0; i < chain.size() && left > 0; ++i) {
        const std::size_t count = std::min(layout.miniSize, left);
        const std::size_t at = chain[i] * layout.miniSize;  // in the mini stream
        if (at + count > layout.miniStreamSize) {
            return false;
        }
        const std::size_t offset =
            (layout.miniStream[at / layout.sectorSize] + std::size_t{1}) * layout.sectorSize +
            at % layout.sectorSize;
        if (offset + count > bytes.size()) {
            return false;
        }
        if (into) {
            std::memcpy(into + i * layout.miniSize, bytes.data() + offset, count);
        }
        left -= count;
    }
    return true;
}

Bytes File::Impl::read(std::size_t entry) const {
    const std::string& path = entries[entry].path;
    Bytes data(entries[entry].size);
    if (data.empty()) {
        return data;
    }
    if (data.size() < layout.cutoff) {
        if (!copyMini(entry, data.data())) {
            fail(ErrorCode::CorruptPart, name, inQuotes(path) + " cannot be opened");
        }
        return data;
    }
    const auto& chain = layout.chains.at(ids[entry]);
    for (std::size_t i = 0, at = 0; at < data.size(); ++i, at += layout.sectorSize) {
        const std::size_t count = std::min(layout.sectorSize, data.size() - at);
        const std::size_t offset = (chain[i] + std::size_t{1}) * layout.sectorSize;
        if (offset + count > bytes.size()) {
            fail(ErrorCode::CorruptPart, name,
                 "stream " + inQuotes(path) + " cannot be read at offset " +
                     std::to_string(at / kCopyChunk * kCopyChunk));
        }
        std::memcpy(data.data() + at, bytes.data() + offset, count);
    }
    return data;
}

File::File(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;
File::~File() = default;

File File::openBytes(Bytes bytes, std::string displayName) {
    if (!isCompoundFile(bytes)) {
        fail(ErrorCode::NotADocument, displayName, "not a compound file");
    }
    auto impl = std::make_unique<Impl>();
    impl->layout = detail::checkStructure(bytes, displayName);
    impl->bytes = std::move(bytes);
    impl->name = std::move(displayName);
    const auto root = impl->dirent(0);
    std::copy_n(root.begin() + 0x50, 16, impl->rootId.begin());
    impl->list(binary::le32(&root[0x4C]), "", impl->top);
    return File(std::move(impl));
}

File File::openFile(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    std::error_code code;
    const auto status = std::filesystem::status(path, code);
    if (!std::filesystem::exists(status)) {
        fail(ErrorCode::FileNotFound, name, "the file does not exist");
    }
    if (std::filesystem::is_directory(status)) {
        fail(ErrorCode::FileAccess, name, "is a folder, not a compound file");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        fail(ErrorCode::FileAccess, name, "cannot be read");
    }
    Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    if (in.bad()) {
        fail(ErrorCode::FileAccess, name, "cannot be read");
    }
    return openBytes(std::move(bytes), name);
}

const std::string& File::displayName() const {
    return impl_->name;
}

std::vector<File::Entry> File::entries() const {
    return impl_->entries;
}

bool File::hasStream(std::string_view path) const {
    const Entry* entry = impl_->find(path);
    return entry && !entry->storage;
}

bool File::hasStorage(std::string_view path) const {
    const Entry* entry = impl_->find(path);
    return entry && entry->storage;
}

Bytes File::readStream(std::string_view path) const {
    const auto it = impl_->byPath.find(path);
    if (it == impl_->byPath.end() || impl_->entries[it->second].storage) {
        fail(ErrorCode::IndexOutOfRange, impl_->name, "there is no stream " + inQuotes(path));
    }
    return impl_->read(it->second);
}

ClassId File::classId(std::string_view storagePath) const {
    if (storagePath.empty()) {
        return impl_->rootId;
    }
    const Entry* entry = impl_->find(storagePath);
    if (!entry || !entry->storage) {
        fail(ErrorCode::IndexOutOfRange, impl_->name,
             "there is no storage " + inQuotes(storagePath));
    }
    return entry->classId;
}

std::set<std::string> File::cachedPictures(std::string_view storagePath) const {
    const std::string prefix = storagePath.empty() ? "" : std::string(storagePath) + "/";
    std::set<std::string> pictures;
    for (const Entry& entry : impl_->entries) {
        const std::string_view rest =
            std::string_view(entry.path).substr(std::min(prefix.size(), entry.path.size()));
        if (!entry.storage && startsWith(entry.path, prefix) &&
            rest.find('/') == std::string_view::npos && startsWith(rest, "\2OlePres")) {
            pictures.insert(entry.path);
        }
    }
    return pictures;
}

Bytes File::rewrite(const std::map<std::string, Bytes>& replace,
                    const std::set<std::string>& remove) const {
    std::map<std::string, bool, std::less<>> kinds;
    for (const Entry& entry : impl_->entries) {
        kinds.emplace(entry.path, entry.storage);
    }
    checkPaths(replace, kinds, impl_->name);
    const std::map<std::string, ClassId> sameIds;
    const Source source{impl_->entries, impl_->children, impl_->top, impl_->rootId,
                        [this](std::size_t entry) { return impl_->read(entry); }};
    return Writer(Changes{replace, remove, sameIds}, impl_->name).write(&source);
}

}  // namespace office::compound
