#pragma once

#include "Geometry.h"

namespace wlt {

// Entries of a mask pyramid: 1 inside, 0 outside, and the markers left where
// a lone inside entry moved from the second half of a line to the first.
constexpr int kRowMarker = 128;
constexpr int kColumnMarker = 129;

// A maximal run of inside (1) entries of a mask line.
struct Segment {
    uint8_t start;
    uint8_t length;
};

// The runs of every line just before it is split. The inverse transform
// rebuilds each line of the pyramid into exactly the line it was split from,
// and lifts along its runs; recording them here, while the lines are at
// hand, spares it rebuilding the masks.
struct InversePlan {
    // A line of m entries has at most m / 2 runs; over all lines of all four
    // levels, both directions, that is 2 x (7168 + 1792 + 448 + 112).
    static constexpr int kMaxSegments = 19040;
    Segment segments[kMaxSegments];
    int segmentCount = 0;
    // [level][0 columns, 1 rows][line]: index of the line's first segment;
    // entry [line + 1] ends it.
    int lineStart[kLevels + 1][2][kRows + 1];
};

// Splits one line of m entries (stride apart) into its even and odd halves;
// mode 1 is a row, mode 2 a column.
void splitMaskLine(int* line, int stride, int m, int mode);

// dst = src (entries 0 and 1) split over levels 1..levels, each level every
// row of its region and then every column, as splitMaskLine splits them; with
// a plan, also the runs of every line split (levels must then be kLevels).
void buildMaskPyramid(const Mask& src, Mask& dst, int levels, InversePlan* plan = nullptr);

} // namespace wlt
