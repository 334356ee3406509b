// Writing a fill into a Graph object's "Workbook" stream. The stream is taken apart into its
// records, the few that the fill concerns are changed, removed or added, and the records are
// put together again in their order; the offsets of the substreams in the globals' BoundSheet
// records follow the records that moved.

#include "office/graph/msgraph/writer.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>

#include "office/binary/records.h"
#include "office/error.h"
#include "office/excel/number_format.h"
#include "office/excel/xls/biff.h"

namespace office::graph::msgraph {

namespace {

namespace rt = excel::xls::rt;
using Bytes = std::vector<std::uint8_t>;
using binary::hex4;

constexpr std::uint16_t kAllPoints = 0xFFFF;
// The cells' format index has six bits; ids up to 49 are the built-in formats.
constexpr int kFirstOwnFormat = 50;
constexpr int kLastFormat = 63;
constexpr std::size_t kMaxTitle = 255;

struct Rec {
    std::uint16_t id = 0;
    std::size_t offset = 0;  // in the stream as read
    Bytes body;
};

bool isCell(std::uint16_t id) {
    return id == rt::Blank2 || id == rt::Integer2 || id == rt::Number2 || id == rt::Label2 ||
           id == rt::Number || id == rt::Label;
}

bool lineKind(Kind kind) {
    return kind == Kind::Line || kind == Kind::Scatter || kind == Kind::Radar;
}

std::u16string utf16(const std::string& text) {
    std::u16string out;
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80         ? 1
                                   : (lead >> 5) == 6  ? 2
                                   : (lead >> 4) == 14 ? 3
                                   : (lead >> 3) == 30 ? 4
                                                       : 0;
        std::uint32_t code = length == 1   ? lead
                             : length == 2 ? lead & 0x1F
                             : length == 3 ? lead & 0x0F
                                           : lead & 0x07;
        bool valid = length > 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        i += valid ? length : 1;
        if (!valid || code > 0x10FFFF) {
            code = 0xFFFD;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

bool latin1(const std::u16string& text) {
    return std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x100; });
}

void appendChars(binary::RecordWriter& w, const std::u16string& text, bool wide) {
    for (char16_t c : text) {
        wide ? w.u16(c) : w.u8(static_cast<std::uint8_t>(c));
    }
}

// The change points of ExcludeRows or ExcludeColumns for a set of included (1-based) lines.
Bytes changePoints(const std::set<int>& included) {
    binary::RecordWriter w;
    bool in = false;
    const int last = included.empty() ? 0 : *included.rbegin();
    for (int line = 1; line <= last + 1; ++line) {
        if (included.contains(line) != in) {
            in = !in;
            w.u16(static_cast<std::uint16_t>(line - 1));
        }
    }
    return w.take();
}

class Writer {
public:
    Writer(std::span<const std::uint8_t> stream, const GraphChart& chart, const GraphFill& fill,
           const std::string& where)
        : chart_(chart), fill_(fill), where_(where) {
        binary::RecordStream cursor(stream, where + ": the chart object's data");
        binary::Record r;
        while (cursor.next(r)) {
            recs_.push_back({r.id, r.offset, Bytes(r.data.begin(), r.data.end())});
        }
        removed_.assign(recs_.size(), false);
    }

    Bytes run() {
        findChart();
        writeCells();
        writeSeries();
        writeExclusions();
        writeTitle();
        return emit();
    }

private:
    struct Block {
        std::size_t first = 0;  // the record that opens it
        std::size_t last = 0;   // its End
    };

    [[noreturn]] void fail(const Rec& r, const std::string& what) const {
        throw Error(ErrorCode::CorruptPart, where_ + ": the chart object's record " + hex4(r.id) +
                                                " at offset " + std::to_string(r.offset) + " " +
                                                what);
    }
    void need(const Rec& r, std::size_t bytes) const {
        if (r.body.size() < bytes) {
            fail(r, "is cut short");
        }
    }
    static void put16(Bytes& body, std::size_t at, int value) {
        body[at] = static_cast<std::uint8_t>(value & 0xFF);
        body[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
    }
    static int get16(const Bytes& body, std::size_t at) { return binary::le16(&body[at]); }

    void findChart();
    std::string formatCode(const Rec& r) const;
    std::optional<Block> blockOf(std::size_t first, std::size_t end) const;
    std::vector<std::size_t> children(const Block& block) const;
    int formatIndex(const std::string& code);
    Rec cellRecord(const detail::CellPos& pos, const detail::CellData& cell);
    void writeCells();
    void writeExclusions();
    void writeSeries();
    void setSeries(std::vector<Rec>& records, const Block& block, int line, bool fresh);
    std::vector<Rec> newSeries(const Block& model, int order, int index, int line);
    void paint(std::vector<Rec>& records, std::size_t at, std::size_t end, int order);
    Rec seriesText(const std::string& text, std::size_t offset) const;
    void writeTitle();
    Bytes emit();

    std::optional<detail::CellData> cell(int row, int column) const {
        const auto it = fill_.cells.find({row, column});
        return it == fill_.cells.end() ? std::nullopt : std::optional(it->second);
    }
    // The data sheet cell of a series line's name, and of a category's label.
    std::optional<detail::CellData> nameOf(int line) const {
        return chart_.sheet.seriesInRows ? cell(line, 1) : cell(1, line);
    }
    std::optional<detail::CellData> labelOf(int category) const {
        return chart_.sheet.seriesInRows ? cell(1, category + 1) : cell(category + 1, 1);
    }

    const GraphChart& chart_;
    const GraphFill& fill_;
    const std::string& where_;
    std::vector<Rec> recs_;
    std::vector<bool> removed_;
    std::map<std::size_t, std::vector<Rec>> before_;  // records to add before an index
    std::size_t chartBegin_ = 0;                      // the chart substream's BOF
    std::size_t chartEnd_ = 0;                        // its EOF, or the end of the records
    std::map<int, std::string> formats_;              // the globals' Format records
    std::size_t formatsAt_ = 0;                       // where new Format records go
    std::vector<int> lines_;                          // the data sheet line of every series
    std::map<detail::CellPos, std::array<std::uint8_t, 3>> attributes_;  // of the old cells
};

// Format: the index, a 16-bit count, flags (bit 0: 16-bit characters), the characters.
std::string Writer::formatCode(const Rec& r) const {
    const std::size_t count = static_cast<std::size_t>(get16(r.body, 2));
    const bool wide = (r.body[4] & 1) != 0;
    const std::size_t bytes = wide ? 2 * count : count;
    need(r, 5 + bytes);
    const std::span<const std::uint8_t> chars(r.body.data() + 5, bytes);
    std::string code;
    if (wide) {
        binary::appendUtf16(code, chars);
    } else {
        binary::appendLatin1(code, chars);
    }
    return code;
}

void Writer::findChart() {
    bool found = false;
    for (std::size_t i = 0; i < recs_.size(); ++i) {
        const Rec& r = recs_[i];
        if (!found && r.id == rt::Format) {
            need(r, 5);
            formats_[get16(r.body, 0)] = formatCode(r);
            formatsAt_ = i + 1;
        } else if (!found && formatsAt_ == 0 && r.id == rt::Font) {
            formatsAt_ = i;
        } else if (r.id == rt::Bof && r.body.size() >= 4 &&
                   (get16(r.body, 2) == 0x8000 || get16(r.body, 2) == 0x0020)) {
            if (found) {
                break;
            }
            found = true;
            chartBegin_ = i;
            chartEnd_ = recs_.size();
        } else if (found && r.id == rt::Eof) {
            chartEnd_ = i;
            break;
        }
    }
    if (!found) {
        throw Error(ErrorCode::CorruptPart,
                    where_ + ": the chart object's data holds no chart records");
    }
    if (formatsAt_ == 0) {
        formatsAt_ = chartBegin_ > 0 ? chartBegin_ - 1 : 0;  // before the globals' EOF
    }
}

// The block that the record at `first` opens: its Begin right after it, up to the matching
// End before `end`. Nothing when no Begin follows.
std::optional<Writer::Block> Writer::blockOf(std::size_t first, std::size_t end) const {
    if (first + 1 >= end || recs_[first + 1].id != rt::Begin) {
        return std::nullopt;
    }
    int depth = 0;
    for (std::size_t i = first + 1; i < end; ++i) {
        depth += recs_[i].id == rt::Begin ? 1 : recs_[i].id == rt::End ? -1 : 0;
        if (depth == 0) {
            return Block{first, i};
        }
    }
    fail(recs_[first], "opens a block that never ends");
}

// The records directly inside a block, not inside the blocks within it.
std::vector<std::size_t> Writer::children(const Block& block) const {
    std::vector<std::size_t> out;
    int depth = 0;
    for (std::size_t i = block.first + 2; i < block.last; ++i) {
        const std::uint16_t id = recs_[i].id;
        if (id == rt::Begin || id == rt::End) {
            depth += id == rt::Begin ? 1 : -1;
        } else if (depth == 0) {
            out.push_back(i);
        }
    }
    return out;
}

// The format index for a number format code: General, a Format record of the object's own, a
// built-in one, or a Format record added for it. A code for which no index is free any more
// shows as General: the value itself is kept.
int Writer::formatIndex(const std::string& code) {
    if (code.empty() || code == "General") {
        return 0;
    }
    for (const auto& [index, own] : formats_) {
        if (own == code && index <= kLastFormat) {
            return index;
        }
    }
    const int builtIn = excel::detail::builtinNumberFormatId(code);
    if (builtIn > 0 && builtIn <= kLastFormat && !formats_.contains(builtIn)) {
        return builtIn;
    }
    for (int index = kFirstOwnFormat; index <= kLastFormat; ++index) {
        if (formats_.contains(index) || !excel::detail::builtinNumberFormat(index).empty()) {
            continue;
        }
        formats_[index] = code;
        const std::u16string chars = utf16(code);
        const bool wide = !latin1(chars);
        binary::RecordWriter w;
        w.u16(static_cast<std::uint16_t>(index)).u16(static_cast<std::uint16_t>(chars.size()));
        w.u8(wide ? 1 : 0);
        appendChars(w, chars, wide);
        before_[formatsAt_].push_back({rt::Format, 0, w.take()});
        return index;
    }
    return 0;
}

Rec Writer::cellRecord(const detail::CellPos& pos, const detail::CellData& cell) {
    if (pos.row > 0x10000 || pos.column > 0x10000) {
        throw Error(ErrorCode::NotSupported,
                    where_ + ": the data reaches beyond the chart's data sheet at row " +
                        std::to_string(pos.row) + ", column " + std::to_string(pos.column));
    }
    binary::RecordWriter w;
    w.u16(static_cast<std::uint16_t>(pos.row - 1)).u16(static_cast<std::uint16_t>(pos.column - 1));
    // A cell keeps its attributes (its font among them), with the format of its new value.
    const auto kept = attributes_.find(pos);
    const std::array<std::uint8_t, 3> a =
        kept != attributes_.end() ? kept->second : std::array<std::uint8_t, 3>{};
    const int format = formatIndex(cell.numberFormat);
    w.u8(a[0]).u8(static_cast<std::uint8_t>((a[1] & 0xC0) | format)).u8(a[2]);
    const Value& value = cell.value;
    if (value.kind() == Value::Kind::Number || value.kind() == Value::Kind::Date) {
        w.f64(value.asNumber());
        return {rt::Number2, 0, w.take()};
    }
    // Labels as Graph writes them: 8-bit characters without a flags byte; others as 16-bit
    // characters after a flags byte.
    const std::u16string chars = utf16(value.toString());
    w.u16(static_cast<std::uint16_t>(std::min<std::size_t>(chars.size(), 0xFFFF)));
    const bool wide = !latin1(chars);
    if (wide) {
        w.u8(1);
    }
    appendChars(w, chars, wide);
    return {rt::Label2, 0, w.take()};
}

// The data sheet's cells take the place of the old ones, where the first of them stood.
void Writer::writeCells() {
    std::optional<std::size_t> at;
    std::size_t orient = 0;
    std::size_t firstSeries = 0;
    for (std::size_t i = chartBegin_; i < chartEnd_; ++i) {
        const std::uint16_t id = recs_[i].id;
        if (isCell(id)) {
            const Bytes& body = recs_[i].body;
            if (id <= rt::Label2 && body.size() >= 7) {
                attributes_[{get16(body, 0) + 1, get16(body, 2) + 1}] = {body[4], body[5], body[6]};
            }
            at = at.value_or(i);
            removed_[i] = true;
            for (std::size_t k = i + 1; k < chartEnd_ && recs_[k].id == rt::Continue; ++k) {
                removed_[k] = true;
            }
        } else if (id == rt::Orient) {
            orient = i + 1;
        } else if (id == rt::Series && firstSeries == 0) {
            firstSeries = i;
        }
    }
    const std::size_t place = at            ? *at
                              : orient      ? orient
                              : firstSeries ? firstSeries
                                            : chartBegin_ + 1;
    std::vector<Rec>& out = before_[place];
    for (const auto& [pos, data] : fill_.cells) {
        if (data.value.kind() != Value::Kind::Empty) {
            out.push_back(cellRecord(pos, data));
        }
    }
}

// The rows and columns the chart includes: the line of names and the series' lines one way,
// the categories the other.
void Writer::writeExclusions() {
    std::set<int> series{1};
    series.insert(lines_.begin(), lines_.end());
    std::set<int> categories;
    for (int line = 1; line <= fill_.categories + 1; ++line) {
        categories.insert(line);
    }
    const bool rows = chart_.sheet.seriesInRows;
    for (std::size_t i = chartBegin_; i < chartEnd_; ++i) {
        Rec& r = recs_[i];
        if (r.id == rt::ExcludeRows) {
            r.body = changePoints(rows ? series : categories);
        } else if (r.id == rt::ExcludeColumns) {
            r.body = changePoints(rows ? categories : series);
        } else if (r.id == rt::Dimensions && r.body.size() >= 12) {
            r.body[4] = r.body[5] = r.body[6] = r.body[7] = 0;
            put16(r.body, 4, std::min(fill_.categories, 0xFFFF));
            put16(r.body, 10, static_cast<int>(std::min<std::size_t>(lines_.size(), 0xFFFF)));
        }
    }
}

Rec Writer::seriesText(const std::string& text, std::size_t offset) const {
    std::u16string chars = utf16(text);
    if (chars.size() > kMaxTitle) {
        const bool split = chars[kMaxTitle - 1] >= 0xD800 && chars[kMaxTitle - 1] < 0xDC00;
        chars.resize(split ? kMaxTitle - 1 : kMaxTitle);
    }
    binary::RecordWriter w;
    w.u16(0).u8(static_cast<std::uint8_t>(chars.size())).u8(1);
    appendChars(w, chars, true);
    return {rt::SeriesText, offset, w.take()};
}

// A series' counts, name and data sheet line, in the records of its block.
// A new (fresh) series copied from another does not keep that one's name.
void Writer::setSeries(std::vector<Rec>& records, const Block& block, int line, bool fresh) {
    bool textLabels = false;
    for (int c = 1; c <= fill_.categories; ++c) {
        const auto label = labelOf(c);
        textLabels = textLabels || (label && label->value.kind() == Value::Kind::Text);
    }
    Rec& series = records[block.first];
    need(series, 8);
    put16(series.body, 0, textLabels ? 3 : 1);
    put16(series.body, 4, std::min(fill_.categories, 0xFFFF));
    put16(series.body, 6, std::min(fill_.categories, 0xFFFF));
    const auto name = nameOf(line);
    int depth = 0;
    std::optional<std::size_t> nameLink;
    std::optional<std::size_t> copiedName;
    bool hasText = false;
    for (std::size_t i = block.first + 2; i < block.last; ++i) {
        Rec& r = records[i];
        if (r.id == rt::Begin || r.id == rt::End) {
            depth += r.id == rt::Begin ? 1 : -1;
            continue;
        }
        if (depth != 0) {
            continue;
        }
        if (r.id == rt::Brai && r.body.size() >= 8 && r.body[0] <= 1) {
            put16(r.body, 6, line - 1);
            if (r.body[0] == 0) {
                nameLink = i;
            }
        } else if (r.id == rt::SeriesText && name) {
            r = seriesText(name->value.toString(), r.offset);
            hasText = true;
        } else if (r.id == rt::SeriesText && fresh) {
            copiedName = i;
        }
    }
    if (copiedName) {
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(*copiedName));
    }
    if (name && !hasText && nameLink) {
        records.insert(records.begin() + static_cast<std::ptrdiff_t>(*nameLink) + 1,
                       seriesText(name->value.toString(), 0));
    }
}

// Gives the copied series' own formats the palette's colour for series `order`: its fill, or
// for lines and markers its line.
void Writer::paint(std::vector<Rec>& records, std::size_t at, std::size_t end, int order) {
    const bool lines = lineKind(chart_.look.kind);
    const Rgb fill = chart_.automaticFill(order);
    const Rgb line = chart_.automaticLine(order);
    const int fillIndex = 24 + order % 40;
    const int lineIndex = 32 + order % 32;
    auto setRgb = [](Bytes& body, std::size_t offset, Rgb c) {
        body[offset] = c.red;
        body[offset + 1] = c.green;
        body[offset + 2] = c.blue;
        body[offset + 3] = 0;
    };
    for (std::size_t i = at; i < end; ++i) {
        Bytes& body = records[i].body;
        const std::uint16_t id = records[i].id;
        if (id == rt::AreaFormat && !lines && body.size() >= 16) {
            setRgb(body, 0, fill);
            put16(body, 8, 1);  // solid
            put16(body, 10, get16(body, 10) & ~1);
            put16(body, 12, fillIndex);
        } else if (id == rt::LineFormat && lines && body.size() >= 12) {
            setRgb(body, 0, line);
            if (get16(body, 4) == 5) {
                put16(body, 4, 0);  // a line that was none is drawn solid
            }
            put16(body, 8, get16(body, 8) & ~1);
            put16(body, 10, lineIndex);
        } else if (id == rt::MarkerFormat && lines && body.size() >= 16 &&
                   (get16(body, 10) & 1) == 0) {
            setRgb(body, 0, line);
            setRgb(body, 4, line);
            put16(body, 12, lineIndex);
            put16(body, 14, lineIndex);
        }
    }
}

// A new series copied from the records of `model`: the same look without the formats of single
// points, its DataFormat renumbered, its colours from the palette.
std::vector<Rec> Writer::newSeries(const Block& model, int order, int index, int line) {
    std::vector<Rec> out;
    for (std::size_t i = model.first; i <= model.last; ++i) {
        const Rec& r = recs_[i];
        if (r.id != rt::DataFormat) {
            out.push_back(r);
            continue;
        }
        need(r, 6);
        const auto block = blockOf(i, model.last);
        const std::size_t last = block ? block->last : i;
        if (get16(r.body, 0) != kAllPoints) {
            i = last;  // a point's formats stay with the model's points
            continue;
        }
        const std::size_t start = out.size();
        out.insert(out.end(), recs_.begin() + static_cast<std::ptrdiff_t>(i),
                   recs_.begin() + static_cast<std::ptrdiff_t>(last) + 1);
        put16(out[start].body, 2, index);
        put16(out[start].body, 4, order);
        paint(out, start, out.size(), order);
        i = last;
    }
    for (Rec& r : out) {
        r.offset = recs_[model.first].offset;  // messages name the model's records
    }
    const Block copied{0, out.size() - 1};
    setSeries(out, copied, line, true);
    return out;
}

void Writer::writeSeries() {
    std::vector<Block> data;
    std::size_t afterLast = 0;
    int total = 0;
    for (std::size_t i = chartBegin_; i < chartEnd_; ++i) {
        if (recs_[i].id != rt::Series) {
            continue;
        }
        const auto block = blockOf(i, chartEnd_);
        if (!block) {
            fail(recs_[i], "opens no block of records");
        }
        ++total;
        afterLast = block->last + 1;
        const auto inside = children(*block);
        const bool auxiliary = std::any_of(inside.begin(), inside.end(), [this](std::size_t k) {
            return recs_[k].id == rt::SerParent;
        });
        if (!auxiliary) {
            data.push_back(*block);
        }
        i = block->last;
    }
    if (data.empty()) {
        throw Error(ErrorCode::NotSupported,
                    where_ +
                        ": the chart object has no series whose look a filled series could "
                        "take");
    }
    // Series the object holds beyond the lines of the fill read the lines after them.
    std::vector<int>& lines = lines_;
    lines = fill_.seriesLines;
    while (lines.size() < data.size()) {
        lines.push_back(lines.empty() ? 2 : lines.back() + 1);
    }
    for (std::size_t k = 0; k < data.size(); ++k) {
        std::vector<Rec> block(recs_.begin() + static_cast<std::ptrdiff_t>(data[k].first),
                               recs_.begin() + static_cast<std::ptrdiff_t>(data[k].last) + 1);
        setSeries(block, {0, block.size() - 1}, lines[k], false);
        if (block.size() == data[k].last - data[k].first + 1) {
            std::copy(block.begin(), block.end(),
                      recs_.begin() + static_cast<std::ptrdiff_t>(data[k].first));
        } else {
            // A name record was added: the block goes out anew in its place.
            for (std::size_t i = data[k].first; i <= data[k].last; ++i) {
                removed_[i] = true;
            }
            auto& added = before_[data[k].first];
            added.insert(added.begin(), block.begin(), block.end());
        }
    }
    std::vector<Rec>& added = before_[afterLast];
    for (std::size_t k = data.size(); k < lines.size(); ++k) {
        const int order = static_cast<int>(k);
        const int index = total + order - static_cast<int>(data.size());
        const std::vector<Rec> copy = newSeries(data.back(), order, index, lines[k]);
        added.insert(added.end(), copy.begin(), copy.end());
    }
}

// The title's text, in the Text block linked to the title.
void Writer::writeTitle() {
    if (!fill_.title) {
        return;
    }
    for (std::size_t i = chartBegin_; i < chartEnd_; ++i) {
        if (recs_[i].id != rt::Text) {
            continue;
        }
        const auto block = blockOf(i, chartEnd_);
        if (!block) {
            continue;
        }
        std::optional<std::size_t> text;
        std::optional<std::size_t> link;
        for (std::size_t k : children(*block)) {
            if (recs_[k].id == rt::SeriesText) {
                text = k;
            } else if (recs_[k].id == rt::ObjectLink && recs_[k].body.size() >= 2 &&
                       get16(recs_[k].body, 0) == 1) {
                link = k;
            }
        }
        if (!link) {
            i = block->last;  // a Text block inside this one is no title's
            continue;
        }
        if (text) {
            recs_[*text] = seriesText(*fill_.title, recs_[*text].offset);
        } else {
            before_[*link].push_back(seriesText(*fill_.title, 0));
        }
        return;
    }
}

Bytes Writer::emit() {
    binary::RecordWriter w;
    std::map<std::size_t, std::size_t> moved;  // offsets of the records as read -> as written
    std::vector<std::size_t> sheetLinks;       // where BoundSheet offsets were written
    for (std::size_t i = 0; i <= recs_.size(); ++i) {
        if (const auto it = before_.find(i); it != before_.end()) {
            for (const Rec& r : it->second) {
                w.record(r.id, r.body);
            }
        }
        if (i == recs_.size() || removed_[i]) {
            continue;
        }
        moved[recs_[i].offset] = w.data().size();
        if (recs_[i].id == rt::BoundSheet && recs_[i].body.size() >= 4) {
            sheetLinks.push_back(w.data().size() + 4);
        }
        w.record(recs_[i].id, recs_[i].body);
    }
    Bytes out = w.take();
    for (std::size_t at : sheetLinks) {
        const auto it = moved.find(binary::le32(&out[at]));
        if (it == moved.end()) {
            continue;
        }
        for (int b = 0; b < 4; ++b) {
            out[at + static_cast<std::size_t>(b)] =
                static_cast<std::uint8_t>(it->second >> (8 * b));
        }
    }
    return out;
}

}  // namespace

std::vector<std::uint8_t> writeGraphChart(std::span<const std::uint8_t> stream,
                                          const GraphChart& chart, const GraphFill& fill,
                                          const std::string& where) {
    return Writer(stream, chart, fill, where).run();
}

}  // namespace office::graph::msgraph
