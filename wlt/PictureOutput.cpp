#include "PictureOutput.h"

#include "libwlt.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wlt {

namespace {

uint8_t toByte(double v)
{
    const int t = static_cast<int>(v);  // truncates towards zero
    return static_cast<uint8_t>(std::clamp(t, 0, 255));
}

void putLe16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void putLe32(unsigned char* p, uint32_t v)
{
    putLe16(p, v);
    putLe16(p + 2, v >> 16);
}

} // namespace

namespace {

// The conversion in whole numbers. Y is whole, so a channel is Y plus the
// floor of its products, then clamped (a negative sum clamps to 0 either way,
// as the double formula's truncation does). With Cb and Cr centred on 0:
// - red: 1.402 Cr = Cr + 0.402 Cr, blue: 1.772 Cb = 2 Cb - 0.228 Cb, each
//   fraction a 16-bit fixed-point factor whose product's high half is the
//   floor for every value of -128..127: the exact products' fractions are
//   multiples of 1/500 and 1/250, wider than the factors' error.
// - green: -0.34414 Cb - 0.71414 Cr in 23-bit fixed point. Its exact value
//   is a multiple of 1/50000, and these factors and bias keep the fixed-point
//   sum at or above it and below its next multiple for every pair.
// All three are checked at compile time, value by value. Only where green's
// sum is a whole number other than 0 ((Cb, Cr) = (28, 228) or (228, 28))
// can the double formula's own rounding land on either side of it, and there
// the formula is used as it is. An exhaustive test compares every (Y, Cb,
// Cr) with the double formula.
constexpr int kRedFraction = 26346;    // 0.402 x 2^16 (26343..26349 are exact)
constexpr int kBlueFraction = -14940;  // -0.228 x 2^16 (-14946..-14933 are exact)
constexpr int kGreenShift = 23;
constexpr int kGreenCbHigh = -44, kGreenCbLow = -3271;    // -0.34414 x 2^23 ~ -44 x 2^16 - 3271
constexpr int kGreenCrHigh = -91, kGreenCrLow = -26864;   // -0.71414 x 2^23 ~ -91 x 2^16 - 26864
constexpr int kGreenCb = kGreenCbHigh * 65536 + kGreenCbLow;
constexpr int kGreenCr = kGreenCrHigh * 65536 + kGreenCrLow;
constexpr int kGreenBias = 120;  // 4..236 are exact with these factors

constexpr int floorDiv(int num, int den) { return num / den - (num % den != 0 && (num < 0) != (den < 0)); }

constexpr int redOffset(int cr) { return cr + ((cr * kRedFraction) >> 16); }
constexpr int blueOffset(int cb) { return 2 * cb + ((cb * kBlueFraction) >> 16); }
constexpr int greenOffset(int cb, int cr) { return (cb * kGreenCb + cr * kGreenCr + kGreenBias) >> kGreenShift; }

constexpr bool fixedPointIsExact()
{
    for (int v = -128; v < 128; ++v)
        if (redOffset(v) != floorDiv(1402 * v, 1000) || blueOffset(v) != floorDiv(1772 * v, 1000))
            return false;
    for (int cb = -128; cb < 128; ++cb)
        for (int cr = -128; cr < 128; ++cr)
            if (greenOffset(cb, cr) != floorDiv(-34414 * cb - 71414 * cr, 100000))
                return false;
    return true;
}
static_assert(fixedPointIsExact(), "the fixed-point colour factors give the floor of every product");

inline bool isWholeGreenPair(int cb, int cr) { return (cb == 28 && cr == 228) || (cb == 228 && cr == 28); }

[[maybe_unused]] inline uint8_t clampToByte(int v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// The kWidth pixels of a row as blue, green, red bytes, or the background
// where inside is 0, in whole groups of eight (the rows of the planes are
// kCols long); bgr has room for kRowBytes, of which those past kWidth pixels
// hold nothing of use. Returns whether any of them has a whole-number green
// pair inside (for the caller to redo).
constexpr int kRowGroup = (kWidth + 7) / 8 * 8;
constexpr int kRowBytes = kRowGroup * 3 + 4;
static_assert(kRowGroup <= kCols, "groups of eight stay within a plane row");
static_assert(kRowBytes - kBgrStride <= kBgrSlack, "a picture's last row is converted in place");

bool pixelsOfRow(const uint8_t* yRow, const uint8_t* cbRow, const uint8_t* crRow, const uint8_t* inside,
                 uint32_t background, uint8_t* bgr)
{
#if defined(__SSE2__)
    // Eight pixels at a time in 16-bit lanes; green's products in 32 bits,
    // from Cb, Cr pairs: (Cb x high + Cr x high) x 2^16 + Cb x low + Cr x low.
    const __m128i zero = _mm_setzero_si128();
    const __m128i centre = _mm_set1_epi16(128);
    const __m128i redFraction = _mm_set1_epi16(kRedFraction);
    const __m128i blueFraction = _mm_set1_epi16(kBlueFraction);
    const __m128i greenHigh = _mm_set1_epi32(static_cast<int>(uint32_t(kGreenCrHigh) << 16 | (kGreenCbHigh & 0xFFFF)));
    const __m128i greenLow = _mm_set1_epi32(static_cast<int>(uint32_t(kGreenCrLow) << 16 | (kGreenCbLow & 0xFFFF)));
    const __m128i greenBias = _mm_set1_epi32(kGreenBias);
    const __m128i back = _mm_set1_epi32(static_cast<int>(background));
    const __m128i minus100 = _mm_set1_epi16(-100), plus100 = _mm_set1_epi16(100);
    const __m128i low24 = _mm_set_epi32(0, 0xFFFFFF, 0, 0xFFFFFF);
    const __m128i low64 = _mm_set_epi32(0, 0, -1, -1);
    __m128i wholeGreen = zero;
    auto bytes = [&](const uint8_t* p) {
        return _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), zero);
    };
    auto green32 = [&](__m128i pairs) {
        const __m128i high = _mm_slli_epi32(_mm_madd_epi16(pairs, greenHigh), 16);
        const __m128i sum = _mm_add_epi32(_mm_add_epi32(high, _mm_madd_epi16(pairs, greenLow)), greenBias);
        return _mm_srai_epi32(sum, kGreenShift);
    };
    // Four pixels' 0, red, green, blue words as twelve bytes (and four of 0):
    // each half first to six bytes, then the upper six moved next to the lower.
    auto packed = [&](__m128i px) {
        const __m128i pairs = _mm_or_si128(_mm_and_si128(px, low24), _mm_srli_epi64(_mm_andnot_si128(low24, px), 8));
        return _mm_or_si128(_mm_and_si128(pairs, low64), _mm_srli_si128(_mm_andnot_si128(low64, pairs), 2));
    };
    // Four background pixels as twelve bytes, for groups wholly outside.
    const __m128i backPacked = packed(back);
    for (int col = 0; col < kRowGroup; col += 8) {
        // All ones per 16-bit lane where the pixel is outside.
        const __m128i outside = _mm_cmpeq_epi16(bytes(inside + col), zero);
        if (_mm_movemask_epi8(outside) == 0xFFFF) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 3 * col), backPacked);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 3 * col + 12), backPacked);
            continue;
        }
        const __m128i y = bytes(yRow + col);
        const __m128i cb = _mm_sub_epi16(bytes(cbRow + col), centre);
        const __m128i cr = _mm_sub_epi16(bytes(crRow + col), centre);
        const __m128i red = _mm_add_epi16(_mm_add_epi16(y, cr), _mm_mulhi_epi16(cr, redFraction));
        const __m128i blue = _mm_add_epi16(_mm_add_epi16(y, _mm_add_epi16(cb, cb)), _mm_mulhi_epi16(cb, blueFraction));
        const __m128i green = _mm_add_epi16(
            y, _mm_packs_epi32(green32(_mm_unpacklo_epi16(cb, cr)), green32(_mm_unpackhi_epi16(cb, cr))));
        // Saturating packs clamp to 0..255; then blue, green, red, 0 per pixel.
        const __m128i blueGreen = _mm_unpacklo_epi8(_mm_packus_epi16(blue, blue), _mm_packus_epi16(green, green));
        const __m128i red0 = _mm_unpacklo_epi8(_mm_packus_epi16(red, red), zero);
        const __m128i px[2] = {_mm_unpacklo_epi16(blueGreen, red0), _mm_unpackhi_epi16(blueGreen, red0)};
        const __m128i outsidePx[2] = {_mm_unpacklo_epi16(outside, outside), _mm_unpackhi_epi16(outside, outside)};
        for (int k = 0; k < 2; ++k) {
            const __m128i shown =
                _mm_or_si128(_mm_andnot_si128(outsidePx[k], px[k]), _mm_and_si128(outsidePx[k], back));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(bgr + 3 * (col + 4 * k)), packed(shown));
        }
        const __m128i whole = _mm_or_si128(_mm_and_si128(_mm_cmpeq_epi16(cb, minus100), _mm_cmpeq_epi16(cr, plus100)),
                                           _mm_and_si128(_mm_cmpeq_epi16(cb, plus100), _mm_cmpeq_epi16(cr, minus100)));
        wholeGreen = _mm_or_si128(wholeGreen, _mm_andnot_si128(outside, whole));
    }
    return _mm_movemask_epi8(wholeGreen) != 0;
#else
    bool wholeGreen = false;
    for (int col = 0; col < kWidth; ++col, bgr += 3) {
        if (inside[col] == 0) {
            bgr[0] = static_cast<uint8_t>(background);
            bgr[1] = static_cast<uint8_t>(background >> 8);
            bgr[2] = static_cast<uint8_t>(background >> 16);
            continue;
        }
        const int y = yRow[col], cb = cbRow[col] - 128, cr = crRow[col] - 128;
        bgr[0] = clampToByte(y + blueOffset(cb));
        bgr[1] = clampToByte(y + greenOffset(cb, cr));
        bgr[2] = clampToByte(y + redOffset(cr));
        wholeGreen |= isWholeGreenPair(cbRow[col], crRow[col]);
    }
    return wholeGreen;
#endif
}

// Converts a plane row (kRowGroup entries or more) into the kWidth pixels of
// a bitmap row, in place: bgr has room for kRowBytes.
void convertRow(const uint8_t* yRow, const uint8_t* cbRow, const uint8_t* crRow, const uint8_t* inside,
                uint32_t background, uint8_t* bgr)
{
    if (pixelsOfRow(yRow, cbRow, crRow, inside, background, bgr)) {
        // Green by the double formula where its sum is a whole number.
        for (int col = 0; col < kWidth; ++col)
            if (inside[col] != 0 && isWholeGreenPair(cbRow[col], crRow[col]))
                bgr[3 * col + 1] = toByte(yRow[col] - 0.34414 * (cbRow[col] - 128.0) - 0.71414 * (crRow[col] - 128.0));
    }
}

} // namespace

void convertRowToBgr(const uint8_t* yRow, const uint8_t* cbRow, const uint8_t* crRow, uint8_t* bgrRow)
{
    uint8_t y[kCols] = {}, cb[kCols] = {}, cr[kCols] = {};
    std::memcpy(y, yRow, kWidth);
    std::memcpy(cb, cbRow, kWidth);
    std::memcpy(cr, crRow, kWidth);
    uint8_t inside[kCols];
    std::fill(inside, inside + kCols, 1);
    uint8_t bgr[kRowBytes];
    convertRow(y, cb, cr, inside, 0, bgr);
    std::memcpy(bgrRow, bgr, kBgrStride);
}

void composePicture(const Plane<uint8_t>& Y, const Plane<uint8_t>& Cb, const Plane<uint8_t>& Cr,
                    const Mask& n, const uint8_t FixNum[3], BgrImage& bgr)
{
    const uint32_t background = uint32_t{FixNum[2]} | uint32_t{FixNum[1]} << 8 | uint32_t{FixNum[0]} << 16;
    // Top to bottom: what a row stores past its end, the next row overwrites
    // (and the last row's lands in the image's slack).
    for (int row = 0; row < kHeight; ++row)
        convertRow(&Y[at(row, 0)], &Cb[at(row, 0)], &Cr[at(row, 0)], &n[at(row, 0)], background,
                   &bgr[row * kBgrStride]);
}

void smoothEdges(const Mask& n, BgrImage& bgr)
{
    // The pixels to smooth are found with whole-row byte flags, which the
    // compiler vectorises: the mask's own bytes say inside (1) per pixel; per
    // column, whether the three rows around a pixel hold an inside pixel
    // there; three of those side by side say whether a pixel touches the
    // shape. Only then is its neighbourhood summed.
    constexpr int kFlagRow = kWidth + 8;  // room to read eight flags at a time
    for (int row = 1; row < kHeight - 1; ++row) {
        const uint8_t* above = &n[at(row - 1, 0)];
        const uint8_t* inside = &n[at(row, 0)];
        const uint8_t* below = &n[at(row + 1, 0)];
        uint8_t nearColumn[kWidth];
        for (int col = 0; col < kWidth; ++col)
            nearColumn[col] = above[col] | inside[col] | below[col];
        uint8_t smooth[kFlagRow] = {};
        for (int col = 1; col < kWidth - 1; ++col)
            smooth[col] = (inside[col] ^ 1) & (nearColumn[col - 1] | nearColumn[col] | nearColumn[col + 1]);
        // Eight flags at a time, the pixels of a word left to right.
        for (int col0 = 1; col0 < kWidth - 1; col0 += 8) {
            uint64_t flags;
            std::memcpy(&flags, smooth + col0, sizeof flags);
            for (; flags != 0; flags &= flags - 1) {
                const int col = col0 + __builtin_ctzll(flags) / 8;
                for (int ch = 0; ch < 3; ++ch) {
                    int sum = 0;
                    for (int dr = -1; dr <= 1; ++dr)
                        for (int dc = -1; dc <= 1; ++dc)
                            sum += bgr[(row + dr) * kBgrStride + (col + dc) * 3 + ch];
                    bgr[row * kBgrStride + col * 3 + ch] = static_cast<uint8_t>(sum / 9);
                }
            }
        }
    }
}

void writeBitmap(const BgrImage& bgr, unsigned char* out)
{
    constexpr int kHeaderSize = 54;
    constexpr int kRowBytes = kBgrStride + 2;  // rows padded to four bytes
    std::memset(out, 0, kHeaderSize);
    out[0] = 'B';
    out[1] = 'M';
    putLe32(out + 2, WLT_BITMAP_SIZE);
    putLe32(out + 10, kHeaderSize);
    putLe32(out + 14, 40);
    putLe32(out + 18, kWidth);
    putLe32(out + 22, kHeight);
    putLe16(out + 26, 1);
    putLe16(out + 28, 24);
    for (int j = 0; j < kHeight; ++j) {
        unsigned char* dst = out + kHeaderSize + j * kRowBytes;
        std::memcpy(dst, &bgr[(kHeight - 1 - j) * kBgrStride], kBgrStride);  // bottom-up
        dst[kBgrStride] = 0;
        dst[kBgrStride + 1] = 0;
    }
}

} // namespace wlt
