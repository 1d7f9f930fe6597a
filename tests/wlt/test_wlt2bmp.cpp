// The wlt2bmp tool, run as field engineers run it.

#include "ResultText.h"
#include "WltBuilder.h"
#include "libwlt.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

ToolRun runTool(const std::string& args, const fs::path& dir)
{
    const fs::path outFile = dir / "stdout.txt";
    const fs::path errFile = dir / "stderr.txt";
    const std::string cmd = std::string(WLT2BMP_BINARY) + " " + args + " >" + outFile.string() + " 2>" + errFile.string();
    const int raw = std::system(cmd.c_str());
    auto slurp = [](const fs::path& p) {
        std::ifstream f(p);
        return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    };
    return ToolRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(outFile), slurp(errFile)};
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes)
{
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> readFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

class Wlt2Bmp : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/wlt2bmp-test-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
};

} // namespace

TEST_F(Wlt2Bmp, WritesTheDecodedBitmap)
{
    std::vector<uint8_t> in = wlttest::samplePortrait(4);
    writeFile(dir / "p.wlt", in);
    const ToolRun r = runTool((dir / "p.wlt").string() + " " + (dir / "p.bmp").string(), dir);
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<unsigned char> expected(WLT_BITMAP_SIZE);
    int len = 0;
    libwlt decoder;
    ASSERT_EQ(decoder.Unpack_Data(in.data(), static_cast<int>(in.size()), expected.data(), &len), WLT_OK);
    EXPECT_EQ(readFile(dir / "p.bmp"), expected);
}

TEST_F(Wlt2Bmp, RejectedInputPrintsTheCodeAndItsMeaning)
{
    std::vector<uint8_t> in = wlttest::samplePortrait(4);
    in[6] = 0x33;
    writeFile(dir / "bad.wlt", in);
    const ToolRun r = runTool((dir / "bad.wlt").string() + " " + (dir / "bad.bmp").string(), dir);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("result 3"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(wlt::resultMeaning(WLT_ERR_HEADER)), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "bad.bmp"));

    writeFile(dir / "empty.wlt", {});
    const ToolRun e = runTool((dir / "empty.wlt").string() + " " + (dir / "e.bmp").string(), dir);
    EXPECT_NE(e.status, 0);
    EXPECT_NE(e.err.find("result 12"), std::string::npos) << e.err;
}

TEST_F(Wlt2Bmp, MissingFilesAndBadUsageFail)
{
    const ToolRun missing = runTool((dir / "none.wlt").string() + " " + (dir / "x.bmp").string(), dir);
    EXPECT_NE(missing.status, 0);
    EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
    const ToolRun usage = runTool("only-one-argument", dir);
    EXPECT_NE(usage.status, 0);
    EXPECT_NE(usage.err.find("usage"), std::string::npos);
    writeFile(dir / "p.wlt", wlttest::samplePortrait(4));
    const ToolRun unwritable = runTool((dir / "p.wlt").string() + " " + (dir / "no-such-dir" / "x.bmp").string(), dir);
    EXPECT_NE(unwritable.status, 0);
    EXPECT_NE(unwritable.err.find("cannot create"), std::string::npos);
}

TEST_F(Wlt2Bmp, HelpListsEveryResultCode)
{
    const ToolRun r = runTool("--help", dir);
    EXPECT_EQ(r.status, 0);
    for (int code : wlt::allResultCodes()) {
        char line[256];
        std::snprintf(line, sizeof line, "%2d  %s", code, wlt::resultMeaning(code));
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    }
    EXPECT_GE(wlt::allResultCodes().size(), 16u);
}
