#pragma once

// Bit-plane decoding of one colour stream into a plane of wavelet
// coefficients: zerotree significance passes, refinement and the
// magnitude-ordered significance list.

#include "Geometry.h"
#include "QmDecoder.h"

namespace wlt {

struct Cell {
    uint8_t row;
    uint8_t col;
};

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

constexpr uint8_t kNothingDecoded = 255;
constexpr int kMaxTopPlane = 30;  // keeps every magnitude within 31 bits

// Everything one colour stream's decoding works on.
struct ColourWork {
    Plane<int> coefficient;
    Plane<uint8_t> passState;    // symbol decoded here in this plane, or 255
    Plane<uint8_t> significant;
    // Per visited detail position in this plane: whether its children are in
    // a zerotree (its own zerotree state if it has a pass state, else what it
    // inherited). The extra last entry stands for "no parent" and stays 0.
    uint8_t childrenInZerotree[kCells + 1];
    G list;     // significance list
    G holding;  // holding list of the magnitude sort
    BitPlane bp;
    State S[5]; // coarsest band, levels 2-4, level 1, outside nodes, refinement
};

// The detail-band positions a significance pass can act on, band by band in
// scan order: inside positions, and at levels 2-4 outside positions with an
// inside descendant. Every other position never decodes anything, and the
// parent of a listed position is listed too. It depends only on the mask
// pyramid, so it is built once a call.
struct ScanEntry {
    uint16_t idx;     // at(row, col)
    uint16_t parent;  // the parent's idx, or kNoParent (kCells) at level 4
    uint8_t inside;
    uint8_t row;
    uint8_t col;
};
constexpr uint16_t kNoParent = kCells;

struct ScanPlan {
    ScanEntry entries[kCells];
    int begin[kLevels + 1][4];  // [level][band]
    int end[kLevels + 1][4];
};

void buildScanPlan(const Plane<int>& r, ScanPlan& plan);

// Significance pass over detail band 1-3 of a level; true when the stream
// ended during it. A position is skipped as part of a zerotree when its
// nearest ancestor with a pass state has state 2 or 4; the passes of the
// higher levels of this plane must have run (they record that for children).
bool significancePass(int level, int band, ColourWork& w, const ScanPlan& plan, Jg& g, const NR& nr);

// Refines every listed coefficient by the bit fixS, in list order; stops
// quietly when the stream ends.
void refinementPass(ColourWork& w, const Plane<int>& r, Jg& g, const NR& nr);

// Within each run of equal known magnitude the entries that gained the fixS
// bit move to the front. Returns WLT_OK or WLT_ERR_SORT_OVERFLOW.
int magnitudeSort(ColourWork& w);

// Decodes one colour stream into w.coefficient. Returns WLT_OK or a failure
// code; running out of data is not a failure.
int decodeColourStream(const NR& nr, const Plane<int>& r, const ScanPlan& plan, ColourWork& w);

} // namespace wlt
