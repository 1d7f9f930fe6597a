#include "InverseTransform.h"

#include "MaskPyramid.h"

#include <algorithm>
#include <memory>

namespace wlt {

void inverseLiftSegment(int s, int L, const int64_t* low, const int64_t* high, int64_t* x)
{
    const int e = s + L - 1;
    const int firstEven = s + (s & 1);
    const int firstOdd = s + 1 - (s & 1);
    const bool scaled = L > 2;  // a pair is lifted unscaled
    for (int p = firstEven, i = 0; p <= e; p += 2, ++i)
        x[p] = scaled ? d2i(low[i], 2) : low[i];
    for (int p = firstOdd, i = 0; p <= e; p += 2, ++i)
        x[p] = scaled ? d2i(high[i], 1) : high[i];

    // Even positions first, from the high samples around them (the odd
    // positions still hold them); a missing neighbour mirrors the other.
    // Right shifts of negative values round towards minus infinity.
    for (int p = firstEven; p <= e; p += 2) {
        const int64_t hl = p - 1 >= s ? x[p - 1] : x[p + 1];
        const int64_t hr = p + 1 <= e ? x[p + 1] : x[p - 1];
        x[p] -= (hl + hr + 2) >> 2;
    }
    // Then the odd ones from the rebuilt even neighbours.
    for (int p = firstOdd; p <= e; p += 2) {
        const int64_t xl = p - 1 >= s ? x[p - 1] : x[p + 1];
        const int64_t xr = p + 1 <= e ? x[p + 1] : x[p - 1];
        x[p] += (xl + xr) >> 1;
    }
}

namespace {

// Mask rebuild of one line; appends its runs to segments (room for m / 2
// more is the caller's to provide) and returns how many there were.
int rebuildMaskLine(int mode, int m, const int* mask, int* maskOut, Segment* segments)
{
    int count = 0;
    const int half = m / 2;
    const int marker = mode == 1 ? kRowMarker : kColumnMarker;
    for (int k = 0; k < half; ++k) {
        const int hm = mask[half + k];
        if (hm == marker) {
            maskOut[2 * k] = 0;
            maskOut[2 * k + 1] = 1;
        } else {
            maskOut[2 * k] = mask[k];
            maskOut[2 * k + 1] = hm;
        }
    }
    for (int s = 0; s < m;) {
        if (maskOut[s] != 1) {
            ++s;
            continue;
        }
        int L = 1;
        while (s + L < m && maskOut[s + L] == 1)
            ++L;
        segments[count++] = Segment{static_cast<uint8_t>(s), static_cast<uint8_t>(L)};
        s += L;
    }
    return count;
}

// The coefficient line over the given runs; 0 outside every run.
void inverseSegments(const Segment* segments, int count, int m, const int64_t* coefficient,
                     int64_t* coefficientOut)
{
    const int half = m / 2;
    std::fill(coefficientOut, coefficientOut + m, 0);
    for (int i = 0; i < count; ++i) {
        const int s = segments[i].start;
        const int L = segments[i].length;
        if (L == 1)
            coefficientOut[s] = d2i(coefficient[s >> 1], 2);
        else
            inverseLiftSegment(s, L, coefficient + ((s + 1) >> 1), coefficient + half + (s >> 1),
                               coefficientOut);
    }
}

// Coefficients are 0 wherever the current mask is not 1: the masked copy
// starts so, only inside positions carry decoded values, and every inverted
// line is 0 outside its runs. A line without runs therefore needs no work.
void inverseLevelAlongPlan(const InversePlan& plan, Plane<int64_t>& coefficient, Plane<int64_t>& transposed,
                           int level)
{
    const int h = kRows >> (level - 1);
    const int w = kCols >> (level - 1);
    int64_t cOut[kRows];

    // Columns: work on the transposed region so each column is contiguous;
    // copying through 8 x 8 blocks keeps both sides in the cache.
    constexpr int kBlock = 8;
    for (int rb = 0; rb < h; rb += kBlock)
        for (int cb = 0; cb < w; cb += kBlock)
            for (int row = rb; row < rb + kBlock; ++row)
                for (int col = cb; col < std::min(cb + kBlock, w); ++col)
                    transposed[col * kRows + row] = coefficient[at(row, col)];
    const int* columns = plan.lineStart[level][0];
    for (int col = 0; col < w; ++col) {
        const int first = columns[col], count = columns[col + 1] - first;
        if (count == 0)
            continue;
        int64_t* line = &transposed[col * kRows];
        inverseSegments(&plan.segments[first], count, h, line, cOut);
        std::copy(cOut, cOut + h, line);
    }
    for (int cb = 0; cb < w; cb += kBlock)
        for (int rb = 0; rb < h; rb += kBlock)
            for (int col = cb; col < std::min(cb + kBlock, w); ++col)
                for (int row = rb; row < rb + kBlock; ++row)
                    coefficient[at(row, col)] = transposed[col * kRows + row];

    const int* rows = plan.lineStart[level][1];
    for (int row = 0; row < h; ++row) {
        const int first = rows[row], count = rows[row + 1] - first;
        if (count == 0)
            continue;
        int64_t* line = &coefficient[at(row, 0)];
        inverseSegments(&plan.segments[first], count, w, line, cOut);
        std::copy(cOut, cOut + w, line);
    }
}

} // namespace

void inverseLine(int mode, int m, const int64_t* coefficient, const int* mask,
                 int64_t* coefficientOut, int* maskOut)
{
    Segment segments[kRows / 2];
    const int count = rebuildMaskLine(mode, m, mask, maskOut, segments);
    inverseSegments(segments, count, m, coefficient, coefficientOut);
}

void inverseLevel(Plane<int>& mask, Plane<int64_t>& coefficient, int level)
{
    const int h = kRows >> (level - 1);
    const int w = kCols >> (level - 1);
    int64_t cIn[kRows], cOut[kRows];
    int mIn[kRows], mOut[kRows];
    for (int col = 0; col < w; ++col) {
        for (int row = 0; row < h; ++row) {
            cIn[row] = coefficient[at(row, col)];
            mIn[row] = mask[at(row, col)];
        }
        inverseLine(2, h, cIn, mIn, cOut, mOut);
        for (int row = 0; row < h; ++row) {
            coefficient[at(row, col)] = cOut[row];
            mask[at(row, col)] = mOut[row];
        }
    }
    for (int row = 0; row < h; ++row) {
        inverseLine(1, w, &coefficient[at(row, 0)], &mask[at(row, 0)], cOut, mOut);
        std::copy(cOut, cOut + w, &coefficient[at(row, 0)]);
        std::copy(mOut, mOut + w, &mask[at(row, 0)]);
    }
}

void buildInversePlan(const Plane<int>& maskPyramid, InversePlan& plan)
{
    // The walk of inverseLevel over levels 4..1, keeping the runs.
    auto mask = std::make_unique<Plane<int>>(maskPyramid);
    int n = 0;
    int mIn[kRows], mOut[kRows];
    for (int level = kLevels; level >= 1; --level) {
        const int h = kRows >> (level - 1);
        const int w = kCols >> (level - 1);
        int* columns = plan.lineStart[level][0];
        for (int col = 0; col < w; ++col) {
            columns[col] = n;
            for (int row = 0; row < h; ++row)
                mIn[row] = (*mask)[at(row, col)];
            n += rebuildMaskLine(2, h, mIn, mOut, plan.segments + n);
            for (int row = 0; row < h; ++row)
                (*mask)[at(row, col)] = mOut[row];
        }
        columns[w] = n;
        int* rows = plan.lineStart[level][1];
        for (int row = 0; row < h; ++row) {
            rows[row] = n;
            n += rebuildMaskLine(1, w, &(*mask)[at(row, 0)], mOut, plan.segments + n);
            std::copy(mOut, mOut + w, &(*mask)[at(row, 0)]);
        }
        rows[h] = n;
    }
    plan.segmentCount = n;
}

void reconstructPlane(const Plane<int>& coefficient, const Plane<int>& maskPyramid, const InversePlan& plan,
                      const Plane<int>& n, Plane<uint8_t>& out, ReconstructionScratch& scratch)
{
    Plane<int64_t>& values = scratch.values;
    // Written without branches: the masks are irregular and would mispredict.
    for (int i = 0; i < kCells; ++i)
        values[i] = int64_t{maskPyramid[i] > 0} * coefficient[i];
    for (int level = kLevels; level >= 1; --level)
        inverseLevelAlongPlan(plan, values, scratch.transposed, level);
    for (int row = 0; row < kHeight; ++row)
        for (int col = 0; col < kWidth; ++col) {
            const int idx = at(row, col);
            const uint8_t v = static_cast<uint8_t>(std::clamp<int64_t>(values[idx], 0, 255));
            out[idx] = n[idx] > 0 ? v : out[idx];
        }
}

} // namespace wlt
