// Outlines, the mask the decoder fills from them and the mask pyramid.
#include <gtest/gtest.h>

#include <algorithm>

#include "Shape.h"
#include "SyntheticPortraits.h"
#include "WltEncoder.h"

using namespace wltenc;

namespace {
int insideCount(const Plane& p) { return static_cast<int>(std::count(p.begin(), p.end(), 1)); }

std::vector<std::pair<int, int>> contourCells(const Outline& o) {
    std::vector<std::pair<int, int>> cells{{o.startX, o.startY}};
    int x = o.startX, y = o.startY;
    for (uint8_t d : o.directions) {
        x += kStepX[d];
        y += kStepY[d];
        cells.push_back({x, y});
    }
    return cells;
}
}  // namespace

TEST(OutlineMask, RectangleFillsExactlyItsCells) {
    for (bool clockwise : {true, false}) {
        const Outline o = clockwise ? Outline::fromPolygon({{10, 20}, {40, 20}, {40, 50}, {10, 50}})
                                    : Outline::fromPolygon({{10, 20}, {10, 50}, {40, 50}, {40, 20}});
        ASSERT_EQ(o.directions.size(), 120u);
        const Plane n = maskFromOutline(o);
        for (int r = 0; r < kPlaneRows; ++r)
            for (int c = 0; c < kPlaneCols; ++c)
                ASSERT_EQ(at(n, r, c), (r >= 20 && r <= 50 && c >= 10 && c <= 40) ? 1 : 0)
                    << "row " << r << " col " << c << (clockwise ? " clockwise" : " counter-clockwise");
    }
}

TEST(OutlineMask, HeadAndShouldersIsOneSolidRunPerRow) {
    const Outline o = headAndShoulders();
    ASSERT_TRUE(o.problem().empty()) << o.problem();
    const Plane n = maskFromOutline(o);
    std::vector<int> minX(kImageHeight, 1000), maxX(kImageHeight, -1);
    for (auto [x, y] : contourCells(o)) {
        minX[y] = std::min(minX[y], x);
        maxX[y] = std::max(maxX[y], x);
    }
    for (int r = 0; r < kPlaneRows; ++r)
        for (int c = 0; c < kPlaneCols; ++c) {
            const bool expected = r < kImageHeight && c >= minX[r] && c <= maxX[r];
            ASSERT_EQ(at(n, r, c), expected ? 1 : 0) << "row " << r << " col " << c;
        }
    EXPECT_EQ(minX[125], 0);
    EXPECT_EQ(maxX[125], 101);
}

TEST(OutlineMask, OutlineOfNoStepsIsItsStartPoint) {
    Outline o;
    o.startX = 7;
    o.startY = 3;
    const Plane n = maskFromOutline(o);
    EXPECT_EQ(insideCount(n), 1);
    EXPECT_EQ(at(n, 3, 7), 1);
}

TEST(OutlineMask, OutlinesTheFormatCannotCarryAreRefused) {
    Outline o = Outline::fromPolygon({{0, 0}, {101, 0}, {101, 125}, {0, 125}});
    EXPECT_TRUE(o.problem().empty());
    o.startX = 1;  // now it walks to column 102
    EXPECT_FALSE(o.problem().empty());
    Outline longOne;
    longOne.startX = 0;
    longOne.startY = 0;
    for (int i = 0; i < 1001; ++i) {
        longOne.directions.push_back(0);
        longOne.directions.push_back(4);
    }
    EXPECT_EQ(longOne.problem(), "outline longer than 2000 steps");
    // The encoder refuses them rather than writing a portrait no decoder takes;
    // in particular there is no empty shape: the start point is always inside.
    const SyntheticPortrait s = makeSynthetic("flat");
    EXPECT_THROW(encodeWlt(s.picture, o, s.background), EncodeError);
    EXPECT_THROW(encodeWlt(s.picture, longOne, s.background), EncodeError);
    Outline offPicture;
    offPicture.startX = 3;
    offPicture.startY = 126;
    EXPECT_THROW(encodeWlt(s.picture, offPicture, s.background), EncodeError);
}

TEST(MaskPyramid, LoneOddEntriesMoveToTheLowHalfLeavingAMarker) {
    // Line: lone at 3, run 5-6, lone at 9 next to a marker at 8, lone at 11.
    const int32_t in[12] = {0, 0, 0, 1, 0, 1, 1, 0, kRowMarker, 1, 0, 1};
    int32_t out[12];
    splitMaskLine(in, out, 12, kColumnMarker);
    // Even entries then odd ones; 3 and 11 move to low 1 and 5 leaving markers,
    // 9 stays in the high half.
    const int32_t expected[12] = {0, 1, 0, 1, kRowMarker, 1, 0, kColumnMarker, 1, 0, 1, kColumnMarker};
    for (int i = 0; i < 12; ++i) EXPECT_EQ(out[i], expected[i]) << i;
}

TEST(MaskPyramid, KeepsEveryInsideSampleAcrossTheLevels) {
    // Each level keeps one coefficient per inside sample it splits: the count
    // of inside entries never changes.
    for (const std::string& name : syntheticNames()) {
        const SyntheticPortrait s = makeSynthetic(name);
        const Plane n = maskFromOutline(s.outline);
        EXPECT_EQ(insideCount(maskPyramid(n)), insideCount(n)) << name;
    }
}
