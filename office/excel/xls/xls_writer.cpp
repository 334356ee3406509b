// The binary workbook writer: the original stream is cut into its substreams and records, the
// edited model is compared with a fresh reading of the original, and the stream is put
// together again from the original records and new ones where the model changed.

#include "office/excel/xls/xls_writer.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include <pugixml.hpp>

#include "office/error.h"
#include "office/excel/xls/biff.h"
#include "office/excel/xls/xls_reader.h"
#include "office/excel/xls/xls_writer_parts.h"

namespace office::excel::xls {

namespace writing {

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
namespace {

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
                case rt::ExtSst:
                    extSst_ = i;
                    break;
                case rt::OleSize:
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
        appendRecord(out_, rt::OleSize, body);
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
}  // namespace writing

std::optional<detail::Area> visibleArea(std::span<const std::uint8_t> stream) {
    try {
        for (const writing::Unit& unit : writing::substream(stream, 0, "").units) {
            if (unit.id == rt::OleSize && unit.body.size() >= 8) {
                const std::uint8_t* p = unit.body.data();
                return detail::Area{le16(p + 2) + 1, p[6] + 1, le16(p + 4) + 1, p[7] + 1};
            }
        }
    } catch (const Error&) {
    }
    return std::nullopt;
}

void checkWritable(std::span<const std::uint8_t> stream, const std::string& displayName) {
    writing::cut(stream, displayName);
}

std::vector<std::uint8_t> writeWorkbookStream(std::span<const std::uint8_t> stream,
                                              const detail::WorkbookImpl& book,
                                              const std::optional<detail::Area>& visible) {
    writing::StreamWriter writer(stream, book, visible);
    return writer.write();
}

}  // namespace office::excel::xls
