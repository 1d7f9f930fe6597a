// Arithmetic decoder: byte fetch rules, decisions, symbol trees, n-bit values.

#include "QmDecoder.h"
#include "QmEncoder.h"
#include "Tables.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

using namespace wlt;

namespace {

NR view(const std::vector<uint8_t>& bytes) { return NR{static_cast<int>(bytes.size()), bytes.data()}; }

} // namespace

TEST(ByteFetch, StuffedFFFeedsFFAndSkipsTheZero)
{
    const std::vector<uint8_t> s{0xFF, 0x00, 0x41, 0x99};
    Jg g{};
    g.pos = 0;
    EXPECT_EQ(fetchByte(g, view(s)), 0xFFu);
    EXPECT_EQ(g.pos, 2);
    EXPECT_EQ(fetchByte(g, view(s)), 0x41u);
    EXPECT_EQ(g.pos, 3);
}

TEST(ByteFetch, FFBeforeANonZeroByteFeedsThatByte)
{
    const std::vector<uint8_t> s{0xFF, 0x12, 0x00};
    Jg g{};
    g.pos = 0;
    EXPECT_EQ(fetchByte(g, view(s)), 0x12u);
    EXPECT_EQ(g.pos, 2);
}

TEST(ByteFetch, LastByteIsNeverConsumedAndExhaustionFeedsZeros)
{
    const std::vector<uint8_t> s{0x11, 0x22, 0x33};
    Jg g{};
    g.pos = 0;
    const NR nr = view(s);
    EXPECT_EQ(fetchByte(g, nr), 0x11u);
    EXPECT_EQ(fetchByte(g, nr), 0x22u);
    EXPECT_FALSE(streamEnded(g, nr));
    EXPECT_EQ(fetchByte(g, nr), 0u) << "the last byte 0x33 must not be fed";
    EXPECT_EQ(g.pos, 3);
    EXPECT_FALSE(streamEnded(g, nr)) << "ended only once pos passes len";
    EXPECT_EQ(fetchByte(g, nr), 0u);
    EXPECT_TRUE(streamEnded(g, nr));
}

TEST(ByteFetch, FFAsSecondToLastByteIsNotPairedWithTheLastByte)
{
    const std::vector<uint8_t> s{0xFF, 0x07};
    Jg g{};
    g.pos = 0;
    EXPECT_EQ(fetchByte(g, view(s)), 0x07u);  // p + 1 < len: the pair is read
    const std::vector<uint8_t> t{0x01, 0xFF};
    g.pos = 1;
    EXPECT_EQ(fetchByte(g, view(t)), 0u);     // 0xFF is the last byte: never read
    EXPECT_EQ(g.pos, 2);
}

TEST(DecoderStart, ShortColourStreamFeedsOnlyZeros)
{
    // Plane byte, "o" and one byte: the one byte is the last and never read.
    const std::vector<uint8_t> s{0x07, 0x6F, 0xAB};
    Jg g{};
    startDecoder(g, view(s), 2);
    EXPECT_EQ(g.C, 0u);
    EXPECT_EQ(g.A, 0x10000u);
    EXPECT_EQ(g.CT, 0);
}

TEST(DecoderStart, LoadsTwoBytesIntoTheTopOfC)
{
    const std::vector<uint8_t> s{0x6F, 0x12, 0x34, 0x56, 0x00};
    Jg g{};
    startDecoder(g, view(s), 1);
    EXPECT_EQ(g.C, 0x12340000u);
    EXPECT_EQ(g.pos, 3);
}

TEST(Decision, AllZeroStreamFollowsT81ByHand)
{
    const std::vector<uint8_t> s(8, 0);
    const NR nr = view(s);
    Jg g{};
    startDecoder(g, nr, 0);
    State st;
    InitState(st, 2);
    // A = 0x10000 - 0x5A1D = 0xA5E3 > Cx and >= 0x8000: MPS, nothing else.
    EXPECT_EQ(decodeDecision(g, nr, st, 0), 0);
    EXPECT_EQ(g.A, 0xA5E3u);
    EXPECT_EQ(st.index[0], 0);
    // A = 0x4BC6 < Qe: exchanged, the LPS; row 0 switches the MPS.
    EXPECT_EQ(decodeDecision(g, nr, st, 0), 1);
    EXPECT_EQ(st.mps[0], 1);
    EXPECT_EQ(st.index[0], 1);
    EXPECT_EQ(st.qe[0], 0x2586u);
    EXPECT_EQ(g.A, 0x978Cu);
    // A = 0x7206 >= Qe: the MPS (now 1) with its transition.
    EXPECT_EQ(decodeDecision(g, nr, st, 0), 1);
    EXPECT_EQ(st.index[0], 2);
    EXPECT_EQ(g.A, 0xE40Cu);
    EXPECT_EQ(st.mps[1], 0) << "other contexts untouched";
}

TEST(Decision, CodeAboveTheMpsIntervalGivesTheLps)
{
    const std::vector<uint8_t> s{0xFF, 0x00, 0xFF, 0x00, 0x00};
    const NR nr = view(s);
    Jg g{};
    startDecoder(g, nr, 0);
    EXPECT_EQ(g.C, 0xFFFF0000u);
    State st;
    InitState(st, 2);
    EXPECT_EQ(decodeDecision(g, nr, st, 0), 1);
    EXPECT_EQ(st.mps[0], 1);
    EXPECT_EQ(st.index[0], 1);
    EXPECT_EQ(g.A, 0xB43Au);  // Qe 0x5A1D renormalised once
    EXPECT_EQ(g.C >> 16, (0xFFFFu - 0xA5E3u) << 1);
}

TEST(Decision, RandomDecisionsSurviveEncodeAndDecode)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        const int bias = 1 + round * 5;  // from balanced to very skewed
        std::vector<std::pair<int, int>> seq;
        for (int i = 0; i < 3000; ++i)
            seq.emplace_back(static_cast<int>(rng() % 8), static_cast<int>(rng() % 100) < bias ? 1 : 0);
        wlttest::QmEncoder enc;
        wlttest::EncoderContexts ec;
        for (auto [k, bit] : seq)
            enc.encode(ec, k, bit);
        std::vector<uint8_t> stream = enc.finish();
        stream.push_back(0);  // never read
        const NR nr = view(stream);
        Jg g{};
        startDecoder(g, nr, 0);
        State st;
        InitState(st, 2);
        for (size_t i = 0; i < seq.size(); ++i)
            ASSERT_EQ(decodeDecision(g, nr, st, seq[i].first), seq[i].second) << "round " << round << " i " << i;
    }
}

TEST(Symbols, ThreeSymbolTreeWalksWithContextPerNode)
{
    wlttest::QmEncoder enc;
    wlttest::EncoderContexts ec;
    enc.encode(ec, 0, 1);                       // 1 -> symbol 2
    enc.encode(ec, 0, 0); enc.encode(ec, 1, 1); // 0,1 -> symbol 1
    enc.encode(ec, 0, 0); enc.encode(ec, 1, 0); // 0,0 -> symbol 0
    std::vector<uint8_t> stream = enc.finish();
    stream.push_back(0);
    const NR nr = view(stream);
    Jg g{};
    startDecoder(g, nr, 0);
    State st;
    InitState(st, 3);
    EXPECT_EQ(decodeSymbol(g, nr, st), 2);
    EXPECT_EQ(decodeSymbol(g, nr, st), 1);
    EXPECT_EQ(decodeSymbol(g, nr, st), 0);
}

TEST(Symbols, EightSymbolTreeUsesTheContextsOfItsPath)
{
    // 5 = 1,0,1: context 0, then 4 (after a 1), then 5.
    wlttest::QmEncoder enc;
    wlttest::EncoderContexts ec;
    enc.encode(ec, 0, 1);
    enc.encode(ec, 4, 0);
    enc.encode(ec, 5, 1);
    std::vector<uint8_t> stream = enc.finish();
    stream.push_back(0);
    const NR nr = view(stream);
    Jg g{};
    startDecoder(g, nr, 0);
    State st;
    InitState(st, 8);
    EXPECT_EQ(decodeSymbol(g, nr, st), 5);
    EXPECT_NE(st.index[4], 0) << "context 4 adapted";
    EXPECT_EQ(st.index[1], 0) << "context 1 not on the path";
}

TEST(Symbols, RandomSymbolsOfEveryAlphabetRoundTrip)
{
    std::mt19937 rng(3);
    const struct { int kind; const int (*tree)[8][4]; } alphabets[] = {
        {2, &kTables.vl2}, {3, &kTables.vl3}, {4, &kTables.vl4}, {8, &kTables.vl8}};
    for (const auto& a : alphabets) {
        std::vector<int> symbols(2000);
        for (int& s : symbols)
            s = static_cast<int>(rng() % a.kind);
        wlttest::QmEncoder enc;
        wlttest::EncoderContexts ec;
        for (int s : symbols)
            enc.encodeSymbol(ec, *a.tree, s);
        std::vector<uint8_t> stream = enc.finish();
        stream.push_back(0);
        const NR nr = view(stream);
        Jg g{};
        startDecoder(g, nr, 0);
        State st;
        InitState(st, a.kind);
        for (size_t i = 0; i < symbols.size(); ++i)
            ASSERT_EQ(decodeSymbol(g, nr, st), symbols[i]) << "alphabet " << a.kind << " i " << i;
    }
}

TEST(NBitValue, ZeroOrNegativeWidthIsMinusOneAndDecodesNothing)
{
    const std::vector<uint8_t> s{0x12, 0x34, 0x56, 0x78, 0x00};
    const NR nr = view(s);
    Jg g{};
    startDecoder(g, nr, 0);
    State st;
    InitState(st, 2);
    const Jg before = g;
    EXPECT_EQ(decodeBits(g, nr, st, 0), -1);
    EXPECT_EQ(decodeBits(g, nr, st, -3), -1);
    EXPECT_EQ(g.A, before.A);
    EXPECT_EQ(g.C, before.C);
    EXPECT_EQ(g.pos, before.pos);
    EXPECT_EQ(st.index[0], 0);
}

TEST(NBitValue, MostSignificantBitFirst)
{
    wlttest::QmEncoder enc;
    wlttest::EncoderContexts ec;
    enc.encode(ec, 0, 1);
    enc.encode(ec, 0, 0);
    enc.encode(ec, 0, 1);
    enc.encode(ec, 0, 1);
    std::vector<uint8_t> stream = enc.finish();
    stream.push_back(0);
    const NR nr = view(stream);
    Jg g{};
    startDecoder(g, nr, 0);
    State st;
    InitState(st, 2);
    EXPECT_EQ(decodeBits(g, nr, st, 4), 0b1011);
}
