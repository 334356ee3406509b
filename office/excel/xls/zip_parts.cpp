#include "office/excel/xls/zip_parts.h"

#include <zip.h>

#include <memory>

#include "office/error.h"

namespace office::excel::xls {

namespace {

struct SourceDeleter {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};

[[noreturn]] void failed() {
    throw Error(ErrorCode::WriteFailed, "cannot make the package of a binary workbook");
}

}  // namespace

std::vector<std::uint8_t> zipParts(const std::map<std::string, std::string>& parts) {
    zip_error_t error;
    zip_error_init(&error);
    std::unique_ptr<zip_source_t, SourceDeleter> buffer(
        zip_source_buffer_create(nullptr, 0, 0, &error));
    zip_t* archive = buffer ? zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error) : nullptr;
    zip_error_fini(&error);
    if (!archive) {
        failed();
    }
    zip_source_keep(buffer.get());
    for (const auto& [name, text] : parts) {
        zip_source_t* data = zip_source_buffer(archive, text.data(), text.size(), 0);
        const zip_int64_t index =
            data ? zip_file_add(archive, name.c_str(), data, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0) {
            zip_source_free(data);
            zip_discard(archive);
            failed();
        }
        zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        failed();
    }
    zip_stat_t stat;
    std::vector<std::uint8_t> bytes;
    if (zip_source_stat(buffer.get(), &stat) != 0 || zip_source_open(buffer.get()) != 0) {
        failed();
    }
    bytes.resize(stat.size);
    const zip_int64_t got = zip_source_read(buffer.get(), bytes.data(), stat.size);
    zip_source_close(buffer.get());
    if (got < 0 || static_cast<zip_uint64_t>(got) != stat.size) {
        failed();
    }
    return bytes;
}

}  // namespace office::excel::xls
