#include "QmEncoder.h"

#include "Tables.h"

#include <stdexcept>

namespace wlttest {

using wlt::kTables;

void QmEncoder::encode(EncoderContexts& s, int k, int bit)
{
    const uint32_t qe = static_cast<uint32_t>(kTables.ShiftTb[s.index[k]][0]);
    A -= qe;
    if (bit == s.mps[k]) {
        if (A >= 0x8000)
            return;
        if (A < qe) {  // conditional exchange: the MPS takes the upper part
            C += A;
            A = qe;
        }
        s.index[k] = kTables.ShiftTb[s.index[k]][2];
    } else {
        if (A >= qe) {
            C += A;
            A = qe;
        }
        if (kTables.ShiftTb[s.index[k]][3] == 1)
            s.mps[k] = 1 - s.mps[k];
        s.index[k] = kTables.ShiftTb[s.index[k]][1];
    }
    renormalise();
}

void QmEncoder::encodeSymbol(EncoderContexts& s, const int (&tree)[8][4], int symbol)
{
    // Find the path to the leaf carrying symbol (trees are tiny: depth-first).
    int path[8];
    int depth = 0;
    auto search = [&](auto&& self, int node, int d) -> bool {
        for (int bit = 0; bit < 2; ++bit) {
            path[d] = bit;
            const int leaf = tree[node][2 * bit];
            const int value = tree[node][2 * bit + 1];
            if (leaf != 0 ? value == symbol : self(self, value, d + 1)) {
                if (depth == 0)
                    depth = d + 1;
                return true;
            }
        }
        return false;
    };
    if (!search(search, 0, 0))
        throw std::invalid_argument("symbol not in tree");
    int node = 0;
    for (int i = 0; i < depth; ++i) {
        encode(s, node, path[i]);
        node = tree[node][2 * path[i] + 1];
    }
}

void QmEncoder::encodeBits(EncoderContexts& s, uint32_t value, int n)
{
    for (int i = n - 1; i >= 0; --i)
        encodeSymbol(s, kTables.vl2, static_cast<int>((value >> i) & 1));
}

void QmEncoder::renormalise()
{
    do {
        A <<= 1;
        C <<= 1;
        if (--CT == 0) {
            byteOut();
            CT = 8;
        }
    } while (A < 0x8000);
}

void QmEncoder::byteOut()
{
    uint32_t t = static_cast<uint32_t>(C >> 19);
    if (t > 0xFF) {
        // Carry into the bytes already written.
        size_t i = raw.size();
        while (i > 0 && raw[i - 1] == 0xFF)
            raw[--i] = 0;
        if (i > 0)
            ++raw[i - 1];
        t &= 0xFF;
    }
    raw.push_back(static_cast<uint8_t>(t));
    C &= 0x7FFFF;
}

std::vector<uint8_t> QmEncoder::finish()
{
    C <<= CT;
    for (int i = 0; i < 4; ++i) {
        byteOut();
        C <<= 8;
    }
    std::vector<uint8_t> out;
    for (uint8_t b : raw) {
        out.push_back(b);
        if (b == 0xFF)
            out.push_back(0);
    }
    return out;
}

} // namespace wlttest
