// wlt2bmp: decodes a WLT portrait dumped from a card reader into a BMP file.

#include "ResultText.h"
#include "libwlt.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

constexpr int kExitDecodeFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitIo = 3;

void printHelp(std::FILE* to)
{
    std::fprintf(to,
                 "usage: wlt2bmp IN.wlt OUT.bmp\n"
                 "Decodes a WLT portrait (any length) into a 102 x 126 24-bit BMP file.\n"
                 "\n"
                 "Exit status: 0 success, %d the decoder rejected the input (its result code is\n"
                 "printed), %d bad usage, %d a file could not be read or written.\n"
                 "\n"
                 "Result codes:\n",
                 kExitDecodeFailed, kExitUsage, kExitIo);
    for (int code : wlt::allResultCodes())
        std::fprintf(to, "  %2d  %s\n", code, wlt::resultMeaning(code));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printHelp(stdout);
        return 0;
    }
    if (argc != 3) {
        printHelp(stderr);
        return kExitUsage;
    }
    const char* inPath = argv[1];
    const char* outPath = argv[2];

    std::ifstream inFile(inPath, std::ios::binary);
    if (!inFile) {
        std::fprintf(stderr, "wlt2bmp: cannot open %s: %s\n", inPath, std::strerror(errno));
        return kExitIo;
    }
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(inFile)), std::istreambuf_iterator<char>());
    if (inFile.bad()) {
        std::fprintf(stderr, "wlt2bmp: cannot read %s\n", inPath);
        return kExitIo;
    }
    if (data.size() > static_cast<size_t>(INT_MAX)) {
        std::fprintf(stderr, "wlt2bmp: %s is too large (%zu bytes)\n", inPath, data.size());
        return kExitIo;
    }

    std::vector<unsigned char> bitmap(WLT_BITMAP_SIZE);
    int bitmapLen = 0;
    libwlt decoder;
    const int rc = decoder.Unpack_Data(data.data(), static_cast<int>(data.size()), bitmap.data(), &bitmapLen);
    if (rc != WLT_OK) {
        std::fprintf(stderr, "wlt2bmp: %s: result %d: %s\n", inPath, rc, wlt::resultMeaning(rc));
        return kExitDecodeFailed;
    }

    std::FILE* outFile = std::fopen(outPath, "wb");
    if (outFile == nullptr) {
        std::fprintf(stderr, "wlt2bmp: cannot create %s: %s\n", outPath, std::strerror(errno));
        return kExitIo;
    }
    const bool written = std::fwrite(bitmap.data(), 1, static_cast<size_t>(bitmapLen), outFile) ==
                         static_cast<size_t>(bitmapLen);
    if (std::fclose(outFile) != 0 || !written) {
        std::fprintf(stderr, "wlt2bmp: cannot write %s\n", outPath);
        std::remove(outPath);
        return kExitIo;
    }
    return 0;
}
