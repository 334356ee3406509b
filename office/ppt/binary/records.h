#pragma once

// The record framing of the PowerPoint binary document stream and of the OfficeArt drawings
// inside it: an 8-byte header (u16 version and instance, u16 type, u32 length) and the body. A
// container (version 0xF) holds further records; an atom holds bytes. The record tree keeps
// every record it was given, so a tree written back gives the same bytes unless it was changed.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace office::ppt::binary {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kHeaderSize = 8;

struct RecordHeader {
    std::uint16_t version = 0;   // low 4 bits of the first field; 0xF for a container
    std::uint16_t instance = 0;  // high 12 bits of the first field
    std::uint16_t type = 0;
    std::uint32_t length = 0;  // of the body
};

// Little-endian readers that never read beyond the bytes; `at` counts from their start.
std::uint16_t u16At(std::span<const std::uint8_t> bytes, std::size_t at);
std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::size_t at);
void putU16(Bytes& bytes, std::size_t at, std::uint16_t value);
void putU32(Bytes& bytes, std::size_t at, std::uint32_t value);
void appendU16(Bytes& bytes, std::uint16_t value);
void appendU32(Bytes& bytes, std::uint32_t value);

// The header of the record at `offset` of a stream. Fails with CorruptPart, naming `where`
// and the offset, when the header or the body it announces runs past the stream's end.
RecordHeader headerAt(std::span<const std::uint8_t> stream, std::size_t offset,
                      const std::string& where);

// One record with what it holds: the children of a container, the body of an atom.
struct Record {
    RecordHeader header;
    Bytes body;                    // an atom's bytes; empty for a container
    std::vector<Record> children;  // a container's records, in order
    bool keptAsBytes = false;      // a container whose contents did not parse: kept as its body

    bool isContainer() const { return header.version == 0xF && !keptAsBytes; }
    // The first child of that type (and instance, when given); null when there is none.
    Record* child(std::uint16_t type, int instance = -1);
    const Record* child(std::uint16_t type, int instance = -1) const;
    // The record and everything in it, with the lengths of the tree as it is now.
    Bytes serialise() const;
    void appendTo(Bytes& out) const;
};

// The record at `offset` of a stream with all it holds. A container whose children do not fill
// it exactly, or that lies deeper than 64 levels, is kept as its bytes, so that they survive a
// rewrite. Fails with CorruptPart when the record itself runs past the stream's end.
Record parseRecord(std::span<const std::uint8_t> stream, std::size_t offset,
                   const std::string& where);

// An atom of that type and instance holding the bytes.
Record makeAtom(std::uint16_t type, std::uint16_t instance, Bytes body);
Record makeContainer(std::uint16_t type, std::uint16_t instance);

// UTF-16LE text, as CString atoms and complex OfficeArt properties hold it; UTF-8 in strings.
std::string fromUtf16(std::span<const std::uint8_t> bytes);
Bytes toUtf16(const std::string& text);

}  // namespace office::ppt::binary
