#include "QmDecoderModel.h"

namespace wltenc {

QmDecoderModel::QmDecoderModel(const uint8_t* data, int len, int startPos)
    : data_(data), len_(len), pos_(startPos) {
    const uint32_t first = fetch();
    const uint32_t second = fetch();
    c_ = first << 24 | second << 16;
}

uint32_t QmDecoderModel::fetch() {
    const int p = pos_;
    if (!(p + 1 < len_)) {
        pos_ = p + 1;
        return 0;
    }
    const uint8_t b = data_[p];
    if (b != 0xFF) {
        pos_ = p + 1;
        return b;
    }
    const uint8_t b2 = data_[p + 1];
    pos_ = p + 2;
    return b2 == 0 ? 0xFF : b2;
}

void QmDecoderModel::renormalise() {
    do {
        if (ct_ == 0) {
            c_ |= fetch() << 8;
            ct_ = 8;
        }
        a_ <<= 1;
        c_ <<= 1;
        --ct_;
    } while (a_ < 0x8000);
}

int QmDecoderModel::decodeBit(ContextSet& set, int k) {
    const uint32_t qe = set.qe(k);
    a_ -= qe;
    const uint32_t cx = c_ >> 16;
    int result;
    if (a_ <= cx) {
        c_ -= a_ << 16;
        if (a_ < qe) {
            result = set.mps[k];
            set.onMps(k);
        } else {
            result = 1 - set.mps[k];
            set.onLps(k);
        }
        a_ = qe;
        renormalise();
    } else if (a_ < 0x8000) {
        if (a_ < qe) {
            result = 1 - set.mps[k];
            set.onLps(k);
        } else {
            result = set.mps[k];
            set.onMps(k);
        }
        renormalise();
    } else {
        result = set.mps[k];
    }
    return result;
}

int QmDecoderModel::decodeSymbol(ContextSet& set, TreeKind kind) {
    const TreeNode* t = treeNodes(kind);
    int node = 0;
    for (int depth = 0; depth < 8; ++depth) {
        const int bit = decodeBit(set, node);
        const int leaf = bit ? t[node].leaf1 : t[node].leaf0;
        const int value = bit ? t[node].value1 : t[node].value0;
        if (leaf) return value;
        node = value;
    }
    return -1;
}

}  // namespace wltenc
