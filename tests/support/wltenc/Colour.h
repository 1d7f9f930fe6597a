#pragma once
// Colour conversion between the picture's RGB and the coded Y, Cb, Cr planes.

#include <array>

#include "Shape.h"

namespace wltenc {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
};

// YCbCr bytes to RGB as the decoder converts (truncating, then clamping).
Rgb ycbcrToRgb(int y, int cb, int cr);

// The YCbCr bytes whose decoder conversion comes closest to `c`: the
// truncation in that conversion would otherwise darken every pixel a little.
std::array<int, 3> rgbToYCbCr(Rgb c);

}  // namespace wltenc
