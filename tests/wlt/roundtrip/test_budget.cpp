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

TEST(Budget, PictureCheckNoticesASingleMissingSymbol) {
    // The bit-exact comparison above is only worth something if one symbol
    // more or less changes the expected picture.
    const SyntheticPortrait s = makeSynthetic("face");
    EncodedWlt e = encodeWlt(s.picture, s.outline, s.background, 600);
    const Decoded d = decodeWithLibwlt(e.bytes);
    ASSERT_EQ(d.result, 1);
    const Portrait decoded = pictureOfBmp(d.bmp);
    ASSERT_EQ(firstDifference(expectedPicture(e, s.background), decoded), "");
    size_t last = e.keptSymbols[0];
    while (last > 0 && e.symbols[0].symbols[last - 1].position < 0) --last;
    ASSERT_GT(last, 0u);
    e.decodedCoefficients[0] = appliedCoefficients(e.symbols[0], last - 1);
    EXPECT_NE(firstDifference(expectedPicture(e, s.background), decoded), "");
}

TEST(Budget, BudgetsOutsideTheFormatAreRefused) {
    const SyntheticPortrait s = makeSynthetic("face");
    EXPECT_THROW(encodeWlt(s.picture, s.outline, s.background, 100), EncodeError);
    // And one whose luma stream would not fit the decoder's stream buffer.
    EXPECT_NO_THROW(encodeWlt(s.picture, s.outline, s.background, 1200));
    EXPECT_THROW(encodeWlt(s.picture, s.outline, s.background, 1400), EncodeError);
}
