// Reading a Graph object's "Workbook" stream into a GraphChart. The chart records nest in
// Begin/End blocks; the reader keeps the ids of the records that opened the blocks it is in,
// so that a LineFormat, say, is taken as a series' line inside a DataFormat block and as a
// gridline inside an Axis block.

#include "office/graph/msgraph/records.h"

#include <algorithm>
#include <memory>

#include "office/excel/number_format.h"
#include "office/graph/msgraph/records_parser.h"

namespace office::graph::msgraph {

namespace reading {

namespace {

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

// Characters whose count was read already, 8-bit (Latin-1) or 16-bit (UTF-16LE), all within
// the record: one cut short fails as every short read does.
std::string characters(Fields& f, std::size_t count, bool wide) {
    const std::size_t bytes = wide ? 2 * count : count;
    if (f.remaining() < bytes) {
        f.skip(bytes);
    }
    return f.text(count, wide);
}

}  // namespace

Rgb rgb(Fields& f) {
    const auto red = f.u8();
    const auto green = f.u8();
    const auto blue = f.u8();
    f.skip(1);
    return {red, green, blue};
}

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

std::string builtInFormat(int index) {
    return excel::detail::builtinNumberFormat(index);
}

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
namespace {

// The dlp field of a data label's text: 0 automatic, 1 outside end, 2 inside end, 3 centred,
// 4 inside base, 5 above, 6 below, 7 left, 8 right, 9 best fit, 10 moved by hand (drawn at
// the automatic place).
LabelPosition labelPosition(int dlp) {
    static constexpr LabelPosition positions[] = {
        LabelPosition::Automatic, LabelPosition::OutsideEnd, LabelPosition::InsideEnd,
        LabelPosition::Centre,    LabelPosition::InsideBase, LabelPosition::Above,
        LabelPosition::Below,     LabelPosition::Left,       LabelPosition::Right,
        LabelPosition::BestFit};
    return dlp < 10 ? positions[dlp] : LabelPosition::Automatic;
}

}  // namespace

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
    if (link == 4 && look.labels.position == LabelPosition::Automatic) {
        look.labels.position = labelPosition(text_.position);
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

}  // namespace reading

GraphChart readGraphChart(std::span<const std::uint8_t> stream, const std::string& where) {
    return reading::Parser(where).run(stream);
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
