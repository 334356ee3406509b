#pragma once

// The record layer of a binary workbook stream (BIFF8): records one after the other, each a
// 16-bit id, a 16-bit length and that many bytes, with checked little-endian reads and strings
// that may go on in Continue records. Every failure is an office::Error (CorruptPart) that names
// the file, the record and its offset in the stream.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace office::excel::xls {

// Record ids of the records the workbook reader looks at.
namespace rt {
inline constexpr std::uint16_t Formula = 0x0006;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t DateMode = 0x0022;
inline constexpr std::uint16_t FilePass = 0x002F;
inline constexpr std::uint16_t Font = 0x0031;
inline constexpr std::uint16_t Continue = 0x003C;
inline constexpr std::uint16_t CodePage = 0x0042;
inline constexpr std::uint16_t DefColWidth = 0x0055;
inline constexpr std::uint16_t ColInfo = 0x007D;
inline constexpr std::uint16_t BoundSheet = 0x0085;
inline constexpr std::uint16_t Palette = 0x0092;
inline constexpr std::uint16_t MulRk = 0x00BD;
inline constexpr std::uint16_t MulBlank = 0x00BE;
inline constexpr std::uint16_t RString = 0x00D6;
inline constexpr std::uint16_t Xf = 0x00E0;
inline constexpr std::uint16_t MergeCells = 0x00E5;
inline constexpr std::uint16_t Sst = 0x00FC;
inline constexpr std::uint16_t LabelSst = 0x00FD;
inline constexpr std::uint16_t Blank = 0x0201;
inline constexpr std::uint16_t Number = 0x0203;
inline constexpr std::uint16_t Label = 0x0204;
inline constexpr std::uint16_t BoolErr = 0x0205;
inline constexpr std::uint16_t String = 0x0207;
inline constexpr std::uint16_t Row = 0x0208;
inline constexpr std::uint16_t DefaultRowHeight = 0x0225;
inline constexpr std::uint16_t Rk = 0x027E;
inline constexpr std::uint16_t Format = 0x041E;
inline constexpr std::uint16_t Bof = 0x0809;
inline constexpr std::uint16_t XfExt = 0x087D;
// The beginnings of older streams (BIFF2, BIFF3, BIFF4).
inline constexpr std::uint16_t Bof2 = 0x0009;
inline constexpr std::uint16_t Bof3 = 0x0209;
inline constexpr std::uint16_t Bof4 = 0x0409;
}  // namespace rt

std::string hex4(std::uint16_t id);

class RecordStream;

// Turns 8-bit characters into UTF-8. The format's 8-bit strings hold the low bytes of UTF-16
// code units (Latin-1), and Excel always names code page 1200 (UTF-16); some other writers
// name a Windows code page and write its bytes, which are then decoded with it (iconv).
class ByteDecoder {
public:
    ByteDecoder() = default;
    ByteDecoder(const ByteDecoder&) = delete;
    ByteDecoder& operator=(const ByteDecoder&) = delete;
    ~ByteDecoder();

    // Unknown code pages, and 1200, decode as Latin-1.
    void setCodePage(std::uint16_t codePage);
    void append(std::string& out, std::span<const std::uint8_t> bytes) const;

private:
    void* converter_ = nullptr;  // an iconv_t, or null for Latin-1
};

// One record: its id, where its header starts in the stream, and its bytes.
struct Record {
    std::uint16_t id = 0;
    std::size_t offset = 0;
    std::span<const std::uint8_t> data;
};

// Frames the record whose header starts at `at`: a 16-bit id, a 16-bit length and that many
// bytes. On Cut the header is whole but the body runs past the end (`record.id` and
// `record.offset` are set); the callers word their own messages.
enum class Frame { End, Whole, HeaderCut, BodyCut };
Frame frameRecord(std::span<const std::uint8_t> stream, std::size_t at, Record& record);

// Appends a Unicode code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t code);

// Checked reads over the bytes of one record and the Continue records after it. A read past
// the end fails naming the record. Strings follow the rule of split strings: where the
// characters of a string go on in the next Continue record, that record starts with a new
// flags byte that says whether the rest is 8-bit or 16-bit.
class RecordReader {
public:
    // The stream names the file in messages and decodes 8-bit strings; it outlives the reader.
    RecordReader(const Record& record, const RecordStream& stream)
        : first_(record), stream_(&stream) {}
    RecordReader(const Record& record, std::vector<Record> continues, const RecordStream& stream)
        : first_(record), more_(std::move(continues)), stream_(&stream) {}

    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    double f64();
    void skip(std::size_t count);
    // Bytes left in this record and its Continue records.
    std::size_t remaining() const;
    bool atEnd() const { return remaining() == 0; }

    // XLUnicodeString: a 16-bit length, flags, characters (rich runs and phonetic data skipped).
    std::string unicodeString();
    // ShortXLUnicodeString: as above with an 8-bit length.
    std::string shortUnicodeString();
    // The characters of a string whose length and flags were read already; rich runs and
    // phonetic data are skipped after them.
    std::string characters(std::size_t count, std::uint8_t flags);

    [[noreturn]] void fail(const std::string& what) const;
    const Record& record() const { return first_; }

private:
    void need(std::size_t count);
    std::uint8_t byte();
    std::size_t pieces() const { return 1 + more_.size(); }
    const Record& piece(std::size_t index) const { return index == 0 ? first_ : more_[index - 1]; }

    Record first_;
    std::vector<Record> more_;  // the Continue records, empty for most records
    std::size_t piece_ = 0;
    std::size_t at_ = 0;
    const RecordStream* stream_;
};

// The records of a stream in order. `where` names the file in messages.
class RecordStream {
public:
    RecordStream(std::span<const std::uint8_t> stream, std::string where);

    // The next record, or false at the end of the stream. A header that runs past the end
    // fails with the offset.
    bool next(Record& record);
    // A reader of one record.
    RecordReader reader(const Record& record) const { return RecordReader(record, *this); }
    // The next record with the Continue records that follow it, for records that can be long.
    RecordReader continued(const Record& first);
    // Goes to a stream offset (a sheet's BOF, from BoundSheet); fails when it lies outside.
    void seek(std::size_t offset);
    std::size_t offset() const { return at_; }
    std::size_t size() const { return stream_.size(); }
    const std::string& where() const { return where_; }
    // From the workbook's CodePage record on, 8-bit strings are decoded with it.
    void setCodePage(std::uint16_t codePage) { decoder_.setCodePage(codePage); }
    const ByteDecoder& decoder() const { return decoder_; }

    [[noreturn]] void fail(std::size_t offset, const std::string& what) const;

private:
    std::span<const std::uint8_t> stream_;
    std::size_t at_ = 0;
    std::string where_;
    ByteDecoder decoder_;
};

// Little-endian reads from a span whose length the caller checked.
inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
double le64Double(const std::uint8_t* p);

// The number an RK value stands for: an integer or the high half of a double, either of them
// possibly divided by 100.
double rkNumber(std::uint32_t rk);

// UTF-8 of 16-bit (little-endian UTF-16) or 8-bit (Latin-1: the high byte left out) characters.
void appendUtf16(std::string& out, std::span<const std::uint8_t> bytes);
void appendLatin1(std::string& out, std::span<const std::uint8_t> bytes);

}  // namespace office::excel::xls
