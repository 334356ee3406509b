#pragma once

// The records of the binary workbook format (BIFF8): the ids of the records that the workbook
// reader and the Graph object reader look at, and the format's own number encodings, over the
// record layer of office/binary.

#include <cstdint>

#include "office/binary/records.h"

namespace office::excel::xls {

// Record ids: the workbook globals' and the worksheets' records, then the chart records that a
// Graph object's data holds.
namespace rt {
inline constexpr std::uint16_t Formula = 0x0006;
inline constexpr std::uint16_t Eof = 0x000A;
inline constexpr std::uint16_t DateMode = 0x0022;
inline constexpr std::uint16_t FilePass = 0x002F;
inline constexpr std::uint16_t Font = 0x0031;
inline constexpr std::uint16_t Continue = binary::kContinue;
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
// Records of a worksheet that only the writer looks at: it keeps, moves or writes them anew.
inline constexpr std::uint16_t Selection = 0x001D;
inline constexpr std::uint16_t Pane = 0x0041;
inline constexpr std::uint16_t Scl = 0x00A0;
inline constexpr std::uint16_t DbCell = 0x00D7;
inline constexpr std::uint16_t OleSize = 0x00DE;
inline constexpr std::uint16_t ExtSst = 0x00FF;
inline constexpr std::uint16_t Dimensions = 0x0200;
inline constexpr std::uint16_t Index = 0x020B;
inline constexpr std::uint16_t Array = 0x0221;
inline constexpr std::uint16_t Table = 0x0236;
inline constexpr std::uint16_t Window2 = 0x023E;
inline constexpr std::uint16_t ShrFmla = 0x04BC;
inline constexpr std::uint16_t Plv = 0x088B;
// The beginnings of older streams (BIFF2, BIFF3, BIFF4).
inline constexpr std::uint16_t Bof2 = 0x0009;
inline constexpr std::uint16_t Bof3 = 0x0209;
inline constexpr std::uint16_t Bof4 = 0x0409;
// The cell records of older streams, which Graph still writes in its data sheet.
inline constexpr std::uint16_t Blank2 = 0x0001;
inline constexpr std::uint16_t Integer2 = 0x0002;
inline constexpr std::uint16_t Number2 = 0x0003;
inline constexpr std::uint16_t Label2 = 0x0004;
// Formula records as BIFF3 and BIFF4 number them; some writers still use them in BIFF8 streams.
inline constexpr std::uint16_t Formula3 = 0x0206;
inline constexpr std::uint16_t Formula4 = 0x0406;
// Chart records.
inline constexpr std::uint16_t Chart = 0x1002;
inline constexpr std::uint16_t Series = 0x1003;
inline constexpr std::uint16_t DataFormat = 0x1006;
inline constexpr std::uint16_t LineFormat = 0x1007;
inline constexpr std::uint16_t MarkerFormat = 0x1009;
inline constexpr std::uint16_t AreaFormat = 0x100A;
inline constexpr std::uint16_t PieFormat = 0x100B;
inline constexpr std::uint16_t AttachedLabel = 0x100C;
inline constexpr std::uint16_t SeriesText = 0x100D;
inline constexpr std::uint16_t ChartFormat = 0x1014;
inline constexpr std::uint16_t Legend = 0x1015;
inline constexpr std::uint16_t Bar = 0x1017;
inline constexpr std::uint16_t Line = 0x1018;
inline constexpr std::uint16_t Pie = 0x1019;
inline constexpr std::uint16_t Area = 0x101A;
inline constexpr std::uint16_t Scatter = 0x101B;
inline constexpr std::uint16_t Axis = 0x101D;
inline constexpr std::uint16_t Tick = 0x101E;
inline constexpr std::uint16_t ValueRange = 0x101F;
inline constexpr std::uint16_t CatSerRange = 0x1020;
inline constexpr std::uint16_t AxisLine = 0x1021;
inline constexpr std::uint16_t DefaultText = 0x1024;
inline constexpr std::uint16_t Text = 0x1025;
inline constexpr std::uint16_t FontX = 0x1026;
inline constexpr std::uint16_t ObjectLink = 0x1027;
inline constexpr std::uint16_t Frame = 0x1032;
inline constexpr std::uint16_t Begin = 0x1033;
inline constexpr std::uint16_t End = 0x1034;
inline constexpr std::uint16_t PlotArea = 0x1035;
inline constexpr std::uint16_t Chart3d = 0x103A;
inline constexpr std::uint16_t Radar = 0x103E;
inline constexpr std::uint16_t Surf = 0x103F;
inline constexpr std::uint16_t RadarArea = 0x1040;
inline constexpr std::uint16_t IFmtRecord = 0x104E;
inline constexpr std::uint16_t SerParent = 0x104A;
inline constexpr std::uint16_t Brai = 0x1051;
inline constexpr std::uint16_t ExcludeRows = 0x1053;
inline constexpr std::uint16_t ExcludeColumns = 0x1054;
inline constexpr std::uint16_t Orient = 0x1055;
inline constexpr std::uint16_t SerFmt = 0x105D;
inline constexpr std::uint16_t BarShape3d = 0x105F;
inline constexpr std::uint16_t BopPop = 0x1061;
}  // namespace rt

// The record layer itself (framing, checked reads, Continue records, strings) is the binary
// formats' own; the workbook code names it here.
using binary::appendLatin1;
using binary::appendUtf16;
using binary::appendUtf8;
using binary::ByteDecoder;
using binary::Frame;
using binary::frameRecord;
using binary::hex4;
using binary::le16;
using binary::le32;
using binary::le64Double;
using binary::Record;
using binary::RecordReader;
using binary::RecordStream;

// The number an RK value stands for: an integer or the high half of a double, either of them
// possibly divided by 100.
double rkNumber(std::uint32_t rk);

}  // namespace office::excel::xls
