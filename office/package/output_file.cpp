#include "office/package/output_file.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "office/error.h"
#include "office/package/file_source.h"
#include "platform/read_only.h"

namespace office::package::detail {
namespace {

// Writes go to the system in pieces of about this size: the zip library hands over many small
// ones (headers of a few dozen bytes).
constexpr std::size_t kWriteChunk = 1 << 16;

[[noreturn]] void failWrite(const std::string& name, const std::string& why) {
    throw Error(ErrorCode::WriteFailed, name + ": cannot be written: " + why);
}

std::string errnoText() {
    return std::strerror(errno);
}

// ".report.pptx.tmp-"; the process id and a unique part follow.
std::string temporaryPrefix(const std::string& targetName) {
    return "." + targetName + ".tmp-";
}

}  // namespace

// The zip library's view of the file: an empty archive to start from, then the writing
// commands of a writable source.
struct OutputFile::Writer {
    static zip_int64_t call(void* state, void* data, zip_uint64_t length,
                            zip_source_cmd_t command) {
        auto& file = *static_cast<OutputFile*>(state);
        switch (command) {
            case ZIP_SOURCE_SUPPORTS:
                return zip_source_make_command_bitmap(
                    ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                    ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL,
                    ZIP_SOURCE_BEGIN_WRITE, ZIP_SOURCE_WRITE, ZIP_SOURCE_COMMIT_WRITE,
                    ZIP_SOURCE_ROLLBACK_WRITE, ZIP_SOURCE_SEEK_WRITE, ZIP_SOURCE_TELL_WRITE,
                    ZIP_SOURCE_REMOVE, -1);
            case ZIP_SOURCE_STAT: {
                auto* st = static_cast<zip_stat_t*>(data);
                zip_stat_init(st);
                st->valid = ZIP_STAT_SIZE;
                st->size = 0;  // a new, empty archive
                return sizeof(zip_stat_t);
            }
            case ZIP_SOURCE_ERROR:
                return zip_error_to_data(&file.error_, data, length);
            case ZIP_SOURCE_OPEN:
            case ZIP_SOURCE_READ:
            case ZIP_SOURCE_CLOSE:
            case ZIP_SOURCE_SEEK:
            case ZIP_SOURCE_TELL:
            case ZIP_SOURCE_FREE:
            case ZIP_SOURCE_REMOVE:
                return 0;
            case ZIP_SOURCE_BEGIN_WRITE:
            case ZIP_SOURCE_ROLLBACK_WRITE:
                file.buffer_.clear();
                file.bufferStart_ = 0;
                file.cursor_ = 0;
                file.end_ = 0;
                return ::ftruncate(file.fd_, 0) == 0 ? 0 : fail(file);
            case ZIP_SOURCE_WRITE:
                return write(file, static_cast<const char*>(data), length);
            case ZIP_SOURCE_SEEK_WRITE:
                return seek(file, data, length);
            case ZIP_SOURCE_TELL_WRITE:
                return static_cast<zip_int64_t>(file.bufferStart_) +
                       static_cast<zip_int64_t>(file.cursor_);
            case ZIP_SOURCE_COMMIT_WRITE:
                return flush(file) ? 0 : fail(file);
            default:
                zip_error_set(&file.error_, ZIP_ER_OPNOTSUPP, 0);
                return -1;
        }
    }

    // Records the system's reason (errno) for the zip library and for the message.
    static zip_int64_t fail(OutputFile& file) {
        file.systemError_ = errno;
        zip_error_set(&file.error_, ZIP_ER_WRITE, errno);
        return -1;
    }

    // The buffered bytes go into the file where they belong; the buffer then starts where the
    // writing goes on.
    static bool flush(OutputFile& file) {
        const bool ok =
            writeAt(file.fd_, std::string_view(file.buffer_.data(), file.buffer_.size()),
                    static_cast<std::uint64_t>(file.bufferStart_));
        file.bufferStart_ += static_cast<off_t>(file.cursor_);
        file.buffer_.clear();
        file.cursor_ = 0;
        return ok;
    }

    // Writes at the cursor, into the buffer: the zip library hands over many small pieces (headers
    // of a few dozen bytes) and goes back over a header it wrote, which then costs no system call.
    static zip_int64_t write(OutputFile& file, const char* data, zip_uint64_t length) {
        const auto size = static_cast<std::size_t>(length);
        if (file.cursor_ + size > kWriteChunk && !flush(file)) {
            return fail(file);
        }
        const off_t at = file.bufferStart_ + static_cast<off_t>(file.cursor_);
        if (size >= kWriteChunk) {
            if (!writeAt(file.fd_, std::string_view(data, size), static_cast<std::uint64_t>(at))) {
                return fail(file);
            }
            file.bufferStart_ = at + static_cast<off_t>(size);
        } else {
            if (file.cursor_ + size > file.buffer_.size()) {
                file.buffer_.resize(file.cursor_ + size);
            }
            std::memcpy(file.buffer_.data() + file.cursor_, data, size);
            file.cursor_ += size;
        }
        file.end_ = std::max(file.end_, at + static_cast<off_t>(size));
        return static_cast<zip_int64_t>(length);
    }

    static zip_int64_t seek(OutputFile& file, void* data, zip_uint64_t length) {
        auto* args = ZIP_SOURCE_GET_ARGS(zip_source_args_seek_t, data, length, &file.error_);
        if (!args) {
            return -1;
        }
        const off_t here = file.bufferStart_ + static_cast<off_t>(file.cursor_);
        const off_t base = args->whence == SEEK_SET   ? 0
                           : args->whence == SEEK_CUR ? here
                                                      : std::max(file.end_, here);
        const off_t target = base + static_cast<off_t>(args->offset);
        if (target < 0) {
            zip_error_set(&file.error_, ZIP_ER_INVAL, 0);
            return -1;
        }
        const off_t bufferEnd = file.bufferStart_ + static_cast<off_t>(file.buffer_.size());
        if (target >= file.bufferStart_ && target <= bufferEnd) {
            file.cursor_ = static_cast<std::size_t>(target - file.bufferStart_);
            return 0;
        }
        // Elsewhere: the buffered bytes go out first; a failure there is the write's.
        file.cursor_ = file.buffer_.size();
        if (!flush(file)) {
            return fail(file);
        }
        file.bufferStart_ = target;
        return 0;
    }
};

OutputFile::OutputFile(const std::string& target)
    : target_(target), name_(std::filesystem::path(target).filename().string()) {
    zip_error_init(&error_);
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec)) {
        failWrite(name_, "it is a folder");
    }
    if (platform::isReadOnlyFile(target)) {
        throw Error(ErrorCode::WriteFailed,
                    name_ +
                        ": is read-only, so it is not replaced; save under another name or "
                        "clear its read-only mark first");
    }
    const std::filesystem::path where(target);
    folder_ = where.has_parent_path() ? where.parent_path().string() : std::string(".");
    removeStaleTemporaries();
#ifdef O_TMPFILE
    fd_ = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd_ < 0) {
        makeNamed();  // no unnamed files here (an old kernel, a file system without them)
    }
}

OutputFile::~OutputFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
    if (!committed_ && !path_.empty()) {
        ::unlink(path_.c_str());
    }
    zip_error_fini(&error_);
}

void OutputFile::makeNamed() {
    path_ = (std::filesystem::path(folder_) /
             (temporaryPrefix(name_) + std::to_string(::getpid()) + "-XXXXXX"))
                .string();
    fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const std::string why = errnoText();
        path_.clear();
        failWrite(name_, "no file can be made in " + folder_ + ": " + why);
    }
}

bool OutputFile::isTemporaryOf(const std::string& fileName, const std::string& targetName) {
    return fileName.starts_with(temporaryPrefix(targetName));
}

// A hidden file of an earlier save into the same target whose process no longer runs: it was
// killed before it could clean up.
void OutputFile::removeStaleTemporaries() const {
    std::error_code ec;
    const std::string prefix = temporaryPrefix(name_);
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
        const std::string fileName = entry.path().filename().string();
        if (!isTemporaryOf(fileName, name_)) {
            continue;
        }
        const std::string rest = fileName.substr(prefix.size());
        const auto dash = rest.find('-');
        const bool numbered = dash != std::string::npos && dash > 0 &&
                              std::all_of(rest.begin(), rest.begin() + static_cast<long>(dash),
                                          [](char c) { return c >= '0' && c <= '9'; });
        if (!numbered) {
            continue;
        }
        const auto pid = static_cast<pid_t>(std::stol(rest.substr(0, dash)));
        if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
            std::filesystem::remove(entry.path(), ec);
        }
    }
}

std::string OutputFile::systemFailure() const {
    return systemError_ != 0 ? std::strerror(systemError_) : std::string();
}

zip_source_t* OutputFile::source(zip_error_t* error) {
    return zip_source_function_create(&Writer::call, this, error);
}

// Gives the unnamed file a name beside the target, to be renamed over it at once.
void OutputFile::linkInto(const std::string& path) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return;
    }
#ifdef AT_EMPTY_PATH
    if (::linkat(fd_, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) {
        return;
    }
#endif
    failWrite(name_, errnoText());
}

void OutputFile::commit() {
    struct stat existing {};
    const mode_t mode = ::stat(target_.c_str(), &existing) == 0 ? (existing.st_mode & 07777) : 0644;
    ::fchmod(fd_, mode);
    if (::fsync(fd_) != 0) {
        failWrite(name_, errnoText());
    }
    if (path_.empty()) {
        // The name lives only for the moment between the link and the rename.
        std::string named = (std::filesystem::path(folder_) /
                             (temporaryPrefix(name_) + std::to_string(::getpid()) + "-link"))
                                .string();
        ::unlink(named.c_str());
        linkInto(named);
        path_ = std::move(named);
    }
    if (::rename(path_.c_str(), target_.c_str()) != 0) {
        failWrite(name_, errnoText());
    }
    committed_ = true;
}

}  // namespace office::package::detail
