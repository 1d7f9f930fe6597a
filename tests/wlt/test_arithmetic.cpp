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

// Encoded decisions (context, bit) plus the spare last byte.
std::vector<uint8_t> encodeDecisions(const std::vector<std::pair<int, int>>& decisions)
{
    wlttest::QmEncoder enc;
    wlttest::EncoderContexts ec;
    for (auto [k, bit] : decisions)
        enc.encode(ec, k, bit);
    std::vector<uint8_t> s = enc.finish();
    s.push_back(0);
    return s;
}

} // namespace

TEST(ByteFetch, StuffingLastByteAndExhaustion)
{
    Jg g{};
    const std::vector<uint8_t> stuffed{0xFF, 0x00, 0xFF, 0x12, 0x41, 0x99};
    EXPECT_EQ(fetchByte(g, view(stuffed)), 0xFFu);  // 0xFF 0x00 feeds 0xFF
    EXPECT_EQ(g.pos, 2);
    EXPECT_EQ(fetchByte(g, view(stuffed)), 0x12u);  // 0xFF 0x12 feeds 0x12
    EXPECT_EQ(g.pos, 4);
    EXPECT_EQ(fetchByte(g, view(stuffed)), 0x41u);
    EXPECT_EQ(fetchByte(g, view(stuffed)), 0u) << "the last byte is never fed";
    EXPECT_EQ(g.pos, 6);
    EXPECT_FALSE(streamEnded(g, view(stuffed))) << "ended only once pos passes len";
    EXPECT_EQ(fetchByte(g, view(stuffed)), 0u);
    EXPECT_TRUE(streamEnded(g, view(stuffed)));

    const std::vector<uint8_t> ffLast{0x01, 0xFF};
    g.pos = 1;
    EXPECT_EQ(fetchByte(g, view(ffLast)), 0u) << "a final 0xFF is not paired with what follows";
    EXPECT_EQ(g.pos, 2);
}

TEST(DecoderStart, LoadsTwoBytesAndAShortColourStreamFeedsZeros)
{
    const std::vector<uint8_t> s{0x6F, 0x12, 0x34, 0x56, 0x00};
    Jg g{};
    startDecoder(g, view(s), 1);
    EXPECT_EQ(g.C, 0x12340000u);
    EXPECT_EQ(g.A, 0x10000u);
    EXPECT_EQ(g.CT, 0);
    EXPECT_EQ(g.pos, 3);
    // Plane byte, "o" and one byte, which is the last and never read.
    const std::vector<uint8_t> shortStream{0x07, 0x6F, 0xAB};
    startDecoder(g, view(shortStream), 2);
    EXPECT_EQ(g.C, 0u);
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
    ASSERT_EQ(g.C, 0xFFFF0000u);
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
        const int bias = 1 + round * 5;  // from very skewed to balanced
        std::vector<std::pair<int, int>> seq;
        for (int i = 0; i < 3000; ++i)
            seq.emplace_back(static_cast<int>(rng() % 8), static_cast<int>(rng() % 100) < bias ? 1 : 0);
        const std::vector<uint8_t> stream = encodeDecisions(seq);
        const NR nr = view(stream);
        Jg g{};
        startDecoder(g, nr, 0);
        State st;
        InitState(st, 2);
        for (size_t i = 0; i < seq.size(); ++i)
            ASSERT_EQ(decodeDecision(g, nr, st, seq[i].first), seq[i].second) << "round " << round << " i " << i;
    }
}

TEST(Symbols, ThreeSymbolTreeWalksWithOneContextPerNode)
{
    // 1 -> symbol 2; 0,1 -> symbol 1; 0,0 -> symbol 0; the second bit in context 1.
    const std::vector<uint8_t> stream = encodeDecisions({{0, 1}, {0, 0}, {1, 1}, {0, 0}, {1, 0}});
    const NR nr = view(stream);
    Jg g{};
    startDecoder(g, nr, 0);
    State st;
    InitState(st, 3);
    EXPECT_EQ(decodeSymbol(g, nr, st), 2);
    EXPECT_EQ(decodeSymbol(g, nr, st), 1);
    EXPECT_EQ(decodeSymbol(g, nr, st), 0);
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
        Jg g{}, gWritten{};
        startDecoder(g, nr, 0);
        startDecoder(gWritten, nr, 0);
        State st, stWritten;
        InitState(st, a.kind);
        InitState(stWritten, a.kind);
        for (size_t i = 0; i < symbols.size(); ++i) {
            ASSERT_EQ(decodeSymbol(g, nr, st), symbols[i]) << "alphabet " << a.kind << " i " << i;
            // The written-out walks give the same.
            const int written = a.kind == 2   ? decodeSymbol2(gWritten, nr, stWritten)
                                : a.kind == 3 ? decodeSymbol3(gWritten, nr, stWritten)
                                : a.kind == 4 ? decodeSymbol4(gWritten, nr, stWritten)
                                              : decodeSymbol8(gWritten, nr, stWritten);
            ASSERT_EQ(written, symbols[i]) << "written-out walk, alphabet " << a.kind << " i " << i;
        }
    }
}

TEST(NBitValue, MostSignificantBitFirstAndMinusOneForNoBits)
{
    const std::vector<uint8_t> stream = encodeDecisions({{0, 1}, {0, 0}, {0, 1}, {0, 1}});
    const NR nr = view(stream);
    Jg g{};
    startDecoder(g, nr, 0);
    State st;
    InitState(st, 2);
    const Jg before = g;
    EXPECT_EQ(decodeBits(g, nr, st, 0), -1);
    EXPECT_EQ(decodeBits(g, nr, st, -3), -1);
    EXPECT_EQ(g.A, before.A) << "nothing decoded";
    EXPECT_EQ(g.C, before.C);
    EXPECT_EQ(decodeBits(g, nr, st, 4), 0b1011);
}
