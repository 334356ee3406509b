#pragma once

// PNG files of drawn pictures (table and chart pictures of embedded objects), written here
// rather than by Qt's encoder, which takes several times longer for a picture of a few
// megapixels.

#include <cstddef>
#include <cstdint>
#include <string>

namespace office::package {

// The PNG file of an opaque picture of width x height pixels, each 0xAARRGGBB (the layout of
// Qt's 32-bit images), rows pixelsPerLine apart, with its density stored so that viewers show
// it at its size. A picture of at most 256 colours is stored with a palette, one byte a pixel;
// others as RGB. Fails with WriteFailed only when memory for compressing runs out.
std::string encodePng(const std::uint32_t* pixels, int width, int height, std::size_t pixelsPerLine,
                      int dotsPerMeter);

}  // namespace office::package
