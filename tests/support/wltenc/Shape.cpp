#include "Shape.h"

#include <algorithm>
#include <cstdlib>

namespace wltenc {

namespace {
int directionOf(int dx, int dy) {
    for (int d = 0; d < 8; ++d)
        if (kStepX[d] == dx && kStepY[d] == dy) return d;
    return -1;
}
int sign(int v) { return (v > 0) - (v < 0); }
}  // namespace

Outline Outline::fromPolygon(const std::vector<std::pair<int, int>>& vertices) {
    Outline o;
    if (vertices.empty()) return o;
    o.startX = vertices[0].first;
    o.startY = vertices[0].second;
    int x = o.startX, y = o.startY;
    for (size_t i = 1; i <= vertices.size(); ++i) {
        const auto& target = vertices[i % vertices.size()];
        // Bresenham-like walk: diagonal steps while both coordinates differ.
        const int tx = target.first, ty = target.second;
        const int adx = std::abs(tx - x), ady = std::abs(ty - y);
        const int steps = std::max(adx, ady);
        const int x0 = x, y0 = y;
        for (int s = 1; s <= steps; ++s) {
            const int nx = x0 + (tx - x0) * s / steps;
            const int ny = y0 + (ty - y0) * s / steps;
            const int d = directionOf(sign(nx - x), sign(ny - y));
            if (d >= 0) o.directions.push_back(static_cast<uint8_t>(d));
            x = nx;
            y = ny;
        }
    }
    return o;
}

std::string Outline::problem() const {
    if (directions.size() > static_cast<size_t>(kMaxOutlineSteps)) return "outline longer than 2000 steps";
    int x = startX, y = startY;
    auto inside = [](int px, int py) { return px >= 0 && px < kImageWidth && py >= 0 && py < kImageHeight; };
    if (!inside(x, y)) return "start point outside the picture";
    for (uint8_t d : directions) {
        if (d > 7) return "direction code above 7";
        x += kStepX[d];
        y += kStepY[d];
        if (!inside(x, y)) return "outline leaves the picture";
    }
    return {};
}

Plane maskFromOutline(const Outline& o) {
    int minX = o.startX, maxX = o.startX, minY = o.startY, maxY = o.startY;
    {
        int x = o.startX, y = o.startY;
        for (uint8_t d : o.directions) {
            x += kStepX[d];
            y += kStepY[d];
            minX = std::min(minX, x); maxX = std::max(maxX, x);
            minY = std::min(minY, y); maxY = std::max(maxY, y);
        }
    }
    std::vector<uint8_t> raster(kImageHeight * kImageWidth, 0);
    auto toggleRow = [&](int row, int lastCol) {
        if (row < 0 || row >= kImageHeight) return;
        for (int c = 0; c <= lastCol && c < kImageWidth; ++c) raster[row * kImageWidth + c] ^= 0xFF;
    };
    int cx = o.startX - minX, cy = o.startY - minY;
    int prevDy = -1;
    for (uint8_t d : o.directions) {
        const int nx = cx + kStepX[d], ny = cy + kStepY[d];
        const int dy = kStepY[d];
        if (prevDy + dy == 0) {
            toggleRow(cy, cx);
            toggleRow(ny, nx);
        } else if (dy == prevDy) {
            toggleRow(ny, nx);
        }
        if (dy != 0) prevDy = dy;
        cx = nx;
        cy = ny;
    }
    auto setCell = [&](int row, int col) {
        if (row >= 0 && row < kImageHeight && col >= 0 && col < kImageWidth) raster[row * kImageWidth + col] = 0xFF;
    };
    cx = o.startX - minX;
    cy = o.startY - minY;
    setCell(cy, cx);
    for (uint8_t d : o.directions) {
        cx += kStepX[d];
        cy += kStepY[d];
        setCell(cy, cx);
    }
    Plane n = makePlane();
    for (int r = 0; r < kImageHeight; ++r)
        for (int c = 0; c < kImageWidth; ++c)
            if (raster[r * kImageWidth + c] == 0xFF) {
                const int row = minY + r, col = minX + c;
                if (row < kImageHeight && col < kImageWidth) at(n, row, col) = 1;
            }
    return n;
}

void splitMaskLine(const int32_t* in, int32_t* out, int m, int marker) {
    const int half = m / 2;
    for (int k = 0; k < half; ++k) {
        out[k] = in[2 * k];
        out[half + k] = in[2 * k + 1];
    }
    for (int p = 0; p < m;) {
        if (in[p] != 1) { ++p; continue; }
        int end = p;
        while (end < m && in[end] == 1) ++end;
        if (end - p == 1 && (p & 1) && out[p >> 1] == 0) {
            out[p >> 1] = 1;
            out[half + (p >> 1)] = marker;
        }
        p = end;
    }
}

Plane maskPyramid(const Plane& mask) {
    Plane r = mask;
    std::vector<int32_t> line(kPlaneRows), split(kPlaneRows);
    for (int level = 1; level <= kLevels; ++level) {
        const int h = kPlaneRows >> (level - 1), w = kPlaneCols >> (level - 1);
        for (int row = 0; row < h; ++row) {
            for (int c = 0; c < w; ++c) line[c] = at(r, row, c);
            splitMaskLine(line.data(), split.data(), w, kRowMarker);
            for (int c = 0; c < w; ++c) at(r, row, c) = split[c];
        }
        for (int col = 0; col < w; ++col) {
            for (int i = 0; i < h; ++i) line[i] = at(r, i, col);
            splitMaskLine(line.data(), split.data(), h, kColumnMarker);
            for (int i = 0; i < h; ++i) at(r, i, col) = split[i];
        }
    }
    return r;
}

}  // namespace wltenc
