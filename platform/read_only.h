#pragma once

// Whether an existing file is protected against being replaced. Saving writes a new file and
// renames it over the old one, which only the folder's permission governs, so every writer of
// the program asks this first and refuses a protected file, as office suites do.
//
// Header only, with no library behind it, so that the office host and the settings code can
// ask without linking the platform module.

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

// True when path names an existing file that is read-only: on Windows, one with the read-only
// attribute; elsewhere, one that the process may not write (access), or whose permission bits
// grant writing to nobody -- which also holds for a superuser, whom access never refuses. A
// missing file, or a folder, is not read-only here (the writer reports those itself).
inline bool isReadOnlyFile(const std::string& path) {
#ifdef _WIN32
    const int wide = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
    std::wstring name(static_cast<std::size_t>(wide > 0 ? wide : 1), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, name.data(), wide);
    const DWORD attributes = GetFileAttributesW(name.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
#else
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    const bool noWriteBits = (status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
    return noWriteBits || ::access(path.c_str(), W_OK) != 0;
#endif
}

}  // namespace platform
