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

// A maximal run of inside positions of a line after its mask is rebuilt.
struct Segment {
    uint8_t start;
    uint8_t length;
};

// Inverse lifting of one run of inside positions s .. s+L-1 of a line: low and
// high are the run's low- and high-band samples in order; x receives the line.
void inverseLiftSegment(int s, int L, const int64_t* low, const int64_t* high, int64_t* x);

// One inverse line of m entries (mode 1 row, mode 2 column): rebuilds the
// mask line and the coefficient line. Inputs and outputs are contiguous.
void inverseLine(int mode, int m, const int64_t* coefficient, const int* mask,
                 int64_t* coefficientOut, int* maskOut);

// One inverse level: every column of the level's region, then every row.
void inverseLevel(Plane<int>& mask, Plane<int64_t>& coefficient, int level);

// The runs of every line of every inverse level, in the order the levels are
// inverted. They depend only on the mask pyramid, which the three colour
// planes share, so the masks are rebuilt once a call rather than per plane.
struct InversePlan {
    // A line of m entries has at most m / 2 runs; over all lines of all four
    // levels, both passes, that is 2 x (7168 + 1792 + 448 + 112).
    static constexpr int kMaxSegments = 19040;
    Segment segments[kMaxSegments];
    int segmentCount = 0;
    // [level][0 columns, 1 rows][line]: index of the line's first segment;
    // entry [line + 1] ends it.
    int lineStart[kLevels + 1][2][kRows + 1];
};
void buildInversePlan(const Plane<int>& maskPyramid, InversePlan& plan);

// Reconstructs one colour plane: masks the coefficients with the mask pyramid,
// inverts all levels along the plan, clamps to 0..255 and stores the inside
// pixels of n into the 8-bit plane.
struct ReconstructionScratch {
    Plane<int64_t> values;
    Plane<int64_t> transposed;  // column-major copy for the column passes
};
void reconstructPlane(const Plane<int>& coefficient, const Plane<int>& maskPyramid, const InversePlan& plan,
                      const Plane<int>& n, Plane<uint8_t>& out, ReconstructionScratch& scratch);

} // namespace wlt
