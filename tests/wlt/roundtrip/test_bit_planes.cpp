// The bit-plane coder must carry every coefficient down to plane 0, and spend
// symbols only where the decoder asks for them.
#include <gtest/gtest.h>

#include <random>

#include "BitPlaneCoder.h"
#include "SyntheticPortraits.h"
#include "Wavelet.h"

using namespace wltenc;

namespace {
Plane randomCoefficients(const Plane& pyramid, unsigned seed, int range) {
    std::mt19937 rng(seed);
    Plane c = makePlane();
    for (size_t i = 0; i < c.size(); ++i)
        if (pyramid[i] == 1) c[i] = static_cast<int>(rng() % (2 * range + 1)) - range;
    return c;
}
}  // namespace

TEST(BitPlanes, AllSymbolsRebuildEveryInsideCoefficient) {
    for (const std::string& name : {"face", "tiny", "border"}) {
        const Plane pyramid = maskPyramid(maskFromOutline(makeSynthetic(name).outline));
        for (unsigned seed = 1; seed <= 3; ++seed) {
            const Plane c = randomCoefficients(pyramid, seed, seed == 1 ? 3 : 4000);
            const ColourSymbols coded = codeBitPlanes(c, pyramid);
            const Plane back = appliedCoefficients(coded, coded.symbols.size());
            for (size_t i = 0; i < c.size(); ++i) ASSERT_EQ(back[i], pyramid[i] == 1 ? c[i] : 0) << name << " " << i;
        }
    }
}

TEST(BitPlanes, TopPlaneIsTheHighestMagnitudeBit) {
    const Plane pyramid = maskPyramid(maskFromOutline(headAndShoulders()));
    Plane c = makePlane();
    int inside = -1;
    for (size_t i = 0; i < c.size() && inside < 0; ++i)
        if (pyramid[i] == 1) inside = static_cast<int>(i);
    c[inside] = -1500;
    const ColourSymbols coded = codeBitPlanes(c, pyramid);
    EXPECT_EQ(coded.top, 10);
    EXPECT_EQ(appliedCoefficients(coded, coded.symbols.size())[inside], -1500);
}

TEST(BitPlanes, ZeroPlaneCostsOneSymbolPerCoarseSampleAndBandRoot) {
    // All-zero coefficients: every plane is coarse "zero" symbols plus zerotree
    // roots at level 4; nothing below level 4 and no refinement is coded.
    const Plane pyramid = maskPyramid(maskFromOutline(headAndShoulders()));
    const ColourSymbols coded = codeBitPlanes(makePlane(), pyramid);
    EXPECT_EQ(coded.top, 0);
    int coarse = 0, level4 = 0;
    for (int r = 0; r < 16; ++r)
        for (int col = 0; col < 14; ++col)
            if (at(pyramid, r, col) == 1) (r < 8 && col < 7 ? coarse : level4)++;
    int outsideRoots = 0;
    for (const CodedSymbol& s : coded.symbols) outsideRoots += s.set == OutsideSet;
    EXPECT_EQ(coded.symbols.size(), static_cast<size_t>(coarse + level4 + outsideRoots));
    for (const CodedSymbol& s : coded.symbols) {
        EXPECT_NE(s.set, FineSet);
        EXPECT_NE(s.set, RefineSet);
        if (s.set == DetailSet) EXPECT_EQ(s.value, 2);
    }
}
