#pragma once

// The system-information launcher of the About dialog: where the system-information program is
// found in the registry, and how it is started. Where the platform has no registry, every
// lookup fails and the launcher shows its message.

#include <cstdint>
#include <functional>
#include <string>

namespace about {

inline constexpr std::uint32_t kHKeyLocalMachine = 0x80000002;
inline constexpr const char* kSysInfoKey = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
inline constexpr const char* kSysInfoValue = "PATH";
inline constexpr const char* kSysInfoLocationKey = "SOFTWARE\\Microsoft\\Shared Tools Location";
inline constexpr const char* kSysInfoLocationValue = "MSINFO";
inline constexpr const char* kSysInfoFileName = "\\MSINFO32.EXE";
inline constexpr const char* kSysInfoUnavailable = "此时系统信息不可用";

inline constexpr std::uint32_t kRegistryString = 1;
inline constexpr std::uint32_t kRegistryNumber = 4;

// Reads one registry value into KeyVal; true when it was read. On failure KeyVal is emptied.
using RegistryLookup = std::function<bool(std::uint32_t KeyRoot, const std::string& KeyName,
                                          const std::string& SubKeyRef, std::string& KeyVal)>;

// The registry lookup of this platform: the real registry on Windows; elsewhere it always fails.
bool GetKeyValue(std::uint32_t KeyRoot, const std::string& KeyName, const std::string& SubKeyRef,
                 std::string& KeyVal);

// Turns the bytes read for a registry value into KeyVal: `size` is the byte count the read
// returned. A string takes the text without its final NUL; a 32-bit number appends the code of
// each character, last to first, in hexadecimal without leading zeros and puts "&h" in front;
// any other type leaves KeyVal as it was. Throws std::runtime_error for a value of zero bytes.
void TakeRegistryValue(std::uint32_t type, const std::string& buffer, std::size_t size,
                       std::string& KeyVal);

// Starts the system-information program found through `lookup` (the path of the first
// location, else the directory of the second followed by "\MSINFO32.EXE" when that file
// exists); on any failure shows "此时系统信息不可用" with an OK button, caption Tabulon.
void StartSysInfoWith(const RegistryLookup& lookup);

}  // namespace about
