#pragma once

// The reader of a Graph object's "Workbook" stream as its files share it: the record fields'
// helpers and the Parser, whose chart records are read in records_chart.cpp.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "office/binary/palette.h"
#include "office/error.h"
#include "office/excel/xls/biff.h"
#include "office/graph/msgraph/records.h"

namespace office::graph::msgraph::reading {

namespace rt = excel::xls::rt;
using binary::hex4;
using Fields = binary::RecordReader;

constexpr std::uint16_t kBiff8 = 0x0680;
constexpr std::uint16_t kAllPoints = 0xFFFF;     // DataFormat of a whole series
constexpr std::uint16_t kGroupDefault = 0xFFFD;  // DataFormat of all a chart group's series
Rgb rgb(Fields& f);

// A count, a flags byte (bit 0: 16-bit characters) and the characters.
std::string string8(Fields& f);
std::string string16(Fields& f);

Rgb rgbOf(std::uint32_t color);

// A built-in number format that the object's own Format records do not replace.
std::string builtInFormat(int index);

// What a Text block turned out to label, the text it holds and its font.
struct PendingText {
    std::optional<std::uint16_t> link;
    std::optional<std::string> text;
    std::optional<int> font;      // the font record's index (FontX)
    std::optional<Rgb> color;     // the text's own colour, when it is not automatic
    std::optional<int> defaults;  // the DefaultText kind the block gives the defaults of
    int position = 0;             // a data label's place (the record's dlp field), 0 automatic
    bool inLegend = false;
};

// A font record as the globals list it: the look, and the colour index resolved against the
// palette when a text uses it.
struct FontRecord {
    TextLook look;
    int colorIndex = 0x7FFF;
};

// The zero-based change points of an ExcludeRows or ExcludeColumns record: the first included
// line, the next excluded one, the next included one, and so on.
using ChangePoints = std::vector<int>;

class Parser {
public:
    explicit Parser(const std::string& where) : where_(where) {
        for (std::size_t i = 0; i < binary::kDefaultPalette.size(); ++i) {
            chart_.palette[i] = rgbOf(binary::kDefaultPalette[i]);
        }
    }

    GraphChart run(std::span<const std::uint8_t> stream);

private:
    void record(const Record& r);
    void cell(const Record& r);
    void chartRecord(const Record& r, Fields& f);
    void chartKind(const Record& r, Fields& f);
    void formatRecord(const Record& r, Fields& f);
    void closeBlock();
    void closeText();
    void textRecord(Fields& f);
    void axisRecord(const Record& r, Fields& f);
    void markerRecord(Fields& f);
    void view3D(Fields& f);
    void chartSize(Fields& f);
    void dataFormat(Fields& f);
    void fontRecord(Fields& f);
    void applyExclusions();
    TextLook fontLook(int index, std::optional<Rgb> color) const;
    Rgb colorOf(int index) const;
    void setCell(Fields& f, int row, int column, office::Value value, int format);

    bool inside(std::uint16_t id) const {
        const auto it = openBlocks_.find(id);
        return it != openBlocks_.end() && it->second > 0;
    }
    bool directlyIn(std::uint16_t id) const { return !blocks_.empty() && blocks_.back() == id; }
    [[noreturn]] void unsupported(const std::string& what) const {
        throw Error(ErrorCode::NotSupported,
                    where_ + ": the chart object is " + what + ", which has no native chart form");
    }

    const std::string& where_;
    GraphChart chart_;
    std::map<int, std::string> formats_;
    std::vector<std::uint16_t> blocks_;
    std::map<std::uint16_t, std::size_t> openBlocks_;  // how many blocks of each id are open
    const binary::RecordStream* stream_ = nullptr;
    std::uint16_t previous_ = 0;
    bool inChart_ = false;
    bool sawChart_ = false;
    bool sawKind_ = false;
    int chartGroups_ = 0;
    SeriesFormat* format_ = nullptr;  // the DataFormat block being read, if it is a series'
    SeriesFormat pointFormat_;        // where the formats of group defaults go (not kept)
    PointFormat* point_ = nullptr;    // the DataFormat block being read, if it is a point's
    Box* box_ = nullptr;              // the Frame block being read, if it is one we keep
    DataLabels* labels_ = nullptr;
    DataLabels ignoredLabels_;
    int axisType_ = -1;
    int axisLine_ = -1;
    PendingText text_;
    std::optional<int> defaultText_;  // a DefaultText record waiting for its Text block
    std::vector<FontRecord> fonts_;
    std::optional<ChangePoints> includedRows_;
    std::optional<ChangePoints> includedColumns_;
};

}  // namespace office::graph::msgraph::reading
