#include "QmDecoder.h"

#include "Tables.h"

#include <cstring>

namespace wlt {

namespace {

void mpsTransition(State& s, int k)
{
    const int next = kTables.ShiftTb[s.index[k]][2];
    s.index[k] = next;
    s.qe[k] = static_cast<unsigned>(kTables.ShiftTb[next][0]);
}

void lpsTransition(State& s, int k)
{
    const int* row = kTables.ShiftTb[s.index[k]];
    if (row[3] == 1)
        s.mps[k] = 1 - s.mps[k];
    const int next = row[1];
    s.index[k] = next;
    s.qe[k] = static_cast<unsigned>(kTables.ShiftTb[next][0]);
}

void renormalise(Jg& g, const NR& nr)
{
    do {
        if (g.CT == 0) {
            g.C |= fetchByte(g, nr) << 8;
            g.CT = 8;
        }
        g.A <<= 1;
        g.C <<= 1;
        --g.CT;
    } while (g.A < 0x8000);
}

} // namespace

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

unsigned fetchByte(Jg& g, const NR& nr)
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

int decodeDecision(Jg& g, const NR& nr, State& s, int k)
{
    const uint32_t qe = s.qe[k];
    g.A -= qe;
    int d;
    if (g.A <= (g.C >> 16)) {
        // Lower part exhausted: the upper Qe-sized part, possibly exchanged.
        g.C -= g.A << 16;
        if (g.A < qe) {
            d = s.mps[k];
            mpsTransition(s, k);
        } else {
            d = 1 - s.mps[k];
            lpsTransition(s, k);
        }
        g.A = qe;
        renormalise(g, nr);
    } else if (g.A < 0x8000) {
        if (g.A < qe) {
            d = 1 - s.mps[k];
            lpsTransition(s, k);
        } else {
            d = s.mps[k];
            mpsTransition(s, k);
        }
        renormalise(g, nr);
    } else {
        d = s.mps[k];
    }
    return d;
}

int decodeSymbol(Jg& g, const NR& nr, State& s)
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

int decodeBits(Jg& g, const NR& nr, State& s, int n)
{
    if (n <= 0)
        return -1;
    int v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 1) | decodeSymbol(g, nr, s);
    return v;
}

} // namespace wlt
