#include "office/package/package.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "office/package/output_file.h"
#include "office/package/package_impl.h"

namespace office::package {
namespace {

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

}  // namespace

// Images whose own format is compressed: deflating them again gains nothing. Packages (an
// embedded .xlsx) are deflated all the same, as PowerPoint writes them: their entry headers,
// names and directory still shrink by a fifth.
bool isCompressedFormat(std::string_view part) {
    static constexpr std::string_view kPacked[] = {"png", "jpg", "jpeg", "gif"};
    const std::string extension = extensionOf(part);
    return std::find(std::begin(kPacked), std::end(kPacked), extension) != std::end(kPacked);
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
    impl_->settleAll();
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
    impl_->settleAll();
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
        // The system's own reason where a write failed (a full disk), not the zip library's.
        const std::string system = file.systemFailure();
        fail(ErrorCode::WriteFailed, fileNameOf(path),
             "cannot be written: " + (system.empty() ? problem : system));
    }
    impl_->checkUnchanged();  // the unchanged parts were copied from the file just now
    file.commit();
}

}  // namespace office::package
