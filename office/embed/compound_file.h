#pragma once

// A compound file (the container of OLE objects) with the streams of its root storage only:
// enough to take the "Package" stream out of an embedded object and put a new one back.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace office::embed {

using Bytes = std::vector<std::uint8_t>;

bool isCompoundFile(const Bytes& bytes);

// The streams of the root storage by name; storages below the root are left out. Nothing when
// the bytes are no well-formed compound file.
std::optional<std::map<std::string, Bytes>> readRootStreams(const Bytes& bytes);

// A compound file (version 3, 512-byte sectors) holding the streams in its root storage.
Bytes writeCompoundFile(const std::map<std::string, Bytes>& streams);

}  // namespace office::embed
