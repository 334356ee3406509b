#pragma once

// Helpers of the Graph chart object tests: the record builder, a chart whose records carry a
// look of their own, and reading the stream out of an OLE object part.

#include <string>

#include "office/compound/compound_file.h"
#include "office/package/package.h"
#include "tests/support/graph_records.h"

namespace msgraph_test {

using support::graph_records::Body;
using support::graph_records::Bytes;
using support::graph_records::Stream;

// The "Workbook" stream of an OLE object part of a package; empty when it has none.
inline Bytes workbookStream(const office::package::Package& package, const std::string& part) {
    const std::string raw = package.read(part);
    const auto file = office::compound::File::openBytes(Bytes(raw.begin(), raw.end()), part);
    return file.hasStream("Workbook") ? file.readStream("Workbook") : Bytes();
}

// A Font record: height in twips, italic flag, colour index, weight, the face's name.
inline Body font(int twips, bool bold, bool italic, int colour, const std::string& face) {
    return Body()
        .u16(twips)
        .u16(italic ? 0x02 : 0)
        .u16(colour)
        .u16(bold ? 700 : 400)
        .zeros(6)
        .wide8(face);
}

// A Text block linked to `link` (0 for none) in font `fontIndex`; `colour` < 0 for automatic.
inline Stream& textBlock(Stream& s, int link, int fontIndex, int colour = -1,
                         const std::string& caption = {}) {
    Body text;
    text.zeros(4);
    text.rgb((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
    text.zeros(16).u16(colour < 0 ? 0x01 : 0x00).zeros(6);
    s.add(0x1025, text).begin();
    s.add(0x1026, Body().u16(fontIndex));
    if (!caption.empty()) {
        s.add(0x100D, Body().u16(0).wide8(caption));
    }
    if (link > 0) {
        s.add(0x1027, Body().u16(link).u16(0).u16(0xFFFF));
    }
    return s.end();
}

// A marker: outline and inside colours, symbol, flags, size in twips.
inline Body markerBody(int symbol, int flags, int twips) {
    return Body()
        .rgb(0x11, 0x22, 0x33)
        .rgb(0x44, 0x55, 0x66)
        .u16(symbol)
        .u16(flags)
        .u16(8)
        .u16(9)
        .u32(static_cast<std::uint32_t>(twips));
}

// Three series in rows (S1..S3) over categories A..C; the second row is left out of the chart.
// S1 has an explicit line (dashed, wide), a circle marker and a point of its own (fill, no
// outline); the series of S3 an automatic marker. Fonts for the chart, title, labels, legend and
// both axes; a logarithmic value axis from 1 to 1000 by 10 with dotted grey gridlines, a reversed
// category axis with inside ticks and labels high, crossed by the value axis at category 2.
inline Stream lineChartWithLook() {
    Stream s;
    s.add(0x0031, font(200, false, false, 0x7FFF, "Arial"));    // FontX 0
    s.add(0x0031, font(360, true, false, 0x7FFF, "Tahoma"));    // 1
    s.add(0x0031, font(240, false, true, 10, "Times"));         // 2: red from the palette
    s.add(0x0031, font(180, false, false, 0x7FFF, "Verdana"));  // 3
    s.add(0x0031, font(280, true, false, 0x7FFF, "Courier"));   // 5 (there is no 4)
    s.label(0, 1, "A").label(0, 2, "B").label(0, 3, "C");
    for (int row = 1; row <= 3; ++row) {
        s.label(row, 0, "S" + std::to_string(row));
        for (int column = 1; column <= 3; ++column) {
            s.number(row, column, row * 10 + column);
        }
    }
    s.add(0x1053, Body().u16(0).u16(2).u16(3).u16(4));  // rows 0-1 and 3 included
    s.add(0x1054, Body().u16(0).u16(4));
    s.add(0x1055, Body().u8(1).u16(0).u16(0).u8(1));
    s.add(0x1003, Body().zeros(12)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(0).u16(0).u16(0)).begin();
    s.add(0x1007, Body().rgb(0x12, 0x34, 0x56).u16(1).u16(2).u16(0).u16(8));  // dashes, wide
    s.add(0x1009, markerBody(8, 0x00, 200));
    s.add(0x100C, Body().u16(0x01)).end();
    s.add(0x1006, Body().u16(1).u16(0).u16(0).u16(0)).begin();
    s.add(0x100A, Body().rgb(0xAA, 0x00, 0x11).rgb(0, 0, 0).u16(1).u16(0).u16(8).u16(9));
    s.add(0x1007, Body().rgb(0, 0, 0).u16(5).u16(0).u16(0).u16(8));
    s.add(0x1009, markerBody(3, 0x10, 160)).end();
    s.end();
    s.add(0x1003, Body().zeros(12)).begin();
    s.add(0x1006, Body().u16(0xFFFF).u16(1).u16(1).u16(0)).begin();
    s.add(0x1009, markerBody(2, 0x01, 100)).end();
    s.end();
    s.add(0x1024, Body().u16(2));
    textBlock(s, 0, 5);
    textBlock(s, 1, 1, -1, "Look");
    textBlock(s, 4, 2, 0x008000);
    s.add(0x101D, Body().u16(0).zeros(16)).begin();
    s.add(0x1020, Body().u16(2).u16(1).u16(1).u16(0x04));
    s.add(0x101E, Body().u8(1).u8(2).u8(2).u8(1).rgb(0, 0, 0).zeros(16).u16(0x01).zeros(4));
    s.add(0x1026, Body().u16(3));
    s.end();
    s.add(0x101D, Body().u16(1).zeros(16)).begin();
    s.add(0x101F, Body().f64(1).f64(1000).f64(10).f64(0).f64(0).u16(0x08 | 0x10 | 0x20));
    s.add(0x101E, Body().u8(3).u8(0).u8(0).u8(1).rgb(0x00, 0x00, 0xFF).zeros(16).u16(0).zeros(4));
    s.add(0x1026, Body().u16(0));
    // Dotted hairline gridlines of their own grey.
    s.add(0x1021, Body().u16(1));
    s.add(0x1007, Body().rgb(0x80, 0x80, 0x80).u16(2).u16(0xFFFF).u16(0).u16(8));
    s.end();
    s.add(0x1014, Body().zeros(20)).begin();
    s.add(0x1018, Body().u16(0));
    s.add(0x1015, Body().zeros(16).u8(3).u8(1).u16(0)).begin();
    textBlock(s, 0, 3);
    s.end();
    s.end();
    return s.finish();
}

}  // namespace msgraph_test
