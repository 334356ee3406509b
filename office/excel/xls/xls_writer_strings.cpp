// The strings of the binary workbook writer: UTF-8 text as the format's strings, and the shared
// strings (SST) with the EXTSST that finds them.

#include <algorithm>

#include "office/excel/xls/xls_writer_parts.h"

namespace office::excel::xls::writing {

namespace {

bool wide(const std::u16string& text) {
    return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; });
}

void appendCharacters(RecordWriter& out, const std::u16string& text, bool isWide) {
    for (const char16_t c : text) {
        if (isWide) {
            out.u16(c);
        } else {
            out.u8(static_cast<std::uint8_t>(c));
        }
    }
}

}  // namespace

std::u16string utf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80    ? 0
                          : lead >= 0xF0 ? 3
                          : lead >= 0xE0 ? 2
                          : lead >= 0xC0 ? 1
                                         : -1;
        std::uint32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
        bool good = extra >= 0 && i + extra < text.size() + (extra == 0 ? 1 : 0);
        for (int k = 1; good && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            good = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!good) {
            out.push_back(u'\uFFFD');
            ++i;
            continue;
        }
        i += 1 + extra;
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
    }
    return out;
}
void appendString(RecordWriter& out, std::string_view utf8, bool shortLength) {
    std::u16string text = utf16(utf8);
    text.resize(std::min<std::size_t>(text.size(), shortLength ? 0xFF : 0xFFFF));
    const bool isWide = wide(text);
    if (shortLength) {
        out.u8(static_cast<std::uint8_t>(text.size()));
    } else {
        out.u16(static_cast<std::uint16_t>(text.size()));
    }
    out.u8(isWide ? 1 : 0);
    appendCharacters(out, text, isWide);
}

std::vector<SstEntry> readSst(std::span<const std::uint8_t> stream, const Unit& unit,
                              std::uint32_t& totalRefs, const std::string& where) {
    RecordStream records(stream, where + ": Workbook stream");
    records.seek(unit.offset);
    Record first;
    records.next(first);
    RecordReader in = records.continued(first);
    totalRefs = in.u32();
    const std::uint32_t unique = in.u32();
    std::vector<SstEntry> entries;
    for (std::uint32_t i = 0; i < unique && !in.atEnd(); ++i) {
        const std::size_t count = in.u16();
        const std::uint8_t flags = in.u8();
        const std::size_t runs = (flags & 0x08) ? in.u16() : 0;
        const std::size_t phonetic = (flags & 0x04) ? in.u32() : 0;
        SstEntry entry;
        entry.text = utf16(in.text(count, (flags & 0x01) != 0));
        entry.runs.resize(runs * 4);
        for (auto& byte : entry.runs) {
            byte = in.u8();
        }
        entry.phonetic.resize(std::min(phonetic, in.remaining()));
        for (auto& byte : entry.phonetic) {
            byte = in.u8();
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

void SstWriter::add(const SstEntry& entry) {
    const bool isWide = wide(entry.text);
    RecordWriter head;
    head.u16(static_cast<std::uint16_t>(std::min<std::size_t>(entry.text.size(), 0xFFFF)));
    head.u8(static_cast<std::uint8_t>((isWide ? 0x01 : 0) | (entry.runs.empty() ? 0 : 0x08) |
                                      (entry.phonetic.empty() ? 0 : 0x04)));
    if (!entry.runs.empty()) {
        head.u16(static_cast<std::uint16_t>(entry.runs.size() / 4));
    }
    if (!entry.phonetic.empty()) {
        head.u32(static_cast<std::uint32_t>(entry.phonetic.size()));
    }
    const std::size_t width = isWide ? 2 : 1;
    if (room() < head.data().size() + (entry.text.empty() ? 0 : width)) {
        next();
    }
    if (count_++ % step_ == 0) {
        RecordWriter info;
        info.u32(static_cast<std::uint32_t>(position()))
            .u16(static_cast<std::uint16_t>(4 + record_.back().size()));
        info.u16(0);
        append(buckets_, info.data());
    }
    append(record_.back(), head.data());
    std::size_t done = 0;
    const std::size_t length = std::min<std::size_t>(entry.text.size(), 0xFFFF);
    while (done < length) {
        const std::size_t here = std::min(length - done, room() / width);
        if (here == 0) {
            next();
            record_.back().push_back(isWide ? 1 : 0);  // the flags of the characters' rest
            continue;
        }
        RecordWriter chars;
        appendCharacters(chars, entry.text.substr(done, here), isWide);
        append(record_.back(), chars.data());
        done += here;
    }
    for (std::size_t i = 0; i < entry.runs.size(); i += 4) {
        if (room() < 4) {
            next();
        }
        append(record_.back(), std::span(entry.runs).subspan(i, 4));
    }
    for (std::size_t i = 0; i < entry.phonetic.size();) {
        if (room() == 0) {
            next();
        }
        const std::size_t here = std::min(room(), entry.phonetic.size() - i);
        append(record_.back(), std::span(entry.phonetic).subspan(i, here));
        i += here;
    }
}

Bytes SstWriter::finish() const {
    Bytes out;
    for (std::size_t i = 0; i < record_.size(); ++i) {
        append(out, RecordWriter().record(i == 0 ? rt::Sst : rt::Continue, record_[i]).data());
    }
    RecordWriter ext;
    ext.u16(static_cast<std::uint16_t>(step_)).bytes(buckets_);
    appendRecord(out, rt::ExtSst, ext);
    return out;
}

}  // namespace office::excel::xls::writing
