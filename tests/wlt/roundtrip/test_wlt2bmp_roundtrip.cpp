// wlt2bmp writes the same bitmap for an encoded portrait as the decoder returns.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "RoundTrip.h"

using namespace wltenc;

TEST(Wlt2bmp, WritesTheDecodedPortrait) {
    char dir[] = "/tmp/wltenc_roundtripXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string in = std::string(dir) + "/face.wlt", out = std::string(dir) + "/face.bmp";
    const SyntheticPortrait s = makeSynthetic("face");
    const EncodedWlt e = encodeWlt(s.picture, s.outline, s.background);
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(e.bytes.data()), static_cast<std::streamsize>(e.bytes.size()));
    }
    const std::string cmd = std::string(WLT2BMP_BINARY) + " " + in + " " + out;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    std::ifstream f(out, std::ios::binary);
    const std::vector<uint8_t> written((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    const Decoded d = decodeWithLibwlt(e.bytes);
    ASSERT_EQ(d.result, 1);
    EXPECT_EQ(written, d.bmp);
    std::remove(in.c_str());
    std::remove(out.c_str());
    rmdir(dir);
}
