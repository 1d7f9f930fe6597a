#include "MaskPyramid.h"

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

void splitMaskLevel(Plane<int>& mask, int level)
{
    const int h = kRows >> (level - 1);
    const int w = kCols >> (level - 1);
    for (int row = 0; row < h; ++row)
        splitMaskLine(&mask[at(row, 0)], 1, w, 1);
    for (int col = 0; col < w; ++col)
        splitMaskLine(&mask[at(0, col)], kCols, h, 2);
}

void buildMaskPyramid(const Plane<int>& src, Plane<int>& dst, int levels)
{
    dst = src;
    for (int level = 1; level <= levels; ++level)
        splitMaskLevel(dst, level);
}

} // namespace wlt
