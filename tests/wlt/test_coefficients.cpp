// Bit-plane decoding: scan orders, zerotree and descendant tests, refinement
// and the magnitude-ordered list.

#include "CoefficientDecoder.h"
#include "MaskPyramid.h"
#include "WltBuilder.h"
#include "Tables.h"
#include "libwlt.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace wlt;

namespace {

enum { S0, S1, S2, S3, S4 };

using StreamWriter = wlttest::ColourStreamWriter;

struct Fixture {
    std::unique_ptr<Mask> n = std::make_unique<Mask>();
    std::unique_ptr<Mask> r = std::make_unique<Mask>();
    std::unique_ptr<ScanPlan> plan = std::make_unique<ScanPlan>();
    std::unique_ptr<ColourWork> w = std::make_unique<ColourWork>();
    void build()
    {
        buildMaskPyramid(*n, *r, kLevels);
        replan();
    }
    void replan() { buildScanPlan(*r, *plan); }
    int decode(const std::vector<uint8_t>& s)
    {
        return decodeColourStream(NR{static_cast<int>(s.size()), s.data()}, *r, *plan, *w);
    }
    int coef(int row, int col) const { return w->coefficient[at(row, col)]; }
};

} // namespace

TEST(ColourStream, TopPlaneZeroDecodesOnePlaneWithoutRefinement)
{
    Fixture f;
    (*f.n)[at(77, 45)] = 1;  // carried by coarse position (4, 2) only
    f.build();
    StreamWriter sw;
    sw.symbol(S0, 0);
    ASSERT_EQ(f.decode(sw.stream(0)), WLT_OK);
    EXPECT_EQ(f.coef(4, 2), 1);
    EXPECT_EQ(f.w->list.count, 1);
}

TEST(ColourStream, ZeroSymbolIsDecodedAgainAndRefinementAddsTheNextBit)
{
    Fixture f;
    (*f.n)[at(77, 45)] = 1;
    f.build();
    StreamWriter sw;
    sw.symbol(S0, 2);  // plane 2: still zero
    sw.symbol(S0, 1);  // plane 1: significant, negative: -2
    sw.symbol(S4, 1);  //          refined: -3
    // plane 0: nothing left to code (no refinement at plane 0)
    ASSERT_EQ(f.decode(sw.stream(2)), WLT_OK);
    EXPECT_EQ(f.coef(4, 2), -3);
}

TEST(SignificancePass, BandOneColumnByColumnOtherBandsRowByRow)
{
    // Three inside cells per band below two open parents; the symbols 0, 1,
    // 2 land on them in the band's scan order (not parent by parent): +fixM,
    // -fixM, and a zerotree root that stays 0.
    struct Case {
        int band;
        int cells[3][2];    // in expected scan order
        int parents[2][2];  // their parents at level 2, in scan order
    };
    const Case cases[] = {
        // Level 1 band 1: rows 0-63, columns 56-111, column by column.
        {1, {{1, 56}, {2, 56}, {0, 57}}, {{0, 28}, {1, 28}}},
        // Band 2: rows 64-127, columns 0-55, row by row.
        {2, {{64, 1}, {64, 2}, {65, 0}}, {{32, 0}, {32, 1}}},
        // Band 3: rows 64-127, columns 56-111.
        {3, {{64, 57}, {64, 58}, {65, 56}}, {{32, 28}, {32, 29}}},
    };
    for (const Case& c : cases) {
        Fixture f;
        f.build();  // empty shape; the band is set up by hand
        for (const auto& cell : c.cells)
            (*f.r)[at(cell[0], cell[1])] = 1;
        f.replan();
        ColourWork& w = *f.w;
        InitState(w.S[S2], 3);
        w.bp.fixM = 4;
        OpenList& parents = w.open[2][c.band];
        parents.count = 0;
        for (const auto& p : c.parents)
            parents.cells[parents.count++] = Cell{static_cast<uint8_t>(p[0]), static_cast<uint8_t>(p[1])};
        StreamWriter sw;
        for (int sym : {0, 1, 2})
            sw.symbol(S2, sym);
        const std::vector<uint8_t> s = sw.stream(3);
        const NR nr{static_cast<int>(s.size()), s.data()};
        Jg g;
        startDecoder(g, nr, 2);
        EXPECT_FALSE(significancePass(1, c.band, w, *f.plan, g, nr));
        EXPECT_EQ(f.coef(c.cells[0][0], c.cells[0][1]), 4) << "band " << c.band;
        EXPECT_EQ(f.coef(c.cells[1][0], c.cells[1][1]), -4) << "band " << c.band;
        EXPECT_EQ(f.coef(c.cells[2][0], c.cells[2][1]), 0) << "band " << c.band;
        EXPECT_EQ(w.significant[at(c.cells[2][0], c.cells[2][1])], 0) << "band " << c.band;
        EXPECT_EQ(w.list.count, 2);
    }
}

TEST(Zerotree, NearestAncestorWithAStateDecides)
{
    // One tree of band 1: (0, 7) at level 4, (0, 14) at 3, (0, 28) at 2 and
    // the inside cell (0, 56) at level 1. (0, 29) at level 2 is outside with
    // no inside descendant and must never be coded.
    struct Case {
        const char* what;
        bool level2Inside;
        bool level2Significant;
        std::vector<std::pair<int, int>> symbols;  // (set, symbol) in decoding order
        bool open[3];                              // children visited below levels 4, 3, 2
        int level1;                                // the coefficient at (0, 56)
    };
    const Case cases[] = {
        {"level 4 root", false, false, {{S3, 0}}, {false, false, false}, 0},
        {"level 2 root", false, false, {{S3, 1}, {S3, 1}, {S3, 0}}, {true, true, false}, 0},
        {"level 3 root reaches through level 2", false, false, {{S3, 1}, {S3, 0}}, {true, false, false}, 0},
        {"isolated zero", true, false, {{S3, 1}, {S3, 1}, {S1, 3}, {S2, 0}}, {true, true, true}, 8},
        {"inside root", true, false, {{S3, 1}, {S3, 1}, {S1, 2}}, {true, true, false}, 0},
        {"significant parent passes on its ancestors' verdict", true, true, {{S3, 1}, {S3, 1}, {S2, 1}},
         {true, true, true}, -8},
    };
    // Written after the case's symbols: decoded back only if the passes read
    // exactly those.
    const int sentinel[8] = {1, 0, 0, 1, 1, 1, 0, 1};
    for (const Case& c : cases) {
        Fixture f;
        f.build();
        Mask& r = *f.r;
        r[at(0, 56)] = 1;
        if (c.level2Inside)
            r[at(0, 28)] = 1;
        f.replan();
        ColourWork& w = *f.w;
        for (int set : {S1, S2, S3, S4})
            InitState(w.S[set], set == S1 ? 4 : set == S2 ? 3 : 2);
        w.bp.fixM = 8;
        if (c.level2Significant)
            w.significant[at(0, 28)] = 1;
        StreamWriter sw;
        for (auto [set, sym] : c.symbols)
            sw.symbol(set, sym);
        for (int bit : sentinel)
            sw.symbol(S4, bit);
        const std::vector<uint8_t> s = sw.stream(3);
        const NR nr{static_cast<int>(s.size()), s.data()};
        Jg g;
        startDecoder(g, nr, 2);
        for (int level = kLevels; level >= 1; --level)
            for (int band = 1; band <= 3; ++band)
                ASSERT_FALSE(significancePass(level, band, w, *f.plan, g, nr)) << c.what;
        const int cells[3][2] = {{0, 7}, {0, 14}, {0, 28}};
        for (int i = 0; i < 3; ++i) {
            const OpenList& open = w.open[kLevels - i][1];
            const bool listed = open.count == 1 && open.cells[0].row == cells[i][0] && open.cells[0].col == cells[i][1];
            EXPECT_EQ(listed, c.open[i]) << c.what << ", level " << kLevels - i;
            EXPECT_LE(open.count, 1) << c.what << ": only the tree's own cells are open";
        }
        EXPECT_EQ(w.coefficient[at(0, 56)], c.level1) << c.what;
        for (int bit : sentinel)
            ASSERT_EQ(decodeSymbol(g, nr, w.S[S4]), bit) << c.what << ": the passes read other symbols than these";
    }
}

TEST(ScanPlan, CodesInsideCellsAndTheOutsideNodesAboveThem)
{
    // One inside cell at level 1, (11, 63): its outside ancestors (5, 31),
    // (2, 15) and (1, 7) have an inside descendant and are coded; a marker
    // is not inside, so (5, 30) and its ancestors' other children are not.
    auto r = std::make_unique<Mask>();
    (*r)[at(11, 63)] = 1;
    (*r)[at(5, 30)] = kRowMarker;
    (*r)[at(2, 2)] = 1;  // coarsest band: not a detail position
    auto plan = std::make_unique<ScanPlan>();
    buildScanPlan(*r, *plan);
    std::vector<std::pair<int, int>> coded;
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            if (plan->kind[at(row, col)] != kNeverCoded)
                coded.emplace_back(row, col);
    const std::vector<std::pair<int, int>> expected{{1, 7}, {2, 15}, {5, 31}, {11, 63}};
    EXPECT_EQ(coded, expected);
    EXPECT_EQ(plan->kind[at(11, 63)], kInsideCell);
    EXPECT_EQ(plan->kind[at(5, 31)], kOutsideNode);
    EXPECT_EQ(plan->kind[at(1, 7)], kOutsideNode);
}

TEST(MagnitudeSort, NewlyRefinedEntriesLeadTheirRunInOrder)
{
    auto w = std::make_unique<ColourWork>();
    // Plane 2 of a stream with top plane 3: known bits 8 and 4, new bit 2.
    w->bp.fixL = 16;
    w->bp.fixM = 4;
    w->bp.fixS = 2;
    const int values[6] = {12, 14, 4, 6, -6, 4};  // runs {12, 14} and {4, 6, -6, 4}
    for (int i = 0; i < 6; ++i) {
        w->coefficient[at(0, i)] = values[i];
        w->list.append(0, i);
    }
    ASSERT_EQ(magnitudeSort(*w), WLT_OK);
    const int expectedCols[6] = {1, 0, 3, 4, 2, 5};
    ASSERT_EQ(w->list.count, 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(w->list.pairAt(i).col, expectedCols[i]) << i;
}

TEST(Refinement, FollowsListOrderAndKeepsSigns)
{
    auto w = std::make_unique<ColourWork>();
    w->bp.fixS = 2;
    const int values[3] = {4, -4, 8};
    for (int i = 0; i < 3; ++i) {
        w->coefficient[at(3, i)] = values[i];
        w->significant[at(3, i)] = 1;
    }
    // List order differs from position order.
    w->list.append(3, 2);
    w->list.append(3, 0);
    w->list.append(3, 1);
    InitState(w->S[S4], 2);
    StreamWriter sw;
    sw.symbol(S4, 1);  // (3, 2): 8 -> 10
    sw.symbol(S4, 0);  // (3, 0): stays 4
    sw.symbol(S4, 1);  // (3, 1): -4 -> -6
    const std::vector<uint8_t> s = sw.stream(3);
    const NR nr{static_cast<int>(s.size()), s.data()};
    Jg g;
    startDecoder(g, nr, 2);
    refinementPass(*w, g, nr);
    EXPECT_EQ(w->coefficient[at(3, 2)], 10);
    EXPECT_EQ(w->coefficient[at(3, 0)], 4);
    EXPECT_EQ(w->coefficient[at(3, 1)], -6);
}

TEST(Refinement, StopsWhenTheStreamEnds)
{
    auto w = std::make_unique<ColourWork>();
    w->bp.fixS = 1;
    for (int i = 0; i < 100; ++i) {
        w->coefficient[at(5, i)] = -2;
        w->significant[at(5, i)] = 1;
        w->list.append(5, i);
    }
    InitState(w->S[S4], 2);
    // Bytes that decode as ones for a while, then the stream runs out.
    const std::vector<uint8_t> s{3, 0x6F, 0xFF, 0x00, 0xFF, 0x00, 0x00};
    const NR nr{static_cast<int>(s.size()), s.data()};
    Jg g;
    startDecoder(g, nr, 2);
    refinementPass(*w, g, nr);
    ASSERT_TRUE(streamEnded(g, nr));
    int refined = 0;
    for (int i = 0; i < 100; ++i) {
        const int c = w->coefficient[at(5, i)];
        ASSERT_TRUE(c == -2 || c == -3) << c;
        refined += c == -3;
    }
    EXPECT_LT(refined, 100);
    EXPECT_EQ(w->coefficient[at(5, 99)], -2) << "entries after the end are left alone";
}
