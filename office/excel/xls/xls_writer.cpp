// The binary workbook writer: the original stream is cut into its substreams and records, the
// edited model is compared with a fresh reading of the original, and the stream is put
// together again from the original records and new ones where the model changed.

#include "office/excel/xls/xls_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <unordered_map>

#include <pugixml.hpp>

#include "office/binary/palette.h"
#include "office/error.h"
#include "office/excel/xls/biff.h"
#include "office/excel/xls/xls_reader.h"

namespace office::excel::xls {

namespace {

using binary::RecordWriter;
using detail::Area;
using detail::Cell;
using detail::CellKind;
using detail::WorkbookImpl;
using Bytes = std::vector<std::uint8_t>;

// Record ids that only the writer looks at.
namespace wt {
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
}  // namespace wt

// The longest record body the format allows; longer data goes on in Continue records.
constexpr std::size_t kMaxBody = 8224;
constexpr int kMaxBiffRows = 65536;
constexpr int kMaxBiffColumns = 256;

// One record with the Continue records after it, as it lies in the stream.
struct Unit {
    std::uint16_t id = 0;
    std::size_t offset = 0;              // of its header
    std::size_t size = 0;                // headers and bodies
    int depth = 0;                       // 0 in the substream itself, 1 inside an embedded chart
    std::span<const std::uint8_t> body;  // of the first record
};

struct Substream {
    std::size_t offset = 0;
    std::vector<Unit> units;
};

// The records of the substream that begins at `at`, up to the EOF that ends it.
Substream substream(std::span<const std::uint8_t> stream, std::size_t at,
                    const std::string& where) {
    Substream out{at, {}};
    int depth = 0;
    while (true) {
        Record record;
        if (frameRecord(stream, at, record) != Frame::Whole) {
            throw Error(ErrorCode::CorruptPart, where + ": Workbook stream: at offset " +
                                                    std::to_string(at) +
                                                    ": a substream has no end (EOF)");
        }
        Unit unit{record.id, at, 4 + record.data.size(), depth, record.data};
        at += unit.size;
        Record more;
        while (frameRecord(stream, at, more) == Frame::Whole && more.id == rt::Continue) {
            unit.size += 4 + more.data.size();
            at += 4 + more.data.size();
        }
        if (record.id == rt::Bof && !out.units.empty()) {
            unit.depth = ++depth;
        } else if (record.id == rt::Eof && depth > 0) {
            --depth;
        }
        out.units.push_back(unit);
        if (record.id == rt::Eof && unit.depth == 0) {
            return out;
        }
    }
}

std::span<const std::uint8_t> bytesOf(std::span<const std::uint8_t> stream, const Unit& unit) {
    return stream.subspan(unit.offset, unit.size);
}

void put16(Bytes& out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(Bytes& out, std::size_t at, std::uint32_t value) {
    put16(out, at, static_cast<std::uint16_t>(value & 0xFFFF));
    put16(out, at + 2, static_cast<std::uint16_t>(value >> 16));
}

void append(Bytes& out, std::span<const std::uint8_t> bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void appendRecord(Bytes& out, std::uint16_t id, const RecordWriter& body) {
    append(out, RecordWriter().record(id, body.data()).data());
}

// ---- strings ----

// The UTF-16 code units of UTF-8 text; a broken sequence gives U+FFFD.
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

// XLUnicodeString (16-bit length) or ShortXLUnicodeString (8-bit length), cut to what the
// length can say.
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

// A shared string as the SST holds it: its characters, and the formatting runs and phonetic
// data of a string read from the file, carried over as they were.
struct SstEntry {
    std::u16string text;
    Bytes runs;      // 4 bytes a run
    Bytes phonetic;  // ExtRst
};

// The entries of the original SST, in order.
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

// The SST record and its Continue records, with the EXTSST that finds every eighth string (or
// more) by its stream offset; `at` is where the SST will lie in the stream.
class SstWriter {
public:
    SstWriter(std::size_t at, std::uint32_t totalRefs, std::uint32_t unique)
        : at_(at), step_(std::max<std::uint32_t>(8, (unique + 127) / 128)) {
        record_.push_back({});
        RecordWriter head;
        head.u32(totalRefs).u32(unique);
        append(record_.back(), head.data());
    }

    void add(const SstEntry& entry) {
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

    // The SST, its Continue records and the EXTSST.
    Bytes finish() const {
        Bytes out;
        for (std::size_t i = 0; i < record_.size(); ++i) {
            append(out, RecordWriter().record(i == 0 ? rt::Sst : rt::Continue, record_[i]).data());
        }
        RecordWriter ext;
        ext.u16(static_cast<std::uint16_t>(step_)).bytes(buckets_);
        appendRecord(out, wt::ExtSst, ext);
        return out;
    }

private:
    std::size_t room() const { return kMaxBody - record_.back().size(); }
    void next() {
        before_ += 4 + record_.back().size();
        record_.push_back({});
    }
    // The stream offset of the next byte written.
    std::size_t position() const { return at_ + before_ + 4 + record_.back().size(); }

    std::size_t at_;
    std::uint32_t step_;
    std::uint32_t count_ = 0;
    std::size_t before_ = 0;  // the bytes of the finished records
    std::vector<Bytes> record_;
    Bytes buckets_;
};

// ---- styles ----

// The colours of the Office theme that theme="n" counts (lt1 dk1 lt2 dk2 first, as cells name
// them), for looks carried in from a workbook with a theme.
constexpr std::uint32_t kThemeColors[] = {0xFFFFFF, 0x000000, 0xEEECE1, 0x1F497D,
                                          0x4F81BD, 0xC0504D, 0x9BBB59, 0x8064A2,
                                          0x4BACC6, 0xF79646, 0x0000FF, 0x800080};

constexpr const char* kLineStyles[] = {"",
                                       "thin",
                                       "medium",
                                       "dashed",
                                       "dotted",
                                       "thick",
                                       "double",
                                       "hair",
                                       "mediumDashed",
                                       "dashDot",
                                       "mediumDashDot",
                                       "dashDotDot",
                                       "mediumDashDotDot",
                                       "slantDashDot"};

constexpr const char* kPatterns[] = {
    "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
    "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
    "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
    "lightGrid",      "lightTrellis",    "gray125",       "gray0625"};

constexpr const char* kHorizontal[] = {"general", "left",    "center",           "right",
                                       "fill",    "justify", "centerContinuous", "distributed"};
constexpr const char* kVertical[] = {"top", "center", "bottom", "justify", "distributed"};

template <std::size_t N>
int codeOf(const char* const (&names)[N], const std::string& name, int fallback) {
    for (std::size_t i = 0; i < N; ++i) {
        if (name == names[i]) {
            return static_cast<int>(i);
        }
    }
    return fallback;
}

std::uint32_t tinted(std::uint32_t rgb, double tint) {
    std::uint32_t out = 0;
    for (int shift : {16, 8, 0}) {
        const double c = (rgb >> shift) & 0xFF;
        const double v = tint < 0 ? c * (1 + tint) : c + (255 - c) * tint;
        out |= static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)) << shift;
    }
    return out;
}

// Palette indexes for the colours of new looks: the workbook's palette (or the default one),
// the nearest colour for a full RGB one.
class Palette {
public:
    void read(std::span<const std::uint8_t> body) {
        if (body.size() < 2) {
            return;
        }
        const std::size_t count = std::min<std::size_t>(le16(body.data()), colors_.size());
        for (std::size_t i = 0; i < count && 2 + 4 * i + 3 <= body.size(); ++i) {
            const std::uint8_t* p = body.data() + 2 + 4 * i;
            colors_[i] = (p[0] << 16) | (p[1] << 8) | p[2];
        }
    }

    std::uint16_t index(const detail::Color& color, std::uint16_t automatic) const {
        using Kind = detail::Color::Kind;
        switch (color.kind) {
            case Kind::None:
                return automatic;
            case Kind::Indexed:
                return color.value < 66 ? static_cast<std::uint16_t>(color.value) : automatic;
            case Kind::Rgb:
                return nearest(color.tint != 0 ? tinted(color.value, color.tint) : color.value);
            case Kind::Theme:
                return color.value < std::size(kThemeColors)
                           ? nearest(tinted(kThemeColors[color.value], color.tint))
                           : automatic;
        }
        return automatic;
    }

private:
    std::uint16_t nearest(std::uint32_t rgb) const {
        std::uint16_t best = 8;
        long bestDistance = -1;
        for (std::size_t i = 0; i < colors_.size(); ++i) {
            long distance = 0;
            for (int shift : {16, 8, 0}) {
                const long d = static_cast<long>((rgb >> shift) & 0xFF) -
                               static_cast<long>((colors_[i] >> shift) & 0xFF);
                distance += d * d;
            }
            if (bestDistance < 0 || distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<std::uint16_t>(8 + i);
            }
        }
        return best;
    }

    std::array<std::uint32_t, 56> colors_ = binary::kDefaultPalette;
};

RecordWriter fontRecord(const detail::Font& font, const Palette& palette) {
    RecordWriter out;
    out.u16(static_cast<std::uint16_t>(std::clamp(std::lround(font.points * 20), 20L, 8180L)));
    // Bit 0 repeats the weight, as Excel writes it and older readers take it.
    out.u16(static_cast<std::uint16_t>((font.bold ? 0x01 : 0) | (font.italic ? 0x02 : 0) |
                                       (font.strike ? 0x08 : 0)));
    out.u16(palette.index(font.color, 0x7FFF));
    out.u16(font.bold ? 700 : 400);
    out.u16(font.vertAlign == "superscript" ? 1 : font.vertAlign == "subscript" ? 2 : 0);
    const std::uint8_t underline = font.underline.empty()                 ? 0
                                   : font.underline == "double"           ? 2
                                   : font.underline == "singleAccounting" ? 0x21
                                   : font.underline == "doubleAccounting" ? 0x22
                                   : font.underline == "none"             ? 0
                                                                          : 1;
    out.u8(underline).u8(static_cast<std::uint8_t>(font.family));
    out.u8(static_cast<std::uint8_t>(font.charset)).u8(0);
    appendString(out, font.name.empty() ? "Arial" : font.name, true);
    return out;
}

std::uint32_t lineCode(const detail::BorderEdge& edge) {
    return edge.style.empty() ? 0 : static_cast<std::uint32_t>(codeOf(kLineStyles, edge.style, 1));
}

RecordWriter xfRecord(const detail::Xf& xf, const detail::StyleTable& looks,
                      const Palette& palette) {
    RecordWriter out;
    const int font = xf.fontId >= 4 ? xf.fontId + 1 : xf.fontId;  // font index 4 is never used
    out.u16(static_cast<std::uint16_t>(font)).u16(static_cast<std::uint16_t>(xf.numFmtId));
    out.u16(0x0001);  // locked, a cell format whose parent is the Normal style
    const auto& alignment = xf.alignment;
    const int horizontal =
        codeOf(kHorizontal, alignment.horizontal.empty() ? "general" : alignment.horizontal, 0);
    const int vertical =
        codeOf(kVertical, alignment.vertical.empty() ? "bottom" : alignment.vertical, 2);
    out.u8(static_cast<std::uint8_t>(horizontal | (alignment.wrap ? 0x08 : 0) | (vertical << 4)));
    out.u8(static_cast<std::uint8_t>(std::clamp(alignment.rotation, 0, 255)));
    out.u8(static_cast<std::uint8_t>(std::clamp(alignment.indent, 0, 15) |
                                     (alignment.shrink ? 0x10 : 0)));
    out.u8(0xFC);  // every attribute is this format's own
    const detail::Border none;
    const detail::Border& border =
        xf.borderId >= 0 && static_cast<std::size_t>(xf.borderId) < looks.borderStyles.size()
            ? looks.borderStyles[xf.borderId]
            : none;
    auto color = [&](const detail::BorderEdge& edge) -> std::uint32_t {
        return edge.style.empty() ? 0 : palette.index(edge.color, 64);
    };
    const std::uint32_t diagonal = (border.diagonalDown ? 1 : 0) | (border.diagonalUp ? 2 : 0);
    out.u32(lineCode(border.left) | (lineCode(border.right) << 4) | (lineCode(border.top) << 8) |
            (lineCode(border.bottom) << 12) | (color(border.left) << 16) |
            (color(border.right) << 23) | (diagonal << 30));
    const detail::Fill plain;
    const detail::Fill& fill =
        xf.fillId >= 0 && static_cast<std::size_t>(xf.fillId) < looks.fills.size()
            ? looks.fills[xf.fillId]
            : plain;
    std::uint32_t pattern =
        fill.gradient ? 1 : static_cast<std::uint32_t>(codeOf(kPatterns, fill.pattern, 0));
    std::uint16_t foreground = 64;
    std::uint16_t background = 65;
    if (pattern != 0) {
        foreground = palette.index(fill.foreground, 64);
        background = palette.index(fill.background, 65);
    }
    out.u32(color(border.top) | (color(border.bottom) << 7) | (color(border.diagonal) << 14) |
            (lineCode(border.diagonal) << 21) | (pattern << 26));
    out.u16(static_cast<std::uint16_t>((foreground & 0x7F) | ((background & 0x7F) << 7)));
    return out;
}

// ---- cells ----

std::uint8_t errorCode(std::string_view text) {
    static const std::pair<std::string_view, std::uint8_t> codes[] = {
        {"#NULL!", 0x00}, {"#DIV/0!", 0x07}, {"#VALUE!", 0x0F}, {"#REF!", 0x17},
        {"#NAME?", 0x1D}, {"#NUM!", 0x24},   {"#N/A", 0x2A}};
    for (const auto& [name, code] : codes) {
        if (name == text) {
            return code;
        }
    }
    return 0x2A;
}

bool isFormula(std::uint16_t id) {
    return id == rt::Formula || id == rt::Formula3 || id == rt::Formula4;
}

// The records of a cell table, which a changed sheet gets anew.
bool inCellTable(std::uint16_t id) {
    switch (id) {
        case rt::Row:
        case rt::Number:
        case rt::Rk:
        case rt::MulRk:
        case rt::LabelSst:
        case rt::Label:
        case rt::RString:
        case rt::Blank:
        case rt::MulBlank:
        case rt::BoolErr:
        case rt::Formula:
        case rt::Formula3:
        case rt::Formula4:
        case rt::String:
        case wt::ShrFmla:
        case wt::Array:
        case wt::Table:
        case wt::DbCell:
            return true;
        default:
            return false;
    }
}

using Position = std::pair<int, int>;  // 1-based row and column

// A cell's own records in the original sheet: the cell record, and after a formula the records
// that belong to it (its string result, the shared formula or array it anchors).
struct OriginalCell {
    std::vector<Unit> units;
    bool anchor = false;  // a SHRFMLA, ARRAY or TABLE follows it
};

std::map<Position, OriginalCell> cellRecords(const Substream& sheet) {
    std::map<Position, OriginalCell> cells;
    OriginalCell* formula = nullptr;
    for (const Unit& unit : sheet.units) {
        if (unit.depth != 0) {
            continue;
        }
        const bool single = unit.id == rt::Number || unit.id == rt::Rk || unit.id == rt::LabelSst ||
                            unit.id == rt::Label || unit.id == rt::RString ||
                            unit.id == rt::Blank || unit.id == rt::BoolErr || isFormula(unit.id);
        if (single && unit.body.size() >= 6) {
            auto& cell = cells[{le16(unit.body.data()) + 1, le16(unit.body.data() + 2) + 1}];
            cell = {{unit}, false};
            formula = isFormula(unit.id) ? &cell : nullptr;
        } else if (formula && (unit.id == rt::String || unit.id == wt::ShrFmla ||
                               unit.id == wt::Array || unit.id == wt::Table)) {
            formula->units.push_back(unit);
            formula->anchor = formula->anchor || unit.id != rt::String;
        } else if (unit.id == rt::MulRk || unit.id == rt::MulBlank) {
            formula = nullptr;
        }
    }
    return cells;
}

// The cell a formula's shared formula or array lives at (its PtgExp), when it has one.
std::optional<Position> sharedAnchor(const Unit& formula) {
    constexpr std::size_t kTokens = 22;  // row, column, xf, result, flags, chn, cce
    if (formula.body.size() < kTokens + 5 || formula.body[kTokens] != 0x01) {
        return std::nullopt;
    }
    return Position{le16(formula.body.data() + kTokens + 1) + 1,
                    le16(formula.body.data() + kTokens + 3) + 1};
}

bool sameValue(const WorkbookImpl& a, const Cell& x, const WorkbookImpl& b, const Cell& y) {
    if (x.kind != y.kind || x.flags != y.flags || x.style != y.style) {
        return false;
    }
    switch (x.kind) {
        case CellKind::Blank:
            return true;
        case CellKind::Number:
        case CellKind::Boolean:
            return std::memcmp(&x.number, &y.number, sizeof x.number) == 0;
        case CellKind::Shared:
            return x.index < a.sharedStrings.size() && y.index < b.sharedStrings.size() &&
                   a.sharedStrings[x.index] == b.sharedStrings[y.index];
        case CellKind::Text:
        case CellKind::Error:
            return a.texts[x.index] == b.texts[y.index];
    }
    return false;
}

std::vector<Area> mergesOf(const WorkbookImpl& book, const std::string& part) {
    std::vector<Area> areas;
    if (part.empty() || !book.package.has(part)) {
        return areas;
    }
    pugi::xml_document doc;
    const std::string xml = book.package.read(part);
    doc.load_buffer(xml.data(), xml.size());
    for (pugi::xml_node node : doc.document_element().children()) {
        if (detail::localName(node) != "mergeCells") {
            continue;
        }
        for (pugi::xml_node merge : node.children()) {
            if (const auto area = detail::parseArea(merge.attribute("ref").value())) {
                areas.push_back(*area);
            }
        }
    }
    return areas;
}

bool sameSheet(const WorkbookImpl& before, const detail::SheetImpl& was, const WorkbookImpl& after,
               const detail::SheetImpl& is) {
    const auto& a = was.cells.rows();
    const auto& b = is.cells.rows();
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t r = 0; r < a.size(); ++r) {
        if (a[r].row != b[r].row || a[r].rowStyle != b[r].rowStyle ||
            a[r].cells.size() != b[r].cells.size()) {
            return false;
        }
        for (std::size_t c = 0; c < a[r].cells.size(); ++c) {
            if (a[r].cells[c].column != b[r].cells[c].column ||
                !sameValue(before, a[r].cells[c], after, b[r].cells[c])) {
                return false;
            }
        }
    }
    return mergesOf(before, was.part) == mergesOf(after, is.part);
}

// What a changed sheet's cell table is written from.
struct SheetEdit {
    const WorkbookImpl& before;
    const detail::SheetImpl& was;
    const WorkbookImpl& after;
    const detail::SheetImpl& is;
    std::span<const std::uint8_t> stream;
    const Substream& original;
    std::function<std::uint32_t(const std::string&)> sharedIndex;  // for texts of new cells
    std::size_t stringRefs = 0;                                    // LABELSST records written
};

class CellTableWriter {
public:
    explicit CellTableWriter(SheetEdit& edit) : edit_(edit), cells_(cellRecords(edit.original)) {
        for (const Unit& unit : edit.original.units) {
            if (unit.depth == 0 && unit.id == rt::Row && unit.body.size() >= 16) {
                rows_[le16(unit.body.data()) + 1] = unit;
            } else if (unit.depth == 0 && unit.id == rt::DefaultRowHeight &&
                       unit.body.size() >= 4) {
                defaultHeight_ = le16(unit.body.data() + 2);
            }
        }
        // A shared formula or array whose anchor cell was overwritten is gone: the cells that
        // used it keep their computed values.
        for (const auto& [position, cell] : cells_) {
            const Cell* now = edit.is.cells.find(position.first, position.second);
            if (cell.anchor && !(now && (now->flags & detail::kHasFormula))) {
                lostAnchors_.insert(position);
            }
        }
    }

    // The ROW and cell records, in blocks of 32 rows as Excel writes them.
    Bytes table() {
        std::map<int, const detail::Row*> rows;
        for (const auto& row : edit_.is.cells.rows()) {
            rows[row.row] = &row;
        }
        for (const auto& [number, unit] : rows_) {
            rows.emplace(number, nullptr);
        }
        Bytes out;
        std::vector<std::pair<int, const detail::Row*>> block;
        for (const auto& entry : rows) {
            if (entry.first > kMaxBiffRows) {
                beyond(entry.first, entry.second && !entry.second->cells.empty()
                                        ? entry.second->cells.front().column
                                        : 1);
            }
            block.push_back(entry);
            if (block.size() == 32) {
                writeBlock(block, out);
            }
        }
        writeBlock(block, out);
        return out;
    }

    RecordWriter dimensions() const {
        int top = 0, bottom = 0, left = 0, right = 0;
        for (const auto& row : edit_.is.cells.rows()) {
            if (row.cells.empty()) {
                continue;
            }
            top = top == 0 ? row.row : top;
            bottom = row.row;
            left = left == 0 ? row.cells.front().column
                             : std::min<int>(left, row.cells.front().column);
            right = std::max<int>(right, row.cells.back().column);
        }
        RecordWriter out;
        if (top == 0) {
            out.u32(0).u32(0).u16(0).u16(0).u16(0);
        } else {
            out.u32(static_cast<std::uint32_t>(top - 1)).u32(static_cast<std::uint32_t>(bottom));
            out.u16(static_cast<std::uint16_t>(left - 1)).u16(static_cast<std::uint16_t>(right));
            out.u16(0);
        }
        return out;
    }

private:
    [[noreturn]] void beyond(int row, int column) const {
        throw Error(ErrorCode::OutOfSheet,
                    edit_.after.where() + ": sheet \"" + edit_.is.name + "\": cell " +
                        detail::cellName(row, column) +
                        " lies beyond what a workbook of Excel 97-2003 holds (65536 rows, 256 "
                        "columns)");
    }

    // True when the cell is as the original has it, so that its own records are kept.
    bool kept(const Position& position) const {
        const Cell* was = edit_.was.cells.find(position.first, position.second);
        const Cell* is = edit_.is.cells.find(position.first, position.second);
        return was && is && sameValue(edit_.before, *was, edit_.after, *is);
    }

    void writeBlock(std::vector<std::pair<int, const detail::Row*>>& block, Bytes& out) {
        for (const auto& [number, row] : block) {
            appendRow(number, row, out);
        }
        for (const auto& [number, row] : block) {
            if (!row) {
                continue;
            }
            for (const Cell& cell : row->cells) {
                appendCell(number, cell, out);
            }
        }
        block.clear();
    }

    void appendRow(int number, const detail::Row* row, Bytes& out) const {
        const bool cells = row && !row->cells.empty();
        const std::uint16_t first =
            cells ? static_cast<std::uint16_t>(row->cells.front().column - 1) : 0;
        const std::uint16_t end = cells ? static_cast<std::uint16_t>(row->cells.back().column) : 0;
        if (const auto found = rows_.find(number); found != rows_.end()) {
            const auto original = bytesOf(edit_.stream, found->second);
            Bytes copy(original.begin(), original.end());
            put16(copy, 4 + 2, first);
            put16(copy, 4 + 4, end);
            append(out, copy);
            return;
        }
        RecordWriter body;
        body.u16(static_cast<std::uint16_t>(number - 1)).u16(first).u16(end);
        body.u16(defaultHeight_).u16(0).u16(0);
        std::uint32_t flags = 0x0100;
        if (row && row->rowStyle != 0) {
            flags |= 0x80 | ((row->rowStyle - 1) & 0x0FFF) << 16;
        }
        body.u32(flags);
        appendRecord(out, rt::Row, body);
    }

    void appendCell(int row, const Cell& cell, Bytes& out) {
        if (cell.column > kMaxBiffColumns) {
            beyond(row, cell.column);
        }
        const Position position{row, cell.column};
        const auto original = cells_.find(position);
        const bool formula = original != cells_.end() && isFormula(original->second.units[0].id);
        const auto anchor = formula ? sharedAnchor(original->second.units[0]) : std::nullopt;
        if (original != cells_.end() && !(anchor && lostAnchors_.contains(*anchor))) {
            if (kept(position)) {
                for (const Unit& unit : original->second.units) {
                    append(out, bytesOf(edit_.stream, unit));
                }
                edit_.stringRefs += original->second.units[0].id == rt::LabelSst ? 1 : 0;
                return;
            }
            if (formula && (cell.flags & detail::kHasFormula)) {
                // Only the format of the formula cell changed: its records stay, with the new
                // format.
                for (std::size_t i = 0; i < original->second.units.size(); ++i) {
                    const auto bytes = bytesOf(edit_.stream, original->second.units[i]);
                    Bytes copy(bytes.begin(), bytes.end());
                    if (i == 0) {
                        put16(copy, 4 + 4, static_cast<std::uint16_t>(cell.style));
                    }
                    append(out, copy);
                }
                return;
            }
        }
        appendValue(row, cell, out);
    }

    void appendValue(int row, const Cell& cell, Bytes& out) {
        RecordWriter body;
        body.u16(static_cast<std::uint16_t>(row - 1))
            .u16(static_cast<std::uint16_t>(cell.column - 1));
        body.u16(static_cast<std::uint16_t>(cell.style));
        switch (cell.kind) {
            case CellKind::Blank:
                appendRecord(out, rt::Blank, body);
                return;
            case CellKind::Number:
                body.f64(cell.number);
                appendRecord(out, rt::Number, body);
                return;
            case CellKind::Boolean:
                body.u8(cell.number != 0 ? 1 : 0).u8(0);
                appendRecord(out, rt::BoolErr, body);
                return;
            case CellKind::Error:
                body.u8(errorCode(edit_.after.texts[cell.index])).u8(1);
                appendRecord(out, rt::BoolErr, body);
                return;
            case CellKind::Shared:
                body.u32(cell.index);
                break;
            case CellKind::Text:
                body.u32(edit_.sharedIndex(std::string(edit_.after.texts[cell.index])));
                break;
        }
        ++edit_.stringRefs;
        appendRecord(out, rt::LabelSst, body);
    }

    SheetEdit& edit_;
    std::map<Position, OriginalCell> cells_;
    std::map<int, Unit> rows_;
    std::set<Position> lostAnchors_;
    std::uint16_t defaultHeight_ = 255;
};

// MERGEDCELLS records for the areas, at most 1026 areas a record. An area beyond what the
// format can say is left out: its cells are kept, unmerged.
Bytes mergeRecords(std::vector<Area> areas) {
    std::erase_if(
        areas, [](const Area& a) { return a.bottom > kMaxBiffRows || a.right > kMaxBiffColumns; });
    Bytes out;
    for (std::size_t at = 0; at < areas.size(); at += 1026) {
        const std::size_t count = std::min<std::size_t>(1026, areas.size() - at);
        RecordWriter body;
        body.u16(static_cast<std::uint16_t>(count));
        for (std::size_t i = at; i < at + count; ++i) {
            const Area& a = areas[i];
            body.u16(static_cast<std::uint16_t>(a.top - 1))
                .u16(static_cast<std::uint16_t>(a.bottom - 1));
            body.u16(static_cast<std::uint16_t>(a.left - 1))
                .u16(static_cast<std::uint16_t>(a.right - 1));
        }
        appendRecord(out, rt::MergeCells, body);
    }
    return out;
}

bool viewRecord(std::uint16_t id) {
    return id == wt::Window2 || id == wt::Scl || id == wt::Pane || id == wt::Selection ||
           id == wt::Plv;
}

// A changed sheet: its records in order, the cell table, DIMENSIONS and MERGEDCELLS new, INDEX
// and DBCELL left out.
Bytes changedSheet(SheetEdit& edit) {
    CellTableWriter cells(edit);
    const Bytes table = cells.table();
    const Bytes merges = mergeRecords(mergesOf(edit.after, edit.is.part));
    const auto& units = edit.original.units;
    std::size_t mergesAfter = units.size() - 2;  // before the EOF, unless the views say where
    bool anyMerges = false;
    for (std::size_t i = 0; i < units.size(); ++i) {
        if (units[i].depth == 0 && viewRecord(units[i].id)) {
            mergesAfter = i;
        }
        anyMerges = anyMerges || (units[i].depth == 0 && units[i].id == rt::MergeCells);
    }
    const bool hasCells = std::any_of(units.begin(), units.end(), [](const Unit& unit) {
        return unit.depth == 0 && inCellTable(unit.id);
    });
    Bytes out;
    bool tablePlaced = false;
    bool mergesPlaced = false;
    auto placeTable = [&] {
        if (!tablePlaced) {
            append(out, table);
            tablePlaced = true;
        }
    };
    for (std::size_t i = 0; i < units.size(); ++i) {
        const Unit& unit = units[i];
        const bool own = unit.depth == 0;
        if (own && (unit.id == wt::Index || unit.id == wt::DbCell)) {
            continue;
        }
        if (own && (inCellTable(unit.id))) {
            placeTable();
            continue;
        }
        if (own && unit.id == rt::MergeCells) {
            if (!mergesPlaced) {
                append(out, merges);
                mergesPlaced = true;
            }
            continue;
        }
        if (own && (unit.id == wt::Window2 || (unit.id == rt::Eof && i + 1 == units.size()))) {
            placeTable();
        }
        if (own && unit.id == wt::Dimensions) {
            appendRecord(out, wt::Dimensions, cells.dimensions());
            if (!hasCells) {
                placeTable();  // a sheet without cells: the table follows its dimensions
            }
            continue;
        }
        append(out, bytesOf(edit.stream, unit));
        if (!anyMerges && !mergesPlaced && i == mergesAfter) {
            append(out, merges);
            mergesPlaced = true;
        }
    }
    return out;
}

// An unchanged sheet moved by `delta` bytes: its INDEX records' stream offsets follow.
Bytes movedSheet(std::span<const std::uint8_t> stream, const Substream& sheet, long long delta) {
    Bytes out;
    for (const Unit& unit : sheet.units) {
        const auto bytes = bytesOf(stream, unit);
        const std::size_t at = out.size();
        append(out, bytes);
        if (unit.depth != 0 || unit.id != wt::Index || delta == 0 || unit.body.size() < 16) {
            continue;
        }
        auto shift = [&](std::size_t field) {
            const std::uint32_t value = le32(unit.body.data() + field);
            if (value != 0) {
                put32(out, at + 4 + field, static_cast<std::uint32_t>(value + delta));
            }
        };
        shift(12);  // DEFCOLWIDTH
        for (std::size_t field = 16; field + 4 <= unit.body.size(); field += 4) {
            shift(field);  // the DBCELL records
        }
    }
    return out;
}

struct SheetEntry {
    std::size_t boundSheet = 0;  // its BOUNDSHEET unit among the globals'
    std::uint8_t type = 0;
    Substream records;
};

struct Original {
    Substream globals;
    std::vector<SheetEntry> sheets;  // in the order of the sheet list
};

Original cut(std::span<const std::uint8_t> stream, const std::string& where) {
    Original original;
    original.globals = substream(stream, 0, where);
    for (std::size_t i = 0; i < original.globals.units.size(); ++i) {
        const Unit& unit = original.globals.units[i];
        if (unit.id == rt::FilePass) {
            throw Error(ErrorCode::NotSupported,
                        where +
                            ": the workbook is encrypted, and an encrypted workbook is not "
                            "written back; remove its password in an office suite");
        }
        if (unit.id != rt::BoundSheet || unit.body.size() < 6) {
            continue;
        }
        const std::size_t offset = le32(unit.body.data());
        if (offset >= stream.size()) {
            throw Error(ErrorCode::CorruptPart, where +
                                                    ": Workbook stream: a sheet begins beyond "
                                                    "the end of the stream");
        }
        original.sheets.push_back({i, unit.body[5], substream(stream, offset, where)});
    }
    return original;
}

// The whole stream: the globals with their new records, then every sheet, changed or moved.
class StreamWriter {
public:
    StreamWriter(std::span<const std::uint8_t> stream, const WorkbookImpl& book,
                 const std::optional<Area>& visible)
        : stream_(stream),
          book_(book),
          visible_(visible),
          original_(cut(stream, book.where())),
          before_(detail::loadBiffWorkbook(Bytes(stream.begin(), stream.end()), "", book.where())),
          globals_(original_.globals.units) {}

    Bytes write() {
        indexGlobals();
        newLooks();
        readStrings();
        writeSheets();
        writeGlobals();
        placeSheets();
        return std::move(out_);
    }

private:
    // The globals' records of interest.
    void indexGlobals() {
        for (std::size_t i = 0; i < globals_.size(); ++i) {
            const Unit& unit = globals_[i];
            switch (unit.id) {
                case rt::Font:
                    lastFont_ = i;
                    ++fontCount_;
                    break;
                case rt::Format:
                    lastFormat_ = i;
                    if (unit.body.size() >= 2) {
                        formatIds_.insert(le16(unit.body.data()));
                    }
                    break;
                case rt::Xf:
                    lastXf_ = i;
                    ++xfCount_;
                    break;
                case rt::Sst:
                    sst_ = i;
                    break;
                case wt::ExtSst:
                    extSst_ = i;
                    break;
                case wt::OleSize:
                    oleSize_ = i;
                    break;
                case rt::Palette:
                    palette_.read(unit.body);
                    break;
                default:
                    break;
            }
        }
    }

    // FONT, FORMAT and XF records for the looks the edits added, after the file's own: the
    // fonts, fills and borders as the styles part holds them now.
    void newLooks() {
        detail::StyleTable looks;
        if (!book_.stylesPart.empty()) {
            pugi::xml_document doc;
            const std::string xml = book_.package.read(book_.stylesPart);
            doc.load_buffer(xml.data(), xml.size());
            detail::readStyleSheet(doc.document_element(), looks);
        }
        for (std::size_t i = fontCount_; i < looks.fonts.size(); ++i) {
            appendRecord(newFonts_, rt::Font, fontRecord(looks.fonts[i], palette_));
        }
        for (const auto& [id, code] : book_.styles.customFormats) {
            if (!formatIds_.contains(id)) {
                RecordWriter body;
                body.u16(static_cast<std::uint16_t>(id));
                appendString(body, code, false);
                appendRecord(newFormats_, rt::Format, body);
            }
        }
        for (std::size_t i = xfCount_; i < book_.styles.xfs.size(); ++i) {
            appendRecord(newXfs_, rt::Xf, xfRecord(book_.styles.xfs[i], looks, palette_));
        }
    }

    // The shared strings: the file's own entries as they were, then the model's new ones.
    void readStrings() {
        if (sst_) {
            strings_ = readSst(stream_, globals_[*sst_], totalRefs_, book_.where());
        }
        for (std::size_t i = strings_.size(); i < book_.sharedStrings.size(); ++i) {
            added_.push_back(book_.sharedStrings[i]);
        }
    }

    // Texts of cells that the model keeps outside the shared strings go in as new entries.
    std::uint32_t sharedIndex(const std::string& text) {
        if (index_.empty()) {
            for (std::size_t i = 0; i < book_.sharedStrings.size(); ++i) {
                index_.emplace(book_.sharedStrings[i], static_cast<std::uint32_t>(i));
            }
        }
        const auto [it, fresh] =
            index_.emplace(text, static_cast<std::uint32_t>(strings_.size() + added_.size()));
        if (fresh) {
            added_.push_back(text);
        }
        return it->second;
    }

    // The changed sheets written anew; the others go as they were.
    void writeSheets() {
        sheets_.resize(original_.sheets.size());
        std::size_t model = 0;
        for (std::size_t s = 0; s < original_.sheets.size(); ++s) {
            const SheetEntry& entry = original_.sheets[s];
            if (entry.type != 0 && entry.type != 1 && entry.type != 2) {
                continue;
            }
            const std::size_t at = model++;
            if (entry.type != 0 || at >= book_.sheets.size() || at >= before_->sheets.size()) {
                continue;
            }
            const auto& was = *before_->sheets[at];
            const auto& is = *book_.sheets[at];
            if (sameSheet(*before_, was, book_, is)) {
                continue;
            }
            SheetEdit edit{*before_,
                           was,
                           book_,
                           is,
                           stream_,
                           entry.records,
                           [this](const std::string& text) { return sharedIndex(text); },
                           0};
            sheets_[s] = changedSheet(edit);
            long long old = 0;
            for (const Unit& unit : entry.records.units) {
                old += unit.depth == 0 && unit.id == rt::LabelSst ? 1 : 0;
            }
            refsDelta_ += static_cast<long long>(edit.stringRefs) - old;
        }
    }

    void writeSst() {
        const std::size_t unique = strings_.size() + added_.size();
        const long long total =
            std::max<long long>(0, static_cast<long long>(totalRefs_) + refsDelta_);
        SstWriter writer(out_.size(), static_cast<std::uint32_t>(total),
                         static_cast<std::uint32_t>(unique));
        for (const SstEntry& entry : strings_) {
            writer.add(entry);
        }
        for (const std::string& text : added_) {
            writer.add({utf16(text), {}, {}});
        }
        append(out_, writer.finish());
    }

    void writeOleSize() {
        const Area& a = *visible_;
        auto row = [](int r) {
            return static_cast<std::uint16_t>(std::clamp(r, 1, kMaxBiffRows) - 1);
        };
        auto column = [](int c) {
            return static_cast<std::uint8_t>(std::clamp(c, 1, kMaxBiffColumns) - 1);
        };
        RecordWriter body;
        body.u16(0).u16(row(a.top)).u16(row(a.bottom)).u8(column(a.left)).u8(column(a.right));
        appendRecord(out_, wt::OleSize, body);
    }

    // The globals, with the new records in their places; where each BOUNDSHEET's offset lies.
    void writeGlobals() {
        std::map<std::size_t, std::size_t> sheetOfUnit;
        for (std::size_t s = 0; s < original_.sheets.size(); ++s) {
            sheetOfUnit[original_.sheets[s].boundSheet] = s;
        }
        offsetFields_.resize(original_.sheets.size());
        for (std::size_t i = 0; i < globals_.size(); ++i) {
            if (i + 1 == globals_.size()) {  // the EOF: what the file lacked goes before it
                if (!sst_ && !added_.empty()) {
                    writeSst();
                }
                if (!oleSize_ && visible_) {
                    writeOleSize();
                }
            }
            if (i == sst_) {
                writeSst();
            } else if (i == oleSize_ && visible_) {
                writeOleSize();
            } else if (i != extSst_) {  // the EXTSST goes with the SST
                if (const auto found = sheetOfUnit.find(i); found != sheetOfUnit.end()) {
                    offsetFields_[found->second] = out_.size() + 4;
                }
                append(out_, bytesOf(stream_, globals_[i]));
            }
            appendLooksAfter(i);
        }
    }

    void appendLooksAfter(std::size_t i) {
        if (i == lastFont_) {
            append(out_, newFonts_);
            if (!lastFormat_) {
                append(out_, newFormats_);
            }
        }
        if (i == lastFormat_) {
            append(out_, newFormats_);
        }
        if (i == lastXf_) {
            append(out_, newXfs_);
        }
    }

    // The sheets in the order they lay in the stream, each BOUNDSHEET pointing at its own.
    void placeSheets() {
        std::vector<std::size_t> order(original_.sheets.size());
        for (std::size_t s = 0; s < order.size(); ++s) {
            order[s] = s;
        }
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return original_.sheets[a].records.offset < original_.sheets[b].records.offset;
        });
        for (const std::size_t s : order) {
            const Substream& records = original_.sheets[s].records;
            const std::size_t at = out_.size();
            put32(out_, offsetFields_[s], static_cast<std::uint32_t>(at));
            if (!sheets_[s].empty()) {
                append(out_, sheets_[s]);
            } else {
                append(out_, movedSheet(stream_, records,
                                        static_cast<long long>(at) -
                                            static_cast<long long>(records.offset)));
            }
        }
    }

    std::span<const std::uint8_t> stream_;
    const WorkbookImpl& book_;
    const std::optional<Area>& visible_;
    const Original original_;
    const std::shared_ptr<WorkbookImpl> before_;  // the original as the reader reads it
    const std::vector<Unit>& globals_;

    std::optional<std::size_t> lastFont_, lastFormat_, lastXf_, sst_, extSst_, oleSize_;
    std::size_t fontCount_ = 0, xfCount_ = 0;
    std::set<int> formatIds_;
    Palette palette_;
    Bytes newFonts_, newFormats_, newXfs_;

    std::uint32_t totalRefs_ = 0;
    std::vector<SstEntry> strings_;
    std::vector<std::string> added_;
    std::unordered_map<std::string, std::uint32_t> index_;
    long long refsDelta_ = 0;

    std::vector<Bytes> sheets_;  // empty for a sheet that goes as it was
    std::vector<std::size_t> offsetFields_;
    Bytes out_;
};

}  // namespace

std::optional<detail::Area> visibleArea(std::span<const std::uint8_t> stream) {
    try {
        for (const Unit& unit : substream(stream, 0, "").units) {
            if (unit.id == wt::OleSize && unit.body.size() >= 8) {
                const std::uint8_t* p = unit.body.data();
                return detail::Area{le16(p + 2) + 1, p[6] + 1, le16(p + 4) + 1, p[7] + 1};
            }
        }
    } catch (const Error&) {
    }
    return std::nullopt;
}

void checkWritable(std::span<const std::uint8_t> stream, const std::string& displayName) {
    cut(stream, displayName);
}

std::vector<std::uint8_t> writeWorkbookStream(std::span<const std::uint8_t> stream,
                                              const WorkbookImpl& book,
                                              const std::optional<detail::Area>& visible) {
    StreamWriter writer(stream, book, visible);
    return writer.write();
}

}  // namespace office::excel::xls
