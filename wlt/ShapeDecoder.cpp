#include "ShapeDecoder.h"

#include "Tables.h"
#include "libwlt.h"

#include <cstring>

namespace wlt {

int decodeShapeStream(const NR& nr, uint8_t FixNum[3], Contour& contour)
{
    Jg g;
    startDecoder(g, nr, 1);
    State flags;  // flags and n-bit values
    InitState(flags, 2);

    if (decodeBits(g, nr, flags, 1) != 0)
        return WLT_ERR_SHAPE_FLAG;
    for (int i = 0; i < 3; ++i)
        FixNum[i] = static_cast<uint8_t>(decodeBits(g, nr, flags, 8));
    if (decodeBits(g, nr, flags, 8) != 1)
        return WLT_ERR_SHAPE_ABSENT;

    contour.count = decodeBits(g, nr, flags, 16);
    contour.startX = decodeBits(g, nr, flags, 12);
    contour.startY = decodeBits(g, nr, flags, 12);
    if (contour.count > Contour::capacity)
        return WLT_ERR_OUTLINE_TOO_LONG;

    State chain;
    InitState(chain, 8);
    // The first direction is absolute, the others are turns relative to it.
    contour.dir[0] = static_cast<uint8_t>(decodeSymbol8(g, nr, chain));
    for (int i = 1; i < contour.count; ++i) {
        int d = kTables.ChTb[decodeSymbol8(g, nr, chain)] - 4 + contour.dir[i - 1];
        if (d < 0)
            d += 8;
        else if (d > 7)
            d -= 8;
        contour.dir[i] = static_cast<uint8_t>(d);
    }

    if (decodeBits(g, nr, flags, 1) != 0)
        return WLT_ERR_OUTLINE_FLAG;
    return WLT_OK;
}

namespace {

using Raster = uint8_t[kHeight][kWidth];

void toggleRowPrefix(Raster& raster, int row, int lastCol)
{
    for (int col = 0; col <= lastCol; ++col)
        raster[row][col] ^= 0xFF;
}

} // namespace

int outlineToMask(Contour& c, Mask& n)
{
    int cx = c.startX, cy = c.startY;
    c.minX = c.maxX = cx;
    c.minY = c.maxY = cy;
    for (int i = 0; i < c.count; ++i) {
        cx += kTables.x[c.dir[i]];
        cy += kTables.y[c.dir[i]];
        if (cx < c.minX) c.minX = cx;
        if (cx > c.maxX) c.maxX = cx;
        if (cy < c.minY) c.minY = cy;
        if (cy > c.maxY) c.maxY = cy;
    }
    // The raster is the picture's size but addressed relative to the box, and
    // the mask absolutely: only an outline inside the picture fits both.
    if (c.minX < 0 || c.maxX >= kWidth || c.minY < 0 || c.maxY >= kHeight)
        return WLT_ERR_OUTLINE_OUTSIDE;

    Raster raster;
    std::memset(raster, 0, sizeof raster);

    // Parity fill: each crossing of a row toggles everything left of it.
    cx = c.startX - c.minX;
    cy = c.startY - c.minY;
    int prevDy = -1;
    for (int i = 0; i < c.count; ++i) {
        const int d = c.dir[i];
        const int nx = cx + kTables.x[d];
        const int ny = cy + kTables.y[d];
        const int dy = kTables.y[d];
        if (prevDy + dy == 0) {
            toggleRowPrefix(raster, cy, cx);
            toggleRowPrefix(raster, ny, nx);
        } else if (dy == prevDy) {
            toggleRowPrefix(raster, ny, nx);
        }
        if (dy != 0)
            prevDy = dy;
        cx = nx;
        cy = ny;
    }

    // The outline itself is inside.
    cx = c.startX - c.minX;
    cy = c.startY - c.minY;
    raster[cy][cx] = 0xFF;
    for (int i = 0; i < c.count; ++i) {
        cx += kTables.x[c.dir[i]];
        cy += kTables.y[c.dir[i]];
        raster[cy][cx] = 0xFF;
    }

    // The box lies inside the picture, so every raster cell that lands in it
    // is an absolute position of the picture.
    n.fill(0);
    const int rows = kHeight - c.minY, cols = kWidth - c.minX;  // locals: the stores cannot move them
    for (int row = 0; row < rows; ++row) {
        uint8_t* line = &n[at(c.minY + row, c.minX)];
        for (int col = 0; col < cols; ++col)
            line[col] = raster[row][col] == 0xFF;
    }
    return WLT_OK;
}

} // namespace wlt
