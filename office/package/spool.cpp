#include "office/package/spool.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "office/package/file_source.h"
#include "office/package/xml.h"

namespace office::package::detail {
namespace {

// The level of the incremental zlib stream: the zip writer's default, so that a part deflated
// piece by piece is as small as one that the writer deflates itself.
constexpr int kLevel = 6;
// The level of whole-buffer deflating. Over the parts of the fixture decks and of their
// embedded workbooks, libdeflate's level 8 makes what zlib's level 6 makes in size for 65% of
// its instructions; levels 6 and 7 cost 56% and 57% but make table slides 1.3% larger than
// zlib did. On the 300-chart conversion, whose chart parts and data sheets are deflated here,
// level 6 takes 6% fewer instructions than level 8 for a deck 0.6% larger (level 4: 8.5%
// fewer, 1.4% larger).
constexpr int kWholeLevel = 6;
// A tree whose text grows past this is deflated piece by piece as it is written, so that a
// large part's text is never held whole; smaller ones are deflated in one call.
constexpr std::size_t kWholeXmlLimit = 1 << 20;

// Reads up to `length` bytes at `offset`; the count read, or -1 with errno set.
ssize_t readSome(int fd, void* into, std::size_t length, std::uint64_t offset) {
    for (;;) {
        const ssize_t done = ::pread(fd, into, length, static_cast<off_t>(offset));
        if (done >= 0 || errno != EINTR) {
            return done;
        }
    }
}

std::uint32_t le16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8;
}

std::uint32_t le32(std::string_view bytes, std::size_t at) {
    return le16(bytes, at) | le16(bytes, at + 2) << 16;
}

// A stretch of a part's bytes, [begin, end).
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// Where a part that is itself a zip package (an embedded workbook) holds the deflated data of
// its entries, in order: deflating those again costs most of the time of a save and gains
// nothing, while the headers, names and directory around them still shrink by a good part.
// Empty for anything that is not a plain zip (no zip64) whose directory and headers agree;
// the spans only choose how each stretch is deflated, so a wrong one costs size, never data.
std::vector<Span> deflatedEntries(std::string_view bytes) {
    constexpr std::size_t kEndRecord = 22;
    constexpr std::size_t kSmallest = 128;  // shorter entries are deflated with the headers
    if (bytes.size() < kEndRecord || le32(bytes, 0) != 0x04034b50) {
        return {};
    }
    // The end record lies in the last 64 KiB (its comment) and 22 bytes.
    std::size_t end = bytes.size() - kEndRecord;
    const std::size_t lowest = end > 0xffff ? end - 0xffff : 0;
    while (le32(bytes, end) != 0x06054b50) {
        if (end == lowest) {
            return {};
        }
        --end;
    }
    const std::uint32_t count = le16(bytes, end + 10);
    std::size_t at = le32(bytes, end + 16);
    std::vector<Span> spans;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (at + 46 > end || le32(bytes, at) != 0x02014b50) {
            return {};
        }
        const std::uint32_t method = le16(bytes, at + 10);
        const std::size_t packed = le32(bytes, at + 20);
        const std::size_t local = le32(bytes, at + 42);
        at += 46 + le16(bytes, at + 28) + le16(bytes, at + 30) + le16(bytes, at + 32);
        if (local + 30 > bytes.size() || le32(bytes, local) != 0x04034b50) {
            return {};
        }
        const std::size_t begin = local + 30 + le16(bytes, local + 26) + le16(bytes, local + 28);
        if (begin + packed > bytes.size()) {
            return {};
        }
        if (method == Z_DEFLATED && packed >= kSmallest) {
            spans.push_back({begin, begin + packed});
        }
    }
    std::sort(spans.begin(), spans.end(),
              [](const Span& a, const Span& b) { return a.begin < b.begin; });
    for (std::size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].begin < spans[i - 1].end) {
            return {};
        }
    }
    return spans;
}

// The spans joined where only a little lies between them (the local header of the next entry).
std::vector<Span> storedRuns(const std::vector<Span>& spans) {
    constexpr std::size_t kShortGap = 512;
    std::vector<Span> runs;
    for (const Span& span : spans) {
        if (!runs.empty() && span.begin - runs.back().end < kShortGap) {
            runs.back().end = span.end;
        } else {
            runs.push_back(span);
        }
    }
    return runs;
}

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
struct DecompressorFree {
    void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

// This thread's whole-buffer compressor and decompressor: made once, with no set-up per part.
libdeflate_compressor* threadCompressor() {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(
        libdeflate_alloc_compressor(kWholeLevel));
    return compressor.get();
}

libdeflate_decompressor* threadDecompressor() {
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> decompressor(
        libdeflate_alloc_decompressor());
    return decompressor.get();
}

// The bytes deflated in one call; nothing when that fails.
std::optional<std::string> deflateWhole(std::string_view bytes) {
    libdeflate_compressor* compressor = threadCompressor();
    if (!compressor) {
        return std::nullopt;
    }
    std::string out(libdeflate_deflate_compress_bound(compressor, bytes.size()), '\0');
    const std::size_t used =
        libdeflate_deflate_compress(compressor, bytes.data(), bytes.size(), out.data(), out.size());
    if (used == 0) {
        return std::nullopt;
    }
    out.resize(used);
    out.shrink_to_fit();
    return out;
}

// A raw deflate stream (no zlib header, as zip entries hold it), reset for each part: for the
// parts that must be deflated piece by piece (an embedded package, whose deflated entries go
// into stored blocks between deflated ones, and a large tree's text as it is written).
class Deflater {
public:
    Deflater() {
        ready_ =
            deflateInit2(&stream_, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() {
        if (ready_) {
            deflateEnd(&stream_);
        }
    }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // The part deflated. In a zip package (an embedded workbook), the already deflated data of
    // its entries goes into stored blocks, with the short local headers between them (each
    // change between stored and deflated blocks costs a block of its own, dearer than a few
    // bytes of headers); the directory at the end is deflated.
    std::optional<std::string> deflate(std::string_view bytes, const std::vector<Span>& entries) {
        if (bytes.size() > UINT_MAX || !start(bytes.size())) {
            return std::nullopt;
        }
        std::size_t done = 0;
        for (const Span& span : storedRuns(entries)) {
            if (!feed(bytes.substr(done, span.begin - done), kLevel) ||
                !feed(bytes.substr(span.begin, span.end - span.begin), 0)) {
                return std::nullopt;
            }
            done = span.end;
        }
        if (!feed(bytes.substr(done), kLevel)) {
            return std::nullopt;
        }
        return finish();
    }

    // A part deflated as it comes, piece by piece: start, feed, finish.
    bool start(std::size_t expected, int level = kLevel) {
        // Right after a reset, a change of level ends no block.
        if (!ready_ || deflateReset(&stream_) != Z_OK ||
            deflateParams(&stream_, level, Z_DEFAULT_STRATEGY) != Z_OK) {
            return false;
        }
        level_ = level;
        used_ = 0;
        // Text deflates to about a sixth; the buffer grows when that is not enough.
        reserve(expected / 6 + 1024);
        return true;
    }

    // Deflates `bytes` at `level`. A change of level between two ways of matching (levels 1-3
    // and 4-9, or 0) ends the current block first.
    bool feed(std::string_view bytes, int level) {
        if (bytes.empty()) {
            return true;
        }
        if (bytes.size() > UINT_MAX) {
            return false;
        }
        if (level != level_) {
            auto family = [](int l) { return l == 0 ? 0 : l <= 3 ? 1 : 2; };
            if ((family(level) != family(level_) && !run(Z_BLOCK)) ||
                deflateParams(&stream_, level, Z_DEFAULT_STRATEGY) != Z_OK) {
                return false;
            }
            level_ = level;
        }
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        stream_.avail_in = static_cast<uInt>(bytes.size());
        return run(Z_NO_FLUSH);
    }

    std::optional<std::string> finish() {
        if (!run(Z_FINISH)) {
            return std::nullopt;
        }
        std::string deflated(out_.get(), used_);
        if (capacity_ > kKeptCapacity) {
            out_.reset();  // a large part's buffer is not kept for the thread
            capacity_ = 0;
        }
        return deflated;
    }

private:
    static constexpr std::size_t kKeptCapacity = 1 << 20;

    // Runs the stream over its input with `flush`, growing the output as it needs.
    bool run(int flush) {
        for (;;) {
            if (capacity_ - used_ < 4096) {
                reserve(capacity_ + capacity_ / 2 + 4096);
            }
            const auto room = static_cast<uInt>(std::min<std::size_t>(capacity_ - used_, UINT_MAX));
            stream_.next_out = reinterpret_cast<Bytef*>(out_.get() + used_);
            stream_.avail_out = room;
            const int result = ::deflate(&stream_, flush);
            used_ += room - stream_.avail_out;
            if (result == Z_STREAM_ERROR) {
                return false;
            }
            if (flush == Z_FINISH ? result == Z_STREAM_END
                                  : stream_.avail_in == 0 && stream_.avail_out != 0) {
                return true;
            }
        }
    }

    // Grows the output buffer to hold `capacity` bytes, keeping what it holds. The bytes beyond
    // those used are left as they are: clearing them on every call cost more than deflating.
    void reserve(std::size_t capacity) {
        if (capacity <= capacity_) {
            return;
        }
        auto grown = std::make_unique_for_overwrite<char[]>(capacity);
        if (used_ > 0) {
            std::memcpy(grown.get(), out_.get(), used_);
        }
        out_ = std::move(grown);
        capacity_ = capacity;
    }

    z_stream stream_{};
    bool ready_ = false;
    int level_ = kLevel;
    std::unique_ptr<char[]> out_;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
};

// What a zip source hands out: a deflated part held in memory, or a record of the spool file.
struct SourceState {
    DeflatedPart part;  // in memory when fd < 0
    int fd = -1;
    Spool::Record record;
    std::uint64_t position = 0;
    zip_error_t error{};

    std::uint64_t stored() const { return fd < 0 ? part.bytes.size() : record.stored; }

    void describe(zip_stat_t& st) const {
        st.size = fd < 0 ? part.size : record.size;
        st.comp_size = stored();
        st.comp_method = (fd < 0 || record.deflated) ? ZIP_CM_DEFLATE : ZIP_CM_STORE;
        st.crc = fd < 0 ? part.crc : record.crc;
        st.encryption_method = ZIP_EM_NONE;
        st.valid |= ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC |
                    ZIP_STAT_ENCRYPTION_METHOD;
    }

    zip_int64_t read(void* into, zip_uint64_t length) {
        const auto wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(length, stored() - position));
        if (fd < 0) {
            std::memcpy(into, part.bytes.data() + position, wanted);
            position += wanted;
            return static_cast<zip_int64_t>(wanted);
        }
        const ssize_t got = readSome(fd, into, wanted, record.offset + position);
        if (got < 0 || (got == 0 && wanted > 0)) {
            zip_error_set(&error, ZIP_ER_READ, got < 0 ? errno : EIO);
            return -1;
        }
        position += static_cast<std::uint64_t>(got);
        return got;
    }
};

zip_int64_t serve(void* state, void* data, zip_uint64_t length, zip_source_cmd_t command) {
    auto* source = static_cast<SourceState*>(state);
    switch (command) {
        case ZIP_SOURCE_OPEN:
            source->position = 0;
            return 0;
        case ZIP_SOURCE_READ:
            return source->read(data, length);
        case ZIP_SOURCE_CLOSE:
            return 0;
        case ZIP_SOURCE_STAT: {
            auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, length, &source->error);
            if (!st) {
                return -1;
            }
            source->describe(*st);
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&source->error, data, length);
        case ZIP_SOURCE_FREE:
            zip_error_fini(&source->error);
            delete source;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            zip_error_set(&source->error, ZIP_ER_OPNOTSUPP, 0);
            return -1;
    }
}

zip_source_t* makeSource(zip_t* archive, std::unique_ptr<SourceState> state) {
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function(archive, serve, state.get());
    if (source) {
        state.release();  // the source owns it now and frees it with ZIP_SOURCE_FREE
    }
    return source;
}

// One stream for each thread, kept for the thread's life.
Deflater& threadDeflater() {
    thread_local Deflater deflater;
    return deflater;
}

}  // namespace

std::uint32_t crcOf(std::string_view bytes, std::uint32_t crc) {
    return libdeflate_crc32(crc, bytes.data(), bytes.size());
}

std::optional<std::string> inflateRaw(std::string_view packed, std::uint64_t size) {
    libdeflate_decompressor* decompressor = threadDecompressor();
    if (!decompressor || size > SIZE_MAX) {
        return std::nullopt;
    }
    std::string out(static_cast<std::size_t>(size), '\0');
    // Without a count to return, anything but exactly `size` bytes is a failure.
    if (libdeflate_deflate_decompress(decompressor, packed.data(), packed.size(), out.data(),
                                      out.size(), nullptr) != LIBDEFLATE_SUCCESS) {
        return std::nullopt;
    }
    return out;
}

std::optional<DeflatedPart> deflatePart(std::string_view bytes) {
    // An embedded package with deflated entries needs a stream that switches between stored
    // and deflated blocks; anything else is deflated in one call.
    const std::vector<Span> entries = deflatedEntries(bytes);
    auto deflated =
        entries.empty() ? deflateWhole(bytes) : threadDeflater().deflate(bytes, entries);
    if (!deflated) {
        return std::nullopt;
    }
    return DeflatedPart{std::move(*deflated), bytes.size(), crcOf(bytes)};
}

std::optional<DeflatedPart> deflateXml(const pugi::xml_document& doc) {
    DeflatedPart part;
    std::string text;  // while the text is short enough to be deflated whole
    Deflater* stream = nullptr;
    bool fine = true;
    streamXml(doc, [&](std::string_view piece) {
        part.crc = crcOf(piece, part.crc);
        part.size += piece.size();
        if (!stream && text.size() + piece.size() <= kWholeXmlLimit) {
            text.append(piece);
            return;
        }
        if (!stream) {
            stream = &threadDeflater();
            fine = stream->start(kWholeXmlLimit) && stream->feed(text, kLevel);
            std::string().swap(text);
        }
        fine = fine && stream->feed(piece, kLevel);
    });
    auto deflated = !fine ? std::nullopt : stream ? stream->finish() : deflateWhole(text);
    if (!deflated) {
        return std::nullopt;
    }
    part.bytes = std::move(*deflated);
    return part;
}

zip_source_t* deflatedSource(zip_t* archive, DeflatedPart part) {
    auto state = std::make_unique<SourceState>();
    state->part = std::move(part);
    return makeSource(archive, std::move(state));
}

std::unique_ptr<Spool> Spool::create() {
    std::error_code ec;
    const auto folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        return nullptr;
    }
    std::string path = (folder / "tabulon-parts-XXXXXX").string();
    const int fd = ::mkostemp(path.data(), O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    // Unlinked at once: the file lives as long as the descriptor, and nothing is left behind
    // when the program ends in any way.
    ::unlink(path.c_str());
    return std::unique_ptr<Spool>(new Spool(fd));
}

Spool::~Spool() {
    ::close(fd_);
}

std::optional<Spool::Record> Spool::append(std::string_view bytes, bool deflate) {
    std::optional<DeflatedPart> deflated;
    if (deflate && !(deflated = deflatePart(bytes))) {
        return std::nullopt;
    }
    const std::string_view stored = deflated ? std::string_view(deflated->bytes) : bytes;
    Record record{end_, stored.size(), bytes.size(), deflated ? deflated->crc : crcOf(bytes),
                  deflate};
    if (!writeAt(fd_, stored, end_)) {
        return std::nullopt;
    }
    end_ += record.stored;
    return record;
}

std::optional<Spool::Record> Spool::append(const DeflatedPart& part) {
    Record record{end_, part.bytes.size(), part.size, part.crc, true};
    if (!writeAt(fd_, part.bytes, end_)) {
        return std::nullopt;
    }
    end_ += record.stored;
    return record;
}

std::optional<std::string> Spool::read(const Record& record) const {
    std::string stored(static_cast<std::size_t>(record.stored), '\0');
    std::size_t done = 0;
    while (done < stored.size()) {
        const ssize_t got =
            readSome(fd_, stored.data() + done, stored.size() - done, record.offset + done);
        if (got <= 0) {
            return std::nullopt;
        }
        done += static_cast<std::size_t>(got);
    }
    if (!record.deflated) {
        return stored;
    }
    return inflateRaw(stored, record.size);
}

zip_source_t* Spool::source(zip_t* archive, const Record& record) const {
    auto state = std::make_unique<SourceState>();
    state->fd = fd_;
    state->record = record;
    return makeSource(archive, std::move(state));
}

}  // namespace office::package::detail
