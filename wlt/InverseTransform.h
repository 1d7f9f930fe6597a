#pragma once

// Inverse shape-adaptive integer 5/3 wavelet transform.

#include "Geometry.h"
#include "MaskPyramid.h"

#include <cmath>

namespace wlt {

// The Y, Cb and Cr values of one position side by side (the fourth lane is
// spare): the three planes share the mask and so every run, and one lifting
// step then serves all three in one SSE register. The GCC/Clang vector
// extension keeps the code plain arithmetic; other targets get it lowered.
using Lanes = int32_t __attribute__((vector_size(16)));

// v x 1.4142 (kind 1) or v x 0.7071 (kind 2), rounded half away from zero.
inline int64_t d2i(int64_t v, int kind)
{
    const double p = static_cast<double>(v) * (kind == 1 ? 1.4142 : 0.7071);
    // +0.5 for p >= 0, -0.5 below, then truncation; copysign avoids a branch
    // (a product of -0.0 comes only from v = 0 and gives 0 either way).
    return static_cast<int64_t>(p + std::copysign(0.5, p));
}

// The same, lane by lane, in the same double arithmetic.
inline Lanes d2i(Lanes v, int kind)
{
    using Doubles = double __attribute__((vector_size(32)));
    using Bits = int64_t __attribute__((vector_size(32)));
    const Doubles p = __builtin_convertvector(v, Doubles) * (kind == 1 ? 1.4142 : 0.7071);
    // copysign(0.5, p): the sign bit of p on 0.5.
    const Bits half = (Bits)(Doubles{} + 0.5);
    const Doubles away = (Doubles)(((Bits)p & (Bits{} + INT64_MIN)) | half);
    return __builtin_convertvector(p + away, Lanes);
}

// One inverse line of m entries (mode 1 row, mode 2 column): rebuilds the
// mask line and the coefficient line. Inputs and outputs are contiguous.
// With inverseLevel, the transform as it reads, line by line, in 64 bits
// (no coefficient a stream can describe overflows them).
void inverseLine(int mode, int m, const int64_t* coefficient, const int* mask,
                 int64_t* coefficientOut, int* maskOut);

// One inverse level: every column of the level's region, then every row.
void inverseLevel(Plane<int>& mask, Plane<int64_t>& coefficient, int level);

// The coefficients of the three colour streams, lane by lane, as the
// reconstruction starts from them: the masked copy of each plane.
struct ColourCoefficients {
    Plane<Lanes> lanes;
    int64_t maxMagnitude = 0;  // of any coefficient in any lane
    // Per column, a bit for each row where any lane was added (128 rows);
    // the inverse's column steps learn from it which halves are all 0.
    uint64_t addedRows[kCols][kRows / 64];
};
void clearCoefficients(ColourCoefficients& c);

// Adds the coefficients of plane 0-2 (Y, Cb, Cr) at the given cells, where
// the mask pyramid is above 0. Only the significance list's cells can hold a
// coefficient other than 0, so adding those is the whole masked copy.
void addCoefficients(ColourCoefficients& c, int plane, const Plane<int>& coefficient, const Cell* cells, int count,
                     const Mask& maskPyramid);

// Below this magnitude no value of the transform leaves 32 bits: each of the
// eight line passes grows magnitudes by less than 2 x 1.4142 (plus a few
// units), so they stay below 2^16 x 2^12 x 2 = 2^29, their sums below 2^30.
constexpr int64_t kLanesMagnitudeLimit = int64_t{1} << 16;

// The inverse's column results, transposed: column col at col x
// kColumnStride. The stride is not a power of two, so that a row read across
// the columns does not land every value in the same few cache sets.
constexpr int kColumnStride = kRows + 4;
template <typename T>
using ColumnPlane = std::array<T, kCols * kColumnStride>;

// Room for the column results, and 64-bit room for one plane of the rare
// streams that need it.
struct ReconstructionScratch {
    ColumnPlane<Lanes> laneColumns;
    Plane<int64_t> values;
    ColumnPlane<int64_t> columns;
};

// Inverts all levels along the plan (c is used up), clamps to 0..255 and
// stores the pixels inside the shape the plan was recorded from into the
// three 8-bit planes (0 elsewhere). Coefficients below kLanesMagnitudeLimit
// are transformed in 32-bit lanes, all three planes at once, others one
// plane at a time in 64 bits; both give the same values.
void reconstructPlanes(ColourCoefficients& c, const InversePlan& plan, Plane<uint8_t> out[3],
                       ReconstructionScratch& scratch);

} // namespace wlt
