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

void convertRowToRgb(const uint8_t* yRow, const uint8_t* cbRow, const uint8_t* crRow, uint8_t* rgbRow)
{
    // Four pixels at a time in vectors of doubles: the same products and
    // sums in the same order as one at a time, so the same results.
    using Doubles = double __attribute__((vector_size(32)));
    using Ints = int32_t __attribute__((vector_size(16)));
    using Bytes = uint8_t __attribute__((vector_size(4)));
    auto load = [](const uint8_t* p) {
        Bytes b;
        std::memcpy(&b, p, sizeof b);
        return __builtin_convertvector(b, Ints);
    };
    auto clampToBytes = [](Ints t) {
        t = t < 0 ? Ints{} : t;
        return t > 255 ? Ints{} + 255 : t;
    };
    constexpr int kVectorEnd = kWidth / 4 * 4;
    for (int col = 0; col < kVectorEnd; col += 4) {
        const Doubles y = __builtin_convertvector(load(yRow + col), Doubles);
        const Doubles cb = __builtin_convertvector(load(cbRow + col), Doubles) - 128.0;
        const Doubles cr = __builtin_convertvector(load(crRow + col), Doubles) - 128.0;
        // Conversion to int truncates towards zero, as toByte does.
        const Ints red = clampToBytes(__builtin_convertvector(y + 1.402 * cr, Ints));
        const Ints green = clampToBytes(__builtin_convertvector(y - 0.34414 * cb - 0.71414 * cr, Ints));
        const Ints blue = clampToBytes(__builtin_convertvector(y + 1.772 * cb, Ints));
        for (int i = 0; i < 4; ++i) {
            uint8_t* px = rgbRow + 3 * (col + i);
            px[0] = static_cast<uint8_t>(red[i]);
            px[1] = static_cast<uint8_t>(green[i]);
            px[2] = static_cast<uint8_t>(blue[i]);
        }
    }
    for (int col = kVectorEnd; col < kWidth; ++col) {
        const double y = yRow[col];
        const double cb = cbRow[col] - 128.0;
        const double cr = crRow[col] - 128.0;
        rgbRow[3 * col + 0] = toByte(y + 1.402 * cr);
        rgbRow[3 * col + 1] = toByte(y - 0.34414 * cb - 0.71414 * cr);
        rgbRow[3 * col + 2] = toByte(y + 1.772 * cb);
    }
}

void composePicture(const Plane<uint8_t>& Y, const Plane<uint8_t>& Cb, const Plane<uint8_t>& Cr,
                    const Plane<int>& n, const uint8_t FixNum[3], RgbImage& rgb)
{
    rgb.fill(0);
    for (int row = 0; row < kHeight; ++row) {
        uint8_t* rgbRow = &rgb[row * kRgbStride];
        convertRowToRgb(&Y[at(row, 0)], &Cb[at(row, 0)], &Cr[at(row, 0)], rgbRow);
        for (int col = 0; col < kWidth; ++col)
            if (n[at(row, col)] == 0)
                std::memcpy(rgbRow + 3 * col, FixNum, 3);
    }
}

void smoothEdges(const Plane<int>& n, RgbImage& rgb)
{
    for (int row = 1; row < kHeight - 1; ++row) {
        // Whether the three rows around this one hold an inside pixel in a
        // column: three of these side by side tell whether a pixel touches
        // the shape, without looking at its whole neighbourhood each time.
        uint8_t nearColumn[kWidth];
        for (int col = 0; col < kWidth; ++col)
            nearColumn[col] = (n[at(row - 1, col)] > 0) | (n[at(row, col)] > 0) | (n[at(row + 1, col)] > 0);
        for (int col = 1; col < kWidth - 1; ++col) {
            if (n[at(row, col)] != 0 || !(nearColumn[col - 1] | nearColumn[col] | nearColumn[col + 1]))
                continue;
            for (int ch = 0; ch < 3; ++ch) {
                int sum = 0;
                for (int dr = -1; dr <= 1; ++dr)
                    for (int dc = -1; dc <= 1; ++dc)
                        sum += rgb[(row + dr) * kRgbStride + (col + dc) * 3 + ch];
                rgb[row * kRgbStride + col * 3 + ch] = static_cast<uint8_t>(sum / 9);
            }
        }
    }
}

void writeBitmap(const RgbImage& rgb, unsigned char* out)
{
    constexpr int kHeaderSize = 54;
    constexpr int kRowBytes = kRgbStride + 2;  // rows padded to four bytes
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
        const uint8_t* src = &rgb[(kHeight - 1 - j) * kRgbStride];
        for (int col = 0; col < kWidth; ++col) {
            dst[3 * col + 0] = src[3 * col + 2];
            dst[3 * col + 1] = src[3 * col + 1];
            dst[3 * col + 2] = src[3 * col + 0];
        }
        dst[kRgbStride] = 0;
        dst[kRgbStride + 1] = 0;
    }
}

} // namespace wlt
