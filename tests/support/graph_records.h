#pragma once

// Builds a Graph chart object's "Workbook" stream record by record: for the tests of the Graph
// reader and the benchmark of Graph conversion.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace support::graph_records {

using Bytes = std::vector<std::uint8_t>;

// Record bodies built field by field.
class Body {
public:
    Body& u8(int v) {
        bytes_.push_back(static_cast<std::uint8_t>(v));
        return *this;
    }
    Body& u16(int v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    Body& u32(std::uint32_t v) {
        return u16(static_cast<int>(v & 0xFFFF)).u16(static_cast<int>(v >> 16));
    }
    Body& f64(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i) {
            u8(static_cast<int>((bits >> (8 * i)) & 0xFF));
        }
        return *this;
    }
    Body& rgb(int r, int g, int b) { return u8(r).u8(g).u8(b).u8(0); }
    Body& zeros(int count) {
        for (int i = 0; i < count; ++i) {
            u8(0);
        }
        return *this;
    }
    // An 8-bit count, a flags byte and 16-bit characters (ASCII text only).
    Body& wide8(const std::string& text) {
        u8(static_cast<int>(text.size())).u8(1);
        for (char c : text) {
            u16(static_cast<unsigned char>(c));
        }
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

// A Workbook stream: the globals substream, then a chart substream whose records the test adds.
class Stream {
public:
    Stream() {
        add(0x0809, Body().u16(0x0680).u16(0x0005).zeros(12));
        add(0x000A, Body());
        add(0x0809, Body().u16(0x0680).u16(0x8000).zeros(12));
    }
    Stream& add(int id, const Body& body) {
        const Bytes& b = body.bytes();
        bytes_.push_back(static_cast<std::uint8_t>(id & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(id >> 8));
        bytes_.push_back(static_cast<std::uint8_t>(b.size() & 0xFF));
        bytes_.push_back(static_cast<std::uint8_t>(b.size() >> 8));
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    Stream& begin() { return add(0x1033, Body()); }
    Stream& end() { return add(0x1034, Body()); }
    // Data sheet cells as Graph writes them: row, column, three attribute bytes (the second
    // holding the number format's index), then the value.
    Stream& number(int row, int column, double v, int format = 0) {
        return add(0x0003, Body().u16(row).u16(column).u8(0).u8(format).u8(0).f64(v));
    }
    Stream& label(int row, int column, const std::string& text) {
        Body body;
        body.u16(row).u16(column).zeros(3).u16(static_cast<int>(text.size()));
        for (char c : text) {
            body.u8(static_cast<unsigned char>(c));
        }
        return add(0x0004, body);
    }
    // A text block linked to the title (1), value axis (2) or category axis (3).
    Stream& text(int link, const std::string& caption) {
        add(0x1025, Body().zeros(32));
        begin();
        add(0x100D, Body().u16(0).wide8(caption));
        add(0x1027, Body().u16(link).u16(0).u16(0));
        return end();
    }
    Stream& finish() { return add(0x000A, Body()); }
    const Bytes& bytes() const { return bytes_; }

private:
    Bytes bytes_;
};

}  // namespace support::graph_records
