#pragma once

// The checks a compound file passes before it is read: a header whose counts fit the file, and
// DIFAT, FAT, mini FAT, directory and stream chains that stay inside the file, visit no sector
// twice and are long enough for what they hold. Memory and time stay proportional to the file's
// size, whatever its tables say.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace office::compound::detail {

// What the checks found: the sizes, the sectors of the directory and of the mini stream, and
// the chain of every stream the directory tree reaches.
struct Layout {
    std::size_t sectorSize = 512;
    std::size_t miniSize = 64;
    std::uint32_t cutoff = 4096;  // streams shorter than this lie in the mini stream
    std::vector<std::uint32_t> directory;
    std::size_t entryCount = 0;
    std::vector<std::uint32_t> miniStream;
    std::uint32_t miniStreamSize = 0;
    // By directory entry: the sectors of a stream that holds bytes, its mini sectors when it is
    // shorter than the cutoff.
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> chains;
};

// Fails with office::Error (CorruptPart) whose text starts with displayName and names the
// broken table, chain or stream.
Layout checkStructure(std::span<const std::uint8_t> bytes, const std::string& displayName);

}  // namespace office::compound::detail
