#pragma once

// Binary adaptive arithmetic decoder (the QM coder of ITU-T T.81 Annex D)
// with the byte-fetch rules of WLT streams, adaptive context sets and the
// symbol and integer readers built on them.

#include "Tables.h"

#include <cstdint>

namespace wlt {

// Decoder registers.
struct Jg {
    uint32_t A;   // interval; at least 0x8000 after every renormalisation
    uint32_t C;   // code register; its upper 16 bits are Cx
    int CT;       // bits left before the next byte fetch
    int pos;      // index of the next byte to fetch
};

// One stream: a view of its bytes inside the descrambled input.
struct NR {
    int len;
    const unsigned char* data;
};

// Eight adaptive contexts plus a symbol tree whose node k uses context k.
struct State {
    int mps[8];
    int index[8];
    int tree[8][4];
    unsigned qe[8];
};

// Resets every context to MPS 0 at table row 0; kinds 2, 3, 4 and 8 also load
// the symbol tree of that alphabet size, other kinds keep the tree.
void InitState(State& s, int kind);

// Starts decoding the stream at byte firstPos (the bytes before it are the
// stream's own header).
void startDecoder(Jg& g, const NR& nr, int firstPos);

// Next byte for the code register. The stream's last byte is never consumed
// and an exhausted stream feeds zeros; 0xFF 0x00 feeds 0xFF, 0xFF b feeds b.
inline unsigned fetchByte(Jg& g, const NR& nr)
{
    const int p = g.pos;
    if (!(p + 1 < nr.len)) {
        g.pos = p + 1;
        return 0;
    }
    const unsigned b = nr.data[p];
    if (b != 0xFF) {
        g.pos = p + 1;
        return b;
    }
    const unsigned b2 = nr.data[p + 1];
    g.pos = p + 2;
    return b2 == 0 ? 0xFFu : b2;
}

// The decisions below are the decoder's innermost loop (a portrait takes some
// ten thousand), so they live here to be inlined into the passes that call them.
namespace qm {

// Shifts A and C left until A is at least 0x8000, fetching a byte whenever
// the count runs out. Whole runs of bits are shifted at once; the fetches
// fall exactly where the bit-by-bit loop of T.81 would make them.
inline void renormalise(Jg& g, const NR& nr)
{
    int shift = __builtin_clz(g.A) - 16;  // 0 < A < 0x8000 here
    if (shift <= g.CT) {
        g.A <<= shift;
        g.C <<= shift;
        g.CT -= shift;
        return;
    }
    do {
        if (g.CT == 0) {
            g.C |= fetchByte(g, nr) << 8;
            g.CT = 8;
        }
        const int n = shift < g.CT ? shift : g.CT;
        g.A <<= n;
        g.C <<= n;
        g.CT -= n;
        shift -= n;
    } while (shift > 0);
}

// The table's rows with the Qe of both next rows beside them: a transition
// then takes one load from the current row, not a second one from the next.
struct Transition {
    uint16_t qeAfterMps, qeAfterLps;
    uint8_t nextMps, nextLps, switchMps;
};

struct TransitionTable {
    Transition row[kShiftRows];
};

constexpr TransitionTable makeTransitions()
{
    TransitionTable t{};
    for (int i = 0; i < kShiftRows; ++i) {
        const int* r = kTables.ShiftTb[i];  // {Qe, Next_Index_LPS, Next_Index_MPS, Switch_MPS}
        t.row[i] = Transition{static_cast<uint16_t>(kTables.ShiftTb[r[2]][0]),
                              static_cast<uint16_t>(kTables.ShiftTb[r[1]][0]), static_cast<uint8_t>(r[2]),
                              static_cast<uint8_t>(r[1]), static_cast<uint8_t>(r[3])};
    }
    return t;
}

inline constexpr TransitionTable kTransitions = makeTransitions();

// The context's row becomes its Next_Index_MPS.
inline void mpsTransition(State& s, int k)
{
    const Transition& t = kTransitions.row[s.index[k]];
    s.index[k] = t.nextMps;
    s.qe[k] = t.qeAfterMps;
}

// The MPS flips where the row says so; the row becomes its Next_Index_LPS.
inline void lpsTransition(State& s, int k)
{
    const Transition& t = kTransitions.row[s.index[k]];
    s.mps[k] ^= t.switchMps;
    s.index[k] = t.nextLps;
    s.qe[k] = t.qeAfterLps;
}

} // namespace qm

// One binary decision in context k of s.
inline int decodeDecision(Jg& g, const NR& nr, State& s, int k)
{
    const uint32_t qe = s.qe[k];
    const uint32_t A = g.A - qe;
    int d;
    if (A > (g.C >> 16)) {
        g.A = A;
        if (A >= 0x8000)
            return s.mps[k];  // the common case: no exchange, no renormalisation
        // MPS exchange: the smaller part is the less probable one.
        if (A < qe) {
            d = 1 - s.mps[k];
            qm::lpsTransition(s, k);
        } else {
            d = s.mps[k];
            qm::mpsTransition(s, k);
        }
    } else {
        // Lower part exhausted: the upper Qe-sized part, possibly exchanged.
        g.C -= A << 16;
        if (A < qe) {
            d = s.mps[k];
            qm::mpsTransition(s, k);
        } else {
            d = 1 - s.mps[k];
            qm::lpsTransition(s, k);
        }
        g.A = qe;
    }
    qm::renormalise(g, nr);
    return d;
}

// One symbol, walking the tree of s from node 0.
inline int decodeSymbol(Jg& g, const NR& nr, State& s)
{
    int node = 0;
    // A tree has at most eight nodes, so any walk ends within eight steps.
    for (int step = 0; step < 8; ++step) {
        const int bit = decodeDecision(g, nr, s, node);
        const int leaf = s.tree[node][bit * 2];
        const int value = s.tree[node][bit * 2 + 1];
        if (leaf != 0)
            return value;
        node = value & 7;
    }
    return 0;
}

// The walks of the trees that InitState loads (vl2, vl3, vl4, vl8), written
// out: each returns what decodeSymbol returns on a State of that kind. The
// passes decode thousands of symbols, and written out the 4- and 8-symbol
// walks have no branch at all and the 3-symbol one a single one.
inline int decodeSymbol2(Jg& g, const NR& nr, State& s) { return decodeDecision(g, nr, s, 0); }

inline int decodeSymbol3(Jg& g, const NR& nr, State& s)
{
    // 1 is symbol 2; 0 is followed by the bit of symbols 0 and 1 in context 1.
    return decodeDecision(g, nr, s, 0) ? 2 : decodeDecision(g, nr, s, 1);
}

inline int decodeSymbol4(Jg& g, const NR& nr, State& s)
{
    // Two bits, most significant first; the second in context 1 or 2.
    const int high = decodeDecision(g, nr, s, 0);
    return high * 2 + decodeDecision(g, nr, s, 1 + high);
}

inline int decodeSymbol8(Jg& g, const NR& nr, State& s)
{
    // Three bits, most significant first; the second in context 1 or 4, the
    // third in context 2, 3, 5 or 6.
    const int b0 = decodeDecision(g, nr, s, 0);
    const int b1 = decodeDecision(g, nr, s, b0 ? 4 : 1);
    return b0 * 4 + b1 * 2 + decodeDecision(g, nr, s, (b0 ? 5 : 2) + b1);
}

// An n-bit unsigned value from the 2-symbol alphabet of s, most significant
// bit first; -1 for n <= 0 without decoding anything.
int decodeBits(Jg& g, const NR& nr, State& s, int n);

// True once decoding has run past the stream's data.
inline bool streamEnded(const Jg& g, const NR& nr) { return nr.len < g.pos; }

} // namespace wlt
