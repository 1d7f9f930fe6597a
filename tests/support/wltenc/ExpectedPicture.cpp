#include "ExpectedPicture.h"

#include <algorithm>

#include "Wavelet.h"

namespace wltenc {

Portrait expectedPicture(const EncodedWlt& e, Rgb background) {
    const Plane pyramid = maskPyramid(e.mask);
    std::array<Plane, 3> planes;
    for (int i = 0; i < 3; ++i) {
        planes[i] = inverseTransform(e.decodedCoefficients[i], pyramid);
        for (int r = 0; r < kPlaneRows; ++r)
            for (int c = 0; c < kPlaneCols; ++c) {
                int32_t& v = at(planes[i], r, c);
                v = at(e.mask, r, c) > 0 ? std::clamp(v, 0, 255) : 0;
            }
    }
    Portrait p;
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x)
            p.setPixel(x, y, at(e.mask, y, x) > 0 ? ycbcrToRgb(at(planes[0], y, x), at(planes[1], y, x), at(planes[2], y, x))
                                                  : background);
    for (int y = 1; y <= 124; ++y)
        for (int x = 1; x <= 100; ++x) {
            if (at(e.mask, y, x) > 0) continue;
            bool nearShape = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) nearShape = nearShape || at(e.mask, y + dy, x + dx) > 0;
            if (!nearShape) continue;
            int sum[3] = {0, 0, 0};
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const Rgb c = p.pixel(x + dx, y + dy);
                    sum[0] += c.r; sum[1] += c.g; sum[2] += c.b;
                }
            p.setPixel(x, y, {static_cast<uint8_t>(sum[0] / 9), static_cast<uint8_t>(sum[1] / 9),
                              static_cast<uint8_t>(sum[2] / 9)});
        }
    return p;
}

}  // namespace wltenc
