#include "office/package/png.h"

#include <libdeflate.h>
#include <zlib.h>

#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "office/error.h"

namespace office::package {

namespace {

// The levels of the compressors. A table picture is mostly long runs of white and rows that
// repeat the one above. On the picture of a table 8 inches wide (1636 x 508 pixels, 2.5 MB of
// scanlines), libdeflate's level 2 takes 4.0 ms for 86 KB, level 5 4.7 ms for 79 KB, level 6
// 5.4 ms, and level 1, for all its fewer instructions, 6.8 ms for 89 KB; zlib's level 1 is the
// cheapest of its own for a picture too large to be deflated whole.
constexpr int kWholeLevel = 2;
constexpr int kRowLevel = 1;
// Filtered rows up to this size are deflated in one call; larger pictures go through a zlib
// stream a row at a time, so that they are not held twice more in memory.
constexpr std::size_t kWholeLimit = 8 << 20;

struct Image {
    const std::uint32_t* pixels;
    int width;
    int height;
    std::size_t pixelsPerLine;
    const std::uint32_t* row(int y) const {
        return pixels + static_cast<std::size_t>(y) * pixelsPerLine;
    }
    // Whether row y holds the same pixels as the row above it.
    bool repeatsAbove(int y) const {
        return y > 0 && std::memcmp(row(y), row(y - 1), static_cast<std::size_t>(width) * 4) == 0;
    }
};

void appendU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void appendChunk(std::string& out, const char* type, std::string_view data) {
    appendU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    appendU32(out, static_cast<std::uint32_t>(
                       libdeflate_crc32(0, out.data() + start, out.size() - start)));
}

// The picture's colours in the order met, with each one's index; empty when there are more
// than 256. Runs of one colour are the rule, so the last colour is checked first, and the
// others are found in a small open-addressed table.
class Palette {
public:
    explicit Palette(const Image& image) {
        slots_.fill(kEmpty);
        for (int y = 0; y < image.height; ++y) {
            if (image.repeatsAbove(y)) {
                continue;
            }
            const std::uint32_t* rgb = image.row(y);
            for (int x = 0; x < image.width; ++x) {
                if (rgb[x] != last_ && !add(rgb[x])) {
                    colors_.clear();
                    return;
                }
            }
        }
    }
    bool usable() const { return !colors_.empty(); }
    const std::vector<std::uint32_t>& colors() const { return colors_; }
    unsigned char indexOf(std::uint32_t color) {
        if (color != last_) {
            last_ = color;
            lastIndex_ = static_cast<unsigned char>(slots_[find(color)] & 0xFF);
        }
        return lastIndex_;
    }

private:
    // A slot holds a colour's 24 bits above its index, or kEmpty.
    static constexpr std::uint64_t kEmpty = ~std::uint64_t{0};
    static constexpr std::size_t kSlots = 1024;  // a quarter full at most

    std::size_t find(std::uint32_t color) const {
        const std::uint32_t rgb = color & 0xFFFFFF;
        std::size_t at = (rgb * 0x9E3779B1u) >> 22;
        while (slots_[at] != kEmpty && (slots_[at] >> 8) != rgb) {
            at = (at + 1) % kSlots;
        }
        return at;
    }

    bool add(std::uint32_t color) {
        last_ = color;
        const std::size_t at = find(color);
        if (slots_[at] == kEmpty) {
            if (colors_.size() == 256) {
                return false;
            }
            slots_[at] = std::uint64_t{color & 0xFFFFFF} << 8 | colors_.size();
            colors_.push_back(color);
        }
        lastIndex_ = static_cast<unsigned char>(slots_[at] & 0xFF);
        return true;
    }

    std::array<std::uint64_t, kSlots> slots_;
    std::vector<std::uint32_t> colors_;
    std::uint32_t last_ = 0;  // never a colour of the picture, whose pixels are opaque
    unsigned char lastIndex_ = 0;
};

// Row y as one PNG scanline into `line` (its filter byte, then its bytes). A row that repeats
// the one above is filtered "Up" and becomes zeros; any other row is left unfiltered, which
// suits drawn pictures better than any filter that predicts from neighbours (their edges are
// sharp and their runs long).
void scanline(const Image& image, int y, Palette& palette, unsigned char* line) {
    const int width = image.width;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (palette.usable() ? 1 : 3);
    if (image.repeatsAbove(y)) {
        line[0] = 2;  // Up
        std::memset(line + 1, 0, rowBytes);
        return;
    }
    line[0] = 0;  // None
    unsigned char* out = line + 1;
    const std::uint32_t* rgb = image.row(y);
    if (palette.usable()) {
        for (int x = 0; x < width; ++x) {
            out[x] = palette.indexOf(rgb[x]);
        }
        return;
    }
    for (int x = 0; x < width; ++x) {
        out[3 * x] = static_cast<unsigned char>((rgb[x] >> 16) & 0xFF);
        out[3 * x + 1] = static_cast<unsigned char>((rgb[x] >> 8) & 0xFF);
        out[3 * x + 2] = static_cast<unsigned char>(rgb[x] & 0xFF);
    }
}

struct CompressorFree {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

// This thread's compressor, made once: its tables are large and need no clearing per picture.
libdeflate_compressor* threadCompressor() {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorFree> compressor(
        libdeflate_alloc_compressor(kWholeLevel));
    return compressor.get();
}

// Memory that a thread keeps from one picture to the next: on first touch, fresh memory costs
// a page fault for every 4 KiB, which for a picture of a few megapixels takes longer than
// compressing it. It grows to the largest picture deflated whole, kWholeLimit at most.
struct Scratch {
    std::vector<unsigned char> lines;
    std::vector<unsigned char> packed;
};

unsigned char* atLeast(std::vector<unsigned char>& buffer, std::size_t size) {
    if (buffer.size() < size) {
        buffer.resize(size);
    }
    return buffer.data();
}

// The scanlines deflated as a zlib stream in one call; empty when that fails.
std::string deflatedWhole(const Image& image, Palette& palette, std::size_t lineBytes) {
    libdeflate_compressor* compressor = threadCompressor();
    if (!compressor) {
        return {};
    }
    thread_local Scratch scratch;
    const std::size_t total = lineBytes * static_cast<std::size_t>(image.height);
    unsigned char* lines = atLeast(scratch.lines, total);
    for (int y = 0; y < image.height; ++y) {
        scanline(image, y, palette, lines + lineBytes * static_cast<std::size_t>(y));
    }
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, total);
    unsigned char* packed = atLeast(scratch.packed, bound);
    const std::size_t used = libdeflate_zlib_compress(compressor, lines, total, packed, bound);
    return std::string(reinterpret_cast<const char*>(packed), used);
}

// The scanlines deflated a row at a time through one zlib stream; empty when that fails.
std::string deflatedByRow(const Image& image, Palette& palette, std::size_t lineBytes) {
    z_stream stream{};
    if (lineBytes > UINT_MAX || deflateInit(&stream, kRowLevel) != Z_OK) {
        return {};
    }
    std::vector<unsigned char> line(lineBytes);
    std::string out;
    std::vector<unsigned char> buffer(1 << 16);
    bool fine = true;
    for (int y = 0; fine && y < image.height; ++y) {
        scanline(image, y, palette, line.data());
        stream.next_in = line.data();
        stream.avail_in = static_cast<uInt>(lineBytes);
        const int flush = y + 1 == image.height ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            stream.next_out = buffer.data();
            stream.avail_out = static_cast<uInt>(buffer.size());
            result = deflate(&stream, flush);
            out.append(reinterpret_cast<const char*>(buffer.data()),
                       buffer.size() - stream.avail_out);
        } while (result == Z_OK && stream.avail_out == 0);
        fine = flush == Z_FINISH ? result == Z_STREAM_END : result == Z_OK;
    }
    deflateEnd(&stream);
    return fine ? out : std::string();
}

}  // namespace

std::string encodePng(const std::uint32_t* pixels, int width, int height, std::size_t pixelsPerLine,
                      int dotsPerMeter) {
    const Image image{pixels, width, height, pixelsPerLine};
    Palette palette(image);
    std::string header;
    appendU32(header, static_cast<std::uint32_t>(width));
    appendU32(header, static_cast<std::uint32_t>(height));
    header += {8, static_cast<char>(palette.usable() ? 3 : 2), 0, 0, 0};  // 8 bits, indexed or RGB
    std::string density;
    appendU32(density, static_cast<std::uint32_t>(dotsPerMeter));
    appendU32(density, static_cast<std::uint32_t>(dotsPerMeter));
    density.push_back(1);  // per meter
    std::string png("\x89PNG\r\n\x1a\n", 8);
    appendChunk(png, "IHDR", header);
    if (palette.usable()) {
        std::string colors;
        for (std::uint32_t color : palette.colors()) {
            colors += {static_cast<char>((color >> 16) & 0xFF),
                       static_cast<char>((color >> 8) & 0xFF), static_cast<char>(color & 0xFF)};
        }
        appendChunk(png, "PLTE", colors);
    }
    appendChunk(png, "pHYs", density);
    const std::size_t lineBytes = 1 + static_cast<std::size_t>(width) * (palette.usable() ? 1 : 3);
    const std::size_t total = lineBytes * static_cast<std::size_t>(height);
    std::string data = total <= kWholeLimit ? deflatedWhole(image, palette, lineBytes)
                                            : deflatedByRow(image, palette, lineBytes);
    if (data.empty()) {
        throw Error(ErrorCode::WriteFailed, "a picture of " + std::to_string(width) + " x " +
                                                std::to_string(height) +
                                                " pixels cannot be compressed (out of memory)");
    }
    appendChunk(png, "IDAT", data);
    appendChunk(png, "IEND", "");
    return png;
}

}  // namespace office::package
