#pragma once

// Parts deflated ahead of the zip writer, and where a package opened from a file keeps its
// changed parts until it is saved.
//
// The zip writer would set up a deflate stream of its own for every part it compresses: a
// quarter of a megabyte allocated and cleared each time, which dominates a run that saves
// hundreds of small embedded workbooks. Here one stream per thread deflates every part, and
// the writer is handed the deflated bytes with their size and CRC, which it copies as they are.
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

// A part deflated as a zip entry holds it.
struct DeflatedPart {
    std::string bytes;       // raw deflate
    std::uint64_t size = 0;  // bytes of the part itself
    std::uint32_t crc = 0;   // CRC-32 of the part itself
};

// The part deflated with this thread's stream; nothing when deflating fails.
std::optional<DeflatedPart> deflatePart(std::string_view bytes);
// The part toXml makes of the tree, deflated as it is written, so that its text is never held
// whole; nothing when deflating fails.
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
