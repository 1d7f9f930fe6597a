#pragma once

// Assembles WLT containers for tests: shape streams written with the test
// encoder, colour streams from given bytes, lengths, header and scrambling.

#include <cstdint>
#include <vector>

namespace wlttest {

struct ShapeParams {
    int leadingFlag = 0;
    uint8_t background[3] = {200, 210, 220};
    int shapePresent = 1;
    int count = 0;               // the count field as written
    int startX = 50;
    int startY = 60;
    std::vector<int> directions; // absolute directions 0-7; the first is written even for count 0
    int trailingFlag = 0;
};

// Chain code of a closed axis-aligned rectangle walked clockwise on screen
// (right, down, left, up) from its top-left corner.
std::vector<int> rectangleOutline(int width, int height);

// The shape stream's bytes: "o", the coded values, one spare byte.
std::vector<uint8_t> encodeShapeStream(const ShapeParams& shape);

// Lengths of the three colour streams for a total T (the length field minus 4).
void colourLengths(int32_t T, int32_t len[3]);

struct ColourParams {
    uint8_t topPlane = 7;
    std::vector<uint8_t> body;   // bytes after the plane byte and "o"; zero-padded or cut to fit
};

// Writes a colour stream's body symbol by symbol in the decoder's five
// context sets: 0 coarsest band (3 symbols), 1 detail levels 2-4 (4),
// 2 level 1 (3), 3 outside nodes (2), 4 refinement (2).
class ColourStreamWriter {
public:
    ColourStreamWriter();
    ~ColourStreamWriter();
    void symbol(int set, int s);
    // The coded bytes (for ColourParams::body).
    std::vector<uint8_t> body();
    // A whole stream: plane byte, "o", the body and zero padding.
    std::vector<uint8_t> stream(uint8_t topPlane, int padding = 64);

private:
    struct Impl;
    Impl* impl;
};

// A complete container around the given shape stream. T is chosen so that
// the whole input is totalLength bytes (1024 like a card's portrait).
std::vector<uint8_t> buildWlt(const std::vector<uint8_t>& shapeStream, const ColourParams colour[3],
                              int totalLength = 1024);

// A container whose streams are laid out exactly as given (lengths may be
// inconsistent on purpose); no length adjustment, only header and scrambling.
std::vector<uint8_t> scramble(std::vector<uint8_t> plain);

// A plausible portrait: an outline of a head-and-shoulders sized rectangle and
// colour streams of pseudo-random bytes (seeded, so the same every time).
std::vector<uint8_t> samplePortrait(uint32_t seed = 1, int totalLength = 1024);

} // namespace wlttest
