// The signing commands in-process, against the simulated pad behind the USB
// layer: the pad's states, the sampling thread's start/stop cycle and the
// open window as the commands see them.
#include "GlobalObject.h"
#include "MainWindow.h"
#include "MouseAsPen.h"
#include "QGetHandWrtingDevData.h"
#include "QHandWritingDevForLibUsb.h"
#include "SignData.h"
#include "SimulatedPad.h"
#include "Simulation.h"
#include "SimulationMode.h"
#include "TextMessageProcessor.h"

#include <QApplication>
#include <QJsonDocument>
#include <QImage>
#include <QJsonObject>
#include <QMouseEvent>
#include <QRandomGenerator>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <functional>

class SigningCommandsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void padAbsentOrBusy();
    void startRestartsAndStopEndsTheThread();
    void windowAtTheScreenOriginWithoutPosition();
    void noReplyAfterTheEndCommand();
    void mouseWritesThroughThePad();
    void scriptedStrokesFuzzed();
    void cleanupTestCase();

private:
    QJsonObject call(const QString& request);
    void whileSigning(std::function<void()> checks);
    QJsonObject lastReply() const;

    CTextMessageProcessor m_processor;
    QWebSocketServer m_server{QStringLiteral("test"), QWebSocketServer::NonSecureMode};
    QWebSocket m_page;
    QWebSocket* m_peer = nullptr; // the server side: what the handlers answer on
    QStringList m_replies;
};

void SigningCommandsTest::initTestCase()
{
    // As the program starts: a libusb driver, a stopped thread, no window.
    QVERIFY(g_globalObj);
    QVERIFY(g_globalObj->signWindow == nullptr);
    QVERIFY(qobject_cast<QHandWritingDevForLibUsb*>(dynamic_cast<QObject*>(g_globalObj->signDevice)));
    QVERIFY(!g_globalObj->samplingThread->isRunning());
    QVERIFY(!simulationEnabled());
    enableSimulation();
    QVERIFY(simulationEnabled());

    QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
    QSignalSpy connected(&m_server, &QWebSocketServer::newConnection);
    m_page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_server.serverPort())));
    QVERIFY(connected.wait(5000));
    m_peer = m_server.nextPendingConnection();
    QVERIFY(m_peer);
    m_peer->setParent(&m_server); // freed with the server
    connect(&m_page, &QWebSocket::textMessageReceived, this, [this](const QString& text) { m_replies << text; });
    QTRY_COMPARE(m_page.state(), QAbstractSocket::ConnectedState);
}

void SigningCommandsTest::cleanupTestCase()
{
    call(R"({"function":"ZCStopDeviceAB"})");
}

QJsonObject SigningCommandsTest::call(const QString& request)
{
    const int before = m_replies.size();
    m_processor.Process(m_peer, request);
    // A test that has already failed does not wait for a reply that its
    // failure may have prevented.
    if (!QTest::qWaitFor([&] { return m_replies.size() > before || QTest::currentTestFailed(); }, 5000)
        || m_replies.size() == before)
        return {};
    return QJsonDocument::fromJson(m_replies.at(before).toUtf8()).object();
}

// Runs `checks` inside the event loop of the signing window that the next
// command opens. A failed QVERIFY or QCOMPARE returns from `checks` only, not
// from the test, and the window would go on waiting for a pen that never
// comes; nor may a window that `checks` meant to close stay open. So once
// `checks` is done, the window must close (bounded wait), and a window still
// open is ended as the end command ends it: the command returns, the test
// fails at once instead of at CTest's time-out.
void SigningCommandsTest::whileSigning(std::function<void()> checks)
{
    QTimer::singleShot(0, this, [checks] {
        checks();
        const auto closed = [] { return !g_globalObj->signWindow || !g_globalObj->signWindow->isVisible(); };
        if (!QTest::currentTestFailed() && !QTest::qWaitFor(closed, 10000))
            QTest::qFail("the signing window did not close", __FILE__, __LINE__);
        if (!closed())
            QMetaObject::invokeMethod(g_globalObj->signWindow, "onsEndSign");
    });
}

void SigningCommandsTest::padAbsentOrBusy()
{
    simulatedPad().setPlugged(false);
    QCOMPARE(call(R"({"function":"ZCDeviceExist"})").value("success").toInt(), 0);
    QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), -1);
    QVERIFY(!g_globalObj->samplingThread->isRunning());

    simulatedPad().setPlugged(true);
    QCOMPARE(call(R"({"function":"ZCDeviceExist"})").value("success").toInt(), 1);
    // The interface cannot be claimed, before and after the detach: -2.
    simulatedPad().setClaimFailures(2);
    QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), -2);
    QVERIFY(!g_globalObj->samplingThread->isRunning());
    QVERIFY(!simulatedPad().interfaceClaimed());
}

void SigningCommandsTest::startRestartsAndStopEndsTheThread()
{
    QGetHandWrtingDevData* thread = g_globalObj->samplingThread;
    QSignalSpy finished(thread, &QThread::finished);
    QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), 1);
    QVERIFY(thread->isRunning());
    QVERIFY(simulatedPad().interfaceClaimed());
    QVERIFY(!simulatedPad().kernelDriverBound());

    // A second start stops and joins the running thread, reopens, restarts.
    QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), 1);
    QCOMPARE(finished.count(), 1);
    QVERIFY(thread->isRunning());

    // Samples flow while it runs ...
    QSignalSpy samples(thread, &QGetHandWrtingDevData::getDataOk);
    simulatedPad().pushReport(100, 200, 300);
    // Emitted on the worker thread: it may come before any wait begins.
    QTRY_COMPARE_WITH_TIMEOUT(samples.count(), 1, 5000);
    QCOMPARE(samples.first(), (QVariantList{100, 200, 300}));

    // ... and stop: the thread ends, the pad stays open.
    QCOMPARE(call(R"({"function":"ZCStopDeviceAB"})").value("success").toInt(), 1);
    QVERIFY(!thread->isRunning());
    QCOMPARE(finished.count(), 2);
    QVERIFY(simulatedPad().interfaceClaimed());
    QCOMPARE(call(R"({"function":"ZCStopDeviceAB"})").value("success").toInt(), 1); // idempotent
    QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), 1);
}

void SigningCommandsTest::windowAtTheScreenOriginWithoutPosition()
{
    g_SignData.signBase64 = "stale";
    QVERIFY(QGuiApplication::primaryScreen());
    const QRect primary = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(primary.right() < g_SignData.screenX);
    bool checked = false;
    whileSigning([&] {
        MainWindow* window = g_globalObj->signWindow;
        QVERIFY(window);
        QTRY_VERIFY(window->isVisible());
        // No "x"/"y": the sign screen's origin. The default sign screen
        // lies on no screen of this desktop, so in simulation the primary
        // screen's area stands in for it.
        QCOMPARE(g_SignData.winX, 0);
        QCOMPARE(g_SignData.winY, 0);
        QCOMPARE(g_SignData.screenX, 1921);
        QCOMPARE(window->pos(), primary.topLeft());
        QCOMPARE(window->size(), QSize(300, 200));
        QVERIFY(g_SignData.signBase64.isEmpty());
        // The window manager's close is refused.
        QVERIFY(!window->close());
        QVERIFY(window->isVisible());
        QCOMPARE(g_globalObj->signWindow, window);
        checked = true;
        // Cancel with the pen: touch and lift on the Cancel button. The pad
        // spans the stand-in's pixels, not the page's 1280 x 800.
        const auto* cancel = window->findChild<QWidget*>(QStringLiteral("btnCancel"));
        const QPoint at = cancel->geometry().center();
        const int padX = convertLogicalToPhysicalValue(at.x() + g_SignData.winX, 21692, primary.width());
        const int padY = convertLogicalToPhysicalValue(at.y() + g_SignData.winY, 13564, primary.height());
        simulatedPad().pushReport(uint16_t(padX), uint16_t(padY), 600);
        simulatedPad().pushReport(uint16_t(padX), uint16_t(padY), 0);
    });
    const QJsonObject reply = call(R"({"function":"ZCBeginSignAB","width":"300","height":"200","_tflag":"w"})");
    QVERIFY(checked);
    QCOMPARE(reply.value("functionName").toString(), QStringLiteral("ZCOutputImageBase64AB"));
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("用户已取消"));
    QCOMPARE(reply.value("_tflag").toString(), QStringLiteral("w"));
    QVERIFY(g_globalObj->signWindow == nullptr);
}

void SigningCommandsTest::noReplyAfterTheEndCommand()
{
    whileSigning([this] {
        QTRY_VERIFY(g_globalObj->signWindow && g_globalObj->signWindow->isVisible());
        QCOMPARE(call(R"({"function":"ZCEndSignAB","_tflag":"end"})").value("_tflag").toString(),
                 QStringLiteral("end"));
    });
    const int before = m_replies.size();
    m_processor.Process(m_peer, R"({"function":"ZCBeginSignAB","x":"10","y":"10","width":"300","height":"200"})");
    // Returned after the window closed; the only reply is the end command's.
    QVERIFY(g_globalObj->signWindow == nullptr);
    QCOMPARE(call(R"({"function":"ZCResignAB"})").value("functionName").toString(), QStringLiteral("ZCResignAB"));
    QCOMPARE(m_replies.size(), before + 2);
    QVERIFY(m_replies.at(before).contains("ZCEndSignAB"));
}

void SigningCommandsTest::mouseWritesThroughThePad()
{
    // With --simulate the mouse is the pen: its strokes become reports of
    // the simulated pad and come back through the driver and the thread.
    QGetHandWrtingDevData* thread = g_globalObj->samplingThread;
    QVERIFY(thread->isRunning());
    whileSigning([this, thread] {
        QTRY_VERIFY(g_globalObj->signWindow && g_globalObj->signWindow->isVisible());
        MainWindow* window = g_globalObj->signWindow;
        auto* area = window->findChild<QWidget*>(QStringLiteral("wgtHandwriting"));
        // Counted through a queued connection made after the window's, so a
        // sample counted here has already reached the window.
        int delivered = 0;
        int lastPressure = -1;
        const QMetaObject::Connection counter = connect(
            thread, &QGetHandWrtingDevData::getDataOk, this,
            [&delivered, &lastPressure](int, int, int p) {
                ++delivered;
                lastPressure = p;
            },
            Qt::QueuedConnection);
        const auto send = [area](QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
            QMouseEvent event(type, pos, area->mapToGlobal(pos), button, buttons, Qt::NoModifier);
            QApplication::sendEvent(area, &event);
        };
        send(QEvent::MouseButtonPress, QPoint(40, 50), Qt::LeftButton, Qt::LeftButton);
        for (int x = 50; x <= 200; x += 10)
            send(QEvent::MouseMove, QPoint(x, 50), Qt::NoButton, Qt::LeftButton);
        send(QEvent::MouseButtonRelease, QPoint(200, 50), Qt::LeftButton, Qt::NoButton);
        QTRY_COMPARE(delivered, 18);
        disconnect(counter);
        QCOMPARE(lastPressure, 0); // the release is the pen lift
        // The OK button takes an ordinary click.
        QTest::mouseClick(window->findChild<QWidget*>(QStringLiteral("btnOK")), Qt::LeftButton);
    });
    const QJsonObject reply = call(R"({"function":"ZCBeginSignAB","x":"0","y":"0","width":"300","height":"200"})");
    QCOMPARE(reply.value("success").toInt(), 1);
    QImage image;
    QVERIFY(image.loadFromData(QByteArray::fromBase64(reply.value("Base64").toString().toLatin1()), "PNG"));
    for (int x = 45; x <= 195; x += 15)
        QVERIFY2(qGray(image.pixel(x, 50)) < 100, qPrintable(QString::number(x)));
    QCOMPARE(image.pixel(20, 50), qRgb(255, 255, 255));
    QCOMPARE(image.pixel(120, 80), qRgb(255, 255, 255));
}

void SigningCommandsTest::scriptedStrokesFuzzed()
{
    // Mutated stroke scripts: each gets exactly one answer, an envelope of
    // success 0 or 1 or the echo of text that names no command.
    const QByteArray seed =
        R"({"function":"SimPenStroke","unit":"window","points":[[10,20,300],[40,-5,0],[1e9,2,3]],"_tflag":"f"})";
    const char alphabet[] = "[]{},:\"0123456789-.eE abcnrtuwxyz\\";
    QRandomGenerator random(20221207);
    QVector<QByteArray> sent;
    const int before = m_replies.size();
    for (int round = 0; round < 1500; ++round) {
        QByteArray text = seed;
        const int edits = 1 + random.bounded(6);
        for (int e = 0; e < edits; ++e) {
            const int at = random.bounded(text.size());
            switch (random.bounded(3)) {
            case 0: text[at] = alphabet[random.bounded(int(sizeof alphabet) - 1)]; break;
            case 1: text.remove(at, 1 + random.bounded(4)); break;
            default: text.insert(at, text.mid(random.bounded(text.size()), 1 + random.bounded(12))); break;
            }
        }
        m_processor.Process(m_peer, QString::fromLatin1(text));
        sent << text;
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_replies.size(), before + sent.size(), 20000);
    int strokes = 0;
    for (int i = 0; i < sent.size(); ++i) {
        const QJsonObject reply = QJsonDocument::fromJson(m_replies.at(before + i).toUtf8()).object();
        if (reply.value("functionName").toString() != QLatin1String("SimPenStroke"))
            continue;
        ++strokes;
        const int success = reply.value("success").toInt(-1);
        QVERIFY2(success == 0 || success == 1, sent[i].constData());
        QVERIFY2(success == 1 || !reply.value("msg").toString().isEmpty(), sent[i].constData());
    }
    QVERIFY(strokes > 100); // the mutations reached the parser, not only the envelope
    // Nothing is left over: the next request gets the next reply.
    QCOMPARE(call(R"({"function":"ZCResignAB","_tflag":"after"})").value("_tflag").toString(), QStringLiteral("after"));
}

QTEST_MAIN(SigningCommandsTest)
#include "test_signing_commands.moc"
