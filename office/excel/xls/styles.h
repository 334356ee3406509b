#pragma once

// The formatting records of a binary workbook (fonts, number formats, extended formats with
// their extensions, the colour palette), read into the workbook's style model; and the
// in-memory package of the workbook: its sheet list and each worksheet's columns, rows and
// merged areas, which the copy code reads as it reads an .xlsx's parts.

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "office/excel/model.h"
#include "office/excel/xls/biff.h"
#include "office/package/package.h"

namespace office::excel::xls {

struct FontRecord {
    double points = 10;
    bool italic = false;
    bool strike = false;
    bool bold = false;
    std::uint16_t color = 0x7FFF;  // palette index; 0x7FFF: automatic
    std::uint16_t script = 0;      // 1 superscript, 2 subscript
    std::uint8_t underline = 0;    // 1 single, 2 double, 0x21/0x22 accounting
    std::uint8_t family = 0;
    std::uint8_t charset = 0;
    std::string name;
};

// A colour as an extension record gives it (full RGB, a theme colour with a tint, or a palette
// index), overriding the palette index of the XF record.
struct ExtColor {
    enum Kind : std::uint8_t { None, Indexed, Rgb, Theme } kind = None;
    std::uint32_t value = 0;  // palette index, 0xRRGGBB or theme index
    double tint = 0;
};

struct XfRecord {
    std::uint16_t font = 0;
    std::uint16_t format = 0;
    std::uint8_t horizontal = 0;  // 0 general, 1 left, 2 center, 3 right, 4 fill, 5 justify,
                                  // 6 center across selection, 7 distributed
    std::uint8_t vertical = 2;    // 0 top, 1 center, 2 bottom, 3 justify, 4 distributed
    bool wrap = false;
    bool shrink = false;
    std::uint8_t rotation = 0;
    std::uint8_t indent = 0;
    std::uint8_t lineStyle[5] = {};  // left, right, top, bottom, diagonal
    std::uint16_t lineColor[5] = {};
    std::uint8_t diagonal = 0;  // 1 down, 2 up
    std::uint8_t pattern = 0;
    std::uint16_t foreground = 64;
    std::uint16_t background = 65;
    // From XFExt: fill foreground and background, borders (left, right, top, bottom, diagonal).
    ExtColor extFill[2];
    ExtColor extLine[5];
};

class StyleRecords {
public:
    // Takes a Font, Format, XF, XFExt or Palette record.
    void add(RecordReader in);
    // The xf index a cell refers to as the model keeps it (unknown indexes give the default).
    std::uint32_t cellStyle(std::uint32_t xf) const;

    // The style model of these records: every XF record is a cell format of the same index.
    detail::StyleTable table() const;

    const std::vector<XfRecord>& xfs() const { return xfs_; }
    const std::map<int, std::string>& formats() const { return formats_; }

private:
    void font(RecordReader& in);
    void xf(RecordReader& in);
    void xfExt(RecordReader& in);
    void palette(RecordReader& in);
    detail::Color colorOf(std::uint16_t index, const ExtColor& ext) const;
    detail::Xf cellFormat(const XfRecord& xf, detail::StyleTable& table) const;

    std::vector<FontRecord> fonts_;
    std::map<int, std::string> formats_;
    std::vector<XfRecord> xfs_;
    std::array<std::uint32_t, 56> palette_;  // indexes 8 to 63
    bool paletteSet_ = false;
};

struct ColumnLayout {
    int first = 0, last = 0;  // 1-based
    double width = 0;         // in characters
    bool hidden = false;
    std::uint32_t style = 0;  // 0: none of its own
};

struct RowLayout {
    int row = 0;
    double height = 0;  // in points
    bool hidden = false;
};

struct MergedArea {
    int top = 0, left = 0, bottom = 0, right = 0;  // 1-based
};

struct SheetLayout {
    double defaultRowHeight = 12.75;
    int defaultColumnWidth = 8;
    std::vector<ColumnLayout> columns;
    std::vector<RowLayout> rows;
    std::vector<MergedArea> merges;
};

struct SheetPart {
    std::string name;
    std::uint8_t type = 0;   // 0 worksheet, 1 macro sheet, 2 chart sheet
    std::uint8_t state = 0;  // 0 visible, 1 hidden, 2 very hidden
    SheetLayout layout;
};

// The in-memory package: the workbook part with the sheet list and a worksheet part for each
// worksheet; `displayName` names it in messages.
package::Package workbookPackage(const std::vector<SheetPart>& sheets, bool date1904,
                                 const std::string& displayName);

}  // namespace office::excel::xls
