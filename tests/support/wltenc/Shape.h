#pragma once
// The portrait's shape: a closed 8-connected chain code outline, the mask the
// decoder fills from it, and the mask pyramid that says which wavelet
// coefficients of each band lie inside the shape.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace wltenc {

constexpr int kImageWidth = 102;
constexpr int kImageHeight = 126;
constexpr int kPlaneRows = 128;
constexpr int kPlaneCols = 112;
constexpr int kLevels = 4;
constexpr int kMaxOutlineSteps = 2000;

// Markers the pyramid leaves where a lone odd sample moved to the low half.
constexpr int kRowMarker = 128;
constexpr int kColumnMarker = 129;

// Direction steps: 0 right, 1 right-down, 2 down, 3 left-down, 4 left,
// 5 left-up, 6 up, 7 right-up (rows grow downwards).
constexpr int kStepX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kStepY[8] = {0, 1, 1, 1, 0, -1, -1, -1};

struct Outline {
    int startX = 0;  // column
    int startY = 0;  // row
    std::vector<uint8_t> directions;

    // A closed outline through the vertices (x, y) in order, each edge drawn
    // with 8-connected steps, starting at the first vertex. Start on a topmost
    // vertex: the decoder's fill treats the first downward step as a turn.
    static Outline fromPolygon(const std::vector<std::pair<int, int>>& vertices);
    // Empty when the outline fits the picture and the format, else the reason.
    std::string problem() const;
};

using Plane = std::vector<int32_t>;  // kPlaneRows x kPlaneCols, row-major
inline Plane makePlane() { return Plane(kPlaneRows * kPlaneCols, 0); }
inline int32_t& at(Plane& p, int row, int col) { return p[row * kPlaneCols + col]; }
inline int32_t at(const Plane& p, int row, int col) { return p[row * kPlaneCols + col]; }

// The mask the decoder's parity fill makes of the outline: 1 inside, 0 outside.
Plane maskFromOutline(const Outline& outline);

// Splits one mask line of m entries (m even) into its low and high halves,
// moving lone odd entries to the low half and leaving `marker` behind.
void splitMaskLine(const int32_t* in, int32_t* out, int m, int marker);

// The mask pyramid over four levels (rows then columns at each level).
Plane maskPyramid(const Plane& mask);

}  // namespace wltenc
