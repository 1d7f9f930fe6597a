#include "MaskPyramid.h"

namespace wlt {

namespace {

// Splits a line held contiguously in orig into line (stride apart).
void splitLine(const int* orig, int* line, int stride, int m, int mode)
{
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

// Appends the runs of 1 of a line to the plan.
void recordRuns(const int* line, int m, InversePlan& plan)
{
    for (int s = 0; s < m;) {
        if (line[s] != 1) {
            ++s;
            continue;
        }
        int L = 1;
        while (s + L < m && line[s + L] == 1)
            ++L;
        plan.segments[plan.segmentCount++] = Segment{static_cast<uint8_t>(s), static_cast<uint8_t>(L)};
        s += L;
    }
}

void splitLevel(Plane<int>& mask, int level, InversePlan* plan)
{
    const int h = kRows >> (level - 1);
    const int w = kCols >> (level - 1);
    int orig[kRows];
    for (int row = 0; row < h; ++row) {
        int* line = &mask[at(row, 0)];
        for (int i = 0; i < w; ++i)
            orig[i] = line[i];
        if (plan) {
            plan->lineStart[level][1][row] = plan->segmentCount;
            recordRuns(orig, w, *plan);
        }
        splitLine(orig, line, 1, w, 1);
    }
    if (plan)
        plan->lineStart[level][1][h] = plan->segmentCount;
    for (int col = 0; col < w; ++col) {
        int* line = &mask[at(0, col)];
        for (int i = 0; i < h; ++i)
            orig[i] = line[i * kCols];
        if (plan) {
            plan->lineStart[level][0][col] = plan->segmentCount;
            recordRuns(orig, h, *plan);
        }
        splitLine(orig, line, kCols, h, 2);
    }
    if (plan)
        plan->lineStart[level][0][w] = plan->segmentCount;
}

} // namespace

void splitMaskLine(int* line, int stride, int m, int mode)
{
    int orig[kRows];
    for (int i = 0; i < m; ++i)
        orig[i] = line[i * stride];
    splitLine(orig, line, stride, m, mode);
}

void splitMaskLevel(Plane<int>& mask, int level) { splitLevel(mask, level, nullptr); }

void buildMaskPyramid(const Plane<int>& src, Plane<int>& dst, int levels, InversePlan* plan)
{
    dst = src;
    if (plan)
        plan->segmentCount = 0;
    for (int level = 1; level <= levels; ++level)
        splitLevel(dst, level, plan);
}

} // namespace wlt
