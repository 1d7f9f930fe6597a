#pragma once
// Shape-adaptive integer 5/3 wavelet over four levels: each line is
// transformed only on its runs of inside samples, so coefficients exist only
// where the mask pyramid says the shape is.

#include "Shape.h"

namespace wltenc {

// v x 1.4142 (kind 1) or v x 0.7071 (kind 2), rounded half away from zero.
int d2i(int v, int kind);

// Forward transform of `pixels` (inside positions of `mask` only) into
// coefficients in the layout of the mask pyramid of `mask`.
Plane forwardTransform(const Plane& pixels, const Plane& mask);

// Inverse of the above from coefficients where `pyramid` > 0, as the decoder
// reconstructs: outside every run the result is 0. Values are not clamped.
Plane inverseTransform(const Plane& coefficients, const Plane& pyramid);

// One line of m entries in `mode` 1 (row) or 2 (column); exposed for tests.
void forwardLine(const int32_t* x, const int32_t* mask, int m, int mode, int32_t* coefOut, int32_t* maskOut);
void inverseLine(const int32_t* coef, const int32_t* mask, int m, int mode, int32_t* xOut, int32_t* maskOut);

}  // namespace wltenc
