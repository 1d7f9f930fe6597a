// Load client: measures the round trip of a settings command with one client
// (median and 99th percentile) and the throughput with 50 concurrent
// clients, against periphd and against a bare echo server, in one run.
#include "LoadSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWebSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using load::connectClients;
using load::freePort;
using load::Target;
using load::waitFor;

const QString request = QStringLiteral(R"({"function":"ZCSetPenWidth","Width":"5","_tflag":"bench"})");

struct Latency {
    double medianUs = 0;
    double p99Us = 0;
};

Latency measureLatency(const QUrl& url, int rounds)
{
    auto clients = connectClients(url, 1);
    if (clients.empty())
        return {};
    QWebSocket& socket = *clients.front();
    std::vector<double> samples;
    samples.reserve(rounds);
    QElapsedTimer timer;
    bool answered = false;
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [&answered] { answered = true; });
    for (int i = 0; i < rounds + rounds / 10; ++i) {
        answered = false;
        timer.start();
        socket.sendTextMessage(request);
        if (!waitFor([&] { return answered; }, 5000))
            return {};
        if (i >= rounds / 10) // the first tenth warms up
            samples.push_back(timer.nsecsElapsed() / 1000.0);
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 99 / 100]};
}

// Each client keeps one request in flight; returns replies per second.
double measureThroughput(const QUrl& url, int clientCount, int perClient)
{
    auto clients = connectClients(url, clientCount);
    if (clients.empty())
        return 0;
    int total = 0;
    std::vector<int> left(clientCount, perClient);
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < clientCount; ++i) {
        QWebSocket* socket = clients[i].get();
        QObject::connect(socket, &QWebSocket::textMessageReceived, [&, socket, i] {
            ++total;
            if (--left[i] > 0)
                socket->sendTextMessage(request);
        });
        socket->sendTextMessage(request);
    }
    if (!waitFor([&] { return total == clientCount * perClient; }, 120000))
        return 0;
    return total / (timer.nsecsElapsed() / 1e9);
}

struct Figures {
    Latency latency;
    double throughput = 0;
};

Figures measure(const QString& program, const QStringList& arguments, quint16 port, int rounds, int perClient)
{
    Target target(program, arguments, port);
    if (!target.waitListening())
        return {};
    Figures figures;
    figures.latency = measureLatency(target.url(), rounds);
    figures.throughput = measureThroughput(target.url(), 50, perClient);
    return figures;
}

Figures medianOf(std::vector<Figures> runs)
{
    auto middle = [&runs](auto field) {
        std::vector<double> values;
        for (const Figures& f : runs)
            values.push_back(field(f));
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    Figures m;
    m.latency.medianUs = middle([](const Figures& f) { return f.latency.medianUs; });
    m.latency.p99Us = middle([](const Figures& f) { return f.latency.p99Us; });
    m.throughput = middle([](const Figures& f) { return f.throughput; });
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s PERIPHD BARE_ECHO_SERVER [ROUNDS]\n", argv[0]);
        return 2;
    }
    const int rounds = args.value(3, QStringLiteral("5000")).toInt();
    const int perClient = std::max(1, rounds / 10);

    // The two servers take turns, three runs each, so a passing load on the
    // machine weighs on both; each figure is the median of its runs.
    std::vector<Figures> echoRuns, periphdRuns;
    for (int run = 0; run < 3; ++run) {
        const quint16 echoPort = freePort();
        echoRuns.push_back(measure(args[2], {QString::number(echoPort)}, echoPort, rounds, perClient));
        const quint16 periphdPort = freePort();
        periphdRuns.push_back(measure(args[1], {QStringLiteral("--port"), QString::number(periphdPort)},
                                      periphdPort, rounds, perClient));
    }
    const Figures echo = medianOf(echoRuns);
    const Figures periphd = medianOf(periphdRuns);
    if (echo.throughput <= 0 || periphd.throughput <= 0) {
        std::fprintf(stderr, "a server did not answer\n");
        return 1;
    }

    std::printf("%-12s %14s %14s %22s\n", "server", "median (us)", "p99 (us)", "50 clients (replies/s)");
    std::printf("%-12s %14.1f %14.1f %22.0f\n", "bare echo", echo.latency.medianUs, echo.latency.p99Us,
                echo.throughput);
    std::printf("%-12s %14.1f %14.1f %22.0f\n", "periphd", periphd.latency.medianUs, periphd.latency.p99Us,
                periphd.throughput);
    std::printf("ratio periphd/echo: median %.2fx, p99 %.2fx, throughput %.2fx (echo/periphd)\n",
                periphd.latency.medianUs / echo.latency.medianUs, periphd.latency.p99Us / echo.latency.p99Us,
                echo.throughput / periphd.throughput);
    return 0;
}
