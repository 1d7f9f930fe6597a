#include "CoefficientDecoder.h"

#include "Tables.h"
#include "libwlt.h"

#include <cstdlib>
#include <memory>

namespace wlt {

namespace {

enum { kCoarse = 0, kDetail = 1, kFinest = 2, kOutside = 3, kRefine = 4 };

void markSignificant(ColourWork& w, int row, int col, int sign)
{
    const int idx = at(row, col);
    w.coefficient[idx] = sign * w.bp.fixM;
    w.significant[idx] = 1;
    w.list.append(row, col);  // one entry per cell at most: cannot overflow
}

// Returns true when the stream ended during the coarsest band.
bool coarsestBandPass(ColourWork& w, const Plane<int>& r, Jg& g, const NR& nr)
{
    const int h = kRows >> kLevels;
    const int wd = kCols >> kLevels;
    for (int row = 0; row < h; ++row)
        for (int col = 0; col < wd; ++col) {
            const int idx = at(row, col);
            if (r[idx] != 1 || w.significant[idx])
                continue;
            const int sym = decodeSymbol(g, nr, w.S[kCoarse]);
            if (streamEnded(g, nr))
                return true;
            w.passState[idx] = static_cast<uint8_t>(sym);
            if (sym == 0)
                markSignificant(w, row, col, +1);
            else if (sym == 1)
                markSignificant(w, row, col, -1);
            else
                w.coefficient[idx] = 0;
        }
    return false;
}

int magnitudeOf(const ColourWork& w, const Cell& c) { return std::abs(w.coefficient[at(c.row, c.col)]); }

} // namespace

// Refines every listed coefficient by the next lower bit.
void refinementPass(ColourWork& w, const Plane<int>& r, Jg& g, const NR& nr)
{
    for (int i = 0; i < w.list.count; ++i) {
        const Cell& c = w.list.pairAt(i);
        const int idx = at(c.row, c.col);
        if (!w.significant[idx] || r[idx] != 1)
            continue;
        const int old = w.coefficient[idx];
        int m = std::abs(old);
        if (decodeSymbol(g, nr, w.S[kRefine]) == 1)
            m |= w.bp.fixS;
        if (streamEnded(g, nr))
            return;
        w.coefficient[idx] = old < 0 ? -m : m;
    }
}

// Within each run of equal known magnitude, the entries that just gained the
// refinement bit move to the front, keeping the list ordered by magnitude.
int magnitudeSort(ColourWork& w)
{
    const int64_t knownBits = w.bp.fixL - w.bp.fixM;
    G& list = w.list;
    int i = 0;
    while (i < list.count) {
        const int64_t key = magnitudeOf(w, list.pairAt(i)) & knownBits;
        int end = i + 1;
        while (end < list.count && (magnitudeOf(w, list.pairAt(end)) & knownBits) == key)
            ++end;
        w.holding.count = 0;
        int out = i;
        for (int k = i; k < end; ++k) {
            const Cell c = list.pairAt(k);
            if (magnitudeOf(w, c) & w.bp.fixS)
                list.pairs[out++] = c;
            else if (!w.holding.append(c.row, c.col))
                return WLT_ERR_SORT_OVERFLOW;
        }
        for (int k = 0; k < w.holding.count; ++k)
            list.pairs[out++] = w.holding.pairAt(k);
        i = end;
    }
    return WLT_OK;
}

void buildScanPlan(const Plane<int>& r, ScanPlan& plan)
{
    // Whether a detail position has an inside descendant, level by level from
    // the bottom: an inside child, or a child with an inside descendant.
    auto below = std::make_unique<Plane<uint8_t>>();
    below->fill(0);
    for (int level = 2; level <= kLevels; ++level) {
        const int h = kRows >> level;
        const int wd = kCols >> level;
        for (int row = 0; row < 2 * h; ++row)
            for (int col = 0; col < 2 * wd; ++col) {
                if (row < h && col < wd)
                    continue;  // the low band is not a detail band
                uint8_t any = 0;
                for (int dr = 0; dr < 2; ++dr)
                    for (int dc = 0; dc < 2; ++dc) {
                        const int child = at(2 * row + dr, 2 * col + dc);
                        any |= (r[child] == 1) | (*below)[child];
                    }
                (*below)[at(row, col)] = any;
            }
    }

    int n = 0;
    for (int level = kLevels; level >= 1; --level) {
        const int h = kRows >> level;
        const int wd = kCols >> level;
        for (int band = 1; band <= 3; ++band) {
            const int row0 = kTables.x[8 + band] * h;
            const int col0 = kTables.y[8 + band] * wd;
            plan.begin[level][band] = n;
            auto consider = [&](int row, int col) {
                const int idx = at(row, col);
                const bool inside = r[idx] == 1;
                if (!inside && (level == 1 || !(*below)[idx]))
                    return;
                plan.entries[n++] = ScanEntry{
                    static_cast<uint16_t>(idx),
                    level == kLevels ? kNoParent : static_cast<uint16_t>(at(row >> 1, col >> 1)),
                    static_cast<uint8_t>(inside), static_cast<uint8_t>(row), static_cast<uint8_t>(col)};
            };
            // Band 1 is visited column by column, bands 2 and 3 row by row.
            if (band == 1) {
                for (int col = col0; col < col0 + wd; ++col)
                    for (int row = row0; row < row0 + h; ++row)
                        consider(row, col);
            } else {
                for (int row = row0; row < row0 + h; ++row)
                    for (int col = col0; col < col0 + wd; ++col)
                        consider(row, col);
            }
            plan.end[level][band] = n;
        }
    }
}

bool significancePass(int level, int band, ColourWork& w, const ScanPlan& plan, Jg& g, const NR& nr)
{
    State& inside = w.S[level == 1 ? kFinest : kDetail];
    uint8_t* childZt = w.childrenInZerotree;
    for (int i = plan.begin[level][band]; i < plan.end[level][band]; ++i) {
        const ScanEntry& e = plan.entries[i];
        const uint8_t zerotree = childZt[e.parent];
        if (zerotree) {
            childZt[e.idx] = 1;  // nothing decoded here: children inherit
            continue;
        }
        if (e.inside) {
            if (w.significant[e.idx]) {
                childZt[e.idx] = 0;
                continue;
            }
            const int sym = decodeSymbol(g, nr, inside);
            if (streamEnded(g, nr))
                return true;
            w.passState[e.idx] = static_cast<uint8_t>(sym);
            childZt[e.idx] = sym == 2;
            if (sym == 0)
                markSignificant(w, e.row, e.col, +1);
            else if (sym == 1)
                markSignificant(w, e.row, e.col, -1);
        } else {
            // An outside node still tells whether its inside descendants are a zerotree.
            const bool root = decodeSymbol(g, nr, w.S[kOutside]) == 0;
            w.passState[e.idx] = root ? 4 : 5;
            childZt[e.idx] = root;
        }
    }
    return false;
}

int decodeColourStream(const NR& nr, const Plane<int>& r, const ScanPlan& plan, ColourWork& w)
{
    InitState(w.S[kCoarse], 3);
    InitState(w.S[kDetail], 4);
    InitState(w.S[kFinest], 3);
    InitState(w.S[kOutside], 2);
    InitState(w.S[kRefine], 2);
    w.coefficient.fill(0);
    w.significant.fill(0);
    w.list.count = 0;
    w.childrenInZerotree[kNoParent] = 0;

    const int top = nr.data[0];
    if (top > kMaxTopPlane)
        return WLT_ERR_TOP_PLANE;
    Jg g;
    startDecoder(g, nr, 2);
    w.bp.fixL = int64_t{1} << (top + 1);
    w.bp.fix = top;

    for (; w.bp.fix >= 0; --w.bp.fix) {
        if (streamEnded(g, nr))
            break;
        w.bp.fixM = 1 << w.bp.fix;
        w.passState.fill(kNothingDecoded);

        if (coarsestBandPass(w, r, g, nr))
            break;
        bool ended = false;
        for (int level = kLevels; level >= 1 && !ended; --level)
            for (int band = 1; band <= 3 && !ended; ++band)
                ended = significancePass(level, band, w, plan, g, nr);
        if (ended || streamEnded(g, nr))
            break;

        if (w.bp.fix > 0) {
            w.bp.fixS = 1 << (w.bp.fix - 1);
            refinementPass(w, r, g, nr);
            const int rc = magnitudeSort(w);
            if (rc != WLT_OK)
                return rc;
        }
    }
    return WLT_OK;
}

} // namespace wlt
