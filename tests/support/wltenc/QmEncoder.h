#pragma once
// Binary adaptive arithmetic encoder (the QM coder of ITU-T T.81 Annex D),
// with the conditional exchange, producing bytes for a decoder that reads
// 0xFF 0x00 as 0xFF and feeds zeros once the data runs out.

#include <cstdint>
#include <vector>

#include "QmTables.h"

namespace wltenc {

class QmEncoder {
public:
    void encodeBit(ContextSet& set, int context, int bit);
    // Codes `symbol` as its walk through the tree of `kind`, node k in context k.
    void encodeSymbol(ContextSet& set, TreeKind kind, int symbol);

    // The shortest code value inside the current interval, carry resolved,
    // trailing zero bytes dropped (the decoder supplies zeros) and every 0xFF
    // followed by a stuffed 0x00.
    std::vector<uint8_t> finish() const;

    long shifts() const { return shifts_; }

private:
    void renormalise();
    static void addCarry(std::vector<uint8_t>& bytes);

    uint32_t a_ = 0x10000;
    uint64_t c_ = 0;   // base of the interval: bits 0-15 align with A, 16-18 spacer, 19-26 next byte, 27 carry
    int ct_ = 11;      // shifts left before the next byte leaves the register
    long shifts_ = 0;
    std::vector<uint8_t> raw_;  // bytes out so far, before stuffing (a carry may still change them)
};

std::vector<uint8_t> stuffBytes(const std::vector<uint8_t>& raw);

}  // namespace wltenc
