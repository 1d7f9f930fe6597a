#pragma once
// Encoder of identity card portraits in the WLT format: a shape outline, a
// background colour and the Y, Cb, Cr planes coded as wavelet bit planes,
// truncated to a byte budget (real portraits are 1024 bytes).

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "Colour.h"
#include "Shape.h"
#include "StreamFit.h"

namespace wltenc {

// A 102 x 126 picture, rows top to bottom, pixels as red, green, blue.
struct Portrait {
    std::vector<uint8_t> rgb = std::vector<uint8_t>(kImageWidth * kImageHeight * 3, 0);
    Rgb pixel(int x, int y) const {
        const uint8_t* p = &rgb[(y * kImageWidth + x) * 3];
        return {p[0], p[1], p[2]};
    }
    void setPixel(int x, int y, Rgb c) {
        uint8_t* p = &rgb[(y * kImageWidth + x) * 3];
        p[0] = c.r; p[1] = c.g; p[2] = c.b;
    }
};

struct EncodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct EncodedWlt {
    std::vector<uint8_t> bytes;          // the WLT file, exactly the budget long
    Plane mask;                          // the shape as the decoder fills it
    int shapeStreamLength = 0;
    std::array<int, 3> streamLengths{};  // Y, Cb, Cr
    std::array<ColourSymbols, 3> symbols;
    std::array<size_t, 3> keptSymbols{};
    bool exact = false;                  // every stream decodes as coded up to its end
    // The coefficients the decoder will hold per plane (pyramid layout).
    std::array<Plane, 3> decodedCoefficients;
};

constexpr int kPortraitBytes = 1024;

// Throws EncodeError when the outline does not fit or the budget is too small.
EncodedWlt encodeWlt(const Portrait& picture, const Outline& outline, Rgb background, int byteBudget = kPortraitBytes);

// Y, Cb, Cr planes (kPlaneRows x kPlaneCols, picture in the top-left corner).
std::array<Plane, 3> toYCbCr(const Portrait& picture);

}  // namespace wltenc
