#pragma once

// The folders where the program's file dialogs last found a file, kept in the settings file in
// a section of their own so that each dialog opens there again after a restart.

#include <string>

namespace settings {

inline constexpr const char* kFoldersSection = "Folders";

// The folder kept for the dialog named key; empty when none is kept or the file cannot be read.
std::string KeptFolder(const std::string& file, const std::string& key);

// Keeps the folder for the dialog named key. A settings file that cannot be written (read-only,
// say) is left as it was: the folder is then remembered only while the program runs.
void KeepFolder(const std::string& file, const std::string& key, const std::string& folder);

}  // namespace settings
