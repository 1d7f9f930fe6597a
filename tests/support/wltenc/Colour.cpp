#include "Colour.h"

#include <algorithm>
#include <cmath>

namespace wltenc {

Rgb ycbcrToRgb(int y, int cb, int cr) {
    auto byte = [](double v) { return static_cast<uint8_t>(std::clamp(static_cast<int>(v), 0, 255)); };
    return {byte(y + 1.402 * (cr - 128)), byte(y - 0.34414 * (cb - 128) - 0.71414 * (cr - 128)),
            byte(y + 1.772 * (cb - 128))};
}

std::array<int, 3> rgbToYCbCr(Rgb c) {
    const double r = c.r, g = c.g, b = c.b;
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double cb = 128 - 0.168736 * r - 0.331264 * g + 0.5 * b;
    const double cr = 128 + 0.5 * r - 0.418688 * g - 0.081312 * b;
    auto clampByte = [](int v) { return std::clamp(v, 0, 255); };
    std::array<int, 3> best{clampByte(static_cast<int>(std::lround(y))), clampByte(static_cast<int>(std::lround(cb))),
                            clampByte(static_cast<int>(std::lround(cr)))};
    int bestErr = 1 << 30;
    const int y0 = static_cast<int>(std::floor(y)), cb0 = static_cast<int>(std::floor(cb)),
              cr0 = static_cast<int>(std::floor(cr));
    for (int dy = -1; dy <= 2; ++dy)
        for (int db = -1; db <= 2; ++db)
            for (int dr = -1; dr <= 2; ++dr) {
                const int yy = clampByte(y0 + dy), bb = clampByte(cb0 + db), rr = clampByte(cr0 + dr);
                const Rgb back = ycbcrToRgb(yy, bb, rr);
                const int er = back.r - c.r, eg = back.g - c.g, eb = back.b - c.b;
                const int err = er * er + eg * eg + eb * eb;
                if (err < bestErr) {
                    bestErr = err;
                    best = {yy, bb, rr};
                }
            }
    return best;
}

}  // namespace wltenc
