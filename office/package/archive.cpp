#include "office/package/package.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "office/compound/compound_file.h"
#include "office/package/file_source.h"
#include "office/package/package_impl.h"

namespace office::package {
namespace {

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
std::vector<std::uint8_t> readAll(std::FILE* file, std::string_view name) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::rewind(file);
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    if (std::ferror(file)) {
        fail(ErrorCode::FileAccess, name, "cannot be read: " + std::string(std::strerror(errno)));
    }
    return bytes;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

}  // namespace

namespace {

void indexEntries(Package::Impl& impl);
void checkLocalHeaders(const Package::Impl& impl);

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
    checkLocalHeaders(impl);
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
    return std::move(*openFile(path, kind, nullptr));
}

std::optional<Package> Package::openFile(const std::string& path, std::string_view kind,
                                         const LegacyReader& legacy) {
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
    FileHandle file(std::fopen(path.c_str(), "rbe"));
    if (!file) {
        fail(ErrorCode::FileAccess, name, "cannot be read: " + std::string(std::strerror(errno)));
    }
    struct stat opened {};
    if (::fstat(::fileno(file.get()), &opened) != 0 || opened.st_size == 0) {
        fail(ErrorCode::NotADocument, name, "the file is empty, not a " + std::string(kind));
    }
    if (compound::isCompoundFile(headOf(file.get()))) {
        if (legacy && legacy(readAll(file.get(), name))) {
            return std::nullopt;
        }
        // Declined: the file is read again to tell what it is, a second read only for a
        // compound file that is no document of this kind.
        failCompoundFile(readAll(file.get(), name), name, kind);
    }
    // The source owns the file's descriptor from here and closes it when it is freed.
    const int fd = ::fcntl(::fileno(file.get()), F_DUPFD_CLOEXEC, 0);
    file.reset();
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source =
        fd < 0 ? nullptr
               : detail::fileSource(fd, static_cast<std::uint64_t>(opened.st_size), &error);
    zip_error_fini(&error);
    if (!source) {
        fail(ErrorCode::FileAccess, name, "cannot be read as a zip package");
    }
    impl->fileDescriptor = fd;
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

// Part names are compared without regard to case, so a package may hold each name once only.
[[noreturn]] void failDuplicate(const Package::Impl& impl, const std::string& first,
                                const std::string& second) {
    fail(ErrorCode::CorruptPart, impl.displayName,
         first == second ? second + ": the package holds this part twice"
                         : second + ": the package holds this part twice, also as \"" + first +
                               "\" (part names do not differ by case alone)");
}

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
        if (const auto seen = impl.byName.find(key); seen != impl.byName.end()) {
            failDuplicate(impl, impl.entries[seen->second].name, name);
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

// ---- local headers ----

std::uint32_t le16(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8;
}

std::uint32_t le32(const std::uint8_t* at) {
    return le16(at) | le16(at + 2) << 16;
}

std::uint64_t le64(const std::uint8_t* at) {
    return le32(at) | static_cast<std::uint64_t>(le32(at + 4)) << 32;
}

// The bytes of the package from `offset`, as many as there are up to `length`.
std::vector<std::uint8_t> bytesAt(const Package::Impl& impl, std::uint64_t offset,
                                  std::size_t length) {
    const std::uint64_t total = impl.fileDescriptor >= 0
                                    ? static_cast<std::uint64_t>(impl.opened.st_size)
                                    : impl.bytes.size();
    if (offset >= total) {
        return {};
    }
    length = static_cast<std::size_t>(std::min<std::uint64_t>(length, total - offset));
    if (impl.fileDescriptor < 0) {
        const auto begin = impl.bytes.begin() + static_cast<std::ptrdiff_t>(offset);
        return {begin, begin + static_cast<std::ptrdiff_t>(length)};
    }
    std::vector<std::uint8_t> bytes(length);
    bool failed = false;  // what was read before a failure is all there is
    bytes.resize(detail::readAt(impl.fileDescriptor, bytes.data(), length, offset, failed));
    return bytes;
}

// What the central directory says of one entry.
struct DirectoryEntry {
    std::string name;
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint64_t packed = 0;
    std::uint64_t size = 0;
    std::uint64_t local = 0;  // offset of the local header
};

// The zip64 values of a directory entry, in its extra field, where the 32-bit ones are full.
void readZip64(DirectoryEntry& entry, const std::uint8_t* extra, std::size_t length) {
    for (std::size_t at = 0; at + 4 <= length;) {
        const std::uint32_t id = le16(extra + at);
        const std::size_t size = le16(extra + at + 2);
        if (id == 0x0001) {
            std::size_t next = at + 4;
            for (std::uint64_t* value : {&entry.size, &entry.packed, &entry.local}) {
                if (*value == 0xffffffff && next + 8 <= at + 4 + size && next + 8 <= length) {
                    *value = le64(extra + next);
                    next += 8;
                }
            }
            return;
        }
        at += 4 + size;
    }
}

// The central directory as the package's bytes hold it; empty when it cannot be found, which
// the zip library has accepted in its own way then.
std::vector<DirectoryEntry> readDirectory(const Package::Impl& impl) {
    const std::uint64_t total = impl.fileDescriptor >= 0
                                    ? static_cast<std::uint64_t>(impl.opened.st_size)
                                    : impl.bytes.size();
    constexpr std::size_t kEndRecord = 22;
    const std::uint64_t tailStart = total > 0xffff + kEndRecord ? total - 0xffff - kEndRecord : 0;
    const auto tail = bytesAt(impl, tailStart, static_cast<std::size_t>(total - tailStart));
    if (tail.size() < kEndRecord) {
        return {};
    }
    std::size_t end = tail.size() - kEndRecord;
    while (le32(tail.data() + end) != 0x06054b50) {
        if (end == 0) {
            return {};
        }
        --end;
    }
    std::uint64_t count = le16(tail.data() + end + 10);
    std::uint64_t length = le32(tail.data() + end + 12);
    std::uint64_t offset = le32(tail.data() + end + 16);
    if (end >= 20 && le32(tail.data() + end - 20) == 0x07064b50) {
        const auto record = bytesAt(impl, le64(tail.data() + end - 12), 56);
        if (record.size() == 56 && le32(record.data()) == 0x06064b50) {
            count = le64(record.data() + 32);
            length = le64(record.data() + 40);
            offset = le64(record.data() + 48);
        }
    }
    if (length > (std::uint64_t{1} << 30)) {
        return {};
    }
    const auto directory = bytesAt(impl, offset, static_cast<std::size_t>(length));
    std::vector<DirectoryEntry> entries;
    entries.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, Package::kMaxEntries)));
    for (std::size_t at = 0; entries.size() < count && at + 46 <= directory.size();) {
        const std::uint8_t* record = directory.data() + at;
        if (le32(record) != 0x02014b50) {
            break;
        }
        const std::size_t nameLength = le16(record + 28);
        const std::size_t extraLength = le16(record + 30);
        const std::size_t next = at + 46 + nameLength + extraLength + le16(record + 32);
        if (at + 46 + nameLength + extraLength > directory.size()) {
            break;
        }
        DirectoryEntry entry;
        entry.name.assign(reinterpret_cast<const char*>(record + 46), nameLength);
        entry.method = le16(record + 10);
        entry.crc = le32(record + 16);
        entry.packed = le32(record + 20);
        entry.size = le32(record + 24);
        entry.local = le32(record + 42);
        readZip64(entry, record + 46 + nameLength, extraLength);
        entries.push_back(std::move(entry));
        at = next;
    }
    return entries;
}

// How the local header of an entry disagrees with the directory; empty when it agrees. The
// zip library reads a part's data after the local header, trusting its name and lengths, so a
// header that says otherwise than the directory is a damaged or forged package.
std::string localDisagreement(const Package::Impl& impl, const DirectoryEntry& entry) {
    const auto header = bytesAt(impl, entry.local, 30 + entry.name.size());
    if (header.size() < 30 || le32(header.data()) != 0x04034b50) {
        return "its local header is missing";
    }
    const std::size_t nameLength = le16(header.data() + 26);
    const std::string name(reinterpret_cast<const char*>(header.data()) + 30,
                           std::min<std::size_t>(nameLength, header.size() - 30));
    if (nameLength != entry.name.size() || name != entry.name) {
        return "its local header names another part (\"" + name + "\")";
    }
    if (le16(header.data() + 8) != entry.method) {
        return "its local header gives another compression method than the zip's directory";
    }
    // With a data descriptor (flag 3), the sizes and CRC follow the data instead; in a zip64
    // entry, the full values are in the extra field.
    const bool descriptor = le16(header.data() + 6) & 0x0008;
    const std::uint32_t packed = le32(header.data() + 18);
    const std::uint32_t size = le32(header.data() + 22);
    const bool sizesDiffer = (packed != 0xffffffff && packed != entry.packed) ||
                             (size != 0xffffffff && size != entry.size) ||
                             le32(header.data() + 14) != entry.crc;
    if (!descriptor && sizesDiffer) {
        return "its local header gives other sizes or another CRC than the zip's directory";
    }
    return {};
}

void checkLocalHeaders(const Package::Impl& impl) {
    for (const DirectoryEntry& entry : readDirectory(impl)) {
        if (entry.name.empty() || entry.name.back() == '/') {
            continue;  // a folder entry holds no data
        }
        const std::string problem = localDisagreement(impl, entry);
        if (!problem.empty()) {
            std::string part = entry.name;
            if (part.starts_with('/')) {
                part.erase(0, 1);
            }
            fail(ErrorCode::CorruptPart, impl.displayName, part + ": " + problem);
        }
    }
}

}  // namespace

}  // namespace office::package
