#include "MaskPyramid.h"

#include <cstring>

namespace wlt {

void splitMaskLine(int* line, int stride, int m, int mode)
{
    int orig[kRows];
    for (int i = 0; i < m; ++i)
        orig[i] = line[i * stride];
    const int half = m / 2;
    for (int k = 0; k < half; ++k) {
        line[k * stride] = orig[2 * k];
        line[(half + k) * stride] = orig[2 * k + 1];
    }
    // A lone inside entry at an odd position would vanish from the low half;
    // move it there and leave a marker so the inverse can put it back.
    // (A lone entry at an even position is already in the low half.)
    const int marker = mode == 1 ? kRowMarker : kColumnMarker;
    for (int p = 1; p < m; p += 2) {
        if (orig[p] != 1 || orig[p - 1] == 1 || (p + 1 < m && orig[p + 1] == 1))
            continue;
        const int k = p >> 1;
        if (line[k * stride] == 0) {
            line[k * stride] = 1;
            line[(half + k) * stride] = marker;
        }
    }
}

namespace {

// The pyramid is built in bytes (its entries are 0, 1 and the markers), a
// quarter of the memory of the int plane it ends in. The splits are those of
// splitMaskLine, arranged for whole rows: a row is split in place, and the
// column split of a region moves whole rows (row k takes row 2k, row
// half + k row 2k + 1) and then moves lone entries for all columns at once.
using BytePlane = uint8_t[kRows][kCols];

// The lone-entry rule for one odd entry: inside, its even neighbour outside
// (0: not a marker) and its odd-side neighbour, if any, not inside.
inline bool lone(uint8_t prev, uint8_t here, uint8_t next) { return (here == 1) & (prev == 0) & (next != 1); }

// Appends the runs of 1 among m entries stride apart to the plan.
void recordRuns(const uint8_t* line, int stride, int m, InversePlan& plan)
{
    for (int s = 0; s < m;) {
        if (line[s * stride] != 1) {
            ++s;
            continue;
        }
        int L = 1;
        while (s + L < m && line[(s + L) * stride] == 1)
            ++L;
        plan.segments[plan.segmentCount++] = Segment{static_cast<uint8_t>(s), static_cast<uint8_t>(L)};
        s += L;
    }
}

void splitRow(uint8_t* line, int m)
{
    uint8_t orig[kCols + 1];
    std::memcpy(orig, line, m);
    orig[m] = 0;  // past the end: not inside
    const int half = m / 2;
    for (int k = 0; k < half; ++k) {
        const bool moved = lone(orig[2 * k], orig[2 * k + 1], orig[2 * k + 2]);
        line[k] = moved ? 1 : orig[2 * k];
        line[half + k] = moved ? kRowMarker : orig[2 * k + 1];
    }
}

// Splits every column of the top-left h x w region; with a plan, records
// each column's runs first.
void splitColumns(BytePlane& mask, int h, int w, InversePlan* plan, int level)
{
    uint8_t orig[kRows + 1][kCols];
    std::memcpy(orig, mask, sizeof orig[0] * h);
    std::memset(orig[h], 0, sizeof orig[h]);  // past the end: not inside
    if (plan) {
        for (int col = 0; col < w; ++col) {
            plan->lineStart[level][0][col] = plan->segmentCount;
            recordRuns(&orig[0][col], kCols, h, *plan);
        }
        plan->lineStart[level][0][w] = plan->segmentCount;
    }
    const int half = h / 2;
    for (int k = 0; k < half; ++k) {
        const uint8_t* even = orig[2 * k];
        const uint8_t* odd = orig[2 * k + 1];
        const uint8_t* next = orig[2 * k + 2];
        uint8_t* low = mask[k];
        uint8_t* high = mask[half + k];
        for (int col = 0; col < w; ++col) {
            const bool moved = lone(even[col], odd[col], next[col]);
            low[col] = moved ? 1 : even[col];
            high[col] = moved ? kColumnMarker : odd[col];
        }
    }
}

} // namespace

void buildMaskPyramid(const Plane<int>& src, Plane<int>& dst, int levels, InversePlan* plan)
{
    BytePlane mask;
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            mask[row][col] = static_cast<uint8_t>(src[at(row, col)]);
    if (plan)
        plan->segmentCount = 0;
    for (int level = 1; level <= levels; ++level) {
        const int h = kRows >> (level - 1);
        const int w = kCols >> (level - 1);
        for (int row = 0; row < h; ++row) {
            if (plan) {
                plan->lineStart[level][1][row] = plan->segmentCount;
                recordRuns(mask[row], 1, w, *plan);
            }
            splitRow(mask[row], w);
        }
        if (plan)
            plan->lineStart[level][1][h] = plan->segmentCount;
        splitColumns(mask, h, w, plan, level);
    }
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            dst[at(row, col)] = mask[row][col];
}

} // namespace wlt
