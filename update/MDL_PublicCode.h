#pragma once

// Helpers shared by the windows: the program's title, the vendor's addresses, and ShellOpen,
// which hands an address or document to the desktop. The version numbers come from CMake, in
// the generated header "tabulon/version.h".

#include <string>

namespace MDL_PublicCode {

inline constexpr const char* kAppTitle = "Tabulon";

// Hands `target` (a web address, a "mailto:" address or a document) to the desktop's default
// handler and returns at once. Whether the desktop could open it is not reported.
void ShellOpen(const std::string& target);

// The vendor's home page that the Help button opens (a build setting).
std::string HomePage();

// The host name of the update service asked by the daily check (a build setting).
std::string UpdateHost();

}  // namespace MDL_PublicCode
