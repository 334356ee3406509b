// Reading a Graph object's "Workbook" stream into a GraphChart. The chart records nest in
// Begin/End blocks; the reader keeps the ids of the records that opened the blocks it is in,
// so that a LineFormat, say, is taken as a series' line inside a DataFormat block and as a
// gridline inside an Axis block.

#include "office/graph/msgraph/records.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "office/binary/palette.h"
#include "office/error.h"
#include "office/excel/number_format.h"
#include "office/excel/xls/biff.h"

namespace office::graph::msgraph {

namespace {

namespace rt = excel::xls::rt;
using binary::hex4;
using Fields = binary::RecordReader;

constexpr std::uint16_t kBiff8 = 0x0680;
constexpr std::uint16_t kAllPoints = 0xFFFF;     // DataFormat of a whole series
constexpr std::uint16_t kGroupDefault = 0xFFFD;  // DataFormat of all a chart group's series

// The failures of a chart object's records, worded as the object's own.
class ChartWording : public binary::Wording {
public:
    using Wording::Wording;
    std::string record(const Record& r, const std::string& what) const override {
        return where() + ": the chart object's record " + hex4(r.id) + " at offset " +
               std::to_string(r.offset) + " " + what;
    }
    std::string cutShort(const Record& r, std::size_t) const override {
        return record(r, "is cut short");
    }
    std::string headerCut(std::size_t offset) const override {
        return where() + ": the chart object's data ends inside a record header at offset " +
               std::to_string(offset);
    }
    std::string bodyCut(const Record& r, std::size_t) const override {
        return record(r, "runs past the end of its data");
    }
};

Rgb rgb(Fields& f) {
    const auto red = f.u8();
    const auto green = f.u8();
    const auto blue = f.u8();
    f.skip(1);
    return {red, green, blue};
}

// Characters whose count was read already, 8-bit (Latin-1) or 16-bit (UTF-16LE), all within
// the record: one cut short fails as every short read does.
std::string characters(Fields& f, std::size_t count, bool wide) {
    const std::size_t bytes = wide ? 2 * count : count;
    if (f.remaining() < bytes) {
        f.skip(bytes);
    }
    return f.text(count, wide);
}

// A count, a flags byte (bit 0: 16-bit characters) and the characters.
std::string string8(Fields& f) {
    const std::size_t count = f.u8();
    return characters(f, count, (f.u8() & 1) != 0);
}

std::string string16(Fields& f) {
    const std::size_t count = f.u16();
    return characters(f, count, (f.u8() & 1) != 0);
}

Rgb rgbOf(std::uint32_t color) {
    return {static_cast<std::uint8_t>(color >> 16), static_cast<std::uint8_t>(color >> 8),
            static_cast<std::uint8_t>(color)};
}

// A built-in number format that the object's own Format records do not replace.
std::string builtInFormat(int index) {
    return excel::detail::builtinNumberFormat(index);
}

// What a Text block turned out to label, the text it holds and its font.
struct PendingText {
    std::optional<std::uint16_t> link;
    std::optional<std::string> text;
    std::optional<int> font;      // the font record's index (FontX)
    std::optional<Rgb> color;     // the text's own colour, when it is not automatic
    std::optional<int> defaults;  // the DefaultText kind the block gives the defaults of
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

GraphChart Parser::run(std::span<const std::uint8_t> stream) {
    binary::RecordStream cursor(stream, std::make_unique<const ChartWording>(where_));
    stream_ = &cursor;
    Record r;
    if (!cursor.next(r) || r.id != rt::Bof) {
        throw Error(ErrorCode::CorruptPart,
                    where_ + ": the chart object's data is no workbook stream");
    }
    Fields bof = cursor.reader(r);
    if (bof.u16() != kBiff8) {
        bof.fail("is of a workbook format older than the one Graph 97 and later write");
    }
    do {
        record(r);
        previous_ = r.id;
    } while (cursor.next(r));
    if (!sawChart_ || !sawKind_) {
        throw Error(ErrorCode::CorruptPart,
                    where_ + ": the chart object's data holds no chart records");
    }
    applyExclusions();
    return std::move(chart_);
}

void Parser::record(const Record& r) {
    Fields f = stream_->reader(r);
    switch (r.id) {
        case rt::Bof: {
            f.skip(2);
            const std::uint16_t type = f.u16();
            inChart_ = type == 0x8000 || type == 0x0020;
            sawChart_ = sawChart_ || inChart_;
            blocks_.clear();
            openBlocks_.clear();
            return;
        }
        case rt::Eof:
            inChart_ = false;
            return;
        case rt::Format: {
            const int index = f.u16();
            formats_[index] = string16(f);
            return;
        }
        case rt::Font:
            fontRecord(f);
            return;
        case rt::Palette: {
            const int count = f.u16();
            for (int i = 0; i < count && i < 56; ++i) {
                chart_.palette[static_cast<std::size_t>(i)] = rgb(f);
            }
            return;
        }
        default:
            break;
    }
    if (!inChart_) {
        return;
    }
    if (r.id == rt::Blank2 || r.id == rt::Integer2 || r.id == rt::Number2 || r.id == rt::Label2 ||
        r.id == rt::Number || r.id == rt::Label) {
        cell(r);
        return;
    }
    chartRecord(r, f);
}

// A data sheet cell goes into a worksheet's grid when the chart is converted: one beyond it is
// refused, as the workbook reader refuses it.
void Parser::setCell(Fields& f, int row, int column, office::Value value, int format) {
    const detail::CellPos pos{row + 1, column + 1};
    if (!excel::detail::onSheet(pos)) {
        f.fail("holds a cell beyond the worksheet: " + excel::detail::beyondSheet(pos));
    }
    detail::CellData data;
    data.value = std::move(value);
    if (const auto it = formats_.find(format); it != formats_.end()) {
        data.numberFormat = it->second;
    } else if (std::string builtIn = builtInFormat(format); !builtIn.empty()) {
        data.numberFormat = std::move(builtIn);
    }
    chart_.sheet.cells[pos] = std::move(data);
}

void Parser::cell(const Record& r) {
    Fields f = stream_->reader(r);
    const int row = f.u16();
    const int column = f.u16();
    if (r.id == rt::Number || r.id == rt::Label) {
        f.skip(2);  // the cell's format record, which Graph's data sheet does not use
        if (r.id == rt::Number) {
            setCell(f, row, column, office::Value::number(f.f64()), 0);
        } else {
            setCell(f, row, column, office::Value::text(string16(f)), 0);
        }
        return;
    }
    f.skip(1);
    const int format = f.u8() & 0x3F;
    f.skip(1);
    switch (r.id) {
        case rt::Blank2:
            return;
        case rt::Integer2:
            setCell(f, row, column, office::Value::number(f.u16()), format);
            return;
        case rt::Number2:
            setCell(f, row, column, office::Value::number(f.f64()), format);
            return;
        default:
            break;
    }
    // A label: a 16-bit count and the characters, 8-bit as a rule; a flags byte before them
    // says when they are 16-bit.
    const std::size_t count = f.u16();
    std::string text;
    if (f.remaining() == count) {
        text = characters(f, count, false);
    } else if (f.remaining() == count + 1 || f.remaining() == 2 * count + 1) {
        const bool wide = (f.u8() & 1) != 0;
        text = characters(f, count, wide);
    } else {
        f.fail("holds a label whose length does not match the record");
    }
    setCell(f, row, column, office::Value::text(std::move(text)), format);
}

void Parser::closeBlock() {
    if (blocks_.empty()) {
        return;  // an End without a Begin: nothing was opened that could be closed
    }
    const std::uint16_t closed = blocks_.back();
    blocks_.pop_back();
    --openBlocks_[closed];
    if (closed == rt::DataFormat) {
        format_ = nullptr;
        point_ = nullptr;
        labels_ = nullptr;
    } else if (closed == rt::Axis) {
        axisType_ = -1;
        axisLine_ = -1;
    } else if (closed == rt::Text) {
        closeText();
    } else if (closed == rt::Frame) {
        box_ = nullptr;
    }
}

// A Text block is over: its text is the title's or an axis title's, and its font theirs, the
// legend's, the data labels', or a default: the whole chart's (DefaultText 2) or that of the
// axes and data labels (DefaultText 3).
void Parser::closeText() {
    ChartLook& look = chart_.look;
    const TextLook font = text_.font ? fontLook(*text_.font, text_.color) : TextLook{};
    const std::uint16_t link = text_.link.value_or(0);
    if (text_.text) {
        if (link == 1) {
            look.title = text_.text;
        } else if (link == 2) {
            look.valueAxis.title = text_.text;
        } else if (link == 3) {
            look.categoryAxis.title = text_.text;
        }
    }
    if (font.known) {
        if (text_.defaults == 2) {
            look.font = font;
        } else if (text_.defaults == 3) {
            look.axesFont = font;
        } else if (text_.inLegend) {
            look.legendFont = font;
        } else if (link == 1) {
            look.titleFont = font;
        } else if (link == 2) {
            look.valueAxis.titleFont = font;
        } else if (link == 3) {
            look.categoryAxis.titleFont = font;
        } else if (link == 4 && !look.labelsFont.known) {
            look.labelsFont = font;  // the first series' labels stand for all of them
        }
    }
    text_ = {};
}

// The look of font record `index` (FontX numbering: the fifth record is number 5, there is
// no number 4), with the text's own colour where it has one.
TextLook Parser::fontLook(int index, std::optional<Rgb> color) const {
    const int entry = index < 4 ? index : index - 1;
    if (entry < 0 || entry >= static_cast<int>(fonts_.size())) {
        return {};
    }
    const FontRecord& record = fonts_[static_cast<std::size_t>(entry)];
    TextLook look = record.look;
    if (color) {
        look.color = color;
    } else if (record.colorIndex != 0x7FFF) {
        look.color = colorOf(record.colorIndex);
    }
    return look;
}

// A colour index: the eight fixed colours, then the palette's 56.
Rgb Parser::colorOf(int index) const {
    if (index >= 0 && index < 8) {
        return rgbOf(binary::kFixedColors[static_cast<std::size_t>(index)]);
    }
    if (index >= 8 && index < 64) {
        return chart_.palette[static_cast<std::size_t>(index - 8)];
    }
    return {0, 0, 0};  // the system's text colour
}

// Font: height in twips, flags (bit 1 italic), colour index, weight, then the name after
// eight bytes of script, underline, family and character set.
void Parser::fontRecord(Fields& f) {
    FontRecord record;
    record.look.known = true;
    record.look.size = f.u16() * 5;  // twips to hundredths of a point
    record.look.italic = (f.u16() & 0x02) != 0;
    record.colorIndex = f.u16();
    record.look.bold = f.u16() >= 600;
    f.skip(6);
    record.look.family = string8(f);
    fonts_.push_back(std::move(record));
}

void Parser::chartRecord(const Record& r, Fields& f) {
    ChartLook& look = chart_.look;
    switch (r.id) {
        case rt::Begin:
            blocks_.push_back(previous_);
            ++openBlocks_[previous_];
            return;
        case rt::End:
            closeBlock();
            return;
        case rt::Orient:
            chart_.sheet.seriesInRows = f.u8() != 0;
            return;
        case rt::Series:
            // A DataFormat block left open (a damaged stream) must not keep pointing into the
            // list of series, which may move as it grows.
            format_ = nullptr;
            point_ = nullptr;
            labels_ = nullptr;
            look.series.emplace_back();
            return;
        case rt::ChartFormat:
            if (++chartGroups_ > 1) {
                unsupported("a combination of chart kinds");
            }
            return;
        case rt::Bar:
        case rt::Line:
        case rt::Pie:
        case rt::Area:
        case rt::Scatter:
        case rt::Radar:
        case rt::RadarArea:
        case rt::Surf:
        case rt::BopPop:
            if (directlyIn(rt::ChartFormat)) {
                chartKind(r, f);
            }
            return;
        case rt::Chart3d:
            look.threeD = true;
            view3D(f);
            return;
        case rt::Frame:
            // The plot area's frame follows its PlotArea record; the chart area's and the
            // legend's lie in their blocks.
            box_ = previous_ == rt::PlotArea ? &look.plotArea
                   : directlyIn(rt::Chart)   ? &look.chartArea
                   : directlyIn(rt::Legend)  ? &look.legendBox
                                             : nullptr;
            return;
        case rt::DefaultText:
            defaultText_ = f.u16();
            return;
        case rt::Text:
            textRecord(f);
            return;
        case rt::FontX:
            if (directlyIn(rt::Text)) {
                text_.font = f.u16();
            } else if (directlyIn(rt::Axis) && (axisType_ == 0 || axisType_ == 1)) {
                // The tick labels' own colour (Tick) stays over the font's.
                TextLook& font = (axisType_ == 0 ? look.categoryAxis : look.valueAxis).font;
                font = fontLook(f.u16(), font.color);
            }
            return;
        case rt::ValueRange:
        case rt::CatSerRange:
        case rt::Tick:
            if (directlyIn(rt::Axis)) {
                axisRecord(r, f);
            }
            return;
        case rt::ExcludeRows:
        case rt::ExcludeColumns: {
            ChangePoints points;
            while (f.remaining() >= 2) {
                points.push_back(f.u16());
            }
            (r.id == rt::ExcludeRows ? includedRows_ : includedColumns_) = std::move(points);
            return;
        }
        case rt::Legend: {
            f.skip(16);
            static constexpr LegendPosition positions[] = {
                LegendPosition::Bottom, LegendPosition::Corner, LegendPosition::Top,
                LegendPosition::Right, LegendPosition::Left};
            const int type = f.u8();
            look.hasLegend = true;
            look.legendPosition = type < 5 ? positions[type] : LegendPosition::Right;
            return;
        }
        case rt::Axis: {
            axisType_ = f.u16();
            if (axisType_ == 0) {
                look.categoryAxis.present = true;
            } else if (axisType_ == 1) {
                look.valueAxis.present = true;
            }
            return;
        }
        case rt::AxisLine:
            axisLine_ = f.u16();
            return;
        case rt::IFmtRecord: {
            if (axisType_ != 0 && axisType_ != 1) {
                return;
            }
            const int index = f.u16();
            const auto it = formats_.find(index);
            std::string code = it != formats_.end() ? it->second : builtInFormat(index);
            if (!code.empty()) {
                (axisType_ == 0 ? look.categoryAxis : look.valueAxis).numberFormat = code;
            }
            return;
        }
        case rt::ObjectLink:
            if (inside(rt::Text)) {
                text_.link = f.u16();
            }
            return;
        case rt::SeriesText:
            if (directlyIn(rt::Text)) {
                f.skip(2);
                text_.text = string8(f);
            }
            return;
        case rt::SerFmt:
            if (inside(rt::Series) && (f.u16() & 1) != 0) {
                look.smoothLines = true;
            }
            return;
        case rt::BarShape3d: {
            if (!inside(rt::Series) || look.series.size() != 1) {
                return;  // the first series' shape stands for the chart's
            }
            const int riser = f.u8();
            const int taper = f.u8();
            look.shape = taper == 0 ? (riser == 0 ? BarShape::Box : BarShape::Cylinder)
                                    : (riser == 0 ? BarShape::Pyramid : BarShape::Cone);
            return;
        }
        default:
            formatRecord(r, f);
            return;
    }
}

void Parser::chartKind(const Record& r, Fields& f) {
    ChartLook& look = chart_.look;
    sawKind_ = true;
    switch (r.id) {
        case rt::Bar: {
            look.kind = Kind::Bar;
            look.overlap = f.i16();
            look.gapWidth = f.u16();
            const int flags = f.u16();
            look.horizontal = (flags & 1) != 0;
            look.grouping = (flags & 4)   ? Grouping::Percent
                            : (flags & 2) ? Grouping::Stacked
                                          : Grouping::Standard;
            return;
        }
        case rt::Line:
        case rt::Area: {
            look.kind = r.id == rt::Line ? Kind::Line : Kind::Area;
            const int flags = f.u16();
            look.grouping = (flags & 2)   ? Grouping::Percent
                            : (flags & 1) ? Grouping::Stacked
                                          : Grouping::Standard;
            return;
        }
        case rt::Pie: {
            look.firstSliceAngle = f.u16();
            look.holeSize = f.u16();
            look.kind = look.holeSize > 0 ? Kind::Doughnut : Kind::Pie;
            look.varyColors = true;
            return;
        }
        case rt::Scatter: {
            f.skip(4);
            if ((f.u16() & 1) != 0) {
                unsupported("a bubble chart");
            }
            look.kind = Kind::Scatter;
            return;
        }
        case rt::Radar:
            look.kind = Kind::Radar;
            return;
        case rt::RadarArea:
            look.kind = Kind::FilledRadar;
            return;
        case rt::Surf:
            unsupported("a surface chart");
        default:
            unsupported("a pie or bar of pie");
    }
}

// Text: alignment (2 bytes), background mode (2), the text's colour, position and size (16),
// flags (bit 0: the colour is automatic).
void Parser::textRecord(Fields& f) {
    text_ = {};
    text_.defaults = defaultText_;
    defaultText_.reset();
    text_.inLegend = directlyIn(rt::Legend);
    f.skip(4);
    const Rgb color = rgb(f);
    f.skip(16);
    if ((f.u16() & 0x01) == 0) {
        text_.color = color;
    }
}

// The scale, tick marks and tick labels of the axis whose block is open.
void Parser::axisRecord(const Record& r, Fields& f) {
    if (axisType_ != 0 && axisType_ != 1) {
        return;
    }
    Axis& axis = axisType_ == 0 ? chart_.look.categoryAxis : chart_.look.valueAxis;
    Scaling& scaling = axis.scaling;
    if (r.id == rt::ValueRange) {
        // Minimum, maximum, major and minor unit, crossing value; flags say which are automatic.
        const double values[] = {f.f64(), f.f64(), f.f64(), f.f64(), f.f64()};
        const int flags = f.u16();
        std::optional<double>* fields[] = {&scaling.min, &scaling.max, &scaling.majorUnit,
                                           &scaling.minorUnit, &scaling.crossesAt};
        for (int i = 0; i < 5; ++i) {
            if ((flags & (1 << i)) == 0) {
                *fields[i] = values[i];
            }
        }
        scaling.logarithmic = (flags & 0x20) != 0;
        scaling.reversed = (flags & 0x40) != 0;
        scaling.crossesAtMax = (flags & 0x80) != 0;
        return;
    }
    if (r.id == rt::CatSerRange) {
        // Crossing category, label and mark intervals, flags (bit 1: crosses at the last
        // category, bit 2: reversed).
        const int crossing = f.u16();
        if (crossing > 1) {
            scaling.crossesAt = crossing;
        }
        f.skip(4);
        const int flags = f.u16();
        scaling.crossesAtMax = (flags & 0x02) != 0;
        scaling.reversed = (flags & 0x04) != 0;
        return;
    }
    static constexpr TickMark marks[] = {TickMark::None, TickMark::Inside, TickMark::Outside,
                                         TickMark::Cross};
    static constexpr TickLabels labels[] = {TickLabels::None, TickLabels::Low, TickLabels::High,
                                            TickLabels::NextTo};
    const int major = f.u8();
    const int minor = f.u8();
    const int position = f.u8();
    axis.majorTicks = major < 4 ? marks[major] : TickMark::Outside;
    axis.minorTicks = minor < 4 ? marks[minor] : TickMark::None;
    axis.tickLabels = position < 4 ? labels[position] : TickLabels::NextTo;
    f.skip(1);
    const Rgb color = rgb(f);
    f.skip(16);
    if ((f.u16() & 0x01) == 0) {
        axis.font.color = color;
        axis.font.known = true;
    }
}

// MarkerFormat: outline and inside colours, symbol, flags (bit 0 automatic, bit 4 no inside,
// bit 5 no outline), two colour indices, size in twips.
void Parser::markerRecord(Fields& f) {
    static constexpr Marker::Symbol symbols[] = {Marker::Symbol::None,     Marker::Symbol::Square,
                                                 Marker::Symbol::Diamond,  Marker::Symbol::Triangle,
                                                 Marker::Symbol::X,        Marker::Symbol::Star,
                                                 Marker::Symbol::DowJones, Marker::Symbol::StdDev,
                                                 Marker::Symbol::Circle,   Marker::Symbol::Plus};
    Marker marker;
    marker.line = rgb(f);
    marker.fill = rgb(f);
    const int symbol = f.u16();
    const int flags = f.u16();
    f.skip(4);
    marker.size = std::clamp(static_cast<int>(f.u32() / 20), 2, 72);
    marker.symbol = symbol < 10 ? symbols[symbol] : Marker::Symbol::Square;
    marker.automatic = (flags & 0x01) != 0;
    marker.noFill = (flags & 0x10) != 0;
    marker.noLine = (flags & 0x20) != 0;
    if (point_) {
        point_->marker = marker;
    } else if (format_ && format_ != &pointFormat_) {
        format_->marker = marker;
    }
}

// Chart3d: rotation, elevation, perspective distance, height and depth in percent, gap,
// flags (bit 0 perspective, bit 1 clustered).
void Parser::view3D(Fields& f) {
    View3D view;
    view.rotation = f.u16() % 360;
    view.elevation = std::clamp(static_cast<int>(f.i16()), -90, 90);
    view.perspective = std::clamp(static_cast<int>(f.u16()), 0, 100);
    view.heightPercent = std::clamp(static_cast<int>(f.u16()), 5, 500);
    view.depthPercent = std::clamp(static_cast<int>(f.u16()), 20, 2000);
    f.skip(2);
    const int flags = f.u16();
    view.rightAngles = (flags & 0x01) == 0;
    view.clustered = (flags & 0x02) != 0;
    chart_.look.view = view;
}

// DataFormat opens the formats of a whole series, of one of its points, or the defaults of
// the chart group.
void Parser::dataFormat(Fields& f) {
    ChartLook& look = chart_.look;
    const std::uint16_t point = f.u16();
    f.skip(2);  // the series' index
    const std::uint16_t order = f.u16();
    point_ = nullptr;
    if (inside(rt::Series) && !look.series.empty()) {
        SeriesFormat& series = look.series.back();
        if (point == kAllPoints) {
            format_ = &series;
            labels_ = &look.labels;
        } else {
            format_ = &pointFormat_;
            point_ = &series.points[point];
            labels_ = &ignoredLabels_;
        }
    } else if (order == kGroupDefault) {
        format_ = &pointFormat_;
        labels_ = &look.labels;
    } else {
        format_ = &pointFormat_;
        labels_ = &ignoredLabels_;
    }
}

Paint paintOf(Rgb color, bool none, bool automatic) {
    Paint paint;
    paint.mode = none        ? Paint::Mode::None
                 : automatic ? Paint::Mode::Automatic
                             : Paint::Mode::Explicit;
    paint.color = color;
    return paint;
}

// LineFormat: colour, pattern (0 solid, 1 dash, 2 dot, 3 dash-dot, 4 dash-dot-dot, 5 none,
// 6 to 8 grey shades, drawn solid), weight (-1 hairline, 0 narrow, 1 medium, 2 wide), flags
// (bit 0 automatic).
Paint lineOf(Fields& f) {
    const Rgb color = rgb(f);
    const int pattern = f.u16();
    const int weight = f.i16();
    const bool automatic = (f.u16() & 1) != 0;
    Paint paint = paintOf(color, pattern == 5, automatic);
    if (paint.mode != Paint::Mode::Explicit) {
        return paint;
    }
    static constexpr Paint::Dash dashes[] = {Paint::Dash::Solid, Paint::Dash::Dash,
                                             Paint::Dash::Dot, Paint::Dash::DashDot,
                                             Paint::Dash::DashDotDot};
    paint.dash = pattern < 5 ? dashes[pattern] : Paint::Dash::Solid;
    paint.width = weight < 0 ? 3175 : weight == 0 ? 9525 : weight == 1 ? 19050 : 28575;
    return paint;
}

// The formats of a series or point (inside its DataFormat block), the gridlines of an axis,
// and the data labels.
void Parser::formatRecord(const Record& r, Fields& f) {
    ChartLook& look = chart_.look;
    if (r.id == rt::DataFormat) {
        dataFormat(f);
        return;
    }
    const bool inFormat = directlyIn(rt::DataFormat) && format_;
    switch (r.id) {
        case rt::LineFormat: {
            const Paint paint = lineOf(f);
            const bool none = paint.mode == Paint::Mode::None;
            if (inFormat) {
                if (point_) {
                    point_->line = paint;
                } else {
                    format_->line = paint;
                }
            } else if (directlyIn(rt::Frame) && box_) {
                box_->line = paint;
            } else if (directlyIn(rt::Axis) && (axisType_ == 0 || axisType_ == 1)) {
                Axis& axis = axisType_ == 0 ? look.categoryAxis : look.valueAxis;
                const std::optional<Paint> own =
                    paint.mode == Paint::Mode::Explicit ? std::optional(paint) : std::nullopt;
                if (axisLine_ == 1) {
                    axis.majorGridlines = !none;
                    axis.majorGridlineLook = own;
                } else if (axisLine_ == 2) {
                    axis.minorGridlines = !none;
                    axis.minorGridlineLook = own;
                }
            }
            return;
        }
        case rt::AreaFormat: {
            const bool inFrame = directlyIn(rt::Frame) && box_;
            if (!inFormat && !inFrame) {
                return;
            }
            const Rgb fore = rgb(f);
            f.skip(4);
            const int pattern = f.u16();
            const bool automatic = (f.u16() & 1) != 0;
            const Paint paint = paintOf(fore, pattern == 0, automatic);
            if (inFrame) {
                box_->fill = paint;
                return;
            }
            if (point_) {
                point_->fill = paint;
            } else {
                format_->fill = paint;
            }
            return;
        }
        case rt::PieFormat:
            if (inFormat && point_) {
                point_->explosion = f.u16();
            } else if (inFormat) {
                format_->explosion = f.u16();
            }
            return;
        case rt::MarkerFormat:
            if (inFormat) {
                markerRecord(f);
            }
            return;
        case rt::AttachedLabel: {
            if (!inFormat || !labels_) {
                return;
            }
            const int flags = f.u16();
            labels_->value = labels_->value || (flags & 0x01) != 0;
            labels_->percent = labels_->percent || (flags & 0x06) != 0;
            labels_->category = labels_->category || (flags & 0x14) != 0;
            labels_->seriesName = labels_->seriesName || (flags & 0x40) != 0;
            return;
        }
        default:
            return;
    }
}

// The rows and columns within the data sheet's cells that the exclusion records leave out.
// A record without change points (nothing included) is taken as saying nothing: a chart
// without data is not what its author made.
void Parser::applyExclusions() {
    DataSheet& sheet = chart_.sheet;
    int lastRow = 0;
    int lastColumn = 0;
    for (const auto& [pos, cell] : sheet.cells) {
        lastRow = std::max(lastRow, pos.row);
        lastColumn = std::max(lastColumn, pos.column);
    }
    // One walk along the lines and the change points together: a record of thousands of change
    // points over a sheet of thousands of lines must not cost their product.
    auto collect = [](const std::optional<ChangePoints>& points, int last, std::set<int>& out) {
        if (!points || points->empty()) {
            return;
        }
        auto next = points->begin();
        bool in = false;
        for (int line = 1; line <= last; ++line) {
            for (; next != points->end() && *next <= line - 1; ++next) {
                in = !in;
            }
            if (!in) {
                out.insert(out.end(), line);
            }
        }
    };
    collect(includedRows_, lastRow, sheet.excludedRows);
    collect(includedColumns_, lastColumn, sheet.excludedColumns);
}

}  // namespace

GraphChart readGraphChart(std::span<const std::uint8_t> stream, const std::string& where) {
    return Parser(where).run(stream);
}

std::string hexColor(Rgb color) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t part : {color.red, color.green, color.blue}) {
        text += digits[part >> 4];
        text += digits[part & 0xF];
    }
    return text;
}

Rgb GraphChart::automaticFill(int index) const {
    // Fills take the colours from index 24 on, lines those from index 32 on, round the palette.
    return palette[static_cast<std::size_t>(16 + index % 40)];
}

Rgb GraphChart::automaticLine(int index) const {
    return palette[static_cast<std::size_t>(24 + index % 32)];
}

}  // namespace office::graph::msgraph
