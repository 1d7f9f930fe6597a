// Stopping the built `periphd --simulate` with SIGTERM or SIGINT while it is
// busy: a signature in progress (the sampling thread reading the simulated
// pad) or a camera window open. It must close every client with 1001, leave
// the pending request unanswered, release what it holds and exit with
// status 0 within 3 s of the signal.
#include "PeriphdProcess.h"
#include "WsClient.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QTest>

#include <csignal>

namespace {

// How long periphd may take, from the signal to its exit.
constexpr qint64 kExitWithinMs = 3000;

const QString kStartPad = QStringLiteral(R"({"function":"ZCStartDeviceAB","_tflag":"start"})");
const QString kBeginSign =
    QStringLiteral(R"({"function":"ZCBeginSignAB","x":"100","y":"80","width":"400","height":"300","_tflag":"sign"})");
const QString kBusyProbe = QStringLiteral(R"({"function":"ZCSetModeAB","mode":"0","_tflag":"probe"})");
const QString kCamera = QStringLiteral(R"({"function":"ZCCameraPic","_tflag":"camera"})");

void addSignalRows()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGINT") << SIGINT;
}

// What the log shows after `marker`, the text up to it excluded.
QByteArray after(const QByteArray& log, const QByteArray& marker)
{
    const int at = log.indexOf(marker);
    return at < 0 ? QByteArray() : log.mid(at + marker.size());
}

// Says how long the exit took and what the program logged on its way out.
QString slowExit(PeriphdProcess& periphd, qint64 exitedAfter)
{
    return QStringLiteral("exited %1 ms after the signal; its last lines:\n%2")
        .arg(exitedAfter)
        .arg(QString::fromLocal8Bit(periphd.standardError().right(1500)));
}

} // namespace

class ShutdownE2eTest : public QObject {
    Q_OBJECT
private slots:
    void whileSigning_data() { addSignalRows(); }
    void whileSigning();
    void whileCameraWindowOpen_data() { addSignalRows(); }
    void whileCameraWindowOpen();
    void withoutClients_data() { addSignalRows(); }
    void withoutClients();

private:
    // Sends the signal and waits (bounded well beyond the requirement) for
    // the clients to be closed and the program to end; returns the time
    // from the signal to the exit, or -1 if it did not end.
    qint64 stopWith(PeriphdProcess& periphd, int signalNumber, const QList<WsClient*>& clients);
};

qint64 ShutdownE2eTest::stopWith(PeriphdProcess& periphd, int signalNumber, const QList<WsClient*>& clients)
{
    QElapsedTimer sinceSignal;
    sinceSignal.start();
    if (::kill(static_cast<pid_t>(periphd.process().processId()), signalNumber) != 0)
        return -1;
    // The clients' event loop runs while we wait: they answer the close
    // frame, and the program's end is noticed as soon as it comes.
    qint64 exitedAfter = -1;
    QObject::connect(&periphd.process(), qOverload<int, QProcess::ExitStatus>(&QProcess::finished),
                     [&] { exitedAfter = sinceSignal.elapsed(); });
    QTRY_LOOP_IMPL(exitedAfter >= 0, 4 * kExitWithinMs, 10);
    for (WsClient* client : clients)
        client->waitForDisconnect(1000);
    return exitedAfter;
}

void ShutdownE2eTest::whileSigning()
{
    QFETCH(int, signalNumber);
    PeriphdProcess periphd({QStringLiteral("--simulate")});
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    WsClient page, other;
    QVERIFY(page.open(periphd.url()));
    QVERIFY(other.open(periphd.url()));

    QCOMPARE(parseReply(page.request(kStartPad)).value("success").toInt(), 1);
    page.socket().sendTextMessage(kBeginSign);
    // The busy reply proves the signing window is open; the log, that the
    // sampling thread is reading the pad.
    QCOMPARE(parseReply(page.request(kBusyProbe)).value("msg").toString(), QStringLiteral("签名进行中"));
    QVERIFY(periphd.waitForStandardError("qgethandwrtingdevdata"));
    const int repliesBefore = page.texts.size();

    const qint64 exitedAfter = stopWith(periphd, signalNumber, {&page, &other});
    QVERIFY2(exitedAfter >= 0, periphd.standardError().right(2000).constData());
    QVERIFY2(exitedAfter <= kExitWithinMs, qPrintable(slowExit(periphd, exitedAfter)));
    QCOMPARE(periphd.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(periphd.process().exitCode(), 0);

    for (WsClient* client : {&page, &other}) {
        QCOMPARE(client->socket().state(), QAbstractSocket::UnconnectedState);
        QCOMPARE(client->socket().closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
    }
    // ZCBeginSignAB got no reply, nor anything else after the probe's.
    QCOMPARE(page.texts.size(), repliesBefore);
    QVERIFY(other.texts.isEmpty());

    // The thread was joined before the pad was closed: nothing reads it
    // once it is released, and the driver gave its interface back.
    const QByteArray log = periphd.standardError();
    QVERIFY2(log.contains("signature pad released"), log.right(2000).constData());
    const QByteArray tail = after(log, "signature pad released");
    QVERIFY2(!tail.contains("readData") && !tail.contains("qgethandwrtingdevdata"), tail.constData());
    QVERIFY(periphd.standardOutput().contains("Released hid Interface!"));
}

void ShutdownE2eTest::whileCameraWindowOpen()
{
    QFETCH(int, signalNumber);
    PeriphdProcess periphd({QStringLiteral("--simulate")});
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    WsClient page;
    QVERIFY(page.open(periphd.url()));

    page.socket().sendTextMessage(kCamera);
    page.socket().flush();
    QVERIFY(periphd.waitForStandardError("CameraUser()++"));

    const qint64 exitedAfter = stopWith(periphd, signalNumber, {&page});
    QVERIFY2(exitedAfter >= 0, periphd.standardError().right(2000).constData());
    QVERIFY2(exitedAfter <= kExitWithinMs, qPrintable(slowExit(periphd, exitedAfter)));
    QCOMPARE(periphd.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(periphd.process().exitCode(), 0);
    QCOMPARE(page.socket().closeCode(), QWebSocketProtocol::CloseCodeGoingAway);
    QVERIFY2(page.texts.isEmpty(), qPrintable(page.texts.join('\n')));
    // The window was freed, and its camera with it, before the exit.
    QVERIFY(after(periphd.standardError(), "CameraUser()++").contains("~CameraUser()--"));
}

void ShutdownE2eTest::withoutClients()
{
    QFETCH(int, signalNumber);
    PeriphdProcess periphd;
    QVERIFY2(periphd.start(), periphd.standardError().constData());
    const qint64 exitedAfter = stopWith(periphd, signalNumber, {});
    QVERIFY(exitedAfter >= 0);
    QVERIFY2(exitedAfter <= kExitWithinMs, qPrintable(slowExit(periphd, exitedAfter)));
    QCOMPARE(periphd.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(periphd.process().exitCode(), 0);
}

QTEST_GUILESS_MAIN(ShutdownE2eTest)
#include "test_shutdown_e2e.moc"
