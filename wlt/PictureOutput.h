#pragma once

// Colour conversion, background, edge smoothing and the bitmap file image.

#include "Geometry.h"

namespace wlt {

constexpr int kRgbStride = kWidth * 3;  // red, green, blue per pixel
using RgbImage = std::array<uint8_t, kHeight * kRgbStride>;

// Converts one row of 102 YCbCr pixels to red, green, blue.
void convertRowToRgb(const uint8_t* yRow, const uint8_t* cbRow, const uint8_t* crRow, uint8_t* rgbRow);

// Converts the three planes, then paints every pixel outside n with FixNum.
void composePicture(const Plane<uint8_t>& Y, const Plane<uint8_t>& Cb, const Plane<uint8_t>& Cr,
                    const Plane<int>& n, const uint8_t FixNum[3], RgbImage& rgb);

// Blends the background pixels that touch the shape with their 3 x 3
// neighbourhood, in place, row by row.
void smoothEdges(const Plane<int>& n, RgbImage& rgb);

// Writes the 38862-byte 24-bit bottom-up Windows bitmap of rgb to out.
void writeBitmap(const RgbImage& rgb, unsigned char* out);

} // namespace wlt
