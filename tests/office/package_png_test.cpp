// Pictures written by the PNG writer and read back by Qt's reader: every pixel as drawn, a
// palette only where the colours fit one, small pictures and large ones of many blocks, and the
// edges of the writer's own deflate coding.
#include <gtest/gtest.h>

#include <QImage>

#include <bit>
#include <functional>
#include <vector>

#include "office/package/png.h"

namespace {

// A picture of colourAt(x, y), rows 3 pixels longer than it, encoded and read back.
QImage roundTrip(int width, int height, const std::function<std::uint32_t(int, int)>& colourAt) {
    const std::size_t line = static_cast<std::size_t>(width) + 3;
    std::vector<std::uint32_t> pixels(line * height, 0xFF00FF00);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            pixels[y * line + x] = 0xFF000000 | colourAt(x, y);
        }
    }
    const std::string png = office::package::encodePng(pixels.data(), width, height, line, 7559);
    QImage image = QImage::fromData(reinterpret_cast<const uchar*>(png.data()),
                                    static_cast<int>(png.size()), "PNG");
    if (image.size() != QSize(width, height) || image.dotsPerMeterX() != 7559) {
        ADD_FAILURE() << "read back as " << image.width() << " x " << image.height();
        return {};
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((image.pixel(x, y) ^ pixels[y * line + x]) & 0xFFFFFF) {
                ADD_FAILURE() << "pixel " << x << ", " << y << " differs";
                return {};
            }
        }
    }
    return image;
}

TEST(PackagePng, PicturesReadBackPixelForPixel) {
    // A table's look: a grid, a filled band, rows that repeat; 4 colours.
    auto table = [](int x, int y) -> std::uint32_t {
        const bool ink = y % 40 > 10 && y % 40 < 20 && x % 50 < 30;
        return x % 50 == 0 || y % 40 == 0 ? 0xBFBFBF : y < 40 ? 0x1F4E78 : ink ? 0 : 0xFFFFFF;
    };
    EXPECT_EQ(roundTrip(300, 200, table).format(), QImage::Format_Indexed8);
    auto ramp = [](int x, int y) {
        return std::uint32_t(x * 7 % 256) << 16 | (y % 3) << 8 | x % 256;
    };
    EXPECT_EQ(roundTrip(600, 120, ramp).format(), QImage::Format_RGB32);
    std::uint32_t seed = 12345;  // noise with white runs, 8.7 MB of scanlines
    auto noise = [&](int x, int y) {
        return y % 5 == 4 || x % 7 < 3 ? 0xFFFFFF : (seed = seed * 1664525u + 1013904223u) >> 8;
    };
    EXPECT_FALSE(roundTrip(1700, 1700, noise).isNull());
}

TEST(PackagePng, DeflateCodingHoldsAtItsLimits) {
    // Bytes of geometric frequencies: Huffman codes as long as deflate allows, 15 bits.
    std::uint32_t state = 2463534242u;
    auto geometric = [&] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return static_cast<std::uint32_t>(std::countr_zero(state | 0x80000000u));
    };
    auto skewed = [&](int, int) { return geometric() << 16 | geometric() << 8 | geometric(); };
    EXPECT_EQ(roundTrip(700, 300, skewed).format(), QImage::Format_RGB32);
    // Repeated rows shorter than deflate's shortest match; runs and repeated rows of 1 to 3
    // bytes more than its longest.
    for (int width : {1, 2, 259, 260, 261}) {
        auto plain = [](int x, int y) -> std::uint32_t { return x + y == 0 ? 0 : 0xFFFFFF; };
        EXPECT_EQ(roundTrip(width, 3, plain).format(), QImage::Format_Indexed8) << width;
    }
    // Rows of over 32 KiB, beyond deflate's reach from one row to the next; pairs repeat.
    auto wide = [](int x, int y) { return std::uint32_t(x % 4096) << 8 | (y / 2) << 4; };
    EXPECT_FALSE(roundTrip(11000, 6, wide).isNull());
}

}  // namespace
