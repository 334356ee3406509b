#include "office/binary/records.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "office/error.h"

namespace office::binary {

double le64Double(const std::uint8_t* p) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | p[i];
    }
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string hex4(std::uint16_t id) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text = "0x0000";
    for (int i = 0; i < 4; ++i) {
        text[static_cast<std::size_t>(5 - i)] = digits[(id >> (4 * i)) & 0xF];
    }
    return text;
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void appendUtf16(std::string& out, std::span<const std::uint8_t> bytes) {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        std::uint32_t code = le16(&bytes[i]);
        if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
            const std::uint32_t low = le16(&bytes[i + 2]);
            if (low >= 0xDC00 && low < 0xE000) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (code >= 0xD800 && code < 0xE000) {
            code = 0xFFFD;  // a lone surrogate
        }
        appendUtf8(out, code);
    }
}

void appendLatin1(std::string& out, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes) {
        appendUtf8(out, byte);
    }
}

// ---- ByteDecoder ----

namespace {

// The iconv name of a code page that a CodePage record names.
std::string iconvName(std::uint16_t codePage) {
    switch (codePage) {
        case 367:
            return "ASCII";
        case 10000:
        case 32768:
            return "MACINTOSH";
        case 32769:
            return "CP1252";
        default:
            return "CP" + std::to_string(codePage);
    }
}

}  // namespace

ByteDecoder::~ByteDecoder() {
    if (converter_) {
        iconv_close(static_cast<iconv_t>(converter_));
    }
}

void ByteDecoder::setCodePage(std::uint16_t codePage) {
    if (converter_) {
        iconv_close(static_cast<iconv_t>(converter_));
        converter_ = nullptr;
    }
    if (codePage == 1200 || codePage == 28591) {
        return;
    }
    iconv_t converter = iconv_open("UTF-8", iconvName(codePage).c_str());
    if (converter != reinterpret_cast<iconv_t>(-1)) {
        converter_ = converter;
    }
}

void ByteDecoder::append(std::string& out, std::span<const std::uint8_t> bytes) const {
    if (!converter_) {
        appendLatin1(out, bytes);
        return;
    }
    auto converter = static_cast<iconv_t>(converter_);
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* to = buffer;
        std::size_t toLeft = sizeof buffer;
        const std::size_t done = iconv(converter, &in, &inLeft, &to, &toLeft);
        out.append(buffer, static_cast<std::size_t>(to - buffer));
        if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
            out += "\xEF\xBF\xBD";  // a byte the code page does not map: U+FFFD
            ++in;
            --inLeft;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

// ---- Wording ----

std::string Wording::record(const Record& record, const std::string& what) const {
    return where_ + ": record " + hex4(record.id) + " at offset " + std::to_string(record.offset) +
           ": " + what;
}

std::string Wording::cutShort(const Record& record, std::size_t count) const {
    return this->record(
        record, "the record ends too early (" + std::to_string(count) + " more bytes needed)");
}

std::string Wording::at(std::size_t offset, const std::string& what) const {
    return where_ + ": at offset " + std::to_string(offset) + ": " + what;
}

std::string Wording::headerCut(std::size_t offset) const {
    return at(offset, "the stream ends inside a record header");
}

std::string Wording::bodyCut(const Record& record, std::size_t length) const {
    return at(record.offset, "record " + hex4(record.id) + " of " + std::to_string(length) +
                                 " bytes runs past the end of the stream");
}

// ---- RecordReader ----

RecordReader::RecordReader(const Record& record, const RecordStream& stream)
    : first_(record), total_(record.data.size()), stream_(&stream) {}

RecordReader::RecordReader(const Record& record, std::vector<Record> continues,
                           const RecordStream& stream)
    : first_(record), more_(std::move(continues)), total_(record.data.size()), stream_(&stream) {
    for (const Record& more : more_) {
        total_ += more.data.size();
    }
}

void RecordReader::fail(const std::string& what) const {
    throw Error(ErrorCode::CorruptPart, stream_->wording().record(first_, what));
}

void RecordReader::need(std::size_t count) {
    if (remaining() < count) {
        throw Error(ErrorCode::CorruptPart, stream_->wording().cutShort(first_, count));
    }
}

void RecordReader::nextPiece() {
    before_ += piece(piece_).data.size();
    ++piece_;
    at_ = 0;
}

std::uint8_t RecordReader::byte() {
    while (at_ >= piece(piece_).data.size()) {
        nextPiece();
    }
    return piece(piece_).data[at_++];
}

std::uint8_t RecordReader::u8() {
    need(1);
    return byte();
}

std::uint16_t RecordReader::u16() {
    need(2);
    const std::uint8_t low = byte();
    return static_cast<std::uint16_t>(low | (byte() << 8));
}

std::uint32_t RecordReader::u32() {
    const std::uint32_t low = u16();
    return low | (static_cast<std::uint32_t>(u16()) << 16);
}

double RecordReader::f64() {
    need(8);
    std::uint8_t bytes[8];
    for (auto& b : bytes) {
        b = byte();
    }
    return le64Double(bytes);
}

void RecordReader::skip(std::size_t count) {
    need(count);
    while (count > 0) {
        if (at_ >= piece(piece_).data.size()) {
            nextPiece();
            continue;
        }
        const std::size_t step = std::min(count, piece(piece_).data.size() - at_);
        at_ += step;
        count -= step;
    }
}

std::string RecordReader::unicodeString() {
    const std::size_t count = u16();
    return characters(count, u8());
}

std::string RecordReader::shortUnicodeString() {
    const std::size_t count = u8();
    return characters(count, u8());
}

std::string RecordReader::characters(std::size_t count, std::uint8_t flags) {
    std::size_t runs = 0;
    std::size_t phonetic = 0;
    if (flags & 0x08) {
        runs = u16();
    }
    if (flags & 0x04) {
        phonetic = u32();
    }
    std::string result = text(count, (flags & 0x01) != 0);
    skip(runs * 4);
    // Phonetic data may be cut off by the end of the records in files written by some
    // programs; what there is is skipped.
    skip(std::min<std::size_t>(phonetic, remaining()));
    return result;
}

std::string RecordReader::text(std::size_t count, bool wide) {
    std::string result;
    result.reserve(std::min(count, remaining()));
    while (count > 0) {
        if (at_ >= piece(piece_).data.size()) {
            // The characters go on in the next Continue record, which starts with its own
            // flags byte.
            if (piece_ + 1 >= pieces()) {
                fail("a string ends too early (" + std::to_string(count) + " characters missing)");
            }
            nextPiece();
            if (piece(piece_).data.empty()) {
                fail("a string goes on in an empty Continue record");
            }
            wide = piece(piece_).data[at_++] & 0x01;
            continue;
        }
        const auto& data = piece(piece_).data;
        const std::size_t width = wide ? 2 : 1;
        const std::size_t here = std::min(count, (data.size() - at_) / width);
        if (here == 0) {
            fail("a string character is split between two records");
        }
        const auto bytes = data.subspan(at_, here * width);
        if (wide) {
            appendUtf16(result, bytes);
        } else {
            stream_->decoder().append(result, bytes);
        }
        at_ += here * width;
        count -= here;
    }
    return result;
}

// ---- RecordStream ----

Frame frameRecord(std::span<const std::uint8_t> stream, std::size_t at, Record& record) {
    if (at >= stream.size()) {
        return Frame::End;
    }
    if (stream.size() - at < 4) {
        return Frame::HeaderCut;
    }
    record.id = le16(&stream[at]);
    record.offset = at;
    const std::size_t length = le16(&stream[at + 2]);
    if (length > stream.size() - at - 4) {
        return Frame::BodyCut;
    }
    record.data = stream.subspan(at + 4, length);
    return Frame::Whole;
}

RecordStream::RecordStream(std::span<const std::uint8_t> stream, std::string where)
    : RecordStream(stream, std::make_unique<const Wording>(std::move(where))) {}

RecordStream::RecordStream(std::span<const std::uint8_t> stream,
                           std::unique_ptr<const Wording> wording)
    : stream_(stream), wording_(std::move(wording)) {}

void RecordStream::fail(std::size_t offset, const std::string& what) const {
    throw Error(ErrorCode::CorruptPart, wording_->at(offset, what));
}

bool RecordStream::next(Record& record) {
    switch (frameRecord(stream_, at_, record)) {
        case Frame::End:
            return false;
        case Frame::HeaderCut:
            throw Error(ErrorCode::CorruptPart, wording_->headerCut(at_));
        case Frame::BodyCut:
            throw Error(ErrorCode::CorruptPart, wording_->bodyCut(record, le16(&stream_[at_ + 2])));
        case Frame::Whole:
            break;
    }
    at_ += 4 + record.data.size();
    return true;
}

RecordReader RecordStream::continued(const Record& first) {
    std::vector<Record> continues;
    while (at_ + 4 <= stream_.size() && le16(&stream_[at_]) == kContinue) {
        Record more;
        next(more);
        continues.push_back(more);
    }
    return RecordReader(first, std::move(continues), *this);
}

void RecordStream::seek(std::size_t offset) {
    if (offset >= stream_.size()) {
        fail(offset, "a sheet begins beyond the end of the stream (" +
                         std::to_string(stream_.size()) + " bytes)");
    }
    at_ = offset;
}

// ---- RecordWriter ----

RecordWriter& RecordWriter::u8(std::uint8_t value) {
    data_.push_back(value);
    return *this;
}

RecordWriter& RecordWriter::u16(std::uint16_t value) {
    data_.push_back(static_cast<std::uint8_t>(value & 0xFF));
    data_.push_back(static_cast<std::uint8_t>(value >> 8));
    return *this;
}

RecordWriter& RecordWriter::u32(std::uint32_t value) {
    u16(static_cast<std::uint16_t>(value & 0xFFFF));
    return u16(static_cast<std::uint16_t>(value >> 16));
}

RecordWriter& RecordWriter::f64(double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    u32(static_cast<std::uint32_t>(bits));
    return u32(static_cast<std::uint32_t>(bits >> 32));
}

RecordWriter& RecordWriter::bytes(std::span<const std::uint8_t> data) {
    data_.insert(data_.end(), data.begin(), data.end());
    return *this;
}

RecordWriter& RecordWriter::record(std::uint16_t id, std::span<const std::uint8_t> body) {
    if (body.size() > 0xFFFF) {
        throw Error(ErrorCode::InvalidArgument, "record " + hex4(id) + " of " +
                                                    std::to_string(body.size()) +
                                                    " bytes is longer than a record can be");
    }
    u16(id).u16(static_cast<std::uint16_t>(body.size()));
    return bytes(body);
}

}  // namespace office::binary
