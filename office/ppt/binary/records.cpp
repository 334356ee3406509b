#include "office/ppt/binary/records.h"

#include <QString>

#include "office/error.h"

namespace office::ppt::binary {

namespace {

constexpr int kMaxDepth = 64;

std::string offsetText(std::size_t offset) {
    return "offset " + std::to_string(offset);
}

bool parseChildren(std::span<const std::uint8_t> stream, Record& record, std::size_t begin,
                   const std::string& where, int depth);

Record parseAt(std::span<const std::uint8_t> stream, std::size_t offset, const std::string& where,
               int depth) {
    Record record;
    record.header = headerAt(stream, offset, where);
    const std::size_t begin = offset + kHeaderSize;
    if (record.isContainer() && !parseChildren(stream, record, begin, where, depth)) {
        record.keptAsBytes = true;
    }
    if (!record.isContainer()) {
        const auto first = stream.begin() + static_cast<std::ptrdiff_t>(begin);
        record.body.assign(first, first + static_cast<std::ptrdiff_t>(record.header.length));
    }
    return record;
}

// Reads the children of a container. False when they do not fill it exactly or nest too deep:
// the container is then kept as its bytes, so that nothing of it is lost or misread.
bool parseChildren(std::span<const std::uint8_t> stream, Record& record, std::size_t begin,
                   const std::string& where, int depth) {
    if (depth >= kMaxDepth) {
        return false;
    }
    const std::size_t end = begin + record.header.length;
    std::span<const std::uint8_t> inside = stream.first(end);
    for (std::size_t at = begin; at < end;) {
        if (end - at < kHeaderSize || u32At(inside, at + 4) > end - at - kHeaderSize) {
            record.children.clear();
            return false;
        }
        Record child = parseAt(inside, at, where, depth + 1);
        at += kHeaderSize + child.header.length;
        record.children.push_back(std::move(child));
    }
    return true;
}

}  // namespace

std::uint16_t u16At(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + 2 > bytes.size()) {
        return 0;
    }
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::uint32_t u32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    if (at + 4 > bytes.size()) {
        return 0;
    }
    return static_cast<std::uint32_t>(u16At(bytes, at)) |
           (static_cast<std::uint32_t>(u16At(bytes, at + 2)) << 16);
}

void putU16(Bytes& bytes, std::size_t at, std::uint16_t value) {
    bytes.at(at) = static_cast<std::uint8_t>(value);
    bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

void putU32(Bytes& bytes, std::size_t at, std::uint32_t value) {
    putU16(bytes, at, static_cast<std::uint16_t>(value));
    putU16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void appendU16(Bytes& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<std::uint8_t>(value));
    bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

void appendU32(Bytes& bytes, std::uint32_t value) {
    appendU16(bytes, static_cast<std::uint16_t>(value));
    appendU16(bytes, static_cast<std::uint16_t>(value >> 16));
}

RecordHeader headerAt(std::span<const std::uint8_t> stream, std::size_t offset,
                      const std::string& where) {
    if (offset > stream.size() || stream.size() - offset < kHeaderSize) {
        throw Error(ErrorCode::CorruptPart, where + ": " + offsetText(offset) +
                                                ": a record header runs past the end (" +
                                                std::to_string(stream.size()) + " bytes)");
    }
    RecordHeader header;
    const std::uint16_t first = u16At(stream, offset);
    header.version = first & 0xF;
    header.instance = first >> 4;
    header.type = u16At(stream, offset + 2);
    header.length = u32At(stream, offset + 4);
    if (header.length > stream.size() - offset - kHeaderSize) {
        throw Error(ErrorCode::CorruptPart,
                    where + ": " + offsetText(offset) + ": record 0x" +
                        QString::number(header.type, 16).toUpper().toStdString() + " of " +
                        std::to_string(header.length) + " bytes runs past the end (" +
                        std::to_string(stream.size()) + " bytes)");
    }
    return header;
}

Record* Record::child(std::uint16_t type, int instance) {
    for (Record& found : children) {
        if (found.header.type == type && (instance < 0 || found.header.instance == instance)) {
            return &found;
        }
    }
    return nullptr;
}

const Record* Record::child(std::uint16_t type, int instance) const {
    return const_cast<Record*>(this)->child(type, instance);
}

void Record::appendTo(Bytes& out) const {
    const std::size_t start = out.size();
    appendU16(out, static_cast<std::uint16_t>(header.version | (header.instance << 4)));
    appendU16(out, header.type);
    appendU32(out, 0);
    if (isContainer()) {
        for (const Record& inner : children) {
            inner.appendTo(out);
        }
    } else {
        out.insert(out.end(), body.begin(), body.end());
    }
    putU32(out, start + 4, static_cast<std::uint32_t>(out.size() - start - kHeaderSize));
}

Bytes Record::serialise() const {
    Bytes out;
    appendTo(out);
    return out;
}

Record parseRecord(std::span<const std::uint8_t> stream, std::size_t offset,
                   const std::string& where) {
    return parseAt(stream, offset, where, 0);
}

Record makeAtom(std::uint16_t type, std::uint16_t instance, Bytes body) {
    Record record;
    record.header.type = type;
    record.header.instance = instance;
    record.body = std::move(body);
    return record;
}

Record makeContainer(std::uint16_t type, std::uint16_t instance) {
    Record record;
    record.header.version = 0xF;
    record.header.type = type;
    record.header.instance = instance;
    return record;
}

std::string fromUtf16(std::span<const std::uint8_t> bytes) {
    std::u16string text;
    for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
        text.push_back(static_cast<char16_t>(u16At(bytes, at)));
    }
    return QString::fromStdU16String(text).toStdString();
}

Bytes toUtf16(const std::string& text) {
    Bytes out;
    for (char16_t unit : QString::fromStdString(text).toStdU16String()) {
        appendU16(out, unit);
    }
    return out;
}

}  // namespace office::ppt::binary
