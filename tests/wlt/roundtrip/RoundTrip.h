#pragma once
// Decoding encoded portraits with the service's decoder and comparing the
// bitmaps it returns with their sources.

#include <cstdint>
#include <string>
#include <vector>

#include "ExpectedPicture.h"
#include "SyntheticPortraits.h"

struct Decoded {
    int result = 0;
    int outLen = 0;
    std::vector<uint8_t> bmp;  // the whole bitmap file image when result is 1
};

Decoded decodeWithLibwlt(const std::vector<uint8_t>& wlt);

// Pixels of a 102 x 126 24-bit bottom-up bitmap (rows of 308 bytes).
wltenc::Portrait pictureOfBmp(const std::vector<uint8_t>& bmp);

// Peak signal-to-noise ratio over the three colours of the pixels where
// `mask` is 1; 99 dB when they are identical.
double psnrInside(const wltenc::Portrait& a, const wltenc::Portrait& b, const wltenc::Plane& mask);

// First differing pixel as "x,y: (r,g,b) vs (r,g,b)", or empty.
std::string firstDifference(const wltenc::Portrait& a, const wltenc::Portrait& b);

uint32_t le32(const std::vector<uint8_t>& b, size_t at);
