#pragma once

// Binary adaptive arithmetic decoder (the QM coder of ITU-T T.81 Annex D)
// with the byte-fetch rules of WLT streams, adaptive context sets and the
// symbol and integer readers built on them.

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
unsigned fetchByte(Jg& g, const NR& nr);

// One binary decision in context k of s.
int decodeDecision(Jg& g, const NR& nr, State& s, int k);

// One symbol, walking the tree of s from node 0.
int decodeSymbol(Jg& g, const NR& nr, State& s);

// An n-bit unsigned value from the 2-symbol alphabet of s, most significant
// bit first; -1 for n <= 0 without decoding anything.
int decodeBits(Jg& g, const NR& nr, State& s, int n);

// True once decoding has run past the stream's data.
inline bool streamEnded(const Jg& g, const NR& nr) { return nr.len < g.pos; }

} // namespace wlt
