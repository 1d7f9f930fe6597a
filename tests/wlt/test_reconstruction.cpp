// Inverse transform, colour conversion, background smoothing, bitmap layout.

#include "InverseTransform.h"
#include "MaskPyramid.h"
#include "PictureOutput.h"
#include "libwlt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

using namespace wlt;

namespace {

// The decoder's reconstruction of up to three planes at once: the masked copy
// of every position, the plan recorded while the pyramid of n is built.
void reconstruct(const std::vector<const Plane<int>*>& coef, const Mask& n, Plane<uint8_t>* out)
{
    auto pyramid = std::make_unique<Mask>();
    auto plan = std::make_unique<InversePlan>();
    buildMaskPyramid(n, *pyramid, kLevels, plan.get());
    std::vector<Cell> all;
    for (int row = 0; row < kRows; ++row)
        for (int col = 0; col < kCols; ++col)
            all.push_back(Cell{static_cast<uint8_t>(row), static_cast<uint8_t>(col)});
    auto c = std::make_unique<ColourCoefficients>();
    clearCoefficients(*c);
    for (size_t i = 0; i < coef.size(); ++i)
        addCoefficients(*c, static_cast<int>(i), *coef[i], all.data(), static_cast<int>(all.size()), *pyramid);
    auto planes = std::make_unique<Plane<uint8_t>[]>(3);
    auto scratch = std::make_unique<ReconstructionScratch>();
    reconstructPlanes(*c, *plan, planes.get(), *scratch);
    for (size_t i = 0; i < coef.size(); ++i)
        out[i] = planes[i];
}

void reconstruct(const Plane<int>& coef, const Mask& n, Plane<uint8_t>& out) { reconstruct({&coef}, n, &out); }

} // namespace

TEST(D2i, ScalesAndRoundsHalfAwayFromZero)
{
    EXPECT_EQ(d2i(3, 2), 2);
    EXPECT_EQ(d2i(-3, 2), -2);
    EXPECT_EQ(d2i(1, 1), 1);
    EXPECT_EQ(d2i(5, 1), 7);     // 7.071
    EXPECT_EQ(d2i(-5, 1), -7);
    EXPECT_EQ(d2i(10, 2), 7);    // 7.071
    EXPECT_EQ(d2i(-2, 1), -3);   // -2.8284 rounds away from zero
    EXPECT_EQ(d2i(0, 1), 0);
}

TEST(InverseLine, LoneSampleAtAnOddPositionComesFromTheLowBand)
{
    // Forward split of a lone inside entry at position 3.
    int mask[8] = {0, 0, 0, 1, 0, 0, 0, 0};
    splitMaskLine(mask, 1, 8, 1);
    const int64_t coef[8] = {0, 10, 0, 0, 0, 0, 0, 0};
    int64_t out[8];
    int maskOut[8];
    inverseLine(1, 8, coef, mask, out, maskOut);
    const int expectedMask[8] = {0, 0, 0, 1, 0, 0, 0, 0};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(maskOut[i], expectedMask[i]) << i;
        EXPECT_EQ(out[i], i == 3 ? 7 : 0) << i;  // 10 x 0.7071
    }
}

TEST(InverseLine, PairIsNotScaledAndFloorsTowardsMinusInfinity)
{
    const int mask[4] = {1, 0, 1, 0};  // the split of {1, 1, 0, 0}
    int64_t out[4];
    int maskOut[4];
    const int64_t positive[4] = {10, 0, 5, 0};
    inverseLine(2, 4, positive, mask, out, maskOut);
    EXPECT_EQ(out[0], 7);   // 10 - floor(6 / 2)
    EXPECT_EQ(out[1], 12);  // 5 + 7
    EXPECT_EQ(out[2], 0);
    const int64_t negative[4] = {-10, 0, -4, 0};
    inverseLine(2, 4, negative, mask, out, maskOut);
    EXPECT_EQ(out[0], -8);  // -10 - floor(-6 / 4) = -10 + 2
    EXPECT_EQ(out[1], -12);
}

TEST(InverseLine, LongerRunIsScaledThenLifted)
{
    const int mask[4] = {1, 1, 1, 1};
    const int64_t coef[4] = {10, 20, 4, -6};  // lows 10, 20; highs 4, -6
    int64_t out[4];
    int maskOut[4];
    inverseLine(1, 4, coef, mask, out, maskOut);
    // Scaled: lows 7, 14; highs 6, -8.
    EXPECT_EQ(out[0], 4);   // 7 - floor((6 + 6 + 2) / 4)
    EXPECT_EQ(out[1], 15);  // 6 + floor((4 + 14) / 2)
    EXPECT_EQ(out[2], 14);  // 14 - floor((6 - 8 + 2) / 4)
    EXPECT_EQ(out[3], 6);   // -8 + 14
}

TEST(InverseLine, RunStartingAtAnOddPositionTakesItsSamplesFromBothHalves)
{
    int mask[8] = {0, 0, 0, 1, 1, 1, 0, 0};
    splitMaskLine(mask, 1, 8, 1);
    int64_t coef[8] = {};
    coef[2] = 20;  // low sample of position 4
    coef[5] = 4;   // high sample of position 3
    coef[6] = -6;  // high sample of position 5
    int64_t out[8];
    int maskOut[8];
    inverseLine(1, 8, coef, mask, out, maskOut);
    const int64_t expected[8] = {0, 0, 0, 20, 14, 6, 0, 0};
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(out[i], expected[i]) << i;
}

TEST(InverseLevels, RebuildTheMaskAndThePlanAgreesWithLineByLine)
{
    // Random shapes and three planes of coefficients: levels inverted line by
    // line in 64 bits give back the shape, and the decoder's reconstruction
    // along the recorded runs gives the same values in every plane.
    std::mt19937 rng(11);
    // The last rounds carry, with alternating signs, the largest magnitudes
    // the 32-bit lanes take and the largest a stream can describe: sums that
    // would overflow 32 bits.
    for (int round = 0; round < 7; ++round) {
        const bool nearLanesLimit = round == 5;
        const bool extreme = round == 6;
        auto n = std::make_unique<Mask>();
        for (int row = 0; row < kHeight; ++row)
            for (int col = 0; col < kWidth; ++col)
                (*n)[at(row, col)] = round >= 5 || (rng() % 100) < 20 * (round + 1) ? 1 : 0;
        auto pyramid = std::make_unique<Mask>();
        buildMaskPyramid(*n, *pyramid, kLevels);
        std::vector<std::unique_ptr<Plane<int>>> coef;
        for (int plane = 0; plane < 3; ++plane) {
            coef.push_back(std::make_unique<Plane<int>>());
            for (int i = 0; i < kCells; ++i) {
                const int sign = ((i + plane) & 1) ? 1 : -1;
                const int v = extreme          ? sign * 2147483647
                              : nearLanesLimit ? sign * static_cast<int>(kLanesMagnitudeLimit - 1 - rng() % 2)
                                               : static_cast<int>(rng() % 801) - 400;
                (*coef[plane])[i] = (*pyramid)[i] == 1 ? v : 0;
            }
        }

        auto out = std::make_unique<Plane<uint8_t>[]>(3);
        reconstruct({coef[0].get(), coef[1].get(), coef[2].get()}, *n, out.get());
        for (int plane = 0; plane < 3; ++plane) {
            // The line-by-line inverse works on whole numbers.
            auto mask = std::make_unique<Plane<int>>();
            std::copy(pyramid->begin(), pyramid->end(), mask->begin());
            auto shape = std::make_unique<Plane<int>>();
            std::copy(n->begin(), n->end(), shape->begin());
            auto values = std::make_unique<Plane<int64_t>>();
            for (int i = 0; i < kCells; ++i)
                (*values)[i] = (*coef[plane])[i];
            for (int level = kLevels; level >= 1; --level)
                inverseLevel(*mask, *values, level);
            ASSERT_EQ(*mask, *shape) << "round " << round;
            for (int row = 0; row < kHeight; ++row)
                for (int col = 0; col < kWidth; ++col) {
                    const int idx = at(row, col);
                    const int expected = (*n)[idx] ? static_cast<int>(std::clamp<int64_t>((*values)[idx], 0, 255)) : 0;
                    ASSERT_EQ(out[plane][idx], expected)
                        << "round " << round << ", plane " << plane << " at " << row << "," << col;
                }
        }
    }
}

TEST(ReconstructPlane, LonePixelIsTheCoarseCoefficientScaledEightTimes)
{
    auto n = std::make_unique<Mask>();
    (*n)[at(77, 45)] = 1;
    auto coef = std::make_unique<Plane<int>>();
    (*coef)[at(4, 2)] = 1600;
    (*coef)[at(0, 0)] = 999;  // outside the shape: masked away
    auto out = std::make_unique<Plane<uint8_t>>();
    reconstruct(*coef, *n, *out);
    // 1600 -> 1131 -> 800 -> 566 -> 400 -> 283 -> 200 -> 141 -> 100
    EXPECT_EQ((*out)[at(77, 45)], 100);
    int others = 0;
    for (int i = 0; i < kCells; ++i)
        others += i != at(77, 45) && (*out)[i] != 0;
    EXPECT_EQ(others, 0);
}

TEST(ReconstructPlane, ValuesAreClampedToBytes)
{
    auto n = std::make_unique<Mask>();
    (*n)[at(77, 45)] = 1;
    (*n)[at(10, 10)] = 1;
    auto coef = std::make_unique<Plane<int>>();
    (*coef)[at(4, 2)] = (1 << 30) + ((1 << 30) - 1);  // the largest a stream can carry
    (*coef)[at(10 >> 4, 10 >> 4)] = -((1 << 30) + ((1 << 30) - 1));
    auto out = std::make_unique<Plane<uint8_t>>();
    reconstruct(*coef, *n, *out);
    EXPECT_EQ((*out)[at(77, 45)], 255);
    EXPECT_EQ((*out)[at(10, 10)], 0);
}

TEST(ColourConversion, GreyStaysGreyAndResultsTruncateThenClamp)
{
    uint8_t y[kWidth], cb[kWidth], cr[kWidth], bgr[kWidth * 3];
    for (int i = 0; i < kWidth; ++i) {
        y[i] = 128;
        cb[i] = 128;
        cr[i] = 128;
    }
    y[1] = 100; cb[1] = 200; cr[1] = 50;
    y[2] = 10;  cb[2] = 128; cr[2] = 127;
    y[3] = 250; cb[3] = 255; cr[3] = 255;
    convertRowToBgr(y, cb, cr, bgr);
    EXPECT_EQ(bgr[0], 128); EXPECT_EQ(bgr[1], 128); EXPECT_EQ(bgr[2], 128);
    EXPECT_EQ(bgr[5], 0);    // red -9.356 clamps to 0
    EXPECT_EQ(bgr[4], 130);  // green 130.925 truncates
    EXPECT_EQ(bgr[3], 227);  // blue 227.584
    EXPECT_EQ(bgr[8], 8);    // red 8.598
    EXPECT_EQ(bgr[7], 10);   // green 10.714
    EXPECT_EQ(bgr[11], 255); // red 428.05 clamps
    EXPECT_EQ(bgr[10], 115); // green 250 - 43.706 - 90.696 = 115.598
}

TEST(ColourConversion, EveryColourConvertsAsInDoubleArithmetic)
{
    // Every (Y, Cb, Cr) at every kind of position in a row, against the
    // formulas evaluated one pixel at a time.
    auto toByte = [](double v) { return static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255)); };
    uint8_t y[kWidth], cb[kWidth], cr[kWidth], bgr[kWidth * 3];
    for (int Y = 0; Y < 256; ++Y)
        for (int Cb = 0; Cb < 256; ++Cb)
            for (int first = 0; first < 256; first += kWidth) {
                for (int i = 0; i < kWidth; ++i) {
                    y[i] = static_cast<uint8_t>(Y);
                    cb[i] = static_cast<uint8_t>(Cb);
                    cr[i] = static_cast<uint8_t>(first + i + Y);
                }
                convertRowToBgr(y, cb, cr, bgr);
                for (int i = 0; i < kWidth; ++i) {
                    const double dy = y[i], dcb = cb[i] - 128.0, dcr = cr[i] - 128.0;
                    ASSERT_EQ(bgr[3 * i + 2], toByte(dy + 1.402 * dcr)) << Y << " " << Cb << " " << int{cr[i]};
                    ASSERT_EQ(bgr[3 * i + 1], toByte(dy - 0.34414 * dcb - 0.71414 * dcr)) << Y << " " << Cb << " " << int{cr[i]};
                    ASSERT_EQ(bgr[3 * i], toByte(dy + 1.772 * dcb)) << Y << " " << Cb << " " << int{cr[i]};
                }
            }
}

TEST(Background, PaintsOutsideAndSmoothsTheRingInScanOrder)
{
    auto n = std::make_unique<Mask>();
    (*n)[at(10, 10)] = 1;
    auto Y = std::make_unique<Plane<uint8_t>>();
    auto Cb = std::make_unique<Plane<uint8_t>>();
    auto Cr = std::make_unique<Plane<uint8_t>>();
    Y->fill(0); Cb->fill(128); Cr->fill(128);
    (*Y)[at(10, 10)] = 180;
    auto bgr = std::make_unique<BgrImage>();
    auto px = [&](int row, int col, int ch) { return (*bgr)[row * kBgrStride + col * 3 + ch]; };
    const uint8_t redGreenBlue[3] = {90, 91, 92};
    composePicture(*Y, *Cb, *Cr, *n, redGreenBlue, *bgr);
    EXPECT_EQ(px(50, 50, 0), 92) << "blue first, as the bitmap stores it";
    EXPECT_EQ(px(50, 50, 1), 91);
    EXPECT_EQ(px(50, 50, 2), 90);

    const uint8_t fix[3] = {90, 90, 90};
    composePicture(*Y, *Cb, *Cr, *n, fix, *bgr);
    EXPECT_EQ(px(10, 10, 0), 180);
    EXPECT_EQ(px(0, 0, 0), 90);
    EXPECT_EQ(px(50, 50, 2), 90);

    smoothEdges(*n, *bgr);
    EXPECT_EQ(px(9, 9, 0), 100);   // (8 x 90 + 180) / 9
    EXPECT_EQ(px(9, 10, 0), 101);  // includes the smoothed (9, 9): (7 x 90 + 100 + 180) / 9
    EXPECT_EQ(px(10, 10, 0), 180) << "inside pixels are not smoothed";
    EXPECT_EQ(px(12, 12, 0), 90) << "not a neighbour of the shape";

    // Row 0 and column 0 are never smoothed, even beside the shape.
    (*n)[at(1, 1)] = 1;
    bgr->fill(90);
    (*bgr)[1 * kBgrStride + 3] = 0;
    smoothEdges(*n, *bgr);
    EXPECT_EQ(px(0, 0, 0), 90);
    EXPECT_EQ(px(1, 0, 0), 90);
    EXPECT_EQ(px(1, 2, 0), 80);  // (8 x 90 + 0) / 9
}

TEST(Bitmap, HeaderAndBottomUpRowsWithPadding)
{
    auto bgr = std::make_unique<BgrImage>();
    bgr->fill(0);
    auto set = [&](int row, int col, uint8_t r, uint8_t g, uint8_t b) {
        (*bgr)[row * kBgrStride + col * 3 + 0] = b;
        (*bgr)[row * kBgrStride + col * 3 + 1] = g;
        (*bgr)[row * kBgrStride + col * 3 + 2] = r;
    };
    set(125, 0, 1, 2, 3);
    set(0, 101, 4, 5, 6);
    std::vector<unsigned char> out(WLT_BITMAP_SIZE, 0xEE);
    writeBitmap(*bgr, out.data());
    auto le32 = [&](int off) { return out[off] | out[off + 1] << 8 | out[off + 2] << 16 | out[off + 3] << 24; };
    EXPECT_EQ(out[0], 'B');
    EXPECT_EQ(out[1], 'M');
    EXPECT_EQ(le32(2), 38862);
    EXPECT_EQ(le32(6), 0);
    EXPECT_EQ(le32(10), 54);
    EXPECT_EQ(le32(14), 40);
    EXPECT_EQ(le32(18), 102);
    EXPECT_EQ(le32(22), 126);
    EXPECT_EQ(out[26] | out[27] << 8, 1);
    EXPECT_EQ(out[28] | out[29] << 8, 24);
    for (int off = 30; off < 54; ++off)
        EXPECT_EQ(out[off], 0) << off;
    EXPECT_EQ(out[54], 3) << "blue of the bottom-left pixel";
    EXPECT_EQ(out[55], 2);
    EXPECT_EQ(out[56], 1);
    EXPECT_EQ(out[360], 0);
    EXPECT_EQ(out[361], 0);
    const int topRowRightPixel = 54 + 125 * 308 + 101 * 3;
    EXPECT_EQ(out[topRowRightPixel], 6);
    EXPECT_EQ(out[topRowRightPixel + 2], 4);
    EXPECT_EQ(out[WLT_BITMAP_SIZE - 1], 0);
    EXPECT_EQ(out[WLT_BITMAP_SIZE - 2], 0);
}
