// libFuzzer entry: arbitrary texts through CTextMessageProcessor::Process, as
// a page's text messages reach it, with the simulated devices of
// `periphd --simulate` behind the commands (so the Sim... commands exist
// too). Each text is processed twice: once without a client (nothing may be
// sent, and a handler must not need one) and once for a page connected over
// loopback, which must get at most one reply, each either the text echoed
// back or a JSON object.
//
// Windows: the signing and camera commands run their windows modally. They
// are ended by their own Cancel/close buttons as soon as they show
// (ModalWindowCloser), so the commands take their real path and answer as
// for an operator who cancels; nothing in the service is changed for it.
//
// The SIM card command finds no PC/SC service here (PCSCLITE_CSOCK_NAME
// names a socket nobody serves) and the virtual SIM card's vpcd port refuses
// connections: a run depends on no daemon and leaves none behind. The PC/SC
// path itself is proved against pcscd and vpcd by the SIM card suites.
#include "FaceFonts.h"
#include "ModalWindowCloser.h"
#include "RepeatedKeys.h"
#include "SimulatedCameras.h"
#include "SimulationMode.h"
#include "TextMessageProcessor.h"
#include "WsClient.h"

#include <QApplication>
#include <QFile>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QWebSocket>
#include <QWebSocketServer>

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

#ifndef PERIPHD_FONT_ALIASES
#error "PERIPHD_FONT_ALIASES must name the face fonts' alias file"
#endif
#ifndef PERIPHD_STAGED_DATADIR
#error "PERIPHD_STAGED_DATADIR must name the staged face templates"
#endif

namespace {

char scratch[] = "/tmp/dispatcher_fuzzXXXXXX";

struct Harness {
    CTextMessageProcessor processor;
    QWebSocketServer server{QStringLiteral("dispatcher_fuzz"), QWebSocketServer::NonSecureMode};
    WsClient page;
    QWebSocket* peer = nullptr; // the server side: what the handlers answer on
    quint64 markers = 0;
};
Harness* harness = nullptr;

[[noreturn]] void fail(const char* what, const QString& text)
{
    std::fprintf(stderr, "dispatcher_fuzz: %s\n  text: %s\n", what, text.toUtf8().constData());
    std::abort();
}

// A loopback port that refuses connections for the whole run: bound, never
// listening, never closed.
uint16_t refusingPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        std::abort();
    return ntohs(address.sin_port);
}

void setUpEnvironment()
{
    // Card reads write their faces and portrait into the working directory.
    if (!mkdtemp(scratch) || chdir(scratch) != 0)
        std::abort();
    std::atexit([] { std::system((std::string("rm -rf '") + scratch + "'").c_str()); });
    for (const char* name : {"front.jpg", "back.jpg"})
        if (!QFile::copy(QStringLiteral(PERIPHD_STAGED_DATADIR "/") + QLatin1String(name), QLatin1String(name)))
            std::abort();
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("PCSCLITE_CSOCK_NAME", (std::string(scratch) + "/no-pcscd.comm").c_str(), 1);
    setenv("PERIPHD_VPCD_PORT", std::to_string(refusingPort()).c_str(), 1);
    // Every command logs a line and the card readers' driver prints its
    // steps; at hundreds of texts a second that is only noise (libFuzzer
    // reports on standard error).
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
}

bool isJsonObject(const QString& text)
{
    // Read only what Qt's parser can read without leaking, as periphd does.
    const QByteArray utf8 = text.toUtf8();
    if (repeatsKeyAroundNestedValue(utf8))
        return false;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
    return error.error == QJsonParseError::NoError && document.isObject();
}

} // namespace

// Full malloc stacks: the leak suppressions of third-party libraries
// (scripts/lsan-suppressions.txt) match frames below Qt's, where the fast
// unwinder stops. Costs about two thirds of the speed.
extern "C" const char* __asan_default_options()
{
    return "fast_unwind_on_malloc=0:malloc_context_size=16";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setUpEnvironment();
    static int qtArgc = 1;
    static char* qtArgv[] = {(*argv)[0], nullptr};
    (void)argc;
    new QApplication(qtArgc, qtArgv);
    if (!idcard::loadFaceFontAliases(QStringLiteral(PERIPHD_FONT_ALIASES)))
        std::abort();
    // As `periphd --simulate` starts: before anything touches USB or opens
    // a camera window.
    enableSimulation();
    camera::useSimulatedCameras();
    static ModalWindowCloser* closer = new ModalWindowCloser(qApp);
    qApp->installEventFilter(closer);
    // In the log, to show that the window commands were reached.
    std::atexit([] { std::fprintf(stderr, "dispatcher_fuzz: %d windows ended\n", closer->closed()); });

    harness = new Harness;
    if (!harness->server.listen(QHostAddress::LocalHost, 0))
        std::abort();
    QSignalSpy connected(&harness->server, &QWebSocketServer::newConnection);
    if (!harness->page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(harness->server.serverPort()))))
        std::abort();
    if (connected.isEmpty() && !connected.wait(10000))
        std::abort();
    harness->peer = harness->server.nextPendingConnection();
    if (!harness->peer)
        std::abort();
    harness->peer->setParent(&harness->server);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), int(size));
    Harness& h = *harness;

    h.processor.Process(nullptr, text);

    h.page.texts.clear();
    h.page.binaries.clear();
    h.processor.Process(h.peer, text);
    // Everything the handlers sent is on the wire before this marker, and
    // the socket keeps the order. A binary frame, so that no echoed text
    // can pass for it.
    const QByteArray marker = QByteArray::number(++h.markers);
    h.peer->sendBinaryMessage(marker);
    if (!h.page.waitForBinaries(1, 10000) || h.page.binaries.constFirst() != marker)
        fail("the page's connection lost its marker", text);

    if (h.page.texts.size() > 1)
        fail(qPrintable(QStringLiteral("%1 replies to one text").arg(h.page.texts.size())), text);
    // Pages may write single quotes for double quotes; the echo is of what
    // the dispatcher read.
    QString read = text;
    read.replace(QLatin1Char('\''), QLatin1Char('"'));
    for (const QString& reply : qAsConst(h.page.texts))
        if (reply != read && !isJsonObject(reply))
            fail("a reply that is neither the echo nor a JSON object", text);
    return 0;
}
