#pragma once

// The checks a compound file passes before libgsf reads it: a header whose counts fit the file,
// and DIFAT, FAT, mini FAT, directory and stream chains that stay inside the file, visit no
// sector twice and are long enough for what they hold. Memory and time stay proportional to the
// file's size, whatever its tables say.

#include <cstdint>
#include <span>
#include <string>

namespace office::compound::detail {

// Fails with office::Error (CorruptPart) whose text starts with displayName and names the
// broken table, chain or stream.
void checkStructure(std::span<const std::uint8_t> bytes, const std::string& displayName);

}  // namespace office::compound::detail
