#include "office/package/png.h"

#include <map>
#include <utility>
#include <vector>

#include <zlib.h>

namespace office::package {

namespace {

struct Image {
    const std::uint32_t* pixels;
    int width;
    int height;
    std::size_t pixelsPerLine;
    const std::uint32_t* row(int y) const {
        return pixels + static_cast<std::size_t>(y) * pixelsPerLine;
    }
};

void appendU32(std::string& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void appendChunk(std::string& out, const char* type, const std::string& data) {
    appendU32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += data;
    const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
    appendU32(out,
              static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(out.size() - start))));
}

// The picture's colours in the order met, with each one's index; empty when there are more
// than 256. Runs of one colour are the rule, so the last colour is checked first.
class Palette {
public:
    explicit Palette(const Image& image) {
        const int width = image.width;
        for (int y = 0; y < image.height; ++y) {
            const std::uint32_t* rgb = image.row(y);
            for (int x = 0; x < width; ++x) {
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
            lastIndex_ = index_.find(color)->second;
        }
        return lastIndex_;
    }

private:
    bool add(std::uint32_t color) {
        last_ = color;
        const auto [it, added] =
            index_.emplace(color, static_cast<unsigned char>(colors_.size() & 0xFF));
        if (added) {
            if (colors_.size() == 256) {
                return false;
            }
            colors_.push_back(color);
        }
        lastIndex_ = it->second;
        return true;
    }

    std::vector<std::uint32_t> colors_;
    std::map<std::uint32_t, unsigned char> index_;
    std::uint32_t last_ = 0;  // never a colour of the picture, whose pixels are opaque
    unsigned char lastIndex_ = 0;
};

// Each row is filtered against the one above (the many rows that repeat the row above become
// zeros) and deflated with run-length matching, which suits the long runs of a drawn picture.
// The image's rows as PNG scanlines, each with the "Up" filter, deflated: palette indices when
// the palette is usable, else RGB.
std::string deflatedRows(const Image& image, Palette& palette) {
    const int width = image.width;
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (palette.usable() ? 1 : 3);
    std::vector<unsigned char> above(rowBytes, 0), row(rowBytes), line(rowBytes + 1);
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 15, 8, Z_RLE);
    std::string out(deflateBound(&stream, static_cast<uLong>((rowBytes + 1) * image.height)), '\0');
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    line[0] = 2;  // Up
    for (int y = 0; y < image.height; ++y) {
        const std::uint32_t* rgb = image.row(y);
        if (palette.usable()) {
            for (int x = 0; x < width; ++x) {
                row[x] = palette.indexOf(rgb[x]);
            }
        } else {
            for (int x = 0; x < width; ++x) {
                row[3 * x] = static_cast<unsigned char>((rgb[x] >> 16) & 0xFF);
                row[3 * x + 1] = static_cast<unsigned char>((rgb[x] >> 8) & 0xFF);
                row[3 * x + 2] = static_cast<unsigned char>(rgb[x] & 0xFF);
            }
        }
        for (std::size_t i = 0; i < rowBytes; ++i) {
            line[i + 1] = static_cast<unsigned char>(row[i] - above[i]);
        }
        std::swap(row, above);
        stream.next_in = line.data();
        stream.avail_in = static_cast<uInt>(line.size());
        deflate(&stream, y + 1 == image.height ? Z_FINISH : Z_NO_FLUSH);
    }
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
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
    appendChunk(png, "IDAT", deflatedRows(image, palette));
    appendChunk(png, "IEND", "");
    return png;
}

}  // namespace office::package
