#pragma once
// Model of the portrait decoder's arithmetic decoder and byte fetch: the
// encoder replays its own symbols through it to find where a truncated stream
// stops decoding, and the tests use it as an independent T.81 decoder.

#include <cstdint>
#include <vector>

#include "QmTables.h"

namespace wltenc {

class QmDecoderModel {
public:
    // `data` is the whole stream (its `len` bytes); decoding starts at `startPos`.
    QmDecoderModel(const uint8_t* data, int len, int startPos);

    int decodeBit(ContextSet& set, int context);
    int decodeSymbol(ContextSet& set, TreeKind kind);
    // The stream has ended once a fetch went past its second-to-last byte.
    bool ended() const { return len_ < pos_; }
    int pos() const { return pos_; }

private:
    uint32_t fetch();
    void renormalise();

    const uint8_t* data_;
    int len_;
    int pos_;
    uint32_t a_ = 0x10000;
    uint32_t c_ = 0;
    int ct_ = 0;
};

}  // namespace wltenc
