#pragma once

#include "Geometry.h"

namespace wlt {

// Entries of a mask pyramid: 1 inside, 0 outside, and the markers left where
// a lone inside entry moved from the second half of a line to the first.
constexpr int kRowMarker = 128;
constexpr int kColumnMarker = 129;

// Splits one line of m entries (stride apart) into its even and odd halves;
// mode 1 is a row, mode 2 a column.
void splitMaskLine(int* line, int stride, int m, int mode);

// Splits level 1-4: every row of the level's region, then every column.
void splitMaskLevel(Plane<int>& mask, int level);

// dst = src split over levels 1..levels.
void buildMaskPyramid(const Plane<int>& src, Plane<int>& dst, int levels);

} // namespace wlt
