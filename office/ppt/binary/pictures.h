#pragma once

// The pictures of a presentation: the drawing group's blip store in the DocumentContainer
// (OfficeArtFBSE entries, which the shapes' pib property counts from 1) and the blips they
// point at in the "Pictures" stream.

#include <cstdint>
#include <span>
#include <string>

#include "office/ppt/binary/records.h"

namespace office::ppt::binary {

// The number of entries in the blip store (0 when there is none yet), after checking that the
// store adds up: its count, its entries, and the part of `pictures` that each entry names. Fails
// with CorruptPart, naming `where`, when it does not, or when the drawing group does not parse,
// and with NotSupported when it has no room for one more entry beside `coming` ones.
std::uint32_t blipCount(const Record& document, std::span<const std::uint8_t> pictures,
                        const std::string& where, std::size_t coming = 0);

// Appends a PNG blip to `pictures` and its entry to the blip store (made when the drawing group
// has none); returns its 1-based index. Call blipCount first: this one does not check.
std::uint32_t addPngBlip(Record& document, Bytes& pictures, std::span<const std::uint8_t> png);

}  // namespace office::ppt::binary
