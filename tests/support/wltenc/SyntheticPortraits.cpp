#include "SyntheticPortraits.h"

#include <cmath>
#include <random>
#include <stdexcept>

namespace wltenc {

namespace {

uint8_t toByte(double v) { return static_cast<uint8_t>(std::lround(std::min(255.0, std::max(0.0, v)))); }

void fill(Portrait& p, Rgb c) {
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) p.setPixel(x, y, c);
}

bool inEllipse(int x, int y, double cx, double cy, double rx, double ry) {
    const double dx = (x - cx) / rx, dy = (y - cy) / ry;
    return dx * dx + dy * dy <= 1.0;
}

Portrait faceDrawing(Rgb background, const Plane& shape) {
    Portrait p;
    fill(p, background);
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) {
            // Shirt: dark blue, shaded across the shoulders.
            if (y >= 66 && at(shape, y, x)) p.setPixel(x, y, {toByte(40 + 0.2 * x), toByte(55 + 0.15 * y), toByte(120 + 0.3 * (y - 70))});
            // Neck.
            if (y >= 55 && y < 80 && x >= 42 && x <= 60) p.setPixel(x, y, {200, 160, 135});
            // Face with soft shading towards the edges.
            if (inEllipse(x, y, 51, 38, 17, 24)) {
                const double dx = (x - 51) / 17.0, dy = (y - 38) / 24.0;
                const double shade = 1.0 - 0.25 * (dx * dx + dy * dy);
                p.setPixel(x, y, {toByte(230 * shade), toByte(185 * shade), toByte(160 * shade)});
            }
            // Hair on top of the head.
            if (inEllipse(x, y, 51, 26, 19, 16) && y < 24) p.setPixel(x, y, {50, 35, 25});
            // Eyes, brows, nose and mouth.
            if (inEllipse(x, y, 44, 36, 3.5, 2) || inEllipse(x, y, 58, 36, 3.5, 2)) p.setPixel(x, y, {30, 30, 40});
            if ((y == 31 || y == 32) && ((x >= 40 && x <= 48) || (x >= 54 && x <= 62))) p.setPixel(x, y, {60, 40, 30});
            if (x >= 50 && x <= 52 && y >= 39 && y <= 46) p.setPixel(x, y, {205, 150, 130});
            if (inEllipse(x, y, 51, 52, 7, 2.2)) p.setPixel(x, y, {170, 60, 60});
        }
    return p;
}

Outline rectangle(int x0, int y0, int x1, int y1) {
    return Outline::fromPolygon({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
}

}  // namespace

Outline headAndShoulders() {
    return Outline::fromPolygon({{45, 10}, {57, 10}, {66, 16}, {70, 30}, {68, 48}, {62, 62}, {60, 70},
                                 {80, 78}, {95, 90}, {101, 110}, {101, 125}, {0, 125}, {0, 110},
                                 {7, 90}, {22, 78}, {42, 70}, {40, 62}, {34, 48}, {32, 30}, {36, 16}});
}

std::vector<std::string> syntheticNames() { return {"flat", "gradient", "face", "noise", "tiny", "dot", "border"}; }

SyntheticPortrait makeSynthetic(const std::string& name) {
    SyntheticPortrait s;
    s.name = name;
    s.background = {235, 238, 240};
    s.outline = headAndShoulders();
    if (name == "flat") {
        fill(s.picture, {180, 120, 90});
    } else if (name == "gradient") {
        for (int y = 0; y < kImageHeight; ++y)
            for (int x = 0; x < kImageWidth; ++x)
                s.picture.setPixel(x, y, {toByte(x * 2.5), toByte(y * 2.0), toByte(255 - x - y)});
    } else if (name == "face") {
        s.picture = faceDrawing(s.background, maskFromOutline(s.outline));
    } else if (name == "idphoto") {
        // The face on the plain white of a card portrait.
        s.background = {255, 255, 255};
        s.picture = faceDrawing(s.background, maskFromOutline(s.outline));
    } else if (name == "noise") {
        std::mt19937 rng(12345);
        std::uniform_int_distribution<int> byte(0, 255);
        for (int y = 0; y < kImageHeight; ++y)
            for (int x = 0; x < kImageWidth; ++x)
                s.picture.setPixel(x, y, {static_cast<uint8_t>(byte(rng)), static_cast<uint8_t>(byte(rng)),
                                          static_cast<uint8_t>(byte(rng))});
    } else if (name == "tiny") {
        fill(s.picture, {30, 200, 60});
        s.outline = rectangle(50, 60, 52, 62);
        s.background = {10, 20, 30};
    } else if (name == "dot") {
        // An outline of no steps: the start point alone.
        fill(s.picture, {250, 10, 128});
        s.outline = Outline{};
        s.outline.startX = 33;
        s.outline.startY = 77;
    } else if (name == "border") {
        for (int y = 0; y < kImageHeight; ++y)
            for (int x = 0; x < kImageWidth; ++x)
                s.picture.setPixel(x, y, {toByte(128 + 100 * std::sin(x / 9.0)), toByte(128 + 100 * std::cos(y / 11.0)),
                                          toByte((x + y) % 256)});
        s.outline = rectangle(0, 0, kImageWidth - 1, kImageHeight - 1);
    } else {
        throw std::invalid_argument("unknown synthetic portrait: " + name);
    }
    return s;
}

}  // namespace wltenc
