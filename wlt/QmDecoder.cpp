#include "QmDecoder.h"

#include <cstring>

namespace wlt {

void InitState(State& s, int kind)
{
    for (int k = 0; k < 8; ++k) {
        s.mps[k] = 0;
        s.index[k] = 0;
        s.qe[k] = static_cast<unsigned>(kTables.ShiftTb[0][0]);
    }
    const int(*tree)[4] = nullptr;
    int nodes = 0;
    switch (kind) {
    case 2: tree = kTables.vl2; nodes = 2; break;
    case 3: tree = kTables.vl3; nodes = 3; break;
    case 4: tree = kTables.vl4; nodes = 4; break;
    case 8: tree = kTables.vl8; nodes = 8; break;
    default: return;
    }
    std::memcpy(s.tree, tree, sizeof(int[4]) * nodes);
}

void startDecoder(Jg& g, const NR& nr, int firstPos)
{
    g.pos = firstPos;
    g.A = 0x10000;
    g.CT = 0;
    const uint32_t first = fetchByte(g, nr);
    const uint32_t second = fetchByte(g, nr);
    g.C = first << 24 | second << 16;
}

int decodeBits(Jg& g, const NR& nr, State& s, int n)
{
    if (n <= 0)
        return -1;
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 1) | decodeSymbol2(g, nr, s);
    return v;
}

} // namespace wlt
