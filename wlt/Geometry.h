#pragma once

#include <array>
#include <cstdint>

namespace wlt {

// The picture is 102 x 126; work arrays are 128 rows by 112 columns so that
// four halvings give whole numbers (the coarsest band is 8 x 7).
constexpr int kWidth = 102;
constexpr int kHeight = 126;
constexpr int kRows = 128;
constexpr int kCols = 112;
constexpr int kCells = kRows * kCols;
constexpr int kLevels = 4;

template <typename T>
using Plane = std::array<T, kCells>;

// A shape mask (1 inside, 0 outside) or its pyramid, whose entries also
// include the markers of MaskPyramid.h: bytes, a quarter of an int plane to
// fill, copy and read.
using Mask = Plane<uint8_t>;

constexpr int at(int row, int col) { return row * kCols + col; }

// A position of a work plane.
struct Cell {
    uint8_t row;
    uint8_t col;
};

} // namespace wlt
