#include "RoundTrip.h"

#include <cmath>
#include <sstream>

#include "libwlt.h"

using namespace wltenc;

Decoded decodeWithLibwlt(const std::vector<uint8_t>& wlt) {
    std::vector<uint8_t> in(wlt);
    std::vector<uint8_t> out(40960, 0);
    Decoded d;
    libwlt decoder;
    d.result = decoder.Unpack_Data(in.data(), static_cast<int>(in.size()), out.data(), &d.outLen);
    if (d.result == 1 && d.outLen > 0 && d.outLen <= static_cast<int>(out.size()))
        d.bmp.assign(out.begin(), out.begin() + d.outLen);
    return d;
}

uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

Portrait pictureOfBmp(const std::vector<uint8_t>& bmp) {
    Portrait p;
    for (int j = 0; j < kImageHeight; ++j)
        for (int x = 0; x < kImageWidth; ++x) {
            const size_t o = 54 + static_cast<size_t>(j) * 308 + x * 3;
            if (o + 2 >= bmp.size()) return p;
            p.setPixel(x, kImageHeight - 1 - j, {bmp[o + 2], bmp[o + 1], bmp[o]});
        }
    return p;
}

double psnrInside(const Portrait& a, const Portrait& b, const Plane& mask) {
    double sumSq = 0;
    long n = 0;
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) {
            if (at(mask, y, x) != 1) continue;
            const Rgb p = a.pixel(x, y), q = b.pixel(x, y);
            const double dr = p.r - q.r, dg = p.g - q.g, db = p.b - q.b;
            sumSq += dr * dr + dg * dg + db * db;
            n += 3;
        }
    if (n == 0 || sumSq == 0) return 99.0;
    return 10.0 * std::log10(255.0 * 255.0 / (sumSq / n));
}

std::string firstDifference(const Portrait& a, const Portrait& b) {
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) {
            const Rgb p = a.pixel(x, y), q = b.pixel(x, y);
            if (p.r != q.r || p.g != q.g || p.b != q.b) {
                std::ostringstream s;
                s << x << "," << y << ": (" << int(p.r) << "," << int(p.g) << "," << int(p.b) << ") vs ("
                  << int(q.r) << "," << int(q.g) << "," << int(q.b) << ")";
                return s.str();
            }
        }
    return {};
}
