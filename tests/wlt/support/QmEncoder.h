#pragma once

// Arithmetic encoder (QM coder, ITU-T T.81 Annex D) for building test streams
// the decoder must read back. Every 0xFF it writes is followed by 0x00.

#include <cstdint>
#include <vector>

namespace wlttest {

struct EncoderContexts {
    int mps[8] = {};
    int index[8] = {};
};

class QmEncoder {
public:
    void encode(EncoderContexts& s, int k, int bit);
    // Encodes symbol through the tree (nodes {leaf0, value0, leaf1, value1}).
    void encodeSymbol(EncoderContexts& s, const int (&tree)[8][4], int symbol);
    // n bits, most significant first, as symbols of the 2-symbol tree.
    void encodeBits(EncoderContexts& s, uint32_t value, int n);
    // Flushes the coder; the result is ready to be a stream body.
    std::vector<uint8_t> finish();

private:
    void renormalise();
    void byteOut();

    uint32_t A = 0x10000;
    uint64_t C = 0;
    int CT = 11;
    std::vector<uint8_t> raw;
};

} // namespace wlttest
