#include "InverseTransform.h"

#include "MaskPyramid.h"

#include <algorithm>

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

void inverseLine(int mode, int m, const int64_t* coefficient, const int* mask,
                 int64_t* coefficientOut, int* maskOut)
{
    const int half = m / 2;
    const int marker = mode == 1 ? kRowMarker : kColumnMarker;
    bool anyInside = false;
    for (int k = 0; k < half; ++k) {
        const int hm = mask[half + k];
        if (hm == marker) {
            maskOut[2 * k] = 0;
            maskOut[2 * k + 1] = 1;
        } else {
            maskOut[2 * k] = mask[k];
            maskOut[2 * k + 1] = hm;
        }
        anyInside |= (maskOut[2 * k] == 1) | (maskOut[2 * k + 1] == 1);
    }
    std::fill(coefficientOut, coefficientOut + m, 0);
    if (!anyInside)
        return;  // most lines away from the portrait

    for (int s = 0; s < m;) {
        if (maskOut[s] != 1) {
            ++s;
            continue;
        }
        int L = 1;
        while (s + L < m && maskOut[s + L] == 1)
            ++L;
        if (L == 1)
            coefficientOut[s] = d2i(coefficient[s >> 1], 2);
        else
            inverseLiftSegment(s, L, coefficient + ((s + 1) >> 1), coefficient + half + (s >> 1),
                               coefficientOut);
        s += L;
    }
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

void reconstructPlane(const Plane<int>& coefficient, const Plane<int>& maskPyramid,
                      const Plane<int>& n, Plane<uint8_t>& out, ReconstructionScratch& scratch)
{
    Plane<int64_t>& values = scratch.values;
    Plane<int>& mask = scratch.mask;
    mask = maskPyramid;
    for (int i = 0; i < kCells; ++i)
        values[i] = maskPyramid[i] > 0 ? coefficient[i] : 0;
    for (int level = kLevels; level >= 1; --level)
        inverseLevel(mask, values, level);
    for (int row = 0; row < kHeight; ++row)
        for (int col = 0; col < kWidth; ++col) {
            const int idx = at(row, col);
            if (n[idx] > 0)
                out[idx] = static_cast<uint8_t>(std::clamp<int64_t>(values[idx], 0, 255));
        }
}

} // namespace wlt
