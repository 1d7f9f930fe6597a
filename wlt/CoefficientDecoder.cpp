#include "CoefficientDecoder.h"

#include "Tables.h"
#include "libwlt.h"

#include <cstdlib>

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
bool coarsestBandPass(ColourWork& w, const Mask& r, Jg& gInOut, const NR& nr)
{
    Jg g = gInOut;  // in a local, as in the significance pass
    bool ended = false;
    const int h = kRows >> kLevels;
    const int wd = kCols >> kLevels;
    for (int row = 0; row < h && !ended; ++row)
        for (int col = 0; col < wd; ++col) {
            const int idx = at(row, col);
            if (r[idx] != 1 || w.significant[idx])
                continue;
            const int sym = decodeSymbol3(g, nr, w.S[kCoarse]);
            if (streamEnded(g, nr)) {
                ended = true;
                break;
            }
            if (sym == 0)
                markSignificant(w, row, col, +1);
            else if (sym == 1)
                markSignificant(w, row, col, -1);
            else
                w.coefficient[idx] = 0;
        }
    gInOut = g;
    return ended;
}

} // namespace

// Refines every listed coefficient by the next lower bit. A position is
// listed when it becomes significant, inside the shape, and stays so: every
// entry is one to refine.
void refinementPass(ColourWork& w, Jg& gInOut, const NR& nr)
{
    Jg g = gInOut;  // in locals, as in the significance pass
    const int count = w.list.count;
    const int fixS = w.bp.fixS;
    for (int i = 0; i < count; ++i) {
        const Cell& c = w.list.pairAt(i);
        int& coefficient = w.coefficient[at(c.row, c.col)];
        const int old = coefficient;
        int m = std::abs(old);
        if (decodeSymbol2(g, nr, w.S[kRefine]) == 1)
            m |= fixS;
        if (streamEnded(g, nr))
            break;
        coefficient = old < 0 ? -m : m;
    }
    gInOut = g;
}

// Within each run of equal known magnitude, the entries that just gained the
// refinement bit move to the front, keeping the list ordered by magnitude.
// One pass: the entries without the bit wait in the holding list until their
// run ends, and every magnitude is looked up once.
int magnitudeSort(ColourWork& w)
{
    const int64_t knownBits = w.bp.fixL - w.bp.fixM;
    const int fixS = w.bp.fixS;
    const int count = w.list.count;
    Cell* list = w.list.pairs;
    Cell* holding = w.holding.pairs;
    int out = 0;   // where the next entry of the current run with the bit goes
    int held = 0;  // entries of the current run without it
    int64_t key = -1;
    auto endRun = [&] {
        for (int k = 0; k < held; ++k)
            list[out++] = holding[k];
        held = 0;
    };
    for (int i = 0; i < count; ++i) {
        const Cell c = list[i];  // out <= i: only entries already read are overwritten
        const int m = std::abs(w.coefficient[at(c.row, c.col)]);
        if ((m & knownBits) != key) {
            endRun();
            key = m & knownBits;
        }
        if (m & fixS) {
            list[out++] = c;
        } else {
            if (held >= kCells)
                return WLT_ERR_SORT_OVERFLOW;
            holding[held++] = c;
        }
    }
    endRun();
    w.holding.count = 0;  // every held entry is back in the list
    return WLT_OK;
}

void buildScanPlan(const Mask& r, ScanPlan& plan)
{
    Plane<uint8_t>& kind = plan.kind;
    // Level 1 has no outside nodes: a position is coded when it is inside.
    // (Its low band, the top-left quarter, is overwritten by the levels above.)
    for (int i = 0; i < kCells; ++i)
        kind[i] = r[i] == 1 ? kInsideCell : kNeverCoded;
    // Then level by level upwards: an outside position is coded when any
    // child is (an inside child, or an outside one above an inside position).
    for (int level = 2; level <= kLevels; ++level) {
        const int h = kRows >> level;
        const int wd = kCols >> level;
        for (int row = 0; row < 2 * h; ++row)
            for (int col = row < h ? wd : 0; col < 2 * wd; ++col) {  // the low band is not a detail band
                const int idx = at(row, col);
                const int child = at(2 * row, 2 * col);
                const bool coded = kind[child] | kind[child + 1] | kind[child + kCols] | kind[child + kCols + 1];
                kind[idx] = r[idx] == 1 ? kInsideCell : coded ? kOutsideNode : kNeverCoded;
            }
    }
    // The coarsest band is nobody's detail.
    for (int row = 0; row < kRows >> kLevels; ++row)
        for (int col = 0; col < kCols >> kLevels; ++col)
            kind[at(row, col)] = kNeverCoded;
}

namespace {

// One significance pass over a band. Level 1 (kLevel1) has only inside
// positions, the 3-symbol alphabet and no children; levels 2-4 the 4-symbol
// alphabet, outside nodes and an open list for the next level.
//
// Everything the inner loop touches that is not an array is held here by
// value, and written back by finish(): the decoder registers and the list
// counts then stay in registers, where they would otherwise be reloaded
// after every byte store (a byte may alias anything).
template <bool kLevel1>
class BandPass {
public:
    BandPass(ColourWork& w, const ScanPlan& plan, const Jg& g, const NR& nr, OpenList* open)
        : g_(g), nr_(nr), kind_(plan.kind.data()), coefficient_(w.coefficient.data()),
          significant_(w.significant.data()), list_(w.list.pairs), listCount_(w.list.count),
          open_(open ? open->cells : nullptr), openCount_(0), fixM_(w.bp.fixM),
          inside_(w.S[kLevel1 ? kFinest : kDetail]), outside_(w.S[kOutside])
    {
    }

    // What the pass does at one position; true when the stream ended there.
    // Positions whose children are to be visited next go to the open list
    // (written anyway, kept or not: no branch on the symbol for that).
    __attribute__((always_inline)) bool visit(int row, int col)
    {
        const int idx = at(row, col);
        const uint8_t kind = kind_[idx];
        if (kind == kNeverCoded)
            return false;
        const Cell cell{static_cast<uint8_t>(row), static_cast<uint8_t>(col)};
        bool opens = true;  // a significant position decodes nothing: its ancestors' verdict passes on
        if (kLevel1 || kind == kInsideCell) {
            if (!significant_[idx]) {
                // 0 and 1 become significant (+fixM, -fixM), 2 is a zerotree
                // root, 3 an isolated zero.
                const int sym = kLevel1 ? decodeSymbol3(g_, nr_, inside_) : decodeSymbol4(g_, nr_, inside_);
                if (streamEnded(g_, nr_))
                    return true;
                opens = sym != 2;
                if (sym < 2) {
                    coefficient_[idx] = (1 - 2 * sym) * fixM_;
                    significant_[idx] = 1;
                    list_[listCount_++] = cell;
                }
            }
        } else {
            // An outside node still tells whether its inside descendants are
            // a zerotree: 0 is a root. No end test follows its symbol.
            opens = decodeSymbol2(g_, nr_, outside_) != 0;
        }
        if (!kLevel1) {
            open_[openCount_] = cell;
            openCount_ += opens;
        }
        return false;
    }

    void finish(ColourWork& w, Jg& g, OpenList* open) const
    {
        g = g_;
        w.list.count = listCount_;
        if (open)
            open->count = openCount_;
    }

private:
    Jg g_;
    const NR nr_;
    const uint8_t* kind_;
    int* coefficient_;
    uint8_t* significant_;
    Cell* list_;
    int listCount_;
    Cell* open_;
    int openCount_;
    const int fixM_;
    State& inside_;
    State& outside_;
};

// The band's positions in scan order (columnMajor for band 1). Inlined into
// passOverBand, so that the pass and its registers never leave it.
template <bool kLevel1, bool columnMajor>
__attribute__((always_inline)) inline bool visitBand(int level, int band, const ColourWork& w, BandPass<kLevel1>& pass)
{
    if (level == kLevels) {
        // Level 4 has no parents: every position of the band.
        const int h = kRows >> level;
        const int wd = kCols >> level;
        const int row0 = kTables.x[8 + band] * h;
        const int col0 = kTables.y[8 + band] * wd;
        for (int outer = 0; outer < (columnMajor ? wd : h); ++outer)
            for (int inner = 0; inner < (columnMajor ? h : wd); ++inner) {
                const int row = row0 + (columnMajor ? inner : outer);
                const int col = col0 + (columnMajor ? outer : inner);
                if (pass.visit(row, col))
                    return true;
            }
        return false;
    }

    // The children of the open parents, in scan order: the parents of one
    // row (column, for band 1) give two rows (columns) of children, each in
    // the parents' order, two children per parent.
    const OpenList& parents = w.open[level + 1][band];
    for (int first = 0; first < parents.count;) {
        const Cell p0 = parents.cells[first];
        int last = first + 1;
        while (last < parents.count &&
               (columnMajor ? parents.cells[last].col == p0.col : parents.cells[last].row == p0.row))
            ++last;
        for (int line = 0; line < 2; ++line)
            for (int k = first; k < last; ++k)
                for (int step = 0; step < 2; ++step) {
                    // One call site, so that the pass is inlined once.
                    const int row = 2 * parents.cells[k].row + (columnMajor ? step : line);
                    const int col = 2 * parents.cells[k].col + (columnMajor ? line : step);
                    if (pass.visit(row, col))
                        return true;
                }
        first = last;
    }
    return false;
}

template <bool kLevel1>
bool passOverBand(int level, int band, ColourWork& w, const ScanPlan& plan, Jg& g, const NR& nr)
{
    OpenList* open = kLevel1 ? nullptr : &w.open[level][band];
    BandPass<kLevel1> pass(w, plan, g, nr, open);
    // Band 1 is visited column by column, bands 2 and 3 row by row.
    const bool ended = band == 1 ? visitBand<kLevel1, true>(level, band, w, pass)
                                 : visitBand<kLevel1, false>(level, band, w, pass);
    pass.finish(w, g, open);
    return ended;
}

} // namespace

bool significancePass(int level, int band, ColourWork& w, const ScanPlan& plan, Jg& gInOut, const NR& nr)
{
    return level == 1 ? passOverBand<true>(level, band, w, plan, gInOut, nr)
                      : passOverBand<false>(level, band, w, plan, gInOut, nr);
}

int decodeColourStream(const NR& nr, const Mask& r, const ScanPlan& plan, ColourWork& w)
{
    InitState(w.S[kCoarse], 3);
    InitState(w.S[kDetail], 4);
    InitState(w.S[kFinest], 3);
    InitState(w.S[kOutside], 2);
    InitState(w.S[kRefine], 2);
    // Only listed (significant) positions are ever read from the coefficient
    // plane, each after it is set; the rest mean 0 and need no clearing.
    w.significant.fill(0);
    w.list.count = 0;

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
            refinementPass(w, g, nr);
            const int rc = magnitudeSort(w);
            if (rc != WLT_OK)
                return rc;
        }
    }
    return WLT_OK;
}

} // namespace wlt
