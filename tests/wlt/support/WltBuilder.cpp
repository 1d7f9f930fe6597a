#include "WltBuilder.h"

#include "QmEncoder.h"
#include "Tables.h"

#include <algorithm>
#include <random>

namespace wlttest {

namespace {

void putLe32(std::vector<uint8_t>& v, int32_t value)
{
    const uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

int chainSymbolFor(int previous, int next)
{
    const int turn = ((next - previous + 4) % 8 + 8) % 8;  // ChTb value wanted
    for (int s = 0; s < 8; ++s)
        if (wlt::kTables.ChTb[s] == turn)
            return s;
    return 0;
}

} // namespace

std::vector<int> rectangleOutline(int width, int height)
{
    std::vector<int> d;
    d.insert(d.end(), width - 1, 0);
    d.insert(d.end(), height - 1, 2);
    d.insert(d.end(), width - 1, 4);
    d.insert(d.end(), height - 1, 6);
    return d;
}

std::vector<uint8_t> encodeShapeStream(const ShapeParams& shape)
{
    QmEncoder enc;
    EncoderContexts flags, chain;
    enc.encodeBits(flags, shape.leadingFlag, 1);
    for (uint8_t b : shape.background)
        enc.encodeBits(flags, b, 8);
    enc.encodeBits(flags, shape.shapePresent, 8);
    enc.encodeBits(flags, shape.count, 16);
    enc.encodeBits(flags, shape.startX, 12);
    enc.encodeBits(flags, shape.startY, 12);
    const int first = shape.directions.empty() ? 0 : shape.directions[0];
    enc.encodeSymbol(chain, wlt::kTables.vl8, first);
    for (size_t i = 1; i < shape.directions.size(); ++i)
        enc.encodeSymbol(chain, wlt::kTables.vl8, chainSymbolFor(shape.directions[i - 1], shape.directions[i]));
    enc.encodeBits(flags, shape.trailingFlag, 1);

    std::vector<uint8_t> stream{0x6F};
    const std::vector<uint8_t> body = enc.finish();
    stream.insert(stream.end(), body.begin(), body.end());
    stream.push_back(0);  // the last byte of a stream is never read
    return stream;
}

struct ColourStreamWriter::Impl {
    QmEncoder enc;
    EncoderContexts sets[5];
};

ColourStreamWriter::ColourStreamWriter() : impl(new Impl) {}
ColourStreamWriter::~ColourStreamWriter() { delete impl; }

void ColourStreamWriter::symbol(int set, int s)
{
    static const int (*const trees[5])[8][4] = {&wlt::kTables.vl3, &wlt::kTables.vl4, &wlt::kTables.vl3,
                                                &wlt::kTables.vl2, &wlt::kTables.vl2};
    impl->enc.encodeSymbol(impl->sets[set], *trees[set], s);
}

std::vector<uint8_t> ColourStreamWriter::body() { return impl->enc.finish(); }

std::vector<uint8_t> ColourStreamWriter::stream(uint8_t topPlane, int padding)
{
    std::vector<uint8_t> s{topPlane, 0x6F};
    const std::vector<uint8_t> b = body();
    s.insert(s.end(), b.begin(), b.end());
    s.insert(s.end(), static_cast<size_t>(padding), 0);
    return s;
}

void colourLengths(int32_t T, int32_t len[3])
{
    len[0] = T * 85 / 100 + 10;
    len[1] = T * 8 / 100 + 10;
    len[2] = T - len[0] - len[1] + 30;
}

std::vector<uint8_t> buildWlt(const std::vector<uint8_t>& shapeStream, const ColourParams colour[3],
                              int totalLength)
{
    const int32_t L1 = static_cast<int32_t>(shapeStream.size());
    const int32_t T = totalLength - 15 - L1 - 4 - 30;
    int32_t len[3];
    colourLengths(T, len);

    std::vector<uint8_t> plain{0x57, 0x4C, 0x66, 0x00, 0x7E, 0x00, 0x32, 0, 0, 0, 0};
    putLe32(plain, L1);
    plain.insert(plain.end(), shapeStream.begin(), shapeStream.end());
    putLe32(plain, T + 4);
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> s{colour[i].topPlane, 0x6F};
        s.insert(s.end(), colour[i].body.begin(), colour[i].body.end());
        s.resize(static_cast<size_t>(std::max(len[i], 0)), 0);
        plain.insert(plain.end(), s.begin(), s.end());
    }
    return scramble(plain);
}

std::vector<uint8_t> scramble(std::vector<uint8_t> plain)
{
    for (size_t i = 10; i < plain.size(); ++i)
        plain[i] ^= 0x6B;
    return plain;
}

std::vector<uint8_t> samplePortrait(uint32_t seed, int totalLength)
{
    ShapeParams shape;
    shape.startX = 20;
    shape.startY = 10;
    shape.directions = rectangleOutline(60, 110);
    shape.count = static_cast<int>(shape.directions.size());
    std::mt19937 rng(seed);
    ColourParams colour[3];
    const uint8_t tops[3] = {11, 8, 8};
    for (int i = 0; i < 3; ++i) {
        colour[i].topPlane = tops[i];
        colour[i].body.resize(static_cast<size_t>(totalLength));
        for (auto& b : colour[i].body)
            b = static_cast<uint8_t>(rng());
    }
    return buildWlt(encodeShapeStream(shape), colour, totalLength);
}

} // namespace wlttest
