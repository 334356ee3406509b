#pragma once

// The bounds of every picture the host draws (table and chart pictures of embedded objects):
// its longest side and its pixels at most, 64 MB while drawn. A frame that would need more, as a
// damaged file may claim, is drawn at a lower density instead.

namespace office::draw {

inline constexpr int kMaxPictureSide = 8192;
inline constexpr double kMaxPicturePixels = 16e6;

}  // namespace office::draw
