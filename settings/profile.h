#pragma once

// Reading and writing of INI files with the rules of the classic private-profile functions:
// section and key names match without regard to (ASCII) case, a missing file reads as empty and
// is created by the first write, and every line the write does not touch (other sections, other
// keys, comments, blank lines) is kept byte for byte. A write replaces the file atomically: the
// new text goes to a temporary file beside it, which is then renamed over the old one.

#include <cstddef>
#include <string>

namespace settings::profile {

// The value of `key` in `section`, cut to size - 1 characters; `fallback` (cut the same way)
// when the file, the section or the key does not exist or the file cannot be read.
std::string readValue(const std::string& file, const std::string& section, const std::string& key,
                      const std::string& fallback, std::size_t size);

// The key names of `section` in a buffer of `size` characters, as the platform read without a
// key name fills it: each name followed by a NUL, one more NUL after the last. When the names
// do not fit, the list is cut to size - 2 characters (the last name possibly cut short) and two
// NULs follow. The result is always exactly `size` characters, NUL-padded.
struct KeyNames {
    std::string buffer;
    std::size_t count = 0;  // characters copied, not counting the final NUL
};
KeyNames readKeyNames(const std::string& file, const std::string& section, std::size_t size);

// Stores `value` under `key` in `section`, creating the file, the section and the key as
// needed. False when the file cannot be read or written, is read-only (platform::isReadOnlyFile),
// or when a name or the value holds a line break (which would change other entries); the file
// is then left as it was.
bool writeValue(const std::string& file, const std::string& section, const std::string& key,
                const std::string& value);

// Removes every section called `section` with all its lines. False when nothing was removed or
// the file could not be rewritten (or is read-only); a missing file stays missing.
bool deleteSection(const std::string& file, const std::string& section);

}  // namespace settings::profile
