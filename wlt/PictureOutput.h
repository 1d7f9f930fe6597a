#pragma once

// Colour conversion, background, edge smoothing and the bitmap file image.

#include "Geometry.h"

namespace wlt {

// The picture's pixels as blue, green, red: the bitmap's own byte order, so
// that its rows are written out as they are.
// Rows follow one another without padding; the slack after the last lets the
// conversion store sixteen bytes at a time up to its row's end.
constexpr int kBgrStride = kWidth * 3;
constexpr int kBgrSlack = 16;
using BgrImage = std::array<uint8_t, kHeight * kBgrStride + kBgrSlack>;

// Converts one row of 102 YCbCr pixels to blue, green, red.
void convertRowToBgr(const uint8_t* yRow, const uint8_t* cbRow, const uint8_t* crRow, uint8_t* bgrRow);

// Converts the three planes where n is inside and paints every pixel outside
// with the background FixNum (red, green, blue).
void composePicture(const Plane<uint8_t>& Y, const Plane<uint8_t>& Cb, const Plane<uint8_t>& Cr,
                    const Mask& n, const uint8_t FixNum[3], BgrImage& bgr);

// Blends the background pixels that touch the shape (n holds only 0 and 1)
// with their 3 x 3 neighbourhood, in place, row by row.
void smoothEdges(const Mask& n, BgrImage& bgr);

// Writes the 38862-byte 24-bit bottom-up Windows bitmap of the picture to out.
void writeBitmap(const BgrImage& bgr, unsigned char* out);

} // namespace wlt
