#pragma once

// Writing small binary workbook streams record by record, for the .xls tests and the fuzz
// target: a globals part with fonts, formats, XFs, the sheet list and shared strings, then
// the sheets, with each sheet's stream offset filled into its BoundSheet record.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "office/compound/compound_file.h"

namespace xls_test {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& out, unsigned value) {
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>((value >> 8) & 0xFF));
}

inline void put32(Bytes& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

inline void putDouble(Bytes& out, double value) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    put32(out, static_cast<std::uint32_t>(bits));
    put32(out, static_cast<std::uint32_t>(bits >> 32));
}

// 8-bit characters (Latin-1) when every one fits, else UTF-16 code units, with the flags byte.
inline void putChars(Bytes& out, const std::u16string& text) {
    bool wide = false;
    for (char16_t c : text) {
        wide = wide || c > 0xFF;
    }
    out.push_back(wide ? 1 : 0);
    for (char16_t c : text) {
        if (wide) {
            put16(out, c);
        } else {
            out.push_back(static_cast<std::uint8_t>(c));
        }
    }
}

// XLUnicodeString (16-bit length).
inline Bytes unicodeString(const std::u16string& text) {
    Bytes out;
    put16(out, static_cast<unsigned>(text.size()));
    putChars(out, text);
    return out;
}

inline Bytes cellHead(int row, int column, int xf) {
    Bytes out;
    put16(out, row - 1);
    put16(out, column - 1);
    put16(out, xf);
    return out;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct SheetStream {
    std::u16string name;
    std::uint8_t type = 0;                                 // 0 worksheet, 2 chart sheet
    std::uint8_t state = 0;                                // 0 visible, 1 hidden
    std::vector<std::pair<std::uint16_t, Bytes>> records;  // between BOF and EOF
};

class StreamBuilder {
public:
    // Globals records after BOF (CodePage, DateMode, Font, Format, XF, SST, ...).
    void global(std::uint16_t id, Bytes body) { globals_.emplace_back(id, std::move(body)); }
    void sheet(SheetStream sheet) { sheets_.push_back(std::move(sheet)); }
    std::uint16_t version = 0x0600;

    Bytes build() const {
        Bytes out;
        record(out, 0x0809, bof(0x0005));
        std::vector<std::size_t> offsets;
        for (const auto& [id, body] : globals_) {
            record(out, id, body);
        }
        for (const auto& sheet : sheets_) {
            Bytes body;
            offsets.push_back(out.size() + 4);
            put32(body, 0);
            body.push_back(sheet.state);
            body.push_back(sheet.type);
            body.push_back(static_cast<std::uint8_t>(sheet.name.size()));
            putChars(body, sheet.name);
            record(out, 0x0085, body);
        }
        record(out, 0x000A, {});
        for (std::size_t i = 0; i < sheets_.size(); ++i) {
            const std::uint32_t at = static_cast<std::uint32_t>(out.size());
            for (int b = 0; b < 4; ++b) {
                out[offsets[i] + b] = static_cast<std::uint8_t>(at >> (8 * b));
            }
            record(out, 0x0809, bof(sheets_[i].type == 2 ? 0x0020 : 0x0010));
            for (const auto& [id, body] : sheets_[i].records) {
                record(out, id, body);
            }
            record(out, 0x000A, {});
        }
        return out;
    }

    static void record(Bytes& out, std::uint16_t id, const Bytes& body) {
        put16(out, id);
        put16(out, static_cast<unsigned>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
    }

private:
    Bytes bof(unsigned type) const {
        Bytes body;
        put16(body, version);
        put16(body, type);
        put16(body, 0x0DBB);  // build
        put16(body, 0x07CC);  // year
        put32(body, 0);
        put32(body, 0x06);
        return body;
    }

    std::vector<std::pair<std::uint16_t, Bytes>> globals_;
    std::vector<SheetStream> sheets_;
};

// A compound file holding the streams, written to path.
inline void writeCompound(const std::filesystem::path& path,
                          const std::map<std::string, Bytes>& streams) {
    const Bytes file = office::compound::create(streams);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

}  // namespace xls_test
