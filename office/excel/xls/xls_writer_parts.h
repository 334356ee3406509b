#pragma once

// The pieces of the binary workbook writer that its files share: the stream cut into records,
// the byte helpers, the shared strings, the new looks and the cell tables of changed sheets.

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "office/binary/palette.h"
#include "office/excel/model.h"
#include "office/excel/xls/biff.h"

namespace office::excel::xls::writing {

using binary::RecordWriter;
using detail::Area;
using detail::Cell;
using detail::CellKind;
using detail::WorkbookImpl;
using Bytes = std::vector<std::uint8_t>;

// The longest record body the format allows; longer data goes on in Continue records.
constexpr std::size_t kMaxBody = 8224;
constexpr int kMaxBiffRows = 65536;
constexpr int kMaxBiffColumns = 256;

// One record with the Continue records after it, as it lies in the stream.
struct Unit {
    std::uint16_t id = 0;
    std::size_t offset = 0;              // of its header
    std::size_t size = 0;                // headers and bodies
    int depth = 0;                       // 0 in the substream itself, 1 inside an embedded chart
    std::span<const std::uint8_t> body;  // of the first record
};

struct Substream {
    std::size_t offset = 0;
    std::vector<Unit> units;
};

// The records of the substream that begins at `at`, up to the EOF that ends it.
Substream substream(std::span<const std::uint8_t> stream, std::size_t at, const std::string& where);
std::span<const std::uint8_t> bytesOf(std::span<const std::uint8_t> stream, const Unit& unit);
void put16(Bytes& out, std::size_t at, std::uint16_t value);
void put32(Bytes& out, std::size_t at, std::uint32_t value);
void append(Bytes& out, std::span<const std::uint8_t> bytes);
void appendRecord(Bytes& out, std::uint16_t id, const RecordWriter& body);

// ---- strings (xls_writer_strings.cpp) ----

// The UTF-16 code units of UTF-8 text; a broken sequence gives U+FFFD.
std::u16string utf16(std::string_view text);

// XLUnicodeString (16-bit length) or ShortXLUnicodeString (8-bit length), cut to what the
// length can say.
void appendString(RecordWriter& out, std::string_view utf8, bool shortLength);

// A shared string as the SST holds it: its characters, and the formatting runs and phonetic
// data of a string read from the file, carried over as they were.
struct SstEntry {
    std::u16string text;
    Bytes runs;      // 4 bytes a run
    Bytes phonetic;  // ExtRst
};

// The entries of the original SST, in order.
std::vector<SstEntry> readSst(std::span<const std::uint8_t> stream, const Unit& unit,
                              std::uint32_t& totalRefs, const std::string& where);

// The SST record and its Continue records, with the EXTSST that finds every eighth string (or
// more) by its stream offset; `at` is where the SST will lie in the stream.
class SstWriter {
public:
    SstWriter(std::size_t at, std::uint32_t totalRefs, std::uint32_t unique)
        : at_(at), step_(std::max<std::uint32_t>(8, (unique + 127) / 128)) {
        record_.push_back({});
        RecordWriter head;
        head.u32(totalRefs).u32(unique);
        append(record_.back(), head.data());
    }

    void add(const SstEntry& entry);

    // The SST, its Continue records and the EXTSST.
    Bytes finish() const;

private:
    std::size_t room() const { return kMaxBody - record_.back().size(); }
    void next() {
        before_ += 4 + record_.back().size();
        record_.push_back({});
    }
    // The stream offset of the next byte written.
    std::size_t position() const { return at_ + before_ + 4 + record_.back().size(); }

    std::size_t at_;
    std::uint32_t step_;
    std::uint32_t count_ = 0;
    std::size_t before_ = 0;  // the bytes of the finished records
    std::vector<Bytes> record_;
    Bytes buckets_;
};

// ---- looks (xls_writer_looks.cpp) ----

// Palette indexes for the colours of new looks: the workbook's palette (or the default one),
// the nearest colour for a full RGB one.
class Palette {
public:
    void read(std::span<const std::uint8_t> body);
    std::uint16_t index(const detail::Color& color, std::uint16_t automatic) const;

private:
    std::uint16_t nearest(std::uint32_t rgb) const;

    std::array<std::uint32_t, 56> colors_ = binary::kDefaultPalette;
};

RecordWriter fontRecord(const detail::Font& font, const Palette& palette);
RecordWriter xfRecord(const detail::Xf& xf, const detail::StyleTable& looks,
                      const Palette& palette);

// ---- cells (xls_writer_cells.cpp) ----

bool sameSheet(const WorkbookImpl& before, const detail::SheetImpl& was, const WorkbookImpl& after,
               const detail::SheetImpl& is);

// What a changed sheet's cell table is written from.
struct SheetEdit {
    const WorkbookImpl& before;
    const detail::SheetImpl& was;
    const WorkbookImpl& after;
    const detail::SheetImpl& is;
    std::span<const std::uint8_t> stream;
    const Substream& original;
    std::function<std::uint32_t(const std::string&)> sharedIndex;  // for texts of new cells
    std::size_t stringRefs = 0;                                    // LABELSST records written
};

// A changed sheet: its records in order, the cell table, DIMENSIONS and MERGEDCELLS new, INDEX
// and DBCELL left out.
Bytes changedSheet(SheetEdit& edit);

// An unchanged sheet moved by `delta` bytes: its INDEX records' stream offsets follow.
Bytes movedSheet(std::span<const std::uint8_t> stream, const Substream& sheet, long long delta);

}  // namespace office::excel::xls::writing
