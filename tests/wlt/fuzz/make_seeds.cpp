// Writes the seed inputs of the fuzz corpus: hand-made decodable portraits,
// inputs that stop at each of the decoder's checks and, when built with the
// test encoder, its synthetic portraits at a full and a small byte budget.

#include "WltBuilder.h"
#ifdef WLT_SEEDS_WITH_ENCODER
#include "SyntheticPortraits.h"
#endif

#include <cstdio>
#include <string>
#include <vector>

using namespace wlttest;

namespace {

void write(const std::string& dir, const std::string& name, const std::vector<uint8_t>& bytes)
{
    const std::string path = dir + "/" + name + ".wlt";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::vector<uint8_t> shaped(const ShapeParams& params, uint32_t seed, int total = 1024)
{
    const std::vector<uint8_t> shape = encodeShapeStream(params);
    ColourParams colour[3];
    uint32_t x = seed;
    for (int i = 0; i < 3; ++i) {
        colour[i].topPlane = static_cast<uint8_t>(6 + i);
        colour[i].body.resize(static_cast<size_t>(total));
        for (auto& b : colour[i].body) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
    }
    return buildWlt(shape, colour, total);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    for (uint32_t seed = 1; seed <= 4; ++seed)
        write(dir, "portrait-" + std::to_string(seed), samplePortrait(seed));
    write(dir, "portrait-long", samplePortrait(7, 3000));
    write(dir, "portrait-short", samplePortrait(8, 200));

    ShapeParams diamond;
    for (int d : {1, 3, 5, 7})
        diamond.directions.insert(diamond.directions.end(), 20, d);
    diamond.count = static_cast<int>(diamond.directions.size());
    diamond.startX = 50;
    diamond.startY = 20;
    write(dir, "diamond", shaped(diamond, 11));

    ShapeParams point;
    point.count = 0;
    point.directions = {3};
    write(dir, "single-point", shaped(point, 12));

    ShapeParams full;
    full.startX = 0;
    full.startY = 0;
    full.directions = rectangleOutline(102, 126);
    full.count = static_cast<int>(full.directions.size());
    write(dir, "full-frame", shaped(full, 13));

    ShapeParams flag;
    flag.leadingFlag = 1;
    write(dir, "leading-flag", shaped(flag, 14));
    ShapeParams trailing;
    trailing.trailingFlag = 1;
    write(dir, "trailing-flag", shaped(trailing, 15));
    ShapeParams outside;
    outside.startX = 101;
    outside.directions = {0, 0};
    outside.count = 2;
    write(dir, "outline-outside", shaped(outside, 16));

    std::vector<uint8_t> header = samplePortrait(1);
    header.resize(20);
    write(dir, "truncated", header);

#ifdef WLT_SEEDS_WITH_ENCODER
    for (int budget : {wltenc::kPortraitBytes, 400}) {
        for (const std::string& name : wltenc::syntheticNames()) {
            const wltenc::SyntheticPortrait s = wltenc::makeSynthetic(name);
            const wltenc::EncodedWlt e = wltenc::encodeWlt(s.picture, s.outline, s.background, budget);
            write(dir, "enc-" + std::to_string(budget) + "-" + name, e.bytes);
        }
    }
#endif
    return 0;
}
