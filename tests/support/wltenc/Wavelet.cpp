#include "Wavelet.h"

#include <cmath>
#include <cstdlib>
#include <vector>

namespace wltenc {

int d2i(int v, int kind) {
    const double p = v * (kind == 1 ? 1.4142 : 0.7071);
    return static_cast<int>(p >= 0 ? p + 0.5 : p - 0.5);
}

namespace {

// The integer c whose d2i(c, kind) comes closest to `target`.
int preScale(int target, int kind) {
    const double factor = kind == 1 ? 1.4142 : 0.7071;
    const int guess = static_cast<int>(std::lround(target / factor));
    int best = guess;
    for (int c = guess - 2; c <= guess + 2; ++c) {
        const int err = std::abs(d2i(c, kind) - target), bestErr = std::abs(d2i(best, kind) - target);
        if (err < bestErr || (err == bestErr && std::abs(c) < std::abs(best))) best = c;
    }
    return best;
}

int markerOf(int mode) { return mode == 1 ? kRowMarker : kColumnMarker; }

template <typename Fn>
void forEachRun(const int32_t* mask, int m, Fn fn) {
    for (int p = 0; p < m;) {
        if (mask[p] != 1) { ++p; continue; }
        int end = p;
        while (end < m && mask[end] == 1) ++end;
        fn(p, end - p);
        p = end;
    }
}

}  // namespace

void forwardLine(const int32_t* x, const int32_t* mask, int m, int mode, int32_t* coefOut, int32_t* maskOut) {
    const int half = m / 2;
    splitMaskLine(mask, maskOut, m, markerOf(mode));
    for (int i = 0; i < m; ++i) coefOut[i] = 0;
    std::vector<int32_t> d(m, 0);
    forEachRun(mask, m, [&](int s, int len) {
        if (len == 1) {
            // A lone sample travels in the low half at s >> 1, scaled up.
            coefOut[s >> 1] = preScale(x[s], 2);
            return;
        }
        const int last = s + len - 1;
        auto xAt = [&](int p) { return x[p]; };
        for (int p = s; p <= last; ++p) {
            if ((p & 1) == 0) continue;
            const int left = p - 1 >= s ? xAt(p - 1) : xAt(p + 1);
            const int right = p + 1 <= last ? xAt(p + 1) : xAt(p - 1);
            d[p] = x[p] - ((left + right) >> 1);
        }
        for (int p = s; p <= last; ++p) {
            if (p & 1) continue;
            const int hl = p - 1 >= s ? d[p - 1] : d[p + 1];
            const int hr = p + 1 <= last ? d[p + 1] : d[p - 1];
            const int low = x[p] + ((hl + hr + 2) >> 2);
            coefOut[p >> 1] = len > 2 ? preScale(low, 2) : low;
        }
        for (int p = s; p <= last; ++p) {
            if ((p & 1) == 0) continue;
            coefOut[half + (p >> 1)] = len > 2 ? preScale(d[p], 1) : d[p];
        }
    });
}

void inverseLine(const int32_t* coef, const int32_t* mask, int m, int mode, int32_t* xOut, int32_t* maskOut) {
    const int half = m / 2;
    const int marker = markerOf(mode);
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
    for (int i = 0; i < m; ++i) xOut[i] = 0;
    std::vector<int32_t> v(m, 0);
    forEachRun(maskOut, m, [&](int s, int len) {
        if (len == 1) {
            xOut[s] = d2i(coef[s >> 1], 2);
            return;
        }
        const int last = s + len - 1;
        for (int p = s; p <= last; ++p) {
            const int c = (p & 1) ? coef[half + (p >> 1)] : coef[p >> 1];
            v[p] = len > 2 ? d2i(c, (p & 1) ? 1 : 2) : c;
        }
        for (int p = s; p <= last; p += 1) {
            if (p & 1) continue;
            const int hl = p - 1 >= s ? v[p - 1] : v[p + 1];
            const int hr = p + 1 <= last ? v[p + 1] : v[p - 1];
            xOut[p] = v[p] - ((hl + hr + 2) >> 2);
        }
        for (int p = s; p <= last; ++p) {
            if ((p & 1) == 0) continue;
            const int left = p - 1 >= s ? xOut[p - 1] : xOut[p + 1];
            const int right = p + 1 <= last ? xOut[p + 1] : xOut[p - 1];
            xOut[p] = v[p] + ((left + right) >> 1);
        }
    });
}

namespace {
template <typename LineFn>
void transformRegion(Plane& coef, Plane& mask, int h, int w, int mode, LineFn fn) {
    const int m = mode == 1 ? w : h;
    const int lines = mode == 1 ? h : w;
    std::vector<int32_t> c(m), mk(m), co(m), mo(m);
    for (int l = 0; l < lines; ++l) {
        for (int i = 0; i < m; ++i) {
            const int row = mode == 1 ? l : i, col = mode == 1 ? i : l;
            c[i] = at(coef, row, col);
            mk[i] = at(mask, row, col);
        }
        fn(c.data(), mk.data(), m, mode, co.data(), mo.data());
        for (int i = 0; i < m; ++i) {
            const int row = mode == 1 ? l : i, col = mode == 1 ? i : l;
            at(coef, row, col) = co[i];
            at(mask, row, col) = mo[i];
        }
    }
}
}  // namespace

Plane forwardTransform(const Plane& pixels, const Plane& mask) {
    Plane coef = pixels, mk = mask;
    for (int level = 1; level <= kLevels; ++level) {
        const int h = kPlaneRows >> (level - 1), w = kPlaneCols >> (level - 1);
        transformRegion(coef, mk, h, w, 1, forwardLine);
        transformRegion(coef, mk, h, w, 2, forwardLine);
    }
    return coef;
}

Plane inverseTransform(const Plane& coefficients, const Plane& pyramid) {
    Plane coef = makePlane(), mk = pyramid;
    for (size_t i = 0; i < coef.size(); ++i) coef[i] = pyramid[i] > 0 ? coefficients[i] : 0;
    for (int level = kLevels; level >= 1; --level) {
        const int h = kPlaneRows >> (level - 1), w = kPlaneCols >> (level - 1);
        transformRegion(coef, mk, h, w, 2, inverseLine);
        transformRegion(coef, mk, h, w, 1, inverseLine);
    }
    return coef;
}

}  // namespace wltenc
