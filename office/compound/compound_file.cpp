#include "office/compound/compound_file.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

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

struct FreeError {
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, FreeError>;

[[noreturn]] void fail(ErrorCode code, const std::string& file, const std::string& problem) {
    throw Error(code, file + ": " + problem);
}

std::string inQuotes(std::string_view path) {
    return "\"" + printableName(path) + "\"";
}

bool isStorage(GsfInput* entry) {
    return GSF_IS_INFILE(entry) && gsf_infile_num_children(GSF_INFILE(entry)) >= 0;
}

ClassId classIdOf(GsfInput* storage) {
    ClassId id{};
    if (!gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(storage), id.data())) {
        id.fill(0);
    }
    return id;
}

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

// Writes a compound file into memory with libgsf, storage by storage.
class Writer {
public:
    Writer(const Changes& changes, const std::string& name) : changes_(changes), name_(name) {}

    Bytes write(GsfInfile* source) {
        GsfPtr<GsfOutput> sink(gsf_output_memory_new());
        GsfPtr<GsfOutfile> root(gsf_outfile_msole_new(sink.get()));
        if (!root) {
            fail(ErrorCode::WriteFailed, name_, "cannot start a compound file");
        }
        ClassId rootId = source ? classIdOf(GSF_INPUT(source)) : ClassId{};
        if (const auto it = changes_.classIds.find(""); it != changes_.classIds.end()) {
            rootId = it->second;
        }
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(root.get()), rootId.data());
        storage(root.get(), source, "");
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

    void copy(GsfInput* in, GsfOutput* out, const std::string& path) {
        Bytes buffer;
        for (auto left = static_cast<std::size_t>(gsf_input_size(in)); left > 0;) {
            buffer.resize(std::min(kCopyChunk, left));
            if (!gsf_input_read(in, buffer.size(), buffer.data())) {
                fail(ErrorCode::CorruptPart, name_, "stream " + inQuotes(path) + " cannot be read");
            }
            put(out, buffer, path);
            left -= buffer.size();
        }
    }

    void stream(GsfOutfile* parent, const std::string& name, const std::string& path,
                GsfInput* source) {
        GsfPtr<GsfOutput> out = child(parent, name, false, path);
        if (const auto it = changes_.replace.find(path); it != changes_.replace.end()) {
            put(out.get(), it->second, path);
        } else if (source) {
            copy(source, out.get(), path);
        }
        close(out.get(), "stream " + inQuotes(path));
    }

    void subStorage(GsfOutfile* parent, const std::string& name, const std::string& path,
                    GsfInput* source) {
        GsfPtr<GsfOutput> out = child(parent, name, true, path);
        ClassId id = source ? classIdOf(source) : ClassId{};
        if (const auto it = changes_.classIds.find(path); it != changes_.classIds.end()) {
            id = it->second;
        }
        gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out.get()), id.data());
        storage(GSF_OUTFILE(out.get()), source ? GSF_INFILE(source) : nullptr, path + "/");
        close(out.get(), "storage " + inQuotes(path));
    }

    // The entries of one storage: first those of the source, in its order, then the added ones.
    void storage(GsfOutfile* out, GsfInfile* source, const std::string& prefix) {
        std::set<std::string> written;
        const int count = source ? gsf_infile_num_children(source) : 0;
        for (int i = 0; i < count; ++i) {
            const std::string name = gsf_infile_name_by_index(source, i);
            const std::string path = prefix + name;
            written.insert(name);
            if (changes_.remove.contains(path)) {
                continue;
            }
            GsfPtr<GsfInput> in(gsf_infile_child_by_index(source, i));
            if (!in) {
                fail(ErrorCode::CorruptPart, name_, inQuotes(path) + " cannot be opened");
            }
            if (isStorage(in.get())) {
                subStorage(out, name, path, in.get());
            } else {
                stream(out, name, path, in.get());
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

Bytes readAll(GsfInput* in, const std::string& name, std::string_view path) {
    Bytes bytes(static_cast<std::size_t>(gsf_input_size(in)));
    for (std::size_t at = 0; at < bytes.size(); at += kCopyChunk) {
        const std::size_t n = std::min(kCopyChunk, bytes.size() - at);
        if (!gsf_input_read(in, n, bytes.data() + at)) {
            fail(ErrorCode::CorruptPart, name,
                 "stream " + inQuotes(path) + " cannot be read at offset " + std::to_string(at));
        }
    }
    return bytes;
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
    Bytes bytes;  // what libgsf reads from; it must not move while the input lives
    std::string name;
    GsfPtr<GsfInput> source;
    GsfPtr<GsfInfile> root;
    std::vector<Entry> entries;
    std::vector<std::vector<int>> indices;  // of each entry: its child index at every level
    std::map<std::string, std::size_t, std::less<>> byPath;

    void checkName(std::string_view entryName, const std::string& path) const;
    void list(GsfInfile* storage, const std::string& prefix, std::vector<int>& at);
    const Entry* find(std::string_view path) const {
        const auto it = byPath.find(path);
        return it == byPath.end() ? nullptr : &entries[it->second];
    }
    GsfPtr<GsfInput> open(std::size_t entry) const;
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

void File::Impl::list(GsfInfile* storage, const std::string& prefix, std::vector<int>& at) {
    const int count = gsf_infile_num_children(storage);
    for (int i = 0; i < count; ++i) {
        const char* childName = gsf_infile_name_by_index(storage, i);
        const std::string path = prefix + (childName ? childName : "");
        checkName(childName ? childName : "", path);
        GsfPtr<GsfInput> child(gsf_infile_child_by_index(storage, i));
        if (!child) {
            fail(ErrorCode::CorruptPart, name, inQuotes(path) + " cannot be opened");
        }
        Entry entry;
        entry.path = path;
        entry.storage = isStorage(child.get());
        if (entry.storage) {
            entry.classId = classIdOf(child.get());
        } else {
            entry.size = static_cast<std::uint64_t>(gsf_input_size(child.get()));
        }
        at.push_back(i);
        byPath.emplace(path, entries.size());
        entries.push_back(std::move(entry));
        indices.push_back(at);
        if (entries.back().storage) {
            list(GSF_INFILE(child.get()), path + "/", at);
        }
        at.pop_back();
    }
}

GsfPtr<GsfInput> File::Impl::open(std::size_t entry) const {
    GsfPtr<GsfInput> current;
    GsfInfile* storage = root.get();
    for (int index : indices[entry]) {
        current.reset(gsf_infile_child_by_index(storage, index));
        if (!current) {
            fail(ErrorCode::CorruptPart, name, inQuotes(entries[entry].path) + " cannot be opened");
        }
        storage = GSF_IS_INFILE(current.get()) ? GSF_INFILE(current.get()) : nullptr;
    }
    return current;
}

File::File(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
File::File(File&&) noexcept = default;
File& File::operator=(File&&) noexcept = default;
File::~File() = default;

File File::openBytes(Bytes bytes, std::string displayName) {
    if (!isCompoundFile(bytes)) {
        fail(ErrorCode::NotADocument, displayName, "not a compound file");
    }
    detail::checkStructure(bytes, displayName);
    auto impl = std::make_unique<Impl>();
    impl->bytes = std::move(bytes);
    impl->name = std::move(displayName);
    impl->source.reset(gsf_input_memory_new(impl->bytes.data(),
                                            static_cast<gsf_off_t>(impl->bytes.size()), FALSE));
    GError* raw = nullptr;
    impl->root.reset(gsf_infile_msole_new(impl->source.get(), &raw));
    const ErrorPtr error(raw);
    if (!impl->root) {
        fail(ErrorCode::CorruptPart, impl->name,
             std::string("cannot be read as a compound file") +
                 (error ? std::string(": ") + error->message : ""));
    }
    std::vector<int> at;
    impl->list(impl->root.get(), "", at);
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
    const GsfPtr<GsfInput> in = impl_->open(it->second);
    return readAll(in.get(), impl_->name, path);
}

ClassId File::classId(std::string_view storagePath) const {
    if (storagePath.empty()) {
        return classIdOf(GSF_INPUT(impl_->root.get()));
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
    return Writer(Changes{replace, remove, sameIds}, impl_->name).write(impl_->root.get());
}

}  // namespace office::compound
