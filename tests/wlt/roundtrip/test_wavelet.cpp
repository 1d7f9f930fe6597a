// The forward shape-adaptive 5/3 transform against the inverse the decoder
// applies: the lifting itself is lossless, only the band scaling rounds.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "SyntheticPortraits.h"
#include "Wavelet.h"

using namespace wltenc;

TEST(Wavelet, ScalingRoundsHalfAwayFromZero) {
    EXPECT_EQ(d2i(3, 2), 2);
    EXPECT_EQ(d2i(-3, 2), -2);
    EXPECT_EQ(d2i(1, 1), 1);
    EXPECT_EQ(d2i(-1, 1), -1);
    EXPECT_EQ(d2i(5, 1), 7);
}

TEST(Wavelet, UnscaledRunsAreReconstructedExactly) {
    // Runs of one and two samples carry no band scaling.
    std::mt19937 rng(5);
    for (int trial = 0; trial < 2000; ++trial) {
        int32_t x[16], mask[16] = {};
        for (int& v : x) v = static_cast<int>(rng() % 256);
        int p = static_cast<int>(rng() % 3);
        while (p < 16) {
            const int len = 1 + static_cast<int>(rng() % 2);
            for (int i = p; i < p + len && i < 16; ++i) mask[i] = 1;
            p += len + 1 + static_cast<int>(rng() % 3);
        }
        for (int mode : {1, 2}) {
            int32_t coef[16], split[16], back[16], rebuilt[16];
            forwardLine(x, mask, 16, mode, coef, split);
            inverseLine(coef, split, 16, mode, back, rebuilt);
            for (int i = 0; i < 16; ++i) {
                ASSERT_EQ(rebuilt[i], mask[i]) << "mask entry " << i;
                if (mask[i] == 1) ASSERT_EQ(back[i], x[i]) << "trial " << trial << " entry " << i;
                else ASSERT_EQ(back[i], 0);
            }
        }
    }
}

TEST(Wavelet, LongRunsComeBackWithinTheScalingRounding) {
    std::mt19937 rng(9);
    int worst = 0;
    for (int trial = 0; trial < 2000; ++trial) {
        int32_t x[32], mask[32] = {}, coef[32], split[32], back[32], rebuilt[32];
        for (int& v : x) v = static_cast<int>(rng() % 256);
        const int s = static_cast<int>(rng() % 8), len = 3 + static_cast<int>(rng() % 20);
        for (int i = s; i < s + len && i < 32; ++i) mask[i] = 1;
        forwardLine(x, mask, 32, 1, coef, split);
        inverseLine(coef, split, 32, 1, back, rebuilt);
        for (int i = 0; i < 32; ++i)
            if (mask[i] == 1) worst = std::max(worst, std::abs(back[i] - x[i]));
    }
    // High samples lose at most half a step of 1.4142 each, spread by the update.
    EXPECT_LE(worst, 2);
}

TEST(Wavelet, FourLevelsOverTheShapeReconstructThePicture) {
    for (const std::string& name : {"noise", "face", "border", "tiny", "dot"}) {
        const SyntheticPortrait s = makeSynthetic(name);
        const Plane mask = maskFromOutline(s.outline);
        const Plane y = toYCbCr(s.picture)[0];
        const Plane back = inverseTransform(forwardTransform(y, mask), maskPyramid(mask));
        double sumSq = 0;
        int count = 0, worst = 0;
        for (int r = 0; r < kPlaneRows; ++r)
            for (int c = 0; c < kPlaneCols; ++c) {
                if (at(mask, r, c) != 1) {
                    EXPECT_EQ(at(back, r, c), 0) << name << " outside value at " << r << "," << c;
                    continue;
                }
                const int e = at(back, r, c) - at(y, r, c);
                sumSq += e * e;
                worst = std::max(worst, std::abs(e));
                ++count;
            }
        ASSERT_GT(count, 0);
        EXPECT_LE(worst, 6) << name;
        EXPECT_LT(sumSq / count, 2.0) << name;
    }
}
