#pragma once

// Inverse shape-adaptive integer 5/3 wavelet transform. Values are carried in
// 64 bits so that no coefficient a stream can describe overflows.

#include "Geometry.h"

#include <cmath>

namespace wlt {

// v x 1.4142 (kind 1) or v x 0.7071 (kind 2), rounded half away from zero.
inline int64_t d2i(int64_t v, int kind)
{
    const double p = static_cast<double>(v) * (kind == 1 ? 1.4142 : 0.7071);
    // +0.5 for p >= 0, -0.5 below, then truncation; copysign avoids a branch
    // (a product of -0.0 comes only from v = 0 and gives 0 either way).
    return static_cast<int64_t>(p + std::copysign(0.5, p));
}

// Inverse lifting of one run of inside positions s .. s+L-1 of a line: low and
// high are the run's low- and high-band samples in order; x receives the line.
void inverseLiftSegment(int s, int L, const int64_t* low, const int64_t* high, int64_t* x);

// One inverse line of m entries (mode 1 row, mode 2 column): rebuilds the
// mask line and the coefficient line. Inputs and outputs are contiguous.
void inverseLine(int mode, int m, const int64_t* coefficient, const int* mask,
                 int64_t* coefficientOut, int* maskOut);

// One inverse level: every column of the level's region, then every row.
void inverseLevel(Plane<int>& mask, Plane<int64_t>& coefficient, int level);

// Reconstructs one colour plane: masks the coefficients with the mask pyramid,
// inverts all levels, clamps to 0..255 and stores the inside pixels of n into
// the 8-bit plane.
struct ReconstructionScratch {
    Plane<int64_t> values;
    Plane<int> mask;
};
void reconstructPlane(const Plane<int>& coefficient, const Plane<int>& maskPyramid,
                      const Plane<int>& n, Plane<uint8_t>& out, ReconstructionScratch& scratch);

} // namespace wlt
