#pragma once

// Bit-plane decoding of one colour stream into a plane of wavelet
// coefficients: zerotree significance passes, refinement and the
// magnitude-ordered significance list.

#include "Geometry.h"
#include "QmDecoder.h"

namespace wlt {

// A list of positions with room for every cell of a work plane.
struct G {
    int count = 0;
    Cell pairs[kCells];

    bool append(int row, int col)
    {
        if (count >= kCells)
            return false;
        pairs[count++] = Cell{static_cast<uint8_t>(row), static_cast<uint8_t>(col)};
        return true;
    }
    const Cell& pairAt(int i) const { return pairs[i]; }
};

// The current bit plane.
struct BitPlane {
    int fix = 0;       // plane index
    int64_t fixL = 0;  // 1 << (top plane + 1)
    int fixM = 0;      // 1 << fix: magnitude of a newly significant coefficient
    int fixS = 0;      // 1 << (fix - 1): the bit refinement adds
};

constexpr int kMaxTopPlane = 30;  // keeps every magnitude within 31 bits

// Detail-band positions, by what a significance pass does there: inside
// positions decode a symbol, outside positions at levels 2-4 with an inside
// descendant decode whether their subtree is a zerotree, the others never
// decode anything (and neither does any of their descendants). It depends
// only on the mask pyramid, so it is built once a call.
enum CellKind : uint8_t { kNeverCoded = 0, kInsideCell = 1, kOutsideNode = 2 };

struct ScanPlan {
    Plane<uint8_t> kind;  // CellKind of every detail position
};

void buildScanPlan(const Mask& r, ScanPlan& plan);

// The positions of one band, in scan order, whose children are not in a
// zerotree in this bit plane: visited, and neither a zerotree root nor below
// one. Only their children are visited at the next finer level; every other
// position there would fail the zerotree test, so the passes never look at
// it. At most a level-2 band's 32 x 28 positions.
struct OpenList {
    static constexpr int kCapacity = (kRows >> 2) * (kCols >> 2);
    int count = 0;
    Cell cells[kCapacity];
};

// Everything one colour stream's decoding works on.
struct ColourWork {
    Plane<int> coefficient;  // valid at the listed positions only
    Plane<uint8_t> significant;
    OpenList open[kLevels + 1][4];  // [level 2-4][band 1-3], rebuilt each bit plane
    G list;     // significance list
    G holding;  // holding list of the magnitude sort
    BitPlane bp;
    State S[5]; // coarsest band, levels 2-4, level 1, outside nodes, refinement
};

// Significance pass over detail band 1-3 of a level; true when the stream
// ended during it. Below level 4 it visits the children of the band's open
// list of the next coarser level, which that level's pass of this bit plane
// has made; levels 2-4 make their own open list for the next.
bool significancePass(int level, int band, ColourWork& w, const ScanPlan& plan, Jg& g, const NR& nr);

// Refines every listed coefficient by the bit fixS, in list order; stops
// quietly when the stream ends.
void refinementPass(ColourWork& w, Jg& g, const NR& nr);

// Within each run of equal known magnitude the entries that gained the fixS
// bit move to the front. Returns WLT_OK or WLT_ERR_SORT_OVERFLOW.
int magnitudeSort(ColourWork& w);

// Decodes one colour stream into w.coefficient at the positions of w.list;
// every other position means 0 and is not cleared, so it may hold anything.
// Returns WLT_OK or a failure code; running out of data is not a failure.
int decodeColourStream(const NR& nr, const Mask& r, const ScanPlan& plan, ColourWork& w);

} // namespace wlt
