// One 1024-byte portrait decode against OpenCV's JPEG decode of the same
// 102 x 126 picture, measured in the same run. The baseline JPEG is the
// decoded portrait itself, encoded by OpenCV at quality 90. Both benchmarks
// run several repetitions in random interleaving, so that the load of a
// shared machine falls on both alike; the run ends with both medians and
// their ratio.

#include "libwlt.h"

#ifdef WLT_BENCH_WITH_ENCODER
#include "SyntheticPortraits.h"
#else
#include "WltBuilder.h"
#endif

#include <benchmark/benchmark.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

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

// The decoded portrait as OpenCV encodes it at quality 90.
std::vector<unsigned char> baselineJpeg()
{
    const cv::Mat picture = cv::imdecode(decodeToBitmap(portrait()), cv::IMREAD_COLOR);
    if (picture.cols != 102 || picture.rows != 126 || picture.channels() != 3)
        throw std::runtime_error("the decoded portrait is not a 102 x 126 colour picture");
    std::vector<unsigned char> jpeg;
    if (!cv::imencode(".jpg", picture, jpeg, {cv::IMWRITE_JPEG_QUALITY, 90}))
        throw std::runtime_error("OpenCV cannot encode JPEG");
    return jpeg;
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
    const std::vector<unsigned char> jpeg = baselineJpeg();
    for (auto _ : state) {
        cv::Mat decoded = cv::imdecode(jpeg, cv::IMREAD_COLOR);
        benchmark::DoNotOptimize(decoded.data);
    }
    state.SetLabel(std::to_string(jpeg.size()) + "-byte quality-90 JPEG of the same picture");
}

BENCHMARK(BM_WltDecode)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JpegDecodeBaseline)->Unit(benchmark::kMicrosecond);

// The console output plus, at the end, the two medians and their ratio.
class MedianRatioReporter : public benchmark::ConsoleReporter {
public:
    MedianRatioReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_Color : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[run.run_name.function_name] = run;
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        const auto wlt = medians_.find("BM_WltDecode");
        const auto jpeg = medians_.find("BM_JpegDecodeBaseline");
        if (wlt == medians_.end() || jpeg == medians_.end()) {
            std::printf("(no ratio: both benchmarks must run with --benchmark_repetitions of 2 or more)\n");
            return;
        }
        const Run& w = wlt->second;
        const Run& j = jpeg->second;
        std::printf("\nmedians of %lld repetitions, decoded in the same run:\n",
                    static_cast<long long>(w.repetitions));
        std::printf("  WLT decode     %8.1f us real  %8.1f us CPU\n", w.GetAdjustedRealTime(), w.GetAdjustedCPUTime());
        std::printf("  JPEG baseline  %8.1f us real  %8.1f us CPU\n", j.GetAdjustedRealTime(), j.GetAdjustedCPUTime());
        std::printf("  ratio          %8.2f x real   %8.2f x CPU\n", w.GetAdjustedRealTime() / j.GetAdjustedRealTime(),
                    w.GetAdjustedCPUTime() / j.GetAdjustedCPUTime());
    }

private:
    std::map<std::string, Run> medians_;
};

// The line of OpenCV's build information that names its JPEG library.
std::string jpegLibrary()
{
    std::istringstream info(cv::getBuildInformation());
    for (std::string line; std::getline(info, line);) {
        const auto at = line.find("JPEG:");
        if (at != std::string::npos)
            return line.substr(line.find_first_not_of(' ', at + 5));
    }
    return "unknown";
}

bool given(int argc, char** argv, const char* flag)
{
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    // Defaults for a fair comparison on a busy machine; the command line wins.
    std::vector<char*> args(argv, argv + argc);
    char repetitions[] = "--benchmark_repetitions=9";
    char interleaving[] = "--benchmark_enable_random_interleaving=true";
    char aggregates[] = "--benchmark_report_aggregates_only=true";
    if (!given(argc, argv, "--benchmark_repetitions"))
        args.push_back(repetitions);
    if (!given(argc, argv, "--benchmark_enable_random_interleaving"))
        args.push_back(interleaving);
    if (!given(argc, argv, "--benchmark_report_aggregates_only") && !given(argc, argv, "--benchmark_display_aggregates_only"))
        args.push_back(aggregates);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);

    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    benchmark::AddCustomContext("jpeg_library", jpegLibrary());
    MedianRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
