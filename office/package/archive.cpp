#include "office/package/package.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "office/compound/compound_file.h"
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
std::vector<std::uint8_t> readAll(std::FILE* file) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[65536];
    std::rewind(file);
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

}  // namespace

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

}  // namespace office::package
