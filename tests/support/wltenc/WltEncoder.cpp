#include "WltEncoder.h"

#include <algorithm>
#include <cmath>

#include "QmDecoderModel.h"
#include "QmEncoder.h"
#include "Wavelet.h"

namespace wltenc {

namespace {

constexpr uint8_t kHeader[7] = {0x57, 0x4C, 0x66, 0x00, 0x7E, 0x00, 0x32};
constexpr uint8_t kPayloadMask = 0x6B;
constexpr uint8_t kMarker = 0x6F;
constexpr int kMaxStreamBytes = 1032;

// Shape stream symbols: set 0 holds flags and n-bit values, set 1 chain codes.
struct ShapeSymbol {
    int set;
    int value;
};

std::vector<ShapeSymbol> shapeSymbols(const Outline& o, Rgb bg) {
    std::vector<ShapeSymbol> s;
    auto bits = [&](int value, int n) {
        for (int i = n - 1; i >= 0; --i) s.push_back({0, (value >> i) & 1});
    };
    bits(0, 1);
    bits(bg.r, 8);
    bits(bg.g, 8);
    bits(bg.b, 8);
    bits(1, 8);  // a shape follows
    const int count = static_cast<int>(o.directions.size());
    bits(count, 16);
    bits(o.startX, 12);
    bits(o.startY, 12);
    // The first direction is sent even for an outline of no steps.
    int prev = count > 0 ? o.directions[0] : 0;
    s.push_back({1, prev});
    // Later directions as turns: symbol s means a turn of kTurn[s].
    static const int kSymbolOfTurn[8] = {0, 2, 4, 6, 7, 5, 3, 1};  // turn 0..3, then -4..-1
    for (int i = 1; i < count; ++i) {
        const int turn = ((o.directions[i] - prev) % 8 + 8) % 8;
        s.push_back({1, kSymbolOfTurn[turn]});
        prev = o.directions[i];
    }
    bits(0, 1);
    return s;
}

TreeKind shapeSetKind(int set) { return set == 0 ? TreeKind::Bits2 : TreeKind::Symbols8; }

std::vector<uint8_t> shapeStream(const std::vector<ShapeSymbol>& syms) {
    ContextSet sets[2];
    QmEncoder enc;
    for (const ShapeSymbol& s : syms) enc.encodeSymbol(sets[s.set], shapeSetKind(s.set), s.value);
    std::vector<uint8_t> stream;
    stream.push_back(kMarker);
    const std::vector<uint8_t> code = enc.finish();
    stream.insert(stream.end(), code.begin(), code.end());
    stream.push_back(0);  // the last byte is never consumed
    return stream;
}

bool shapeDecodesAsCoded(const std::vector<uint8_t>& stream, const std::vector<ShapeSymbol>& syms) {
    ContextSet sets[2];
    QmDecoderModel dec(stream.data(), static_cast<int>(stream.size()), 1);
    for (const ShapeSymbol& s : syms)
        if (dec.decodeSymbol(sets[s.set], shapeSetKind(s.set)) != s.value) return false;
    return true;
}

void putLe32(std::vector<uint8_t>& out, int32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

}  // namespace

std::array<Plane, 3> toYCbCr(const Portrait& p) {
    std::array<Plane, 3> planes{makePlane(), makePlane(), makePlane()};
    for (int y = 0; y < kImageHeight; ++y)
        for (int x = 0; x < kImageWidth; ++x) {
            const std::array<int, 3> ycc = rgbToYCbCr(p.pixel(x, y));
            for (int i = 0; i < 3; ++i) at(planes[i], y, x) = ycc[i];
        }
    return planes;
}

EncodedWlt encodeWlt(const Portrait& picture, const Outline& outline, Rgb background, int byteBudget) {
    const std::string problem = outline.problem();
    if (!problem.empty()) throw EncodeError(problem);
    if (picture.rgb.size() != static_cast<size_t>(kImageWidth * kImageHeight * 3))
        throw EncodeError("picture is not 102 x 126 RGB");

    EncodedWlt out;
    out.mask = maskFromOutline(outline);
    const Plane pyramid = maskPyramid(out.mask);

    const std::vector<ShapeSymbol> shape = shapeSymbols(outline, background);
    const std::vector<uint8_t> shapeBytes = shapeStream(shape);
    out.shapeStreamLength = static_cast<int>(shapeBytes.size());
    bool exact = shapeDecodesAsCoded(shapeBytes, shape);

    // Header, unused byte, shape length and stream, colour length field, streams.
    const int total = byteBudget;
    const int t = total - 49 - out.shapeStreamLength;
    const int len0 = t * 85 / 100 + 10, len1 = t * 8 / 100 + 10, len2 = t - len0 - len1 + 30;
    if (t < 0 || len0 < 3 || len1 < 3 || len2 < 3) throw EncodeError("byte budget too small for this outline");
    // The decoder holds each stream in a 1032-byte buffer.
    if (std::max({out.shapeStreamLength, len0, len1, len2}) > kMaxStreamBytes)
        throw EncodeError("byte budget or outline gives a stream longer than 1032 bytes");
    out.streamLengths = {len0, len1, len2};

    const std::array<Plane, 3> planes = toYCbCr(picture);
    std::vector<uint8_t> d(kHeader, kHeader + 7);
    d.resize(11, 0);  // bytes 7-9 are not examined, 10 is not used
    putLe32(d, out.shapeStreamLength);
    d.insert(d.end(), shapeBytes.begin(), shapeBytes.end());
    putLe32(d, t + 4);
    for (int i = 0; i < 3; ++i) {
        const Plane coef = forwardTransform(planes[i], out.mask);
        out.symbols[i] = codeBitPlanes(coef, pyramid);
        FittedStream fitted = fitColourStream(out.symbols[i], out.streamLengths[i]);
        // A costly symbol right at the end can leave the decoder reading on
        // into zeros. Then the symbols from there on are replaced by harmless
        // padding, which is cheap and ends the stream cleanly.
        for (size_t back = 0; !fitted.exact && back <= fitted.longestFittingPrefix; back = back ? back * 2 : 1) {
            ColourSymbols padded = codeBitPlanes(coef, pyramid, fitted.longestFittingPrefix - back);
            FittedStream refit = fitColourStream(padded, out.streamLengths[i]);
            if (refit.exact) {
                out.symbols[i] = std::move(padded);
                fitted = std::move(refit);
            }
        }
        out.keptSymbols[i] = fitted.keptSymbols;
        out.decodedCoefficients[i] = appliedCoefficients(out.symbols[i], fitted.keptSymbols);
        exact = exact && fitted.exact;
        d.insert(d.end(), fitted.bytes.begin(), fitted.bytes.end());
    }
    for (size_t i = 10; i < d.size(); ++i) d[i] ^= kPayloadMask;
    out.bytes = std::move(d);
    out.exact = exact;
    return out;
}

}  // namespace wltenc
