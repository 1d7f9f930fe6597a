// "ZCCameraPic" in process: the handler runs the real camera window modally
// (offscreen, a scripted frame source) and answers when it closes; windows
// nest, and each request is answered with its own tag.
#include "CameraUser.h"
#include "ScriptedCamera.h"
#include "SimulatedCameras.h"
#include "TextMessageProcessor.h"
#include "ui_CameraUser.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QJsonObject>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <functional>

class CameraCommandTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void photoTakenAndReturned();
    void closedWithoutAPicture();
    void failedReopenAnswersZero();
    void nestedWindowsAnswerWithTheirOwnTags();
    void simCameraScripts();
    void pageGoneBeforeTheWindowCloses();

private:
    // Runs `action` on the next camera window shown that is not open yet,
    // once it has shown a frame; from inside the handler's nested loop.
    void onNextWindow(std::function<void(CameraUser*)> action);
    void request(const char* tag);
    QJsonObject reply(int index);

    CameraScript m_script;
    ListedDevices m_devices;
    CTextMessageProcessor m_processor;
    QWebSocketServer m_server{QStringLiteral("test"), QWebSocketServer::NonSecureMode};
    QWebSocket m_page;
    QWebSocket* m_peer = nullptr;
    QStringList m_replies;
};

void CameraCommandTest::initTestCase()
{
    m_devices.devices = {{"0", "0c45", "6366"}, {"2", "1b17", "6685"}};
    camera::setDiscovery(m_devices);
    camera::setFrameSourceFactory([this] { return std::make_unique<ScriptedFrameSource>(m_script); });

    QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
    QSignalSpy connected(&m_server, &QWebSocketServer::newConnection);
    m_page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_server.serverPort())));
    QVERIFY(connected.wait(5000));
    m_peer = m_server.nextPendingConnection();
    connect(&m_page, &QWebSocket::textMessageReceived, this, [this](const QString& text) { m_replies << text; });
    QTRY_COMPARE(m_page.state(), QAbstractSocket::ConnectedState);
}

void CameraCommandTest::init()
{
    m_script = CameraScript();
    m_replies.clear();
}

void CameraCommandTest::onNextWindow(std::function<void(CameraUser*)> action)
{
    const QList<CameraUser*> known = openCameraWindows();
    auto* poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, [=] {
        for (CameraUser* window : openCameraWindows()) {
            if (known.contains(window) || window->ui->cameraPic->pixmap(Qt::ReturnByValue).isNull())
                continue;
            poll->deleteLater();
            poll->stop();
            action(window);
            return;
        }
    });
    poll->start(10);
}

void CameraCommandTest::request(const char* tag)
{
    m_processor.Process(m_peer, QStringLiteral(R"({"function":"ZCCameraPic","_tflag":"%1"})").arg(tag));
}

QJsonObject CameraCommandTest::reply(int index)
{
    if (!QTest::qWaitFor([&] { return m_replies.size() > index; }, 5000))
        return {};
    return QJsonDocument::fromJson(m_replies.at(index).toUtf8()).object();
}

void CameraCommandTest::photoTakenAndReturned()
{
    onNextWindow([](CameraUser* window) {
        window->ui->photoBtn->click();
        window->ui->closeCamBtn->click();
    });
    request("p1");
    const QJsonObject answer = reply(0);
    QCOMPARE(answer.value("functionName").toString(), QStringLiteral("ZCCameraPic"));
    QCOMPARE(answer.value("success").toInt(), 1);
    QCOMPARE(answer.value("msg").toString(), QString());
    QCOMPARE(answer.value("_tflag").toString(), QStringLiteral("p1"));
    QImage photo;
    QVERIFY(photo.loadFromData(QByteArray::fromBase64(answer.value("Base64").toString().toLatin1()), "JPEG"));
    QCOMPARE(photo.size(), QSize(640, 480));
    QVERIFY(openCameraWindows().isEmpty());
}

void CameraCommandTest::closedWithoutAPicture()
{
    // Each way of closing without "关闭退出" after a picture: success 0, no image.
    const QList<std::function<void(CameraUser*)>> closings = {
        [](CameraUser* window) { window->ui->closeCamBtn->click(); },
        [](CameraUser* window) {
            window->ui->photoBtn->click();
            QTest::keyClick(window, Qt::Key_Escape);
        },
        [](CameraUser* window) {
            window->ui->photoBtn->click();
            window->close(); // the window frame's close
        },
    };
    for (int i = 0; i < closings.size(); ++i) {
        onNextWindow(closings.at(i));
        request("c");
        const QJsonObject answer = reply(i);
        QCOMPARE(answer.value("success").toInt(), 0);
        QVERIFY(!answer.contains("Base64"));
        QCOMPARE(answer.keys(), (QStringList{"_tflag", "functionName", "msg", "success"}));
    }
}

void CameraCommandTest::failedReopenAnswersZero()
{
    m_script.failingSizes = {{0, 1920}};
    onNextWindow([](CameraUser* window) {
        window->ui->photoBtn->click();
        window->ui->comboBox->setCurrentIndex(6);
    });
    request("f");
    const QJsonObject answer = reply(0);
    QCOMPARE(answer.value("success").toInt(), 0);
    QVERIFY(!answer.contains("Base64"));
}

void CameraCommandTest::nestedWindowsAnswerWithTheirOwnTags()
{
    // The first window stays open while the page asks again: the second
    // opens inside the first's loop, takes a picture and closes; then the
    // first closes without one.
    onNextWindow([this](CameraUser* outer) {
        onNextWindow([](CameraUser* inner) {
            inner->ui->photoBtn->click();
            inner->ui->closeCamBtn->click();
        });
        request("inner");
        QVERIFY(outer->isVisible());
        outer->ui->closeCamBtn->click();
    });
    request("outer");
    const QJsonObject first = reply(0);
    const QJsonObject second = reply(1);
    QCOMPARE(first.value("_tflag").toString(), QStringLiteral("inner"));
    QCOMPARE(first.value("success").toInt(), 1);
    QVERIFY(first.contains("Base64"));
    QCOMPARE(second.value("_tflag").toString(), QStringLiteral("outer"));
    QCOMPARE(second.value("success").toInt(), 0);
    QVERIFY(!second.contains("Base64"));
}

void CameraCommandTest::simCameraScripts()
{
    simdevices::SimulatedCameras& cameras = simdevices::simulatedCameras();
    const auto script = [this](const QString& request) {
        const int before = m_replies.size();
        m_processor.SimCamera(QStringLiteral("SimCamera"), m_peer, request);
        return reply(before);
    };
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(8, 6, QImage::Format_RGB32).save(&buffer, "PNG");

    QJsonObject answer = script(QStringLiteral(R"({"function":"SimCamera","document":"0","portrait":1,"image":"%1"})")
                                    .arg(QString::fromLatin1(png.toBase64())));
    QCOMPARE(answer.value("success").toInt(), 1);
    QVERIFY(!cameras.document.present);
    QVERIFY(cameras.portrait.present);
    QCOMPARE(cameras.image().size(), QSize(8, 6));

    // Refused as a whole, with the key named.
    answer = script(R"({"function":"SimCamera","document":"1","image":"R0lGODlhAQABAAAAACw="})");
    QCOMPARE(answer.value("success").toInt(), 0);
    QVERIFY(answer.value("msg").toString().contains("image"));
    QVERIFY(!cameras.document.present);
    answer = script(R"({"function":"SimCamera","document":"yes"})");
    QVERIFY(answer.value("msg").toString().contains("document"));

    QCOMPARE(script(R"({"function":"SimCamera","document":"1","image":""})").value("success").toInt(), 1);
    QVERIFY(cameras.document.present);
    QVERIFY(cameras.image().isNull());

    // Without --simulate the command does not exist: echoed like any unknown text.
    const QString request = QStringLiteral(R"({"function":"SimCamera","document":"0"})");
    const int before = m_replies.size();
    m_processor.Process(m_peer, request);
    QVERIFY(QTest::qWaitFor([&] { return m_replies.size() > before; }, 5000));
    QCOMPARE(m_replies.at(before), request);
    QVERIFY(cameras.document.present);

    // Mutated requests: exactly one answer each, never a crash.
    const QByteArray seed = QStringLiteral(R"({"function":"SimCamera","document":"1","portrait":"0","image":"%1"})")
                                .arg(QString::fromLatin1(png.toBase64()))
                                .toUtf8();
    QRandomGenerator random(9);
    for (int i = 0; i < 400; ++i) {
        QByteArray mutated = seed;
        for (int n = 1 + random.bounded(4); n > 0; --n) {
            const int at = random.bounded(mutated.size());
            switch (random.bounded(3)) {
            case 0: mutated[at] = char(random.bounded(256)); break;
            case 1: mutated.remove(at, 1 + random.bounded(8)); break;
            default: mutated.insert(at, char(" \"{}[]01,:"[random.bounded(10)])); break;
            }
        }
        const int before = m_replies.size();
        m_processor.SimCamera(QStringLiteral("SimCamera"), m_peer, QString::fromUtf8(mutated));
        QVERIFY(QTest::qWaitFor([&] { return m_replies.size() == before + 1; }, 5000));
        const int success = reply(before).value("success").toInt(-1);
        QVERIFY(success == 0 || success == 1);
    }
    script(R"({"document":"1","portrait":"1","image":""})");
}

void CameraCommandTest::pageGoneBeforeTheWindowCloses()
{
    // The page leaves while its window is open and the server frees its
    // socket, as EchoServer does; the handler must not touch it afterwards.
    QPointer<QWebSocket> peer(m_peer);
    onNextWindow([this, peer](CameraUser* window) {
        window->ui->photoBtn->click();
        m_page.close();
        QTRY_VERIFY(peer->state() != QAbstractSocket::ConnectedState);
        peer->deleteLater();
        QTRY_VERIFY(peer.isNull());
        window->ui->closeCamBtn->click();
    });
    request("gone");
    QVERIFY(peer.isNull());
    QVERIFY(openCameraWindows().isEmpty());
    QVERIFY(m_replies.isEmpty());
}

QTEST_MAIN(CameraCommandTest)
#include "test_camera_command.moc"
