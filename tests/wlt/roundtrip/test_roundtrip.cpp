// Synthetic portraits encoded at the card's 1024 bytes and decoded by the
// service's decoder: the bitmap's header, the background outside the shape,
// the exact picture the coded data describes, and its fidelity to the source.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>

#include "RoundTrip.h"

using namespace wltenc;

namespace {

// Lowest acceptable PSNR inside the shape at 1024 bytes, per picture. Flat
// colours are limited by the truncating colour conversion (about 50 dB);
// uniform noise cannot beat its mean by much (10.8 dB for the mean alone).
const std::map<std::string, double> kMinPsnr1024 = {
    {"flat", 48.0}, {"gradient", 38.0}, {"face", 30.0}, {"noise", 10.9},
    {"tiny", 50.0}, {"dot", 50.0}, {"border", 30.0},
};

bool nearShape(const Plane& mask, int x, int y) {
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int xx = x + dx, yy = y + dy;
            if (xx >= 0 && yy >= 0 && xx < kImageWidth && yy < kImageHeight && at(mask, yy, xx) > 0) return true;
        }
    return false;
}

class SyntheticRoundTrip : public ::testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(SyntheticRoundTrip, DecodesToThePictureItCodes) {
    const SyntheticPortrait s = makeSynthetic(GetParam());
    const EncodedWlt e = encodeWlt(s.picture, s.outline, s.background, kPortraitBytes);
    ASSERT_EQ(e.bytes.size(), 1024u);
    ASSERT_TRUE(e.exact);

    const Decoded d = decodeWithLibwlt(e.bytes);
    ASSERT_EQ(d.result, 1);
    ASSERT_EQ(d.outLen, 38862);
    const std::vector<uint8_t>& b = d.bmp;
    ASSERT_EQ(b.size(), 38862u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), 38862u);
    EXPECT_EQ(le32(b, 6), 0u);
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(le32(b, 18), 102u);
    EXPECT_EQ(le32(b, 22), 126u);
    EXPECT_EQ(b[26] | b[27] << 8, 1);
    EXPECT_EQ(b[28] | b[29] << 8, 24);
    for (int i = 30; i < 54; ++i) EXPECT_EQ(b[i], 0) << "header byte " << i;
    for (int j = 0; j < kImageHeight; ++j) {
        EXPECT_EQ(b[54 + j * 308 + 306], 0) << "row padding " << j;
        EXPECT_EQ(b[54 + j * 308 + 307], 0) << "row padding " << j;
    }

    const Portrait decoded = pictureOfBmp(b);
    // Outside the shape and away from it: the background colour, exactly.
    int background = 0;
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) {
            if (at(e.mask, y, x) > 0 || nearShape(e.mask, x, y)) continue;
            const Rgb c = decoded.pixel(x, y);
            ASSERT_TRUE(c.r == s.background.r && c.g == s.background.g && c.b == s.background.b)
                << "background at " << x << "," << y;
            ++background;
        }
    if (GetParam() != "border") EXPECT_GT(background, 1000);

    // Bit for bit the picture the kept coefficients describe.
    const Portrait expected = expectedPicture(e, s.background);
    EXPECT_EQ(firstDifference(expected, decoded), "");

    const double psnr = psnrInside(s.picture, decoded, e.mask);
    RecordProperty("psnr_1024", std::to_string(psnr));
    std::printf("%-9s PSNR inside the shape at 1024 bytes: %.2f dB\n", GetParam().c_str(), psnr);
    EXPECT_GE(psnr, kMinPsnr1024.at(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Pictures, SyntheticRoundTrip, ::testing::ValuesIn(syntheticNames()),
                         [](const auto& info) { return info.param; });
