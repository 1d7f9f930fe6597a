// Shape stream, outline fill and the mask pyramid.

#include "MaskPyramid.h"
#include "ShapeDecoder.h"
#include "WltBuilder.h"
#include "libwlt.h"

#include <gtest/gtest.h>

#include <random>

#include <algorithm>
#include <vector>

using namespace wlt;
using wlttest::ShapeParams;

namespace {

int decodeShape(const ShapeParams& shape, uint8_t fix[3], Contour& c)
{
    const std::vector<uint8_t> s = wlttest::encodeShapeStream(shape);
    return decodeShapeStream(NR{static_cast<int>(s.size()), s.data()}, fix, c);
}

int insideCount(const Mask& n)
{
    int count = 0;
    for (int v : n)
        count += v;
    return count;
}

Contour contourOf(int startX, int startY, const std::vector<int>& dirs)
{
    Contour c;
    c.startX = startX;
    c.startY = startY;
    c.count = static_cast<int>(dirs.size());
    for (size_t i = 0; i < dirs.size(); ++i)
        c.dir[i] = static_cast<uint8_t>(dirs[i]);
    return c;
}

} // namespace

TEST(ShapeStream, CarriesBackgroundStartAndDirections)
{
    ShapeParams shape;
    shape.background[0] = 1;
    shape.background[1] = 128;
    shape.background[2] = 255;
    shape.startX = 4095;
    shape.startY = 7;
    // Every turn of the chain code, including the wrap-around both ways.
    shape.directions = {7, 0, 1, 2, 3, 4, 5, 6, 7, 3, 7, 4, 0, 6, 1, 5};
    shape.count = static_cast<int>(shape.directions.size());
    uint8_t fix[3] = {};
    Contour c;
    ASSERT_EQ(decodeShape(shape, fix, c), WLT_OK);
    EXPECT_EQ(fix[0], 1);
    EXPECT_EQ(fix[1], 128);
    EXPECT_EQ(fix[2], 255);
    EXPECT_EQ(c.startX, 4095);
    EXPECT_EQ(c.startY, 7);
    ASSERT_EQ(c.count, shape.count);
    for (int i = 0; i < c.count; ++i)
        EXPECT_EQ(c.dir[i], shape.directions[i]) << i;
}

TEST(ShapeStream, FlagsPresenceAndCountAreChecked)
{
    uint8_t fix[3];
    Contour c;
    ShapeParams leading;
    leading.leadingFlag = 1;
    EXPECT_EQ(decodeShape(leading, fix, c), WLT_ERR_SHAPE_FLAG);
    for (int present : {0, 2}) {
        ShapeParams absent;
        absent.shapePresent = present;
        EXPECT_EQ(decodeShape(absent, fix, c), WLT_ERR_SHAPE_ABSENT);
    }
    ShapeParams trailing;
    trailing.directions = {0, 0, 2};
    trailing.count = 3;
    trailing.trailingFlag = 1;
    EXPECT_EQ(decodeShape(trailing, fix, c), WLT_ERR_OUTLINE_FLAG);

    // The contour holds 2000 codes: more are rejected before any is stored.
    ShapeParams atCapacity;
    atCapacity.directions.assign(2000, 0);
    std::fill(atCapacity.directions.begin() + 1000, atCapacity.directions.end(), 4);
    atCapacity.count = 2000;
    ASSERT_EQ(decodeShape(atCapacity, fix, c), WLT_OK);
    EXPECT_EQ(c.dir[1999], 4);
    for (int count : {2001, 65535}) {
        ShapeParams tooLong;
        tooLong.count = count;
        tooLong.directions = {0};
        EXPECT_EQ(decodeShape(tooLong, fix, c), WLT_ERR_OUTLINE_TOO_LONG);
    }
}

TEST(ShapeStream, FirstDirectionIsDecodedEvenForCountZero)
{
    // The direction symbol sits between the start and the trailing flag; if
    // it were skipped the flag would be read from the symbol's bits.
    uint8_t fix[3];
    Contour c;
    ShapeParams shape;
    shape.count = 0;
    shape.directions = {5};
    ASSERT_EQ(decodeShape(shape, fix, c), WLT_OK);
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(c.dir[0], 5);
}

TEST(Outline, PointAndStraightLineAreOnlyTheirOwnCells)
{
    Contour point = contourOf(30, 40, {});
    Mask n;
    ASSERT_EQ(outlineToMask(point, n), WLT_OK);
    EXPECT_EQ(insideCount(n), 1);
    EXPECT_EQ(n[at(40, 30)], 1);

    Contour line = contourOf(10, 20, std::vector<int>(15, 0));  // horizontal: toggles nothing
    ASSERT_EQ(outlineToMask(line, n), WLT_OK);
    EXPECT_EQ(insideCount(n), 16);
    for (int col = 10; col <= 25; ++col)
        EXPECT_EQ(n[at(20, col)], 1);
}

TEST(Outline, RectangleIsFilledExactly)
{
    Contour c = contourOf(5, 8, wlttest::rectangleOutline(12, 9));
    Mask n;
    ASSERT_EQ(outlineToMask(c, n), WLT_OK);
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col) {
            const bool inside = row >= 8 && row < 17 && col >= 5 && col < 17;
            ASSERT_EQ(n[at(row, col)], inside ? 1 : 0) << row << "," << col;
        }
    EXPECT_EQ(c.minX, 5);
    EXPECT_EQ(c.maxX, 16);
    EXPECT_EQ(c.minY, 8);
    EXPECT_EQ(c.maxY, 16);
}

TEST(Outline, DiamondWithDiagonalStepsIsFilled)
{
    // A diamond of radius 3 around (20, 20), walked right-down, left-down,
    // left-up, right-up from its top.
    std::vector<int> dirs;
    for (int d : {1, 3, 5, 7})
        dirs.insert(dirs.end(), 3, d);
    Contour c = contourOf(20, 17, dirs);
    Mask n;
    ASSERT_EQ(outlineToMask(c, n), WLT_OK);
    for (int row = 14; row <= 26; ++row)
        for (int col = 14; col <= 26; ++col) {
            const bool inside = std::abs(row - 20) + std::abs(col - 20) <= 3;
            EXPECT_EQ(n[at(row, col)], inside ? 1 : 0) << row << "," << col;
        }
    EXPECT_EQ(insideCount(n), 25);
}

TEST(Outline, BoxTouchingThePictureEdgesFits)
{
    Contour c = contourOf(0, 0, wlttest::rectangleOutline(kWidth, kHeight));
    Mask n;
    ASSERT_EQ(outlineToMask(c, n), WLT_OK);
    EXPECT_EQ(insideCount(n), kWidth * kHeight);
}

TEST(Outline, OutlinesOutsideThePictureAreRejected)
{
    Mask n;
    n.fill(7);
    Contour right = contourOf(101, 10, {0});          // reaches column 102
    EXPECT_EQ(outlineToMask(right, n), WLT_ERR_OUTLINE_OUTSIDE);
    Contour below = contourOf(10, 125, {2});          // reaches row 126
    EXPECT_EQ(outlineToMask(below, n), WLT_ERR_OUTLINE_OUTSIDE);
    Contour left = contourOf(0, 10, {4});             // column -1
    EXPECT_EQ(outlineToMask(left, n), WLT_ERR_OUTLINE_OUTSIDE);
    Contour above = contourOf(10, 0, {6});            // row -1
    EXPECT_EQ(outlineToMask(above, n), WLT_ERR_OUTLINE_OUTSIDE);
    Contour farStart = contourOf(4095, 4095, {});     // start itself outside
    EXPECT_EQ(outlineToMask(farStart, n), WLT_ERR_OUTLINE_OUTSIDE);
    Contour tooWide = contourOf(0, 10, std::vector<int>(102, 0));  // box 103 wide
    EXPECT_EQ(outlineToMask(tooWide, n), WLT_ERR_OUTLINE_OUTSIDE);
    EXPECT_EQ(n[0], 7) << "the mask is not touched on rejection";
}

TEST(MaskPyramid, LineSplitsMoveOnlyLoneOddEntries)
{
    struct Case {
        std::vector<int> line;
        int mode;
        std::vector<int> split;
    };
    const Case cases[] = {
        {{0, 0, 0, 1, 0, 0, 0, 0}, 1, {0, 1, 0, 0, 0, kRowMarker, 0, 0}},  // lone odd: moved, marked
        {{0, 0, 0, 1, 0, 0, 0, 0}, 2, {0, 1, 0, 0, 0, kColumnMarker, 0, 0}},
        {{0, 1, 1, 1, 0, 0, 1, 1}, 2, {0, 1, 0, 1, 1, 1, 0, 1}},           // longer runs: plain split
        {{0, 0, 1, 0, 0, 0}, 1, {0, 1, 0, 0, 0, 0}},                       // lone even: already low
        {{kRowMarker, 1, 0, 0}, 2, {kRowMarker, 0, 1, 0}},                 // beside a marker: stays
    };
    for (const Case& c : cases) {
        std::vector<int> line = c.line;
        splitMaskLine(line.data(), 1, static_cast<int>(line.size()), c.mode);
        EXPECT_EQ(line, c.split);
    }
    Plane<int> m{};
    m[at(1, 3)] = 1;  // a column is split along its stride
    splitMaskLine(&m[at(0, 3)], kCols, kRows, 2);
    EXPECT_EQ(m[at(0, 3)], 1);
    EXPECT_EQ(m[at(64, 3)], kColumnMarker);
    EXPECT_EQ(m[at(1, 3)], 0);
}

TEST(MaskPyramid, SinglePixelEndsInTheCoarsestBand)
{
    Mask n{};
    n[at(77, 45)] = 1;
    Mask r;
    buildMaskPyramid(n, r, kLevels);
    int coarse = 0;
    for (int row = 0; row < 8; ++row)
        for (int col = 0; col < 7; ++col)
            coarse += r[at(row, col)] == 1;
    EXPECT_EQ(coarse, 1);
    EXPECT_EQ(r[at(77 >> 4, 45 >> 4)], 1);
    int ones = 0;
    for (int v : r)
        ones += v == 1;
    EXPECT_EQ(ones, 1) << "a lone pixel is carried only by the coarsest band";
}

TEST(MaskPyramid, AgreesWithLineByLineSplits)
{
    // Random masks, from sparse (lone entries everywhere) to nearly full.
    std::mt19937 rng(5);
    for (int density = 5; density < 100; density += 15) {
        Mask n{};
        for (int row = 0; row < kHeight; ++row)
            for (int col = 0; col < kWidth; ++col)
                n[at(row, col)] = static_cast<int>(rng() % 100) < density;
        Plane<int> expected;  // the line splits work on whole numbers
        std::copy(n.begin(), n.end(), expected.begin());
        for (int level = 1; level <= kLevels; ++level) {
            const int h = kRows >> (level - 1);
            const int w = kCols >> (level - 1);
            for (int row = 0; row < h; ++row)
                splitMaskLine(&expected[at(row, 0)], 1, w, 1);
            for (int col = 0; col < w; ++col)
                splitMaskLine(&expected[at(0, col)], kCols, h, 2);
        }
        Mask r;
        buildMaskPyramid(n, r, kLevels);
        Plane<int> pyramid;
        std::copy(r.begin(), r.end(), pyramid.begin());
        EXPECT_EQ(pyramid, expected) << "density " << density;
    }
}
