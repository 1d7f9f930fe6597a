#pragma once

// The shape stream: background colour and the outline of head and shoulders
// as a chain code, turned into the full-resolution shape mask.

#include "Geometry.h"
#include "QmDecoder.h"

namespace wlt {

struct Contour {
    static constexpr int capacity = 2000;
    int count = 0;
    int startX = 0, startY = 0;
    int minX = 0, maxX = 0, minY = 0, maxY = 0;
    uint8_t dir[capacity] = {};
};

// Decodes the shape stream into the background colour and the outline.
// Returns WLT_OK or the failure code.
int decodeShapeStream(const NR& nr, uint8_t FixNum[3], Contour& contour);

// Fills the outline by parity into the shape mask n (1 inside, 0 outside).
// Returns WLT_OK, or WLT_ERR_OUTLINE_OUTSIDE when the outline does not fit
// the picture (n is then left untouched).
int outlineToMask(Contour& contour, Mask& n);

} // namespace wlt
