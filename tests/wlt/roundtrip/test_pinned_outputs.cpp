// The decoder's exact behaviour on several hundred portraits, pinned by
// digest: encoder-made ones at several sizes and shapes, stream-builder ones,
// and mutations of them (flipped bytes, noise streams, top planes up to 30,
// truncations, damaged shape streams) that reach the paths no encoder takes.
// Each case records the digest of its input, the result code and the digest
// of the whole output buffer (so a failure that writes is caught too).
//
// The expected file was written by a decoder checked against the round trips
// above; rewrite it (WLT_PIN_WRITE=path) only from a decoder known to be right.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "SyntheticPortraits.h"
#include "WltBuilder.h"
#include "libwlt.h"

using namespace wltenc;

namespace {

constexpr uint8_t kPayloadMask = 0x6B;
constexpr int kPayloadStart = 10;
constexpr size_t kOutputRoom = 40960;
constexpr uint8_t kUntouched = 0xA5;

uint64_t fnv1a(const uint8_t* p, size_t n, uint64_t h = 0xcbf29ce484222325ull) {
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
    return h;
}

struct Case {
    std::string name;
    std::vector<uint8_t> bytes;
};

// The container's payload, descrambled, so that mutations can aim at streams.
std::vector<uint8_t> toggleScramble(std::vector<uint8_t> v) {
    for (size_t i = kPayloadStart; i < v.size(); ++i) v[i] ^= kPayloadMask;
    return v;
}

int32_t le32(const std::vector<uint8_t>& v, size_t at) {
    return static_cast<int32_t>(v[at] | v[at + 1] << 8 | v[at + 2] << 16 | static_cast<uint32_t>(v[at + 3]) << 24);
}

// Where the colour part begins and where each colour stream starts, in a
// well-formed container.
struct Layout {
    size_t colourStart = 0;
    size_t stream[3] = {};
};
Layout layoutOf(const std::vector<uint8_t>& plain) {
    Layout l;
    const int32_t L1 = le32(plain, 11);
    const size_t lengthAt = 15 + static_cast<size_t>(L1);
    int32_t len[3];
    wlttest::colourLengths(le32(plain, lengthAt) - 4, len);
    l.colourStart = lengthAt + 4;
    l.stream[0] = l.colourStart;
    l.stream[1] = l.stream[0] + static_cast<size_t>(len[0]);
    l.stream[2] = l.stream[1] + static_cast<size_t>(len[1]);
    return l;
}

// Raw mt19937 draws only: their sequence is fixed by the standard, unlike
// the distributions'.
size_t draw(std::mt19937& rng, size_t n) { return rng() % n; }

std::vector<uint8_t> mutate(const std::vector<uint8_t>& wlt, int kind, std::mt19937& rng) {
    std::vector<uint8_t> p = toggleScramble(wlt);
    const Layout l = layoutOf(p);
    switch (kind) {
    case 0:  // a few flipped bytes in the colour streams
        for (size_t k = 1 + draw(rng, 8); k > 0; --k) p[l.colourStart + draw(rng, p.size() - l.colourStart)] ^= 1 + draw(rng, 255);
        break;
    case 1:  // one colour stream's top plane anywhere from 0 to 30
        p[l.stream[draw(rng, 3)]] = static_cast<uint8_t>(draw(rng, 31));
        break;
    case 2:  // noise streams, large top planes
        for (size_t i = l.colourStart; i < p.size(); ++i) p[i] = static_cast<uint8_t>(rng());
        for (size_t s : l.stream) {
            p[s] = static_cast<uint8_t>(10 + draw(rng, 21));
            p[s + 1] = 0x6F;
        }
        break;
    case 3:  // truncated anywhere
        p.resize(draw(rng, p.size() + 1));
        break;
    case 4:  // a damaged shape stream
        p[15 + draw(rng, l.colourStart - 19)] ^= 1 + draw(rng, 255);
        break;
    }
    return toggleScramble(p);
}

std::vector<Case> cases() {
    std::vector<Case> base;
    for (const std::string& name : syntheticNames()) {
        const SyntheticPortrait s = makeSynthetic(name);
        for (int budget : {1024, 600, 300})
            base.push_back({name + "@" + std::to_string(budget), encodeWlt(s.picture, s.outline, s.background, budget).bytes});
    }
    const std::vector<std::vector<std::pair<int, int>>> polygons = {
        {{50, 2}, {98, 60}, {51, 123}, {3, 61}},
        {{10, 5}, {90, 5}, {60, 40}, {95, 120}, {5, 120}, {40, 40}},
        {{30, 0}, {31, 0}, {101, 125}, {0, 125}},
        {{51, 20}, {80, 90}, {51, 60}, {20, 90}},
    };
    for (size_t i = 0; i < polygons.size(); ++i) {
        const SyntheticPortrait s = makeSynthetic(i % 2 ? "noise" : "face");
        base.push_back({"polygon" + std::to_string(i), encodeWlt(s.picture, Outline::fromPolygon(polygons[i]), s.background).bytes});
    }
    for (uint32_t seed = 1; seed <= 3; ++seed) base.push_back({"builder" + std::to_string(seed), wlttest::samplePortrait(seed)});

    std::vector<Case> all = base;
    std::mt19937 rng(20240610);
    for (const Case& b : base)
        for (int m = 0; m < 20; ++m) {
            const int kind = m % 5;
            all.push_back({b.name + "~" + std::to_string(kind) + "." + std::to_string(m / 5), mutate(b.bytes, kind, rng)});
        }
    return all;
}

// "name input-digest result output-digest", one line per case.
std::string outcome(const Case& c) {
    std::vector<uint8_t> in(c.bytes);
    std::vector<uint8_t> out(kOutputRoom, kUntouched);
    int outLen = -7;
    libwlt decoder;
    const int rc = decoder.Unpack_Data(in.empty() ? nullptr : in.data(), static_cast<int>(in.size()), out.data(), &outLen);
    char line[160];
    std::snprintf(line, sizeof line, "%s %016llx %d %d %016llx", c.name.c_str(),
                  static_cast<unsigned long long>(fnv1a(c.bytes.data(), c.bytes.size())), rc, outLen,
                  static_cast<unsigned long long>(fnv1a(out.data(), out.size())));
    return line;
}

}  // namespace

TEST(PinnedOutputs, EveryCaseDecodesAsBefore) {
    const std::vector<Case> all = cases();
    if (const char* path = std::getenv("WLT_PIN_WRITE")) {
        std::ofstream f(path);
        for (const Case& c : all) f << outcome(c) << "\n";
        GTEST_SKIP() << "wrote " << all.size() << " outcomes to " << path;
    }
    std::ifstream f(WLT_PINNED_OUTPUTS);
    ASSERT_TRUE(f) << "cannot open " << WLT_PINNED_OUTPUTS;
    std::vector<std::string> expected;
    for (std::string line; std::getline(f, line);)
        if (!line.empty()) expected.push_back(line);
    ASSERT_EQ(expected.size(), all.size());

    int decoded = 0, failed = 0;
    for (size_t i = 0; i < all.size(); ++i) {
        const std::string got = outcome(all[i]);
        std::istringstream e(expected[i]), g(got);
        std::string eName, eIn, gName, gIn;
        e >> eName >> eIn;
        g >> gName >> gIn;
        ASSERT_EQ(eName + " " + eIn, gName + " " + gIn)
            << "the inputs changed (test encoder or builder?); the pinned file must be rewritten from a trusted decoder";
        EXPECT_EQ(got, expected[i]);
        (got.find(" 1 38862 ") != std::string::npos ? decoded : failed)++;
    }
    // The cases must reach both the full decode and the failure codes.
    EXPECT_GT(decoded, 300);
    EXPECT_GT(failed, 30);
}
