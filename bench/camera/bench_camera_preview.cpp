// One tick of the camera window's preview: a camera frame (the simulated
// document camera's picture, BGR) becomes RGB, is scaled to the 500 × 400
// preview label and shown in it, at each of the nine resolutions.
//
//   PreviewTick  - camera::previewImage (scale first, then swap the colours
//                  of the 500 × 400 result), as the window does;
//   SwapThenScale - the same result the straightforward way (swap red and
//                  blue of the whole frame, then scale): the baseline;
//   PhotoEncode  - cv::imencode of the full frame to JPEG, as "拍照" does.
//
// The "pct_of_33ms" counter is the CPU time per tick as a percentage of the
// 33 ms frame interval (25 = a quarter of it); the times beside it are wall
// and CPU time.
#include "PreviewImage.h"
#include "SimulatedCameras.h"

#include <QApplication>
#include <QLabel>
#include <QPixmap>

#include <benchmark/benchmark.h>
#include <ctime>
#include <opencv2/imgcodecs.hpp>

namespace {

const QSize kPreview(500, 400);
const int kSizes[][2] = {{640, 480},   {800, 600},   {1024, 768},  {1280, 720},  {1280, 960},
                         {1600, 1200}, {1920, 1080}, {2048, 1536}, {2592, 1944}};

cv::Mat cameraFrame(int width, int height)
{
    simdevices::SimulatedCamera camera(simdevices::SimulatedCamera::Scene::Document, "0c45", "6366", {0});
    cv::Mat frame;
    camera.compose(frame, width, height, 1.25, QImage());
    return frame;
}

QLabel& previewLabel()
{
    static QLabel* label = [] {
        auto* made = new QLabel;
        made->resize(kPreview);
        return made;
    }();
    return *label;
}

// The process's CPU time over the benchmark loop, per iteration, in percent
// of the 33 ms frame interval: what one tick takes from the machine,
// whatever else shares it.
class FrameShare {
public:
    FrameShare() : m_start(std::clock()) {}
    void report(benchmark::State& state) const
    {
        const double seconds = double(std::clock() - m_start) / CLOCKS_PER_SEC;
        state.counters["pct_of_33ms"] = 100.0 * seconds / double(state.iterations()) / 0.033;
    }

private:
    std::clock_t m_start;
};

void PreviewTick(benchmark::State& state)
{
    const cv::Mat frame = cameraFrame(int(state.range(0)), int(state.range(1)));
    QLabel& label = previewLabel();
    const FrameShare share;
    for (auto _ : state) {
        const QImage preview = camera::previewImage(frame, label.size());
        label.setPixmap(QPixmap::fromImage(preview));
    }
    share.report(state);
}

void SwapThenScale(benchmark::State& state)
{
    const cv::Mat frame = cameraFrame(int(state.range(0)), int(state.range(1)));
    QLabel& label = previewLabel();
    const FrameShare share;
    for (auto _ : state) {
        const QImage wrapped(frame.data, frame.cols, frame.rows, int(frame.step), QImage::Format_RGB888);
        const QImage preview =
            wrapped.rgbSwapped().scaled(label.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        label.setPixmap(QPixmap::fromImage(preview));
    }
    share.report(state);
}

void PhotoEncode(benchmark::State& state)
{
    const cv::Mat frame = cameraFrame(int(state.range(0)), int(state.range(1)));
    std::vector<uchar> jpeg;
    const FrameShare share;
    for (auto _ : state) {
        cv::imencode(".jpg", frame, jpeg);
        benchmark::DoNotOptimize(jpeg.data());
    }
    state.counters["bytes"] = double(jpeg.size());
    share.report(state);
}

void allSizes(benchmark::internal::Benchmark* b)
{
    for (const auto& size : kSizes)
        b->Args({size[0], size[1]});
    b->Unit(benchmark::kMillisecond);
}

BENCHMARK(PreviewTick)->Apply(allSizes);
BENCHMARK(SwapThenScale)->Apply(allSizes);
BENCHMARK(PhotoEncode)->Args({640, 480})->Args({1920, 1080})->Args({2592, 1944})->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv); // the label and pixmaps need it (offscreen is enough)
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
