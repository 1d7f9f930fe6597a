// The pen sample path, from the pad's report to the painted canvas: the
// simulated pad behind the USB seam, the libusb driver, the sampling thread,
// the queued getDataOk signal and the signing window's drawing step.
//
// Measures, with the log lines dropped by a discarding message handler:
//   - saturation: every report queued at once, samples painted per second;
//   - paced: reports at a fixed rate, the median and 99th percentile delay
//     from report to painted canvas;
// and checks that no sample is lost or reordered. The baseline is the same
// path ending in an empty slot instead of the window, measured in the same
// run.
#include "MainWindow.h"
#include "QGetHandWrtingDevData.h"
#include "QHandWritingDevForLibUsb.h"
#include "SignData.h"
#include "SimulatedPad.h"
#include "Simulation.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

struct Sample {
    int x, y, p;
};

// Distinct points across the writing area, all pressed: every step is a line.
Sample sampleAt(int i)
{
    return {500 + (i % 100) * 60, 1000 + ((i / 100) % 60) * 60, 600 + i % 400};
}

struct Run {
    double samplesPerSecond = 0;
    double medianDelayUs = 0;
    double p99DelayUs = 0;
    bool complete = false; // every sample arrived, in order
};

// Pushes `count` reports (all at once when `rate` is 0, else paced) and
// waits until `count` samples reached the receiver.
Run runPath(QGetHandWrtingDevData& thread, QObject* window, int count, int rate)
{
    std::vector<Clock::time_point> pushed(count);
    std::vector<Clock::time_point> painted;
    std::vector<Sample> seen;
    painted.reserve(count);
    seen.reserve(count);

    QObject sink;
    QEventLoop loop;
    QMetaObject::Connection toWindow;
    if (window)
        toWindow = QObject::connect(&thread, SIGNAL(getDataOk(int, int, int)), window, SLOT(on_getDataOk(int, int, int)));
    // Connected after the window: queued calls run in connection order, so
    // this runs once the window has drawn the same sample.
    QObject::connect(&thread, &QGetHandWrtingDevData::getDataOk, &sink, [&](int x, int y, int p) {
        painted.push_back(Clock::now());
        seen.push_back({x, y, p});
        if (int(seen.size()) == count)
            loop.quit();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(120000);

    std::thread producer([&] {
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            if (rate > 0)
                std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * i / rate));
            const Sample s = sampleAt(i);
            pushed[i] = Clock::now();
            simulatedPad().pushReport(uint16_t(s.x), uint16_t(s.y), uint16_t(s.p));
        }
    });
    loop.exec();
    producer.join();
    if (toWindow)
        QObject::disconnect(toWindow);

    Run run;
    run.complete = int(seen.size()) == count;
    for (int i = 0; run.complete && i < count; ++i) {
        const Sample expected = sampleAt(i);
        run.complete = seen[i].x == expected.x && seen[i].y == expected.y && seen[i].p == expected.p;
    }
    if (!run.complete)
        return run;
    run.samplesPerSecond = count / std::chrono::duration<double>(painted.back() - pushed.front()).count();
    std::vector<double> delays(count);
    for (int i = 0; i < count; ++i)
        delays[i] = std::chrono::duration<double, std::micro>(painted[i] - pushed[i]).count();
    std::sort(delays.begin(), delays.end());
    run.medianDelayUs = delays[count / 2];
    run.p99DelayUs = delays[count * 99 / 100];
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    qInstallMessageHandler(dropMessages);
    usb::useSimulatedDevices();

    // The window over the sign screen's corner, so the strokes land on it.
    g_SignData.winX = 0;
    g_SignData.winY = 0;
    QHandWritingDevForLibUsb pad;
    if (pad.openDevice() != 1) {
        std::fprintf(stderr, "cannot open the simulated pad\n");
        return 1;
    }
    QHidWritingDevice* device = &pad;
    QGetHandWrtingDevData thread(&device);
    thread.m_stop = false;
    thread.start();

    MainWindow window;
    window.show();

    const int saturation = argc > 1 ? std::atoi(argv[1]) : 50000;
    const int paced = argc > 2 ? std::atoi(argv[2]) : 4000;
    const int rate = argc > 3 ? std::atoi(argv[3]) : 2000;

    bool ok = true;
    auto report = [&](const char* name, const Run& run) {
        ok = ok && run.complete;
        std::printf("%-34s %s  %10.0f samples/s  median %8.1f us  p99 %8.1f us\n", name,
                    run.complete ? "complete" : "LOST/REORDERED", run.samplesPerSecond, run.medianDelayUs,
                    run.p99DelayUs);
    };
    runPath(thread, &window, 2000, 0); // warm-up
    const Run bareSat = runPath(thread, nullptr, saturation, 0);
    const Run winSat = runPath(thread, &window, saturation, 0);
    const Run barePaced = runPath(thread, nullptr, paced, rate);
    const Run winPaced = runPath(thread, &window, paced, rate);
    std::printf("samples: %d saturating, %d paced at %d/s\n", saturation, paced, rate);
    report("baseline (empty slot), saturated", bareSat);
    report("window, saturated", winSat);
    report("baseline (empty slot), paced", barePaced);
    report("window, paced", winPaced);
    if (ok) {
        std::printf("window/baseline throughput ratio: %.2f\n", winSat.samplesPerSecond / bareSat.samplesPerSecond);
        std::printf("window/baseline median delay ratio (paced): %.2f\n",
                    winPaced.medianDelayUs / barePaced.medianDelayUs);
    }

    thread.m_stop = true;
    thread.wait();
    pad.closeDevice();
    return ok ? 0 : 1;
}
