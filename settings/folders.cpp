#include "settings/folders.h"

#include "settings/profile.h"

namespace settings {
namespace {

// Long enough for any path a file dialog returns.
constexpr std::size_t kFolderBufferSize = 32768;

}  // namespace

std::string KeptFolder(const std::string& file, const std::string& key) {
    return profile::readValue(file, kFoldersSection, key, "", kFolderBufferSize);
}

void KeepFolder(const std::string& file, const std::string& key, const std::string& folder) {
    if (KeptFolder(file, key) != folder) {
        profile::writeValue(file, kFoldersSection, key, folder);
    }
}

}  // namespace settings
