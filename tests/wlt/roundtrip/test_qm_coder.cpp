// The arithmetic encoder against the decoder model: any decision sequence in
// adaptive contexts must come back exactly, whatever the skew, the carries
// and the 0xFF bytes it produces, and for every termination point.
#include <gtest/gtest.h>

#include <random>

#include "QmDecoderModel.h"
#include "QmEncoder.h"

using namespace wltenc;

namespace {

struct Decision {
    int context;
    int bit;
};

std::vector<Decision> randomDecisions(unsigned seed, size_t count, const std::vector<double>& oneProbability) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0, 1);
    std::vector<Decision> d;
    for (size_t i = 0; i < count; ++i) {
        const int k = static_cast<int>(rng() % oneProbability.size());
        d.push_back({k, u(rng) < oneProbability[k] ? 1 : 0});
    }
    return d;
}

std::vector<uint8_t> encode(const std::vector<Decision>& d, size_t count) {
    ContextSet set;
    QmEncoder enc;
    for (size_t i = 0; i < count; ++i) enc.encodeBit(set, d[i].context, d[i].bit);
    return enc.finish();
}

// Decodes `count` decisions from `code` placed after `start` arbitrary bytes,
// with the one never-consumed byte at the end.
size_t matchingDecisions(const std::vector<uint8_t>& code, const std::vector<Decision>& d, size_t count, int start) {
    std::vector<uint8_t> stream(start, 0x6F);
    stream.insert(stream.end(), code.begin(), code.end());
    stream.push_back(0);
    ContextSet set;
    QmDecoderModel dec(stream.data(), static_cast<int>(stream.size()), start);
    for (size_t i = 0; i < count; ++i)
        if (dec.decodeBit(set, d[i].context) != d[i].bit) return i;
    return count;
}

}  // namespace

TEST(QmCoder, DecisionSequencesOfEverySkewComeBackExactly) {
    const std::vector<std::vector<double>> mixes = {
        {0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5, 0.5},
        {0.001, 0.999, 0.01, 0.99, 0.2, 0.8, 0.0002, 0.5},  // long renormalisations after rare LPSs
        {0.0, 1.0, 0.0, 1.0, 0.0, 1.0, 0.0, 0.0},            // contexts that never see an LPS
    };
    size_t ffBytes = 0;
    for (unsigned seed = 1; seed <= 12; ++seed)
        for (const auto& mix : mixes) {
            const auto d = randomDecisions(seed, 20000, mix);
            const auto code = encode(d, d.size());
            for (size_t i = 0; i + 1 < code.size(); ++i)
                if (code[i] == 0xFF) {
                    ++ffBytes;
                    EXPECT_EQ(code[i + 1], 0x00) << "0xFF not followed by a stuffed zero";
                }
            EXPECT_EQ(matchingDecisions(code, d, d.size(), 2), d.size()) << "seed " << seed;
        }
    EXPECT_GT(ffBytes, 0u) << "no 0xFF byte was produced, so stuffing went untested";
}

TEST(QmCoder, EveryTerminationPointDecodesItsPrefix) {
    const auto d = randomDecisions(7, 600, {0.05, 0.95, 0.5, 0.3, 0.001, 0.7, 0.9, 0.1});
    for (size_t count = 0; count <= d.size(); ++count) {
        const auto code = encode(d, count);
        ASSERT_EQ(matchingDecisions(code, d, count, 1), count) << "prefix of " << count;
    }
}

TEST(QmCoder, CodeLengthFollowsTheInformation) {
    // A well-predicted sequence must compress far below one bit per decision,
    // an unpredictable one cannot.
    const auto skewed = randomDecisions(3, 40000, {0.01});
    const auto fair = randomDecisions(3, 40000, {0.5});
    const size_t skewedBytes = encode(skewed, skewed.size()).size();
    const size_t fairBytes = encode(fair, fair.size()).size();
    EXPECT_LT(skewedBytes, 40000 / 8 / 6);  // entropy of p = 0.01 is 0.08 bit
    EXPECT_GT(fairBytes, 40000 / 8 * 95 / 100);
    EXPECT_LT(fairBytes, 40000 / 8 * 105 / 100);
}

TEST(QmCoder, SymbolTreesWalkTheirNodesInOrder) {
    // vl3: symbol 2 is the single bit 1, symbol 1 is 0 then 1.
    int nodes[3], bits[3];
    ASSERT_EQ(treePath(TreeKind::Symbols3, 2, nodes, bits), 1);
    EXPECT_EQ(bits[0], 1);
    ASSERT_EQ(treePath(TreeKind::Symbols3, 1, nodes, bits), 2);
    EXPECT_EQ(nodes[1], 1);
    EXPECT_EQ(bits[0], 0);
    EXPECT_EQ(bits[1], 1);
    // vl8: three bits, most significant first, second node 1 or 4.
    for (int s = 0; s < 8; ++s) {
        ASSERT_EQ(treePath(TreeKind::Symbols8, s, nodes, bits), 3);
        EXPECT_EQ(bits[0] * 4 + bits[1] * 2 + bits[2], s);
        EXPECT_EQ(nodes[1], bits[0] ? 4 : 1);
    }
    // Every symbol of every tree survives encode and decode.
    for (TreeKind kind : {TreeKind::Bits2, TreeKind::Symbols3, TreeKind::Symbols4, TreeKind::Symbols8}) {
        std::vector<int> symbols;
        std::mt19937 rng(static_cast<unsigned>(kind));
        for (int i = 0; i < 3000; ++i) symbols.push_back(static_cast<int>(rng() % treeAlphabet(kind)));
        ContextSet enc;
        QmEncoder e;
        for (int s : symbols) e.encodeSymbol(enc, kind, s);
        auto code = e.finish();
        code.push_back(0);
        ContextSet dec;
        QmDecoderModel d(code.data(), static_cast<int>(code.size()), 0);
        for (size_t i = 0; i < symbols.size(); ++i) ASSERT_EQ(d.decodeSymbol(dec, kind), symbols[i]) << i;
    }
}
