// Irregular outlines stress the shape-adaptive parts: spikes one pixel wide
// give lone samples and markers at every level, and a start point anywhere on
// the outline exercises the fill's first-step rule. Decoder and encoder must
// agree on the mask and on every coefficient, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "RoundTrip.h"

using namespace wltenc;

namespace {
Outline randomStar(std::mt19937& rng) {
    const int cx = 10 + static_cast<int>(rng() % 82), cy = 10 + static_cast<int>(rng() % 106);
    const int vertices = 3 + static_cast<int>(rng() % 14);
    std::vector<std::pair<int, int>> v;
    for (int i = 0; i < vertices; ++i) {
        const double angle = 2 * M_PI * i / vertices, radius = 1 + rng() % 60;
        v.push_back({std::clamp(static_cast<int>(cx + radius * std::cos(angle)), 0, kImageWidth - 1),
                     std::clamp(static_cast<int>(cy + radius * std::sin(angle)), 0, kImageHeight - 1)});
    }
    std::rotate(v.begin(), v.begin() + rng() % v.size(), v.end());
    return Outline::fromPolygon(v);
}
}  // namespace

TEST(RandomShapes, DecoderAgreesOnMaskAndCoefficients) {
    std::mt19937 rng(2024);
    int lonelySamples = 0;
    for (int trial = 0; trial < 40; ++trial) {
        SyntheticPortrait s = makeSynthetic(trial % 2 ? "noise" : "face");
        s.outline = randomStar(rng);
        const int budget = 200 + static_cast<int>(rng() % 825);
        const EncodedWlt e = encodeWlt(s.picture, s.outline, s.background, budget);
        ASSERT_TRUE(e.exact) << "trial " << trial;
        const Decoded d = decodeWithLibwlt(e.bytes);
        ASSERT_EQ(d.result, 1) << "trial " << trial;
        ASSERT_EQ(firstDifference(expectedPicture(e, s.background), pictureOfBmp(d.bmp)), "")
            << "trial " << trial << " at " << budget << " bytes";
        const Plane pyramid = maskPyramid(e.mask);
        lonelySamples += static_cast<int>(std::count(pyramid.begin(), pyramid.end(), kRowMarker) +
                                          std::count(pyramid.begin(), pyramid.end(), kColumnMarker));
    }
    EXPECT_GT(lonelySamples, 100) << "the shapes did not exercise lone samples";
}

TEST(RandomShapes, FirstStepDownFromTheStartLeavesItsRowHollow) {
    // The fill counts the first downward step as a turn. Started on the top
    // vertex a diamond is solid; started on its right vertex going down, the
    // start row keeps only its two outline cells. The decoder must agree.
    const Outline fromTop = Outline::fromPolygon({{40, 30}, {60, 50}, {40, 70}, {20, 50}});
    const Outline fromRight = Outline::fromPolygon({{60, 50}, {40, 70}, {20, 50}, {40, 30}});
    auto rowCount = [](const Plane& n, int row) {
        int c = 0;
        for (int x = 0; x < kImageWidth; ++x) c += at(n, row, x);
        return c;
    };
    EXPECT_EQ(rowCount(maskFromOutline(fromTop), 50), 41);
    EXPECT_EQ(rowCount(maskFromOutline(fromRight), 50), 2);
    for (const Outline& o : {fromTop, fromRight}) {
        const SyntheticPortrait s = makeSynthetic("gradient");
        const EncodedWlt e = encodeWlt(s.picture, o, s.background);
        const Decoded d = decodeWithLibwlt(e.bytes);
        ASSERT_EQ(d.result, 1);
        EXPECT_EQ(firstDifference(expectedPicture(e, s.background), pictureOfBmp(d.bmp)), "");
    }
}
