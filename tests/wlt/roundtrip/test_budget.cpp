// Truncation: any budget must give a stream the decoder reads exactly as far
// as it goes, and more bytes must buy a better picture.
#include <gtest/gtest.h>

#include <cstdio>

#include "RoundTrip.h"

using namespace wltenc;

TEST(Budget, EveryTruncationDecodesExactlyAsCoded) {
    // Stream ends fall at every kind of symbol for some budget in this sweep.
    for (const std::string& name : {"face", "noise", "gradient"}) {
        const SyntheticPortrait s = makeSynthetic(name);
        for (int budget = 160; budget <= 1024; budget += 29) {
            const EncodedWlt e = encodeWlt(s.picture, s.outline, s.background, budget);
            ASSERT_TRUE(e.exact) << name << " at " << budget;
            ASSERT_EQ(e.bytes.size(), static_cast<size_t>(budget));
            const Decoded d = decodeWithLibwlt(e.bytes);
            ASSERT_EQ(d.result, 1) << name << " at " << budget;
            ASSERT_EQ(firstDifference(expectedPicture(e, s.background), pictureOfBmp(d.bmp)), "")
                << name << " at " << budget << " bytes";
        }
    }
}

TEST(Budget, PsnrRisesWithTheBudget) {
    // Noise cannot be compressed: more bytes still buy a little.
    const std::vector<std::pair<std::string, double>> pictures = {{"face", 1.5}, {"gradient", 1.5}, {"noise", 0.02}};
    for (const auto& [name, minGain] : pictures) {
        const SyntheticPortrait s = makeSynthetic(name);
        double previous = 0;
        for (int budget : {300, 500, 700, 1024}) {
            const EncodedWlt e = encodeWlt(s.picture, s.outline, s.background, budget);
            const Decoded d = decodeWithLibwlt(e.bytes);
            ASSERT_EQ(d.result, 1);
            const double psnr = psnrInside(s.picture, pictureOfBmp(d.bmp), e.mask);
            std::printf("%-9s %4d bytes: %.2f dB\n", name.c_str(), budget, psnr);
            EXPECT_GT(psnr, previous + minGain) << name << " at " << budget;
            previous = psnr;
        }
    }
}

TEST(Budget, TooSmallABudgetIsRefused) {
    const SyntheticPortrait s = makeSynthetic("face");
    EXPECT_THROW(encodeWlt(s.picture, s.outline, s.background, 100), EncodeError);
}
