#include "office/package/write_file.h"

#include <filesystem>

#include "office/error.h"
#include "office/package/output_file.h"

namespace office::package {

void writeFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    detail::OutputFile file(path);
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* target = file.source(&error);
    zip_error_fini(&error);
    bool written = target && zip_source_begin_write(target) == 0;
    written = written && zip_source_write(target, bytes.data(), bytes.size()) ==
                             static_cast<zip_int64_t>(bytes.size());
    written = written && zip_source_commit_write(target) == 0;
    const std::string why = target ? zip_error_strerror(zip_source_error(target)) : "no file";
    if (target) {
        zip_source_free(target);
    }
    if (!written) {
        throw Error(ErrorCode::WriteFailed, std::filesystem::path(path).filename().string() +
                                                ": cannot be written: " + why);
    }
    file.commit();
}

}  // namespace office::package
