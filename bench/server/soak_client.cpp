// Soak: 50 clients send 10,000 mixed requests each (settings commands and
// queries, busy checks while a signing window is open, unknown commands,
// malformed JSON, SAM id and SIM reads on the simulated devices; card reads
// take tens of milliseconds and are left to bench_card_read),
// then 500 connections are opened, used once and closed, one after the
// other. Every reply must carry its own request's tag. The server's
// resident memory and open descriptors are read from /proc after a warm-up
// (the first tenth of both) and at the end. The bare echo server runs the
// same load first, as the baseline for the request rate.
//
//   periphd_soak PERIPHD BARE_ECHO_SERVER [CLIENTS [REQUESTS [CYCLES]]]
//
// Exits with 1 when a reply is missing or carries another tag, or when the
// descriptors grew.
#include "LoadSupport.h"

#ifdef PERIPHD_SOAK_PCSCD
#include "PcscdInstance.h"
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QWebSocket>

#include <cstdio>
#include <deque>
#include <dirent.h>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

// Requests each client keeps in flight: replies must come back in order and
// each with its own tag.
constexpr int kInFlight = 4;
// A signing window opens, or closes, after every so many replies, so that a
// share of the settings commands meet the busy check.
constexpr int kWindowToggleEvery = 5000;
constexpr int kPhaseTimeoutMs = 30 * 60 * 1000;

struct Request {
    QString text;
    QString tag;
    QString function; // the reply's functionName; empty when the text comes back unchanged
};

QString json(const QString& function, const QString& tag, const QString& extra = QString())
{
    return QStringLiteral(R"({"function":"%1",%2"_tflag":"%3"})").arg(function, extra, tag);
}

// The mix, one entry per share: most requests are the quick ones a page
// sends all the time; SIM reads come now and then.
Request mixedRequest(int client, int n, bool withSim)
{
    const QString tag = QStringLiteral("c%1-%2").arg(client).arg(n);
    const QString width = QString::number(1 + n % 9);
    switch ((n * 7 + client) % 20) {
    case 0:
    case 1:
        return {json("ZCSetPenWidth", tag, QStringLiteral(R"("Width":"%1",)").arg(width)), tag, "ZCSetPenWidth"};
    case 2:
        return {json("ZCSetTransparency", tag, R"("Percent":"80",)"), tag, "ZCSetTransparency"};
    case 3:
        return {json("ZCSetModeAB", tag, R"("mode":"1",)"), tag, "ZCSetModeAB"};
    case 4:
        return {json("ZCSetSignScreenPosSizeAB", tag, R"("x":"1920","y":"0","width":"1280","height":"800",)"), tag,
                "ZCSetSignScreenPosSizeAB"};
    case 5:
    case 6:
        return {json("ZCDeviceExist", tag), tag, "ZCDeviceExist"};
    case 7:
        return {json("ZCOutputImageBase64AB", tag), tag, "ZCOutputImageBase64AB"};
    case 8: // single quotes stand for double quotes
        return {QStringLiteral("{'function':'ZCSetPenWidth','Width':'%1','_tflag':'%2'}").arg(width, tag), tag,
                "ZCSetPenWidth"};
    case 9:
        return {json("ZCNoSuchCommand", tag), tag, {}};
    case 10:
        return {json("zcsetpenwidth", tag), tag, {}};
    case 11:
        return {QStringLiteral(R"({"function":"ZCSetPenWidth","_tflag":"%1",)").arg(tag), tag, {}};
    case 12:
        return {QStringLiteral("not json %1").arg(tag), tag, {}};
    case 13:
        return {json("ZCGetSAMNum", tag), tag, "ZCGetSAMNum"};
    case 14:
        return {json("ZCEndSignAB", tag), tag, "ZCEndSignAB"}; // also ends the open window early
    case 15:
        // A SIM read takes about 10 ms of PC/SC round trips: one in 200.
        if (withSim && n % 10 == 1)
            return {json("ZCSIMCard", tag), tag, "ZCSIMCard"};
        return {json("ZCResignAB", tag), tag, "ZCResignAB"};
    case 16:
        return {QStringLiteral(R"({"act":"nothing","function":"ZCSetModeAB","mode":"0","_tflag":"%1"})").arg(tag), tag,
                "ZCSetModeAB"};
    case 17:
        return {QStringLiteral(R"([1,2,"%1"])").arg(tag), tag, {}};
    case 18:
        return {json("ZCSetPenWidth", tag, R"("Width":"x",)"), tag, "ZCSetPenWidth"};
    default:
        return {json("ZCDeviceExist", tag), tag, "ZCDeviceExist"};
    }
}

struct Tally {
    qint64 replies = 0;
    qint64 wrong = 0;
    QStringList examples;

    void check(const Request& sent, const QString& reply, bool echoServer)
    {
        ++replies;
        bool ok;
        if (echoServer || sent.function.isEmpty()) {
            // Unknown texts come back unchanged (single quotes made double).
            QString expected = sent.text;
            if (!echoServer)
                expected.replace('\'', '"');
            ok = reply == expected;
        } else {
            const QJsonObject object = QJsonDocument::fromJson(reply.toUtf8()).object();
            ok = object.value("_tflag").toString() == sent.tag &&
                 object.value("functionName").toString() == sent.function;
        }
        if (!ok) {
            ++wrong;
            if (examples.size() < 5)
                examples << QStringLiteral("sent %1, got %2").arg(sent.text, reply.left(200));
        }
    }
};

class SoakClient {
public:
    SoakClient(std::unique_ptr<QWebSocket> socket, int id, bool echoServer, bool withSim, Tally& tally,
               std::function<void()> onReply)
        : m_socket(std::move(socket))
        , m_id(id)
    {
        QObject::connect(m_socket.get(), &QWebSocket::textMessageReceived,
                         [this, echoServer, &tally, onReply, withSim](const QString& reply) {
                             if (m_inFlight.empty()) {
                                 tally.check({QStringLiteral("(nothing)"), {}, QStringLiteral("?")}, reply, false);
                                 return;
                             }
                             tally.check(m_inFlight.front(), reply, echoServer);
                             m_inFlight.pop_front();
                             ++m_answered;
                             onReply();
                             fill(withSim);
                         });
    }

    // Sends `count` more requests, kInFlight at a time.
    void run(int count, bool withSim)
    {
        m_target += count;
        fill(withSim);
    }
    bool done() const { return m_answered == m_target; }
    QWebSocket& socket() { return *m_socket; }

private:
    void fill(bool withSim)
    {
        while (m_sent < m_target && int(m_inFlight.size()) < kInFlight) {
            m_inFlight.push_back(mixedRequest(m_id, m_sent++, withSim));
            m_socket->sendTextMessage(m_inFlight.back().text);
        }
    }

    std::unique_ptr<QWebSocket> m_socket;
    int m_id;
    int m_sent = 0;
    int m_answered = 0;
    int m_target = 0;
    std::deque<Request> m_inFlight;
};

struct Usage {
    qint64 rssKiB = -1;
    int fds = -1;
    QStringList fdTargets; // what each descriptor names, to say what a growth is
};

QString linkTarget(const QString& path)
{
    char target[256];
    const ssize_t length = ::readlink(path.toLocal8Bit().constData(), target, sizeof target);
    return length > 0 ? QString::fromLocal8Bit(target, int(length)) : QStringLiteral("?");
}

Usage usageOf(qint64 pid)
{
    Usage usage;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith("VmRSS:"))
                usage.rssKiB = line.mid(6).trimmed().split(' ').value(0).toLongLong();
    if (DIR* dir = ::opendir(QStringLiteral("/proc/%1/fd").arg(pid).toLocal8Bit().constData())) {
        usage.fds = 0;
        while (const dirent* entry = ::readdir(dir))
            if (entry->d_name[0] != '.') {
                ++usage.fds;
                usage.fdTargets << linkTarget(QStringLiteral("/proc/%1/fd/%2").arg(pid).arg(entry->d_name));
            }
        ::closedir(dir);
    }
    return usage;
}

struct Figures {
    bool ran = false;
    double requestsPerSecond = 0;
    double cyclesPerSecond = 0;
    Usage warm, end;
    Tally tally;
};

// periphd's signing window, opened and ended from a client of its own (a
// window that a soak client's ZCEndSignAB closed opens again at the next
// turn); on the echo server, only the settling round trip.
class SigningWindow {
public:
    SigningWindow(QWebSocket& socket, bool echoServer, Tally& tally)
        : m_socket(socket)
        , m_echoServer(echoServer)
        , m_tally(tally)
    {
        QObject::connect(&m_socket, &QWebSocket::textMessageReceived, [this](const QString& reply) {
            if (m_expected.empty()) {
                m_tally.check({QStringLiteral("(nothing)"), {}, QStringLiteral("?")}, reply, false);
                return;
            }
            m_tally.check(m_expected.front(), reply, m_echoServer);
            m_expected.pop_front();
        });
    }
    void send(const Request& request, bool answered)
    {
        if (answered)
            m_expected.push_back(request);
        m_socket.sendTextMessage(request.text);
    }
    void startPad() { send({json("ZCStartDeviceAB", "start"), "start", "ZCStartDeviceAB"}, true); }
    void toggle()
    {
        const QString tag = QStringLiteral("window-%1").arg(++m_turns);
        if (m_turns % 2)
            // Answered only if the window closes by a click; ZCEndSignAB ends it silently.
            send({json("ZCBeginSignAB", tag, R"("x":"0","y":"0","width":"400","height":"300",)"), tag, {}}, false);
        else
            send({json("ZCEndSignAB", tag), tag, "ZCEndSignAB"}, true);
    }
    // Ends an open window, stops the pad and waits for every answer due: the
    // server has then also dealt with the connections closed before, and the
    // sampling thread (which the signing commands restart as they go, with a
    // descriptor of its own) is not running while the descriptors are counted.
    bool settle()
    {
        if (m_turns % 2)
            toggle();
        if (!m_echoServer)
            send({json("ZCStopDeviceAB", "stop"), "stop", "ZCStopDeviceAB"}, true);
        const QString tag = QStringLiteral("settle-%1").arg(m_turns);
        send({json("ZCDeviceExist", tag), tag, "ZCDeviceExist"}, true);
        return load::waitFor([this] { return m_expected.empty(); }, 10000);
    }

private:
    QWebSocket& m_socket;
    bool m_echoServer;
    Tally& m_tally;
    std::deque<Request> m_expected;
    int m_turns = 0;
};

bool runRequests(std::vector<std::unique_ptr<SoakClient>>& clients, int perClient, bool withSim)
{
    for (auto& client : clients)
        client->run(perClient, withSim);
    return load::waitFor(
        [&] {
            for (auto& client : clients)
                if (!client->done())
                    return false;
            return true;
        },
        kPhaseTimeoutMs);
}

// One connection after the other: open, one request, close.
bool runCycles(const QUrl& url, int first, int count, bool echoServer, bool withSim, Tally& tally)
{
    for (int i = first; i < first + count; ++i) {
        QWebSocket socket;
        bool connected = false, answered = false;
        QObject::connect(&socket, &QWebSocket::connected, [&] { connected = true; });
        const Request request = mixedRequest(100000, i, withSim);
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [&](const QString& reply) {
            tally.check(request, reply, echoServer);
            answered = true;
        });
        socket.open(url);
        if (!load::waitFor([&] { return connected; }, 10000))
            return false;
        socket.sendTextMessage(request.text);
        if (!load::waitFor([&] { return answered; }, 10000))
            return false;
        socket.close();
        if (!load::waitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, 10000))
            return false;
    }
    return true;
}

Figures soak(const QString& program, QStringList arguments, bool echoServer, bool withSim,
             const QProcessEnvironment& environment, int clientCount, int perClient, int cycles)
{
    Figures figures;
    const quint16 port = load::freePort();
    arguments.prepend(QString::number(port));
    if (!echoServer)
        arguments.prepend(QStringLiteral("--port"));
    load::Target target(program, arguments, port, environment);
    if (!target.waitListening()) {
        std::fprintf(stderr, "%s did not start listening\n", qPrintable(program));
        return figures;
    }

    auto sockets = load::connectClients(target.url(), clientCount + 1);
    if (sockets.empty())
        return figures;
    const std::unique_ptr<QWebSocket> windowSocket = std::move(sockets.back());
    sockets.pop_back();
    SigningWindow window(*windowSocket, echoServer, figures.tally);
    std::vector<std::unique_ptr<SoakClient>> clients;
    qint64 repliesSinceToggle = 0;
    for (int i = 0; i < clientCount; ++i)
        clients.push_back(std::make_unique<SoakClient>(std::move(sockets[i]), i, echoServer, withSim, figures.tally,
                                                       [&] {
                                                           if (!echoServer && ++repliesSinceToggle == kWindowToggleEvery) {
                                                               repliesSinceToggle = 0;
                                                               window.toggle();
                                                           }
                                                       }));
    if (!echoServer)
        window.startPad();

    const int warmRequests = perClient / 10;
    const int warmCycles = cycles / 10;
    if (!runRequests(clients, warmRequests, withSim) ||
        !runCycles(target.url(), 0, warmCycles, echoServer, withSim, figures.tally) || !window.settle())
        return figures;
    figures.warm = usageOf(target.pid());
    if (!echoServer)
        window.startPad();

    QElapsedTimer timer;
    timer.start();
    if (!runRequests(clients, perClient - warmRequests, withSim))
        return figures;
    figures.requestsPerSecond = double(clientCount) * (perClient - warmRequests) / (timer.nsecsElapsed() / 1e9);
    timer.start();
    if (!runCycles(target.url(), warmCycles, cycles - warmCycles, echoServer, withSim, figures.tally))
        return figures;
    figures.cyclesPerSecond = (cycles - warmCycles) / (timer.nsecsElapsed() / 1e9);
    if (!window.settle())
        return figures;
    // The server lets go of a closed connection's socket when its event loop
    // gets to that connection, which may come after the settling reply.
    load::waitFor([&] { return usageOf(target.pid()).fds <= figures.warm.fds; }, 5000);
    figures.end = usageOf(target.pid());
    figures.ran = target.running();
    return figures;
}

void print(const char* name, const Figures& f)
{
    std::printf("%-10s %11.0f %9.0f %10lld %10lld %6.3f %6d %6d %9lld %7lld\n", name, f.requestsPerSecond,
                f.cyclesPerSecond, f.warm.rssKiB, f.end.rssKiB, double(f.end.rssKiB) / double(f.warm.rssKiB),
                f.warm.fds, f.end.fds, f.tally.replies, f.tally.wrong);
    for (const QString& example : f.tally.examples)
        std::printf("  %s\n", qPrintable(example));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s PERIPHD BARE_ECHO_SERVER [CLIENTS [REQUESTS [CYCLES]]]\n", argv[0]);
        return 2;
    }
    const int clientCount = args.value(3, QStringLiteral("50")).toInt();
    const int perClient = args.value(4, QStringLiteral("10000")).toInt();
    const int cycles = args.value(5, QStringLiteral("500")).toInt();
    if (clientCount < 1 || perClient < 10 || cycles < 10) {
        std::fprintf(stderr, "at least 1 client, 10 requests and 10 cycles\n");
        return 2;
    }

    QProcessEnvironment environment;
    bool withSim = false;
#ifdef PERIPHD_SOAK_PCSCD
    // The simulated SIM card sits in the vpcd reader of a private pcscd.
    std::unique_ptr<PcscdInstance> pcscd;
    if (PcscdInstance::missingPieces().empty()) {
        pcscd = std::make_unique<PcscdInstance>();
        const uint16_t vpcdPort = PcscdInstance::freePortPair();
        if (vpcdPort && pcscd->start(vpcdPort)) {
            environment.insert(QStringLiteral("PCSCLITE_CSOCK_NAME"), QString::fromStdString(pcscd->socketPath()));
            environment.insert(QStringLiteral("PERIPHD_VPCD_PORT"), QString::number(vpcdPort));
            withSim = true;
        }
    }
#endif
    if (!withSim)
        std::fprintf(stderr, "no private pcscd with vpcd: the mix goes without SIM reads\n");

    std::printf("%d clients x %d requests, then %d connection cycles; warm-up: the first tenth of each\n",
                clientCount, perClient, cycles);
    const Figures echo = soak(args[2], {}, true, withSim, {}, clientCount, perClient, cycles);
    const Figures periphd =
        soak(args[1], {QStringLiteral("--simulate")}, false, withSim, environment, clientCount, perClient, cycles);

    std::printf("%-10s %11s %9s %10s %10s %6s %6s %6s %9s %7s\n", "server", "requests/s", "cycles/s", "RSS warm",
                "RSS end", "ratio", "fds w", "fds e", "replies", "wrong");
    print("bare echo", echo);
    print("periphd", periphd);
    if (!echo.ran || !periphd.ran) {
        std::fprintf(stderr, "a run did not complete\n");
        return 1;
    }
    std::printf("request rate periphd/echo: %.2f\n", periphd.requestsPerSecond / echo.requestsPerSecond);
    const bool fdsFlat = periphd.end.fds <= periphd.warm.fds && echo.end.fds <= echo.warm.fds;
    if (!fdsFlat) {
        std::printf("open descriptors grew:");
        for (const Figures* f : {&echo, &periphd}) {
            QStringList added = f->end.fdTargets;
            for (const QString& before : f->warm.fdTargets)
                added.removeOne(before);
            std::printf(" %s", qPrintable(added.join(QLatin1Char(' '))));
        }
        std::printf("\n");
    }
    return echo.tally.wrong == 0 && periphd.tally.wrong == 0 && fdsFlat ? 0 : 1;
}
