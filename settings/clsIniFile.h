#pragma once

// The program's one way into its settings file: four operations on the sections and keys of
// the INI file whose path is in `File`. Nothing is cached; every operation goes to the file.
// Failures come back as results, never as exceptions or messages.

#include <cstdint>
#include <string>
#include <vector>

class clsIniFile {
public:
    // Full path of the settings file. The caller sets it before any other operation.
    std::string File;

    // Removes the section with all its keys; reports nothing.
    void DeleteSection(const std::string& Section);

    // Stores the value, creating the file, section and key as needed. Non-zero on success, 0
    // when the file could not be written (it is then left as it was).
    std::int16_t SaveSetting(const std::string& Section, const std::string& Key,
                             const std::string& Value);

    // The stored value, cut to 254 characters; "unknown value" when the file, the section or
    // the key is missing; "Unknown section or key" when the value is empty.
    std::string GetSetting(const std::string& Section, const std::string& Key);

    // Replaces KeyArray by the empty string followed by the section's key names in file order
    // (as many as fit in a 2,500-character list, the last possibly cut short) and returns how
    // many names there are: 0, with KeyArray holding only its empty element 0, for a missing
    // file or section and for a section without keys.
    std::int16_t GetSection(const std::string& Section, std::vector<std::string>& KeyArray);
};

namespace settings {

inline constexpr std::size_t kValueBufferSize = 255;
inline constexpr std::size_t kKeyListBufferSize = 2500;
inline constexpr const char* kMissingValue = "unknown value";
inline constexpr const char* kEmptyValue = "Unknown section or key";

}  // namespace settings
