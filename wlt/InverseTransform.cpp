#include "InverseTransform.h"

#include "MaskPyramid.h"

#include <algorithm>
#include <memory>

namespace wlt {

namespace {

// Division by 2^k rounding towards minus infinity.
inline int64_t floorShift(int64_t v, int k)
{
    return v >= 0 ? v >> k : -((-v + (int64_t{1} << k) - 1) >> k);
}

} // namespace

int64_t d2i(int64_t v, int kind)
{
    double p = static_cast<double>(v) * (kind == 1 ? 1.4142 : 0.7071);
    p = p >= 0 ? p + 0.5 : p - 0.5;
    return static_cast<int64_t>(p);
}

void inverseLiftSegment(int s, int L, const int64_t* low, const int64_t* high, int64_t* x)
{
    const int e = s + L - 1;
    int64_t v[kRows];
    int nl = 0, nh = 0;
    for (int p = s; p <= e; ++p)
        v[p - s] = (p % 2 == 0) ? low[nl++] : high[nh++];
    if (L > 2)
        for (int p = s; p <= e; ++p)
            v[p - s] = (p % 2 == 0) ? d2i(v[p - s], 2) : d2i(v[p - s], 1);

    // Even positions first, from the high samples around them ...
    for (int p = s; p <= e; ++p) {
        if (p % 2 != 0)
            continue;
        const bool hasLeft = p - 1 >= s, hasRight = p + 1 <= e;
        const int64_t hl = hasLeft ? v[p - 1 - s] : v[p + 1 - s];
        const int64_t hr = hasRight ? v[p + 1 - s] : v[p - 1 - s];
        x[p] = v[p - s] - floorShift(hl + hr + 2, 2);
    }
    // ... then the odd ones from the rebuilt even neighbours.
    for (int p = s; p <= e; ++p) {
        if (p % 2 == 0)
            continue;
        const bool hasLeft = p - 1 >= s, hasRight = p + 1 <= e;
        const int64_t xl = hasLeft ? x[p - 1] : x[p + 1];
        const int64_t xr = hasRight ? x[p + 1] : x[p - 1];
        x[p] = v[p - s] + floorShift(xl + xr, 1);
    }
}

void inverseLine(int mode, int m, const int64_t* coefficient, const int* mask,
                 int64_t* coefficientOut, int* maskOut)
{
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
    std::fill(coefficientOut, coefficientOut + m, 0);

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
                      const Plane<int>& n, Plane<uint8_t>& out)
{
    auto values = std::make_unique<Plane<int64_t>>();
    auto mask = std::make_unique<Plane<int>>(maskPyramid);
    for (int i = 0; i < kCells; ++i)
        (*values)[i] = maskPyramid[i] > 0 ? coefficient[i] : 0;
    for (int level = kLevels; level >= 1; --level)
        inverseLevel(*mask, *values, level);
    for (int row = 0; row < kHeight; ++row)
        for (int col = 0; col < kWidth; ++col) {
            const int idx = at(row, col);
            if (n[idx] > 0)
                out[idx] = static_cast<uint8_t>(std::clamp<int64_t>((*values)[idx], 0, 255));
        }
}

} // namespace wlt
