#pragma once

// The zip library's view of a package file opened for reading.
//
// The library reads an archive in many small pieces (a local header, a name, then the data),
// each after a seek; through a stdio stream that is a seek and a read of the system for almost
// every piece. This source reads with pread at the position it keeps itself, from a window of
// the file that it reads ahead, so that a run that reads thousands of parts makes a system call
// for each window, not for each piece. Beside it, the package's whole reads and writes at an
// offset of a file.

#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace office::package::detail {

// Reads up to `length` bytes at `offset` of the open file `fd` into `out`, going on after short
// reads and interruptions; the count read, less than `length` at the file's end or when the
// system fails (then `failed` is set, with errno).
std::size_t readAt(int fd, void* out, std::size_t length, std::uint64_t offset, bool& failed);

// Writes the bytes at `offset` of the open file `fd`, whole, going on after short writes and
// interruptions; false when the system fails (errno says why: EIO where it gave no reason).
bool writeAt(int fd, std::string_view bytes, std::uint64_t offset);

// A read-only source over the open file `fd` of `size` bytes; the source owns the descriptor
// and closes it when it is freed. Null, with error set, when it cannot be made (the descriptor
// is then closed too).
zip_source_t* fileSource(int fd, std::uint64_t size, zip_error_t* error);

}  // namespace office::package::detail
