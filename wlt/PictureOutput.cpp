#include "PictureOutput.h"

#include "libwlt.h"

#include <algorithm>
#include <cstring>

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

// The conversion in whole numbers. Y is whole and every product's fraction
// is a multiple of 1/500 (red), 1/250 (blue) or 1/50000 (the sum of green's
// two), never nearer a whole number than that unless it is one: so the
// double sums truncate to Y plus the floor of the exact products, and a
// negative result clamps to 0 either way. Green's two terms are held to
// 2^-20, well within those margins. Only where green's sum is a whole number
// other than 0 ((Cb, Cr) = (28, 228) or (228, 28)) can double rounding land
// on either side of it, and there the double formula is used as it is.
// An exhaustive test compares every (Y, Cb, Cr) with the double formula.
constexpr int kGreenShift = 20;

constexpr int floorDiv(int64_t num, int64_t den)
{
    const int64_t q = num / den;
    return static_cast<int>(q * den > num ? q - 1 : q);
}

// Every sum lies within -256..511; clamp[v + 256] is v clamped to 0..255.
constexpr int kClampOffset = 256;

struct ColourTables {
    int red[256];      // floor(1.402 x (Cr - 128))
    int blue[256];     // floor(1.772 x (Cb - 128))
    int greenCb[256];  // floor(-0.34414 x (Cb - 128) x 2^20)
    int greenCr[256];  // floor(-0.71414 x (Cr - 128) x 2^20)
    int wholeGreenCr[256];  // the Cr whose green sum with this Cb is a whole number other than 0, or -1
    uint8_t clamp[768];
};

constexpr ColourTables makeColourTables()
{
    ColourTables t{};
    for (int v = 0; v < 256; ++v) {
        const int64_t c = v - 128;
        t.red[v] = floorDiv(1402 * c, 1000);
        t.blue[v] = floorDiv(1772 * c, 1000);
        t.greenCb[v] = floorDiv(-34414 * c * (int64_t{1} << kGreenShift), 100000);
        t.greenCr[v] = floorDiv(-71414 * c * (int64_t{1} << kGreenShift), 100000);
    }
    for (int v = 0; v < 256; ++v)
        t.wholeGreenCr[v] = v == 28 ? 228 : v == 228 ? 28 : -1;
    for (int v = 0; v < 768; ++v)
        t.clamp[v] = static_cast<uint8_t>(std::clamp(v - kClampOffset, 0, 255));
    return t;
}

constexpr ColourTables kColour = makeColourTables();

uint8_t clampToByte(int v) { return kColour.clamp[v + kClampOffset]; }

} // namespace

namespace {

// One pixel as blue | green << 8 | red << 16.
inline uint32_t bgrOf(int y, int cb, int cr)
{
    const uint32_t red = clampToByte(y + kColour.red[cr]);
    const uint32_t green = cr == kColour.wholeGreenCr[cb]
                               ? toByte(y - 0.34414 * (cb - 128.0) - 0.71414 * (cr - 128.0))
                               : clampToByte(y + ((kColour.greenCb[cb] + kColour.greenCr[cr]) >> kGreenShift));
    const uint32_t blue = clampToByte(y + kColour.blue[cb]);
    return blue | green << 8 | red << 16;
}

// Stores the pixels of a row. All but the last go out as one four-byte
// store each, whose fourth byte the next pixel overwrites.
template <typename PixelOf>
inline void storeRow(uint8_t* px, PixelOf pixelOf)
{
    for (int col = 0; col < kWidth - 1; ++col, px += 3) {
        const uint32_t v = pixelOf(col);
        std::memcpy(px, &v, 4);
    }
    const uint32_t last = pixelOf(kWidth - 1);
    px[0] = static_cast<uint8_t>(last);
    px[1] = static_cast<uint8_t>(last >> 8);
    px[2] = static_cast<uint8_t>(last >> 16);
}

} // namespace

void convertRowToBgr(const uint8_t* yRow, const uint8_t* cbRow, const uint8_t* crRow, uint8_t* bgrRow)
{
    storeRow(bgrRow, [&](int col) { return bgrOf(yRow[col], cbRow[col], crRow[col]); });
}

void composePicture(const Plane<uint8_t>& Y, const Plane<uint8_t>& Cb, const Plane<uint8_t>& Cr,
                    const Plane<int>& n, const uint8_t FixNum[3], BgrImage& bgr)
{
    const uint32_t background = uint32_t{FixNum[2]} | uint32_t{FixNum[1]} << 8 | uint32_t{FixNum[0]} << 16;
    for (int row = 0; row < kHeight; ++row) {
        const uint8_t* y = &Y[at(row, 0)];
        const uint8_t* cb = &Cb[at(row, 0)];
        const uint8_t* cr = &Cr[at(row, 0)];
        const int* inside = &n[at(row, 0)];
        storeRow(&bgr[row * kBgrStride],
                 [&](int col) { return inside[col] != 0 ? bgrOf(y[col], cb[col], cr[col]) : background; });
    }
}

void smoothEdges(const Plane<int>& n, BgrImage& bgr)
{
    // The pixels to smooth are found with whole-row byte flags, which the
    // compiler vectorises: inside (n > 0) per pixel; per column, whether the
    // three rows around a pixel hold an inside pixel there; three of those
    // side by side say whether a pixel touches the shape. Only then is its
    // neighbourhood summed.
    constexpr int kFlagRow = kWidth + 8;  // room to read eight flags at a time
    uint8_t inside[kHeight][kFlagRow] = {};
    for (int row = 0; row < kHeight; ++row)
        for (int col = 0; col < kWidth; ++col)
            inside[row][col] = n[at(row, col)] > 0;
    for (int row = 1; row < kHeight - 1; ++row) {
        uint8_t nearColumn[kWidth];
        for (int col = 0; col < kWidth; ++col)
            nearColumn[col] = inside[row - 1][col] | inside[row][col] | inside[row + 1][col];
        uint8_t smooth[kFlagRow] = {};
        for (int col = 1; col < kWidth - 1; ++col)
            smooth[col] = (inside[row][col] ^ 1) & (nearColumn[col - 1] | nearColumn[col] | nearColumn[col + 1]);
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
