#pragma once
// Probability estimation table of the QM coder and the symbol trees that the
// portrait format codes its multi-valued symbols with.

#include <cstdint>

namespace wltenc {

struct QmRow {
    uint16_t qe;
    uint8_t nextLps;
    uint8_t nextMps;
    uint8_t switchMps;
};

constexpr int kQmRows = 113;
extern const QmRow kQmTable[kQmRows];

// One tree node: on a 0 take (leaf0, value0), on a 1 (leaf1, value1); a leaf
// value is the symbol, otherwise the value is the next node. Node k is coded
// in context k of its set.
struct TreeNode {
    int leaf0, value0, leaf1, value1;
};

enum class TreeKind { Bits2 = 2, Symbols3 = 3, Symbols4 = 4, Symbols8 = 8 };

const TreeNode* treeNodes(TreeKind kind);
int treeAlphabet(TreeKind kind);

// The adaptive contexts of one set (8 contexts).
struct ContextSet {
    int mps[8] = {};
    int index[8] = {};
    void reset() {
        for (int k = 0; k < 8; ++k) { mps[k] = 0; index[k] = 0; }
    }
    uint32_t qe(int k) const { return kQmTable[index[k]].qe; }
    void onMps(int k) { index[k] = kQmTable[index[k]].nextMps; }
    void onLps(int k) {
        if (kQmTable[index[k]].switchMps) mps[k] = 1 - mps[k];
        index[k] = kQmTable[index[k]].nextLps;
    }
};

// Path of (node, bit) decisions that codes `symbol` in `kind`; returns its length.
int treePath(TreeKind kind, int symbol, int nodes[3], int bits[3]);

}  // namespace wltenc
