// Writes WLT portraits of the synthetic pictures, e.g. to seed a fuzzer or a
// benchmark: wltenc_tool [--budget N] [--sources] OUTDIR [NAME...]
// --sources also writes each source picture as NAME.ppm.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "SyntheticPortraits.h"

namespace {
bool writePpm(const std::string& path, const wltenc::Portrait& p) {
    std::ofstream f(path, std::ios::binary);
    f << "P6\n" << wltenc::kImageWidth << " " << wltenc::kImageHeight << "\n255\n";
    f.write(reinterpret_cast<const char*>(p.rgb.data()), static_cast<std::streamsize>(p.rgb.size()));
    return static_cast<bool>(f);
}
}  // namespace

int main(int argc, char** argv) {
    int budget = wltenc::kPortraitBytes;
    bool sources = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--budget" && i + 1 < argc) {
            budget = std::atoi(argv[++i]);
        } else if (a == "--sources") {
            sources = true;
        } else if (a == "-h" || a == "--help") {
            args.clear();
            break;
        } else {
            args.push_back(a);
        }
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: %s [--budget BYTES] [--sources] OUTDIR [NAME...]\nnames:", argv[0]);
        for (const auto& n : wltenc::syntheticNames()) std::fprintf(stderr, " %s", n.c_str());
        std::fprintf(stderr, "\nwrites OUTDIR/NAME.wlt (default: all names, %d bytes), with --sources also OUTDIR/NAME.ppm\n", wltenc::kPortraitBytes);
        return 2;
    }
    const std::string dir = args[0];
    std::vector<std::string> names(args.begin() + 1, args.end());
    if (names.empty()) names = wltenc::syntheticNames();
    int failures = 0;
    for (const std::string& name : names) {
        try {
            const wltenc::SyntheticPortrait s = wltenc::makeSynthetic(name);
            const wltenc::EncodedWlt e = wltenc::encodeWlt(s.picture, s.outline, s.background, budget);
            const std::string path = dir + "/" + name + ".wlt";
            std::ofstream f(path, std::ios::binary);
            f.write(reinterpret_cast<const char*>(e.bytes.data()), static_cast<std::streamsize>(e.bytes.size()));
            if (!f) {
                std::fprintf(stderr, "cannot write %s\n", path.c_str());
                ++failures;
                continue;
            }
            if (sources && !writePpm(dir + "/" + name + ".ppm", s.picture)) {
                std::fprintf(stderr, "cannot write %s/%s.ppm\n", dir.c_str(), name.c_str());
                ++failures;
            }
            std::printf("%s: %zu bytes, shape stream %d, kept symbols Y %zu/%zu Cb %zu/%zu Cr %zu/%zu%s\n",
                        path.c_str(), e.bytes.size(), e.shapeStreamLength,
                        e.keptSymbols[0], e.symbols[0].symbols.size(), e.keptSymbols[1], e.symbols[1].symbols.size(),
                        e.keptSymbols[2], e.symbols[2].symbols.size(), e.exact ? "" : " (not exact)");
            if (!e.exact) {
                std::fprintf(stderr, "%s: a stream does not decode as coded\n", name.c_str());
                ++failures;
            }
        } catch (const std::exception& ex) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), ex.what());
            ++failures;
        }
    }
    return failures ? 1 : 0;
}
