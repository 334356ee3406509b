#include "office/package/file_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include <unistd.h>

namespace office::package::detail {
namespace {

// Reads ahead this much: the pieces of one small part, and a few parts, in one system call.
constexpr std::size_t kWindow = 1 << 16;

struct FileState {
    int fd = -1;
    std::uint64_t size = 0;
    std::uint64_t position = 0;
    std::uint64_t windowStart = 0;
    std::vector<char> window;  // the file's bytes from windowStart
    zip_error_t error{};

    ~FileState() {
        ::close(fd);
        zip_error_fini(&error);
    }

    // Reads up to `length` bytes at `offset` into `out`; the count, or -1 with errno set.
    zip_int64_t readAt(char* out, std::size_t length, std::uint64_t offset) const {
        bool failed = false;
        const std::size_t done = detail::readAt(fd, out, length, offset, failed);
        return failed ? -1 : static_cast<zip_int64_t>(done);
    }

    zip_int64_t read(char* out, std::uint64_t wanted) {
        const std::uint64_t left = size > position ? size - position : 0;
        const auto length = static_cast<std::size_t>(std::min(wanted, left));
        const bool inWindow =
            position >= windowStart && position + length <= windowStart + window.size();
        if (!inWindow && length >= kWindow) {
            return advance(readAt(out, length, position));
        }
        if (!inWindow) {
            window.resize(kWindow);
            const zip_int64_t got = readAt(window.data(), kWindow, position);
            if (got < 0) {
                window.clear();
                return fail();
            }
            window.resize(static_cast<std::size_t>(got));
            windowStart = position;
        }
        const std::size_t from = static_cast<std::size_t>(position - windowStart);
        const std::size_t count = std::min(length, window.size() - from);
        std::memcpy(out, window.data() + from, count);
        return advance(static_cast<zip_int64_t>(count));
    }

    zip_int64_t advance(zip_int64_t got) {
        if (got < 0) {
            return fail();
        }
        position += static_cast<std::uint64_t>(got);
        return got;
    }

    zip_int64_t fail() {
        zip_error_set(&error, ZIP_ER_READ, errno);
        return -1;
    }
};

zip_int64_t serve(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto& state = *static_cast<FileState*>(userdata);
    switch (command) {
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(
                ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, ZIP_SOURCE_SEEK, ZIP_SOURCE_TELL, -1);
        case ZIP_SOURCE_OPEN:
            state.position = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return state.read(static_cast<char*>(data), length);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = static_cast<zip_stat_t*>(data);
            zip_stat_init(st);
            st->valid = ZIP_STAT_SIZE;
            st->size = state.size;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&state.error, data, length);
        case ZIP_SOURCE_SEEK: {
            const zip_int64_t at = zip_source_seek_compute_offset(state.position, state.size, data,
                                                                  length, &state.error);
            if (at < 0) {
                return -1;
            }
            state.position = static_cast<std::uint64_t>(at);
            return 0;
        }
        case ZIP_SOURCE_TELL:
            return static_cast<zip_int64_t>(state.position);
        case ZIP_SOURCE_FREE:
            delete &state;  // made in fileSource for the source's life
            return 0;
        default:
            zip_error_set(&state.error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

}  // namespace

std::size_t readAt(int fd, void* out, std::size_t length, std::uint64_t offset, bool& failed) {
    auto* bytes = static_cast<char*>(out);
    std::size_t done = 0;
    failed = false;
    while (done < length) {
        const ssize_t got =
            ::pread(fd, bytes + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            failed = got < 0;
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool writeAt(int fd, std::string_view bytes, std::uint64_t offset) {
    while (!bytes.empty()) {
        const ssize_t done = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            if (done == 0) {
                errno = EIO;  // nothing written and no reason given
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
        offset += static_cast<std::uint64_t>(done);
    }
    return true;
}

zip_source_t* fileSource(int fd, std::uint64_t size, zip_error_t* error) {
    auto state = std::make_unique<FileState>();
    state->fd = fd;
    state->size = size;
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function_create(serve, state.get(), error);
    if (source) {
        state.release();  // the source owns it now and frees it with ZIP_SOURCE_FREE
    }
    return source;
}

}  // namespace office::package::detail
