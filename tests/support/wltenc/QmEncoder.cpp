#include "QmEncoder.h"

#include <cstddef>

namespace wltenc {

void QmEncoder::encodeBit(ContextSet& set, int k, int bit) {
    const uint32_t qe = set.qe(k);
    a_ -= qe;
    if (bit == set.mps[k]) {
        if (a_ >= 0x8000) return;          // lower part, no renormalisation
        if (a_ < qe) {                     // exchange: the MPS takes the upper part
            c_ += a_;
            a_ = qe;
        }
        set.onMps(k);
    } else {
        if (a_ >= qe) {                    // LPS in the upper part
            c_ += a_;
            a_ = qe;
        }                                  // else exchange: the LPS keeps the lower part
        set.onLps(k);
    }
    renormalise();
}

void QmEncoder::encodeSymbol(ContextSet& set, TreeKind kind, int symbol) {
    int nodes[3], bits[3];
    const int len = treePath(kind, symbol, nodes, bits);
    for (int i = 0; i < len; ++i) encodeBit(set, nodes[i], bits[i]);
}

void QmEncoder::addCarry(std::vector<uint8_t>& bytes) {
    for (size_t i = bytes.size(); i-- > 0;) {
        if (++bytes[i] != 0) return;
    }
}

void QmEncoder::renormalise() {
    do {
        a_ <<= 1;
        c_ <<= 1;
        ++shifts_;
        if (--ct_ == 0) {
            uint64_t t = c_ >> 19;
            if (t > 0xFF) addCarry(raw_);
            raw_.push_back(static_cast<uint8_t>(t & 0xFF));
            c_ &= 0x7FFFF;
            ct_ = 8;
        }
    } while (a_ < 0x8000);
}

std::vector<uint8_t> QmEncoder::finish() const {
    // The register holds q bits below the bytes already out.
    const int q = static_cast<int>(16 + shifts_ - 8 * static_cast<long>(raw_.size()));
    const uint64_t hi = c_ + a_;  // exclusive end of the interval
    uint64_t value = c_;
    int tailBytes = (q + 7) / 8;
    for (int t = 0; t * 8 < q; ++t) {
        const int shift = q - 8 * t;
        const uint64_t v = ((c_ + (uint64_t(1) << shift) - 1) >> shift) << shift;
        if (v < hi) {
            value = v;
            tailBytes = t;
            break;
        }
    }
    std::vector<uint8_t> raw = raw_;
    if (value >> q) addCarry(raw);
    for (int i = 0; i < tailBytes; ++i) {
        const int shift = q - 8 * (i + 1);
        const uint64_t b = shift >= 0 ? (value >> shift) : (value << -shift);
        raw.push_back(static_cast<uint8_t>(b & 0xFF));
    }
    while (!raw.empty() && raw.back() == 0) raw.pop_back();
    return stuffBytes(raw);
}

std::vector<uint8_t> stuffBytes(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out;
    out.reserve(raw.size() + raw.size() / 64 + 1);
    for (uint8_t b : raw) {
        out.push_back(b);
        if (b == 0xFF) out.push_back(0x00);
    }
    return out;
}

}  // namespace wltenc
