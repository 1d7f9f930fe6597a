// Unpack_Data as its callers see it: every result code from crafted input,
// the bitmap of a decodable portrait, concurrent decodes.

#include "WltBuilder.h"
#include "libwlt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

using namespace wlttest;

namespace {

struct Result {
    int code;
    std::vector<unsigned char> out;
    int outLen;
};

constexpr unsigned char kUntouched = 0xA5;

Result unpack(std::vector<uint8_t> in)
{
    Result r{0, std::vector<unsigned char>(40960, kUntouched), -7};
    libwlt decoder;
    r.code = decoder.Unpack_Data(in.data(), static_cast<int>(in.size()), r.out.data(), &r.outLen);
    return r;
}

bool untouched(const Result& r)
{
    if (r.outLen != -7)
        return false;
    for (unsigned char b : r.out)
        if (b != kUntouched)
            return false;
    return true;
}

std::vector<uint8_t> plainHeader()
{
    return {0x57, 0x4C, 0x66, 0x00, 0x7E, 0x00, 0x32, 0, 0, 0, 0};
}

void putLe32(std::vector<uint8_t>& v, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

std::vector<uint8_t> defaultShape()
{
    ShapeParams shape;
    shape.startX = 20;
    shape.startY = 10;
    shape.directions = rectangleOutline(60, 110);
    shape.count = static_cast<int>(shape.directions.size());
    return encodeShapeStream(shape);
}

// A container of the default shape followed by a colour length field of
// T + 4 and then `colourBytes` (plain, before scrambling).
std::vector<uint8_t> withColourPart(int32_t T, const std::vector<uint8_t>& colourBytes)
{
    std::vector<uint8_t> plain = plainHeader();
    const std::vector<uint8_t> shape = defaultShape();
    putLe32(plain, static_cast<int32_t>(shape.size()));
    plain.insert(plain.end(), shape.begin(), shape.end());
    putLe32(plain, T + 4);
    plain.insert(plain.end(), colourBytes.begin(), colourBytes.end());
    return scramble(plain);
}

// Colour streams laid out for total T, with the given second bytes.
std::vector<uint8_t> colourStreams(int32_t T, uint8_t y1 = 0x6F, uint8_t cb1 = 0x6F, uint8_t cr1 = 0x6F)
{
    int32_t len[3];
    colourLengths(T, len);
    std::vector<uint8_t> bytes;
    const uint8_t second[3] = {y1, cb1, cr1};
    for (int i = 0; i < 3; ++i) {
        std::vector<uint8_t> s(static_cast<size_t>(len[i]), 0x13);
        s[0] = 6;
        if (len[i] > 1)
            s[1] = second[i];
        bytes.insert(bytes.end(), s.begin(), s.end());
    }
    return bytes;
}

std::vector<uint8_t> withShape(const ShapeParams& shape)
{
    ColourParams colour[3];
    return buildWlt(encodeShapeStream(shape), colour);
}

} // namespace

TEST(Unpack, SamplePortraitDecodesToTheBitmap)
{
    std::vector<uint8_t> in = samplePortrait();
    ASSERT_EQ(in.size(), 1024u);
    Result r{0, std::vector<unsigned char>(40960, kUntouched), -7};
    libwlt decoder;
    r.code = decoder.Unpack_Data(in.data(), 1024, r.out.data(), &r.outLen);
    ASSERT_EQ(r.code, WLT_OK);
    EXPECT_EQ(r.outLen, 38862);
    EXPECT_EQ(r.out[0], 'B');
    EXPECT_EQ(r.out[1], 'M');
    EXPECT_EQ(r.out[38862], kUntouched) << "nothing written past the bitmap";
    // Far from the rectangle (columns 20-79, rows 10-119) the background
    // colour (200, 210, 220) is stored as blue, green, red.
    const int bottomLeft = 54;  // image row 125, column 0
    EXPECT_EQ(r.out[bottomLeft], 220);
    EXPECT_EQ(r.out[bottomLeft + 1], 210);
    EXPECT_EQ(r.out[bottomLeft + 2], 200);
    // Inside, the picture is not all background.
    int differing = 0;
    for (int row = 20; row < 100; ++row)
        for (int col = 30; col < 70; ++col) {
            const int off = 54 + (125 - row) * 308 + col * 3;
            differing += r.out[off] != 220 || r.out[off + 1] != 210 || r.out[off + 2] != 200;
        }
    EXPECT_GT(differing, 1000);

    // The caller's input is not descrambled in place: a second decode of it agrees.
    EXPECT_EQ(in, samplePortrait());
    EXPECT_EQ(unpack(in).out, r.out);
}

TEST(Unpack, LonePixelPortraitHasTheColoursItCarries)
{
    // The shape is the single pixel (45, 77): its only coefficient is the
    // coarsest-band one at (4, 2), scaled by 0.7071 eight times on the way up.
    ShapeParams point;
    point.startX = 45;
    point.startY = 77;
    point.count = 0;
    point.directions = {0};
    ColourParams colour[3];
    {
        // Y: 1600 = 1024 (plane 10) + 512 + 64 (refinement bits) -> 100.
        ColourStreamWriter y;
        y.symbol(0, 0);
        for (int bit : {1, 0, 0, 1, 0, 0, 0, 0, 0, 0})
            y.symbol(4, bit);
        colour[0].topPlane = 10;
        colour[0].body = y.body();
    }
    for (int c = 1; c < 3; ++c) {
        // Cb, Cr: 2048 (plane 11, no refinement bits) -> 128.
        ColourStreamWriter w;
        w.symbol(0, 0);
        for (int i = 0; i < 11; ++i)
            w.symbol(4, 0);
        colour[c].topPlane = 11;
        colour[c].body = w.body();
    }
    const Result r = unpack(buildWlt(encodeShapeStream(point), colour));
    ASSERT_EQ(r.code, WLT_OK);
    auto pixel = [&](int row, int col) {
        const int off = 54 + (125 - row) * 308 + col * 3;
        return std::vector<int>{r.out[off + 2], r.out[off + 1], r.out[off]};  // red, green, blue
    };
    EXPECT_EQ(pixel(77, 45), (std::vector<int>{100, 100, 100}));
    // The first background neighbour in scan order blends 8 background
    // pixels (200, 210, 220) with the grey one.
    EXPECT_EQ(pixel(76, 44), (std::vector<int>{188, 197, 206}));
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{200, 210, 220}));
    EXPECT_EQ(pixel(79, 45), (std::vector<int>{200, 210, 220}));
}

TEST(Unpack, TwoDecodesAtOnceGiveTheSequentialResults)
{
    const std::vector<uint8_t> inputs[2] = {samplePortrait(21), samplePortrait(22)};
    std::vector<unsigned char> expected[2];
    for (int i = 0; i < 2; ++i) {
        const Result r = unpack(inputs[i]);
        ASSERT_EQ(r.code, WLT_OK);
        expected[i].assign(r.out.begin(), r.out.begin() + 38862);
    }
    ASSERT_NE(expected[0], expected[1]);
    for (int round = 0; round < 4; ++round) {
        Result results[2];
        std::thread t0([&] { results[0] = unpack(inputs[0]); });
        std::thread t1([&] { results[1] = unpack(inputs[1]); });
        t0.join();
        t1.join();
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(results[i].code, WLT_OK);
            ASSERT_TRUE(std::equal(expected[i].begin(), expected[i].end(), results[i].out.begin()))
                << "decode " << i << " round " << round;
        }
    }
}

TEST(Unpack, InputOfAnyLengthIsDecoded)
{
    const std::vector<uint8_t> big = samplePortrait(3, 5000);  // streams well beyond 1032 bytes
    EXPECT_EQ(unpack(big).code, WLT_OK);
    const std::vector<uint8_t> small = samplePortrait(3, 300);
    EXPECT_EQ(unpack(small).code, WLT_OK);
}

TEST(Unpack, ShortOrMissingInputAndOutput)
{
    EXPECT_EQ(unpack({}).code, WLT_ERR_SHORT_INPUT);
    EXPECT_EQ(unpack({0x57, 0x4C, 0x66, 0x00, 0x7E, 0x00}).code, WLT_ERR_SHORT_INPUT);
    libwlt decoder;
    unsigned char out[16];
    int len = 0;
    EXPECT_EQ(decoder.Unpack_Data(nullptr, 1024, out, &len), WLT_ERR_SHORT_INPUT);
    std::vector<uint8_t> in = samplePortrait();
    EXPECT_EQ(decoder.Unpack_Data(in.data(), -1, out, &len), WLT_ERR_SHORT_INPUT);
    EXPECT_EQ(decoder.Unpack_Data(in.data(), 1024, nullptr, &len), WLT_ERR_NO_OUTPUT);
    EXPECT_EQ(decoder.Unpack_Data(in.data(), 1024, out, nullptr), WLT_ERR_NO_OUTPUT);
}

TEST(Unpack, HeaderIsChecked)
{
    std::vector<uint8_t> in = samplePortrait();
    in[6] = 0x33;
    const Result r = unpack(in);
    EXPECT_EQ(r.code, WLT_ERR_HEADER);
    EXPECT_TRUE(untouched(r));
    for (int i = 0; i < 7; ++i) {
        std::vector<uint8_t> bad = samplePortrait();
        bad[i] ^= 1;
        EXPECT_EQ(unpack(bad).code, WLT_ERR_HEADER) << "byte " << i;
    }
    std::vector<uint8_t> ignored = samplePortrait();
    ignored[7] = ignored[8] = ignored[9] = 0x99;
    EXPECT_EQ(unpack(ignored).code, WLT_OK) << "bytes 7-9 are not examined";
}

TEST(Unpack, ShapeStreamBoundsAndMarker)
{
    std::vector<uint8_t> headerOnly = plainHeader();
    headerOnly.resize(10);
    EXPECT_EQ(unpack(headerOnly).code, WLT_ERR_SHAPE_BOUNDS);
    std::vector<uint8_t> partialLength = plainHeader();
    partialLength.push_back(5);
    EXPECT_EQ(unpack(scramble(partialLength)).code, WLT_ERR_SHAPE_BOUNDS);

    auto withLength = [](int32_t L1, size_t bodyBytes, uint8_t first) {
        std::vector<uint8_t> p = plainHeader();
        putLe32(p, L1);
        std::vector<uint8_t> body(bodyBytes, 0);
        if (!body.empty())
            body[0] = first;
        p.insert(p.end(), body.begin(), body.end());
        return scramble(p);
    };
    EXPECT_EQ(unpack(withLength(0, 100, 0x6F)).code, WLT_ERR_SHAPE_MARKER);
    EXPECT_EQ(unpack(withLength(-5, 100, 0x6F)).code, WLT_ERR_SHAPE_MARKER);
    EXPECT_EQ(unpack(withLength(101, 100, 0x6F)).code, WLT_ERR_SHAPE_BOUNDS);
    EXPECT_EQ(unpack(withLength(0x7FFFFFFF, 100, 0x6F)).code, WLT_ERR_SHAPE_BOUNDS);
    EXPECT_EQ(unpack(withLength(50, 100, 0x6E)).code, WLT_ERR_SHAPE_MARKER);
    const Result r = unpack(withLength(50, 100, 0x00));
    EXPECT_EQ(r.code, WLT_ERR_SHAPE_MARKER);
    EXPECT_TRUE(untouched(r));
}

TEST(Unpack, ShapeStreamContentCodes)
{
    ShapeParams flag;
    flag.leadingFlag = 1;
    EXPECT_EQ(unpack(withShape(flag)).code, WLT_ERR_SHAPE_FLAG);
    ShapeParams absent;
    absent.shapePresent = 3;
    EXPECT_EQ(unpack(withShape(absent)).code, WLT_ERR_SHAPE_ABSENT);
    ShapeParams trailing;
    trailing.trailingFlag = 1;
    EXPECT_EQ(unpack(withShape(trailing)).code, WLT_ERR_OUTLINE_FLAG);
    ShapeParams tooLong;
    tooLong.count = 2001;
    tooLong.directions.assign(2001, 0);
    EXPECT_EQ(unpack(withShape(tooLong)).code, WLT_ERR_OUTLINE_TOO_LONG);
    ShapeParams outside;
    outside.startX = 100;
    outside.directions = {0, 0, 0};
    outside.count = 3;
    const Result r = unpack(withShape(outside));
    EXPECT_EQ(r.code, WLT_ERR_OUTLINE_OUTSIDE);
    EXPECT_TRUE(untouched(r));
    ShapeParams tall;
    tall.startY = 0;
    tall.directions.assign(126, 2);  // 127 rows
    tall.count = 126;
    EXPECT_EQ(unpack(withShape(tall)).code, WLT_ERR_OUTLINE_OUTSIDE);
}

TEST(Unpack, ColourStreamBounds)
{
    // Input ends right after the shape stream: no length field.
    std::vector<uint8_t> plain = plainHeader();
    const std::vector<uint8_t> shape = defaultShape();
    putLe32(plain, static_cast<int32_t>(shape.size()));
    plain.insert(plain.end(), shape.begin(), shape.end());
    plain.push_back(0);
    EXPECT_EQ(unpack(scramble(plain)).code, WLT_ERR_COLOUR_BOUNDS);

    // Streams one byte longer than the input holds.
    const int32_t T = 600;
    std::vector<uint8_t> streams = colourStreams(T);
    streams.pop_back();
    EXPECT_EQ(unpack(withColourPart(T, streams)).code, WLT_ERR_COLOUR_BOUNDS);
    streams.push_back(0x13);
    EXPECT_EQ(unpack(withColourPart(T, streams)).code, WLT_OK);
    EXPECT_EQ(unpack(withColourPart(0x7FFFFFF0, streams)).code, WLT_ERR_COLOUR_BOUNDS);
}

TEST(Unpack, ColourStreamMarkersInOrder)
{
    const int32_t T = 600;
    EXPECT_EQ(unpack(withColourPart(T, colourStreams(T, 0x6E))).code, WLT_ERR_COLOUR_MARKER);
    EXPECT_EQ(unpack(withColourPart(T, colourStreams(T, 0x6F, 0x00))).code, WLT_ERR_COLOUR_MARKER);
    EXPECT_EQ(unpack(withColourPart(T, colourStreams(T, 0x6F, 0x6F, 0xFF))).code, WLT_ERR_COLOUR_MARKER);
    // T = -11 gives a Y stream of one byte: it cannot hold its marker.
    int32_t len[3];
    colourLengths(-11, len);
    ASSERT_EQ(len[0], 1);
    EXPECT_EQ(unpack(withColourPart(-11, colourStreams(-11))).code, WLT_ERR_COLOUR_MARKER);
}

TEST(Unpack, ColourStreamLengthOfZeroOrLessIsRejected)
{
    // -12 makes the Y stream 0 bytes long; the last is the most negative field.
    for (int32_t T : {-12, -100, -2147483647 - 1 + 4}) {
        const Result r = unpack(withColourPart(T, std::vector<uint8_t>(64, 0x6F)));
        EXPECT_EQ(r.code, WLT_ERR_COLOUR_LENGTH) << "T " << T;
        EXPECT_TRUE(untouched(r));
    }
}

TEST(Unpack, ShortColourStreamsAreNotAFailure)
{
    // T = 0: three 10-byte streams, exhausted at once.
    EXPECT_EQ(unpack(withColourPart(0, colourStreams(0))).code, WLT_OK);
}

TEST(Unpack, TopPlaneAbove30IsRejected)
{
    const int32_t T = 600;
    std::vector<uint8_t> streams = colourStreams(T);
    int32_t len[3];
    colourLengths(T, len);
    streams[static_cast<size_t>(len[0])] = 31;  // the Cb stream's plane byte
    const Result r = unpack(withColourPart(T, streams));
    EXPECT_EQ(r.code, WLT_ERR_TOP_PLANE);
    EXPECT_TRUE(untouched(r));
}

TEST(Unpack, TruncatedPortraitsNeverFailOutOfBounds)
{
    // Every prefix of a good portrait either decodes or is rejected with a
    // code; none reads past its end (the sanitizer build checks that).
    const std::vector<uint8_t> in = samplePortrait(9);
    for (size_t len = 0; len <= in.size(); len += 7) {
        std::vector<uint8_t> prefix(in.begin(), in.begin() + static_cast<long>(len));
        const Result r = unpack(prefix);
        EXPECT_TRUE(r.code == WLT_OK || (r.code != WLT_OK && untouched(r))) << len;
        EXPECT_NE(r.code, 0);
    }
}
