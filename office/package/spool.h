#pragma once

// Parts deflated ahead of the zip writer, and where a package opened from a file keeps its
// changed parts until it is saved.
//
// The zip writer would set up a deflate stream of its own for every part it compresses: a
// quarter of a megabyte allocated and cleared each time, which dominates a run that saves
// hundreds of small embedded workbooks. Here parts are deflated whole in one call (libdeflate,
// no set-up per part), or piece by piece with one zlib stream per thread where a stream must be
// incremental, and the writer is handed the deflated bytes with their size and CRC, which it
// copies as they are.
//
// The spool is an unlinked temporary file that changed parts are appended to, deflated as the
// zip will hold them (or as they are, for parts that are compressed formats of their own). A
// run that changes hundreds of charts and embedded workbooks then holds a few numbers per part
// instead of its bytes.

#include <zip.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace office::package::detail {

// The CRC-32 of the bytes, continuing `crc` (that of the bytes before them; 0 to start).
std::uint32_t crcOf(std::string_view bytes, std::uint32_t crc = 0);
// Raw deflate data inflated, which must come to exactly `size` bytes; nothing when it does not
// or the data is damaged.
std::optional<std::string> inflateRaw(std::string_view packed, std::uint64_t size);

// A part deflated as a zip entry holds it.
struct DeflatedPart {
    std::string bytes;       // raw deflate
    std::uint64_t size = 0;  // bytes of the part itself
    std::uint32_t crc = 0;   // CRC-32 of the part itself
};

// The part deflated; nothing when deflating fails.
std::optional<DeflatedPart> deflatePart(std::string_view bytes);
// The part toXml makes of the tree, deflated; a large part's text is deflated as it is written,
// so that it is never held whole. Nothing when deflating fails.
std::optional<DeflatedPart> deflateXml(const pugi::xml_document& doc);

// A source for zip_file_add that hands the deflated part to the zip writer, with the method,
// sizes and CRC that let it copy the bytes as they are. Null on failure.
zip_source_t* deflatedSource(zip_t* archive, DeflatedPart part);

class Spool {
public:
    // Where one part lies in the spool.
    struct Record {
        std::uint64_t offset = 0;
        std::uint64_t stored = 0;  // bytes in the spool
        std::uint64_t size = 0;    // bytes of the part itself
        std::uint32_t crc = 0;     // CRC-32 of the part itself
        bool deflated = false;
    };

    // A fresh spool in the temporary folder; null when no file can be made there (the caller
    // then keeps its parts in memory).
    static std::unique_ptr<Spool> create();

    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;
    ~Spool();

    // Appends a part; nothing when it cannot be written (a full disk), so that the caller can
    // keep the bytes in memory instead.
    std::optional<Record> append(std::string_view bytes, bool deflate);
    // Appends a part deflated already (by deflateXml).
    std::optional<Record> append(const DeflatedPart& part);
    // The part's bytes; nothing when they cannot be read back.
    std::optional<std::string> read(const Record& record) const;
    // A source for zip_file_add over a spooled part, as deflatedSource is over one in memory.
    zip_source_t* source(zip_t* archive, const Record& record) const;

private:
    explicit Spool(int fd) : fd_(fd) {}

    int fd_;
    std::uint64_t end_ = 0;
};

}  // namespace office::package::detail
