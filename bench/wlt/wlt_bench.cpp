// One 1024-byte portrait decode against OpenCV's JPEG decode of the same
// 102 x 126 picture, measured in the same run.

#include "libwlt.h"

#ifdef WLT_BENCH_WITH_ENCODER
#include "SyntheticPortraits.h"
#else
#include "WltBuilder.h"
#endif

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include <stdexcept>
#include <vector>

namespace {

// The portrait: the test encoder's synthetic face when it is built, else a
// stream of the test builder (rectangle outline, pseudo-random planes).
std::vector<uint8_t> portrait()
{
#ifdef WLT_BENCH_WITH_ENCODER
    const wltenc::SyntheticPortrait s = wltenc::makeSynthetic("face");
    return wltenc::encodeWlt(s.picture, s.outline, s.background, 1024).bytes;
#else
    return wlttest::samplePortrait(1, 1024);
#endif
}

std::vector<unsigned char> decodeToBitmap(std::vector<uint8_t> in)
{
    std::vector<unsigned char> bmp(WLT_BITMAP_SIZE);
    int len = 0;
    libwlt decoder;
    if (decoder.Unpack_Data(in.data(), static_cast<int>(in.size()), bmp.data(), &len) != WLT_OK)
        throw std::runtime_error("portrait does not decode");
    return bmp;
}

void BM_WltDecode(benchmark::State& state)
{
    std::vector<uint8_t> in = portrait();
    std::vector<unsigned char> out(WLT_BITMAP_SIZE);
    int len = 0;
    libwlt decoder;
    for (auto _ : state) {
        const int rc = decoder.Unpack_Data(in.data(), static_cast<int>(in.size()), out.data(), &len);
        benchmark::DoNotOptimize(rc);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(std::to_string(in.size()) + "-byte WLT -> 102x126 BMP");
}

void BM_JpegDecodeBaseline(benchmark::State& state)
{
    const std::vector<unsigned char> bmp = decodeToBitmap(portrait());
    const cv::Mat picture = cv::imdecode(bmp, cv::IMREAD_COLOR);
    std::vector<unsigned char> jpeg;
    cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90});
    for (auto _ : state) {
        cv::Mat decoded = cv::imdecode(jpeg, cv::IMREAD_COLOR);
        benchmark::DoNotOptimize(decoded.data);
    }
    state.SetLabel(std::to_string(jpeg.size()) + "-byte JPEG of the same picture");
}

} // namespace

BENCHMARK(BM_WltDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JpegDecodeBaseline)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
