#pragma once

// The record layer of the binary office formats: little-endian fields, UTF-16 and 8-bit
// strings, and streams of records one after the other, each a 16-bit id, a 16-bit length and
// that many bytes (a workbook stream, a Graph object's data), whose long records go on in
// Continue records. Every read is checked; a failure is an office::Error (CorruptPart) that
// names the stream, the record and its offset, in the words of the stream's Wording.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace office::binary {

// Little-endian reads from bytes whose length the caller checked.
inline std::uint16_t le16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
double le64Double(const std::uint8_t* p);

// A record id as "0x00FC".
std::string hex4(std::uint16_t id);

// Appends a Unicode code point as UTF-8.
void appendUtf8(std::string& out, std::uint32_t code);
// UTF-8 of 16-bit (little-endian UTF-16; a lone surrogate becomes U+FFFD) or 8-bit (Latin-1:
// the high byte left out) characters.
void appendUtf16(std::string& out, std::span<const std::uint8_t> bytes);
void appendLatin1(std::string& out, std::span<const std::uint8_t> bytes);

// Turns 8-bit characters into UTF-8: Latin-1 unless a Windows code page is named, whose bytes
// are then decoded with it (iconv).
class ByteDecoder {
public:
    ByteDecoder() = default;
    ByteDecoder(const ByteDecoder&) = delete;
    ByteDecoder& operator=(const ByteDecoder&) = delete;
    ~ByteDecoder();

    // Unknown code pages, 1200 (UTF-16) and 28591 (Latin-1) decode as Latin-1.
    void setCodePage(std::uint16_t codePage);
    void append(std::string& out, std::span<const std::uint8_t> bytes) const;

private:
    void* converter_ = nullptr;  // an iconv_t, or null for Latin-1
};

// The record that carries on the bytes of the record before it.
inline constexpr std::uint16_t kContinue = 0x003C;

// One record: its id, where its header starts in the stream, and its bytes.
struct Record {
    std::uint16_t id = 0;
    std::size_t offset = 0;
    std::span<const std::uint8_t> data;
};

// Frames the record whose header starts at `at`. On BodyCut the header is whole but the body
// runs past the end (`record.id` and `record.offset` are set).
enum class Frame { End, Whole, HeaderCut, BodyCut };
Frame frameRecord(std::span<const std::uint8_t> stream, std::size_t at, Record& record);

// The texts of a stream's failures. This one names a file's stream ("book.xls: Workbook
// stream: record 0x0203 at offset 268: the record ends too early"); a stream that is part of
// something else words them as that thing's own.
class Wording {
public:
    explicit Wording(std::string where) : where_(std::move(where)) {}
    virtual ~Wording() = default;

    const std::string& where() const { return where_; }
    // Something is wrong with a record.
    virtual std::string record(const Record& record, const std::string& what) const;
    // A read of `count` bytes runs past the end of a record and its Continue records.
    virtual std::string cutShort(const Record& record, std::size_t count) const;
    // Something is wrong at an offset of the stream.
    virtual std::string at(std::size_t offset, const std::string& what) const;
    virtual std::string headerCut(std::size_t offset) const;
    virtual std::string bodyCut(const Record& record, std::size_t length) const;

private:
    std::string where_;
};

class RecordStream;

// Checked reads over the bytes of one record and the Continue records after it. A read past
// the end fails naming the record. Strings follow the rule of split strings: where the
// characters of a string go on in the next Continue record, that record starts with a new
// flags byte that says whether the rest is 8-bit or 16-bit.
class RecordReader {
public:
    // The stream words failures and decodes 8-bit strings; it outlives the reader.
    RecordReader(const Record& record, const RecordStream& stream);
    RecordReader(const Record& record, std::vector<Record> continues, const RecordStream& stream);

    std::uint8_t u8();
    std::uint16_t u16();
    std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
    std::uint32_t u32();
    double f64();
    void skip(std::size_t count);
    // Bytes left in this record and its Continue records.
    std::size_t remaining() const { return total_ - before_ - at_; }
    bool atEnd() const { return remaining() == 0; }

    // XLUnicodeString: a 16-bit length, flags, characters (rich runs and phonetic data skipped).
    std::string unicodeString();
    // ShortXLUnicodeString: as above with an 8-bit length.
    std::string shortUnicodeString();
    // The characters of a string whose length and flags were read already; rich runs and
    // phonetic data (flags 0x08, 0x04) are skipped after them.
    std::string characters(std::size_t count, std::uint8_t flags);
    // `count` characters, 16-bit when `wide`, with nothing after them.
    std::string text(std::size_t count, bool wide);

    [[noreturn]] void fail(const std::string& what) const;
    const Record& record() const { return first_; }

private:
    void need(std::size_t count);
    std::uint8_t byte();
    void nextPiece();
    std::size_t pieces() const { return 1 + more_.size(); }
    const Record& piece(std::size_t index) const { return index == 0 ? first_ : more_[index - 1]; }

    Record first_;
    std::vector<Record> more_;  // the Continue records, empty for most records
    std::size_t piece_ = 0;
    std::size_t at_ = 0;      // in the current piece
    std::size_t before_ = 0;  // the bytes of the pieces before it
    std::size_t total_ = 0;   // the bytes of all pieces
    const RecordStream* stream_;
};

// The records of a stream in order.
class RecordStream {
public:
    // `where` names the file and stream in messages.
    RecordStream(std::span<const std::uint8_t> stream, std::string where);
    RecordStream(std::span<const std::uint8_t> stream, std::unique_ptr<const Wording> wording);

    // The next record, or false at the end of the stream. A header or body that runs past the
    // end fails with the offset.
    bool next(Record& record);
    // A reader of one record.
    RecordReader reader(const Record& record) const { return RecordReader(record, *this); }
    // A reader of a record and the Continue records that follow it, for records that can be
    // long; the stream goes on after them.
    RecordReader continued(const Record& first);
    // Goes to a stream offset (a sheet's BOF, from BoundSheet); fails when it lies outside.
    void seek(std::size_t offset);
    std::size_t offset() const { return at_; }
    std::size_t size() const { return stream_.size(); }
    const std::string& where() const { return wording_->where(); }
    const Wording& wording() const { return *wording_; }
    // From a CodePage record on, 8-bit strings are decoded with it.
    void setCodePage(std::uint16_t codePage) { decoder_.setCodePage(codePage); }
    const ByteDecoder& decoder() const { return decoder_; }

    [[noreturn]] void fail(std::size_t offset, const std::string& what) const;

private:
    std::span<const std::uint8_t> stream_;
    std::size_t at_ = 0;
    std::unique_ptr<const Wording> wording_;
    ByteDecoder decoder_;
};

// Builds record bodies field by field, little-endian, and records with their headers: for the
// writers of the binary formats.
class RecordWriter {
public:
    RecordWriter& u8(std::uint8_t value);
    RecordWriter& u16(std::uint16_t value);
    RecordWriter& u32(std::uint32_t value);
    RecordWriter& f64(double value);
    RecordWriter& bytes(std::span<const std::uint8_t> data);
    // A record: the 16-bit id, the 16-bit length and the body. Fails with InvalidArgument
    // for a body longer than 65,535 bytes.
    RecordWriter& record(std::uint16_t id, std::span<const std::uint8_t> body);

    const std::vector<std::uint8_t>& data() const { return data_; }
    std::vector<std::uint8_t> take() { return std::move(data_); }

private:
    std::vector<std::uint8_t> data_;
};

}  // namespace office::binary
