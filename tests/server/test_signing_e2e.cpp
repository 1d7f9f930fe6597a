// The signing flow of the built `periphd --simulate`, driven from a page's
// point of view over WebSocket: the simulated pad's reports travel the
// libusb driver, the sampling thread and the window as a real pad's would.
#include "PeriphdProcess.h"
#include "WsClient.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QJsonObject>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSignFile = QStringLiteral("/tmp/kmo_sign.png");

// Window coordinates of the three buttons of a 400 × 300 window.
const char* kLiftOnCancel = "[[60,268,700],[60,268,0]]";
const char* kLiftOnResign = "[[200,268,700],[200,268,0]]";
const char* kLiftOnOk = "[[335,268,700],[335,268,0]]";

QString stroke(const char* points, const char* tag = "s")
{
    return QStringLiteral(R"({"function":"SimPenStroke","unit":"window","points":%1,"_tflag":"%2"})")
        .arg(QLatin1String(points), QLatin1String(tag));
}

QString begin(const char* tag)
{
    return QStringLiteral(R"({"function":"ZCBeginSignAB","x":"100","y":"80","width":"400","height":"300","_tflag":"%1"})")
        .arg(QLatin1String(tag));
}

QImage decodePng(const QString& base64)
{
    QImage image;
    image.loadFromData(QByteArray::fromBase64(base64.toLatin1()), "PNG");
    return image.convertToFormat(QImage::Format_RGB32);
}

bool dark(const QImage& image, int x, int y)
{
    return qGray(image.pixel(x, y)) < 100;
}

// Rows of `column` that carry ink, as [first, last] bands.
QVector<QPair<int, int>> inkBands(const QImage& image, int column)
{
    QVector<QPair<int, int>> bands;
    for (int y = 0; y < image.height(); ++y) {
        if (!dark(image, column, y))
            continue;
        if (!bands.isEmpty() && bands.last().second == y - 1)
            bands.last().second = y;
        else
            bands.append({y, y});
    }
    return bands;
}

bool allWhite(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != qRgb(255, 255, 255))
                return false;
    return true;
}

} // namespace

class SigningEndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();

    void padPresentAndStarted();
    void signatureAcceptedWithOk();
    void cancelledByTheSigner();
    void endedFromThePage();
    void stoppedWhileSigning();
    void resignClearsToWhite();
    void disconnectedPageGetsNoReply();
    void plantedSymlinkIsReplacedNotFollowed();
    void simulationCommandRefusesBadInput();

private:
    QJsonObject call(const QString& text);
    // Sends without waiting for a reply; written out at once, since waiting
    // on the program's output does not run the event loop.
    void send(const QString& text);
    // The replies that arrive (beyond `before`) until one of `function`.
    QJsonObject waitForReply(const QString& function, int before, int timeoutMs = 10000);

    PeriphdProcess m_periphd{{QStringLiteral("--simulate")}};
    WsClient m_page;
};

void SigningEndToEndTest::initTestCase()
{
    QVERIFY2(m_periphd.start(), m_periphd.standardError().constData());
    QVERIFY(m_page.open(m_periphd.url()));
}

void SigningEndToEndTest::cleanupTestCase()
{
    m_periphd.stop();
}

QJsonObject SigningEndToEndTest::call(const QString& text)
{
    return parseReply(m_page.request(text, 10000));
}

void SigningEndToEndTest::send(const QString& text)
{
    m_page.socket().sendTextMessage(text);
    m_page.socket().flush();
}

QJsonObject SigningEndToEndTest::waitForReply(const QString& function, int before, int timeoutMs)
{
    for (int seen = before;; ++seen) {
        if (!m_page.waitForTexts(seen + 1, timeoutMs))
            return {};
        const QJsonObject reply = parseReply(m_page.texts.at(seen));
        if (reply.value(QStringLiteral("functionName")).toString() == function)
            return reply;
    }
}

void SigningEndToEndTest::padPresentAndStarted()
{
    QJsonObject reply = call(R"({"function":"ZCDeviceExist","_tflag":"d"})");
    QCOMPARE(reply.value("success").toInt(), 1);
    QCOMPARE(reply.value("_tflag").toString(), QStringLiteral("d"));

    reply = call(R"({"function":"ZCOutputImageBase64AB"})");
    QCOMPARE(reply.value("success").toInt(), 0);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("未签名"));
    QVERIFY(!reply.contains("Base64"));

    // Before the pad is started nothing can be written.
    reply = call(stroke("[[100,100,500]]"));
    QCOMPARE(reply.value("success").toInt(), 0);

    // Start, restart, stop, start: each start opens the pad and runs the
    // sampling thread, each stop ends it.
    for (int round = 0; round < 2; ++round) {
        QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), 1);
        QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), 1);
        QCOMPARE(call(stroke("[[100,100,0]]")).value("success").toInt(), 1);
        QCOMPARE(call(R"({"function":"ZCStopDeviceAB"})").value("success").toInt(), 1);
        QCOMPARE(call(stroke("[[100,100,0]]")).value("success").toInt(), 0);
    }
    QVERIFY(m_periphd.waitForStandardError("启动签字板\n"));
    QCOMPARE(call(R"({"function":"ZCStartDeviceAB","_tflag":"go"})").value("success").toInt(), 1);
    // The idle pad times out every 300 ms; the sampler keeps reading.
    QVERIFY(m_periphd.waitForStandardError("readDataErro faild\n"));
}

void SigningEndToEndTest::signatureAcceptedWithOk()
{
    QFile::remove(kSignFile);
    const int before = m_page.texts.size();
    send(begin("sign-1"));
    QVERIFY(m_periphd.waitForStandardError("进入签名\n"));
    // The default sign screen lies right of a 1920-pixel main screen, on no
    // screen of this one-screen desktop: the primary screen stands in, and
    // the strokes below, in window pixels, still land where they are aimed.
    const QRect primary = QGuiApplication::primaryScreen()->availableGeometry();
    QVERIFY(m_periphd.waitForStandardError(
        QStringLiteral("sign screen 1921,0 1280x800 is on no screen; the primary screen's %1,%2 %3x%4 stands in\n")
            .arg(primary.x())
            .arg(primary.y())
            .arg(primary.width())
            .arg(primary.height())
            .toUtf8()));

    // While the window is open: a second signature and the settings are
    // refused, each answered with its own tag.
    QJsonObject busy = call(begin("again"));
    QCOMPARE(busy.value("functionName").toString(), QStringLiteral("ZCBeginSignAB"));
    QCOMPARE(busy.value("success").toInt(), 0);
    QCOMPARE(busy.value("msg").toString(), QStringLiteral("签名进行中"));
    QCOMPARE(busy.value("_tflag").toString(), QStringLiteral("again"));
    for (const char* setting : {R"({"function":"ZCSetPenWidth","Width":"9","_tflag":"pw"})",
                                R"({"function":"ZCSetTransparency","Percent":"10","_tflag":"tr"})",
                                R"({"function":"ZCSetModeAB","mode":"1","_tflag":"mo"})",
                                R"({"function":"ZCSetSignScreenPosSizeAB","x":"0","_tflag":"sc"})"}) {
        busy = call(setting);
        QCOMPARE(busy.value("success").toInt(), 0);
        QCOMPARE(busy.value("msg").toString(), QStringLiteral("签名进行中"));
    }
    QCOMPARE(call(R"({"function":"ZCDeviceExist"})").value("success").toInt(), 1);

    // Two strokes, then a lift over OK.
    QCOMPARE(call(stroke("[[50,100,0],[50,100,1023],[120,100,1023],[200,100,1023],[300,100,1023],[300,100,0]]"))
                 .value("data").toString(),
             QStringLiteral("6"));
    QCOMPARE(call(stroke("[[100,140,1023],[150,140,1023],[200,140,1023],[200,140,0]]")).value("success").toInt(), 1);
    call(stroke(kLiftOnOk, "ok"));

    const QJsonObject signed_ = waitForReply(QStringLiteral("ZCOutputImageBase64AB"), before);
    QCOMPARE(signed_.value("success").toInt(), 1);
    QCOMPARE(signed_.value("msg").toString(), QString());
    // The reply carries its own request's tag, whatever came meanwhile.
    QCOMPARE(signed_.value("_tflag").toString(), QStringLiteral("sign-1"));
    QVERIFY(!signed_.contains("data"));
    const QString base64 = signed_.value("Base64").toString();
    QVERIFY(QByteArray::fromBase64(base64.toLatin1()).startsWith("\x89PNG"));

    const QImage image = decodePng(base64);
    QCOMPARE(image.width(), 400); // the writing area spans the window
    QVERIFY(image.height() > 150 && image.height() < 300);
    // The ink lies where the pen went: two bands 40 rows apart at x 150, a
    // single one at x 250, none left of the strokes.
    const auto bands = inkBands(image, 150);
    QCOMPARE(bands.size(), 2);
    QCOMPARE((bands[1].first + bands[1].second) / 2 - (bands[0].first + bands[0].second) / 2, 40);
    QVERIFY(bands[0].second - bands[0].first + 1 >= 4 && bands[0].second - bands[0].first + 1 <= 7);
    const int row = (bands[0].first + bands[0].second) / 2;
    QCOMPARE(inkBands(image, 250).size(), 1);
    QVERIFY(inkBands(image, 40).isEmpty());
    QVERIFY(dark(image, 55, row) && dark(image, 295, row));
    QVERIFY(!dark(image, 310, row));
    QVERIFY(dark(image, 105, row + 40) && dark(image, 195, row + 40));
    QVERIFY(!dark(image, 90, row + 40) && !dark(image, 210, row + 40));

    // The same image in the file and in a later fetch.
    QImage saved(kSignFile);
    QVERIFY(!saved.isNull());
    QCOMPARE(saved.convertToFormat(QImage::Format_RGB32), image);
    const QJsonObject again = call(R"({"function":"ZCOutputImageBase64AB","_tflag":"out"})");
    QCOMPARE(again.value("success").toInt(), 1);
    QCOMPARE(again.value("Base64").toString(), base64);
    QCOMPARE(again.value("_tflag").toString(), QStringLiteral("out"));

    // The window is gone: settings are accepted again.
    QCOMPARE(call(R"({"function":"ZCSetPenWidth","Width":"5"})").value("success").toInt(), 1);
}

void SigningEndToEndTest::cancelledByTheSigner()
{
    const int before = m_page.texts.size();
    send(begin("c"));
    QVERIFY(m_periphd.waitForStandardError("进入签名\n"));
    call(stroke("[[80,90,0],[80,90,900],[160,120,900],[160,120,0]]"));
    call(stroke(kLiftOnCancel));
    const QJsonObject reply = waitForReply(QStringLiteral("ZCOutputImageBase64AB"), before);
    QCOMPARE(reply.value("success").toInt(), 0);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("用户已取消"));
    QCOMPARE(reply.value("_tflag").toString(), QStringLiteral("c"));
    QVERIFY(!reply.contains("Base64"));
    // Beginning cleared the last signature.
    QCOMPARE(call(R"({"function":"ZCOutputImageBase64AB"})").value("msg").toString(), QStringLiteral("未签名"));
}

void SigningEndToEndTest::endedFromThePage()
{
    const int before = m_page.texts.size();
    send(begin("b"));
    // The busy reply proves the window is open before it is ended.
    QCOMPARE(call(R"({"function":"ZCSetModeAB","mode":"1"})").value("msg").toString(), QStringLiteral("签名进行中"));
    const QJsonObject ended = call(R"({"function":"ZCEndSignAB","_tflag":"e"})");
    QCOMPARE(ended.value("functionName").toString(), QStringLiteral("ZCEndSignAB"));
    QCOMPARE(ended.value("success").toInt(), 1);
    QCOMPARE(ended.value("_tflag").toString(), QStringLiteral("e"));
    // The next reply is that of the next request: the window sent nothing.
    const QJsonObject next = call(R"({"function":"ZCOutputImageBase64AB","_tflag":"n"})");
    QCOMPARE(next.value("msg").toString(), QStringLiteral("未签名"));
    QCOMPARE(next.value("_tflag").toString(), QStringLiteral("n"));
    QCOMPARE(call(R"({"function":"ZCSetModeAB","mode":"0"})").value("success").toInt(), 1);
    QCOMPARE(m_page.texts.size(), before + 4);
    // With no window open, ending and re-signing change nothing.
    QCOMPARE(call(R"({"function":"ZCEndSignAB"})").value("success").toInt(), 1);
    QCOMPARE(call(R"({"function":"ZCResignAB"})").value("success").toInt(), 1);
}

void SigningEndToEndTest::stoppedWhileSigning()
{
    const int before = m_page.texts.size();
    send(begin("st"));
    QCOMPARE(call(R"({"function":"ZCSetModeAB"})").value("msg").toString(), QStringLiteral("签名进行中"));
    call(stroke("[[80,90,0],[80,90,900]]")); // pen down when stopped
    const QJsonObject stopped = call(R"({"function":"ZCStopDeviceAB","_tflag":"x"})");
    QCOMPARE(stopped.value("functionName").toString(), QStringLiteral("ZCStopDeviceAB"));
    QCOMPARE(stopped.value("success").toInt(), 1);
    QCOMPARE(call(R"({"function":"ZCSetModeAB"})").value("success").toInt(), 1);
    QCOMPARE(m_page.texts.size(), before + 4); // busy, stroke, stop, mode: nothing from the window
    // The thread has stopped; starting again brings the pad back.
    QCOMPARE(call(stroke("[[80,90,0]]")).value("success").toInt(), 0);
    QCOMPARE(call(R"({"function":"ZCStartDeviceAB"})").value("success").toInt(), 1);
}

void SigningEndToEndTest::resignClearsToWhite()
{
    const int before = m_page.texts.size();
    send(begin("r"));
    QVERIFY(m_periphd.waitForStandardError("进入签名\n"));
    call(stroke("[[60,60,0],[60,60,1023],[250,110,1023],[250,110,0]]"));
    // From the page, then with the pen on Re-sign: both clear the drawing.
    QCOMPARE(call(R"({"function":"ZCResignAB","_tflag":"rs"})").value("success").toInt(), 1);
    call(stroke("[[60,100,0],[60,100,1023],[250,100,1023],[250,100,0]]"));
    call(stroke(kLiftOnResign));
    call(stroke(kLiftOnOk));
    const QJsonObject reply = waitForReply(QStringLiteral("ZCOutputImageBase64AB"), before);
    QCOMPARE(reply.value("success").toInt(), 1);
    QCOMPARE(reply.value("_tflag").toString(), QStringLiteral("r"));
    QVERIFY(allWhite(decodePng(reply.value("Base64").toString())));
}

void SigningEndToEndTest::disconnectedPageGetsNoReply()
{
    {
        WsClient leaving;
        QVERIFY(leaving.open(m_periphd.url()));
        leaving.socket().sendTextMessage(begin("gone"));
        leaving.socket().flush();
        // Another socket: its request may overtake this page's, so ask again.
        QTRY_COMPARE_WITH_TIMEOUT(call(R"({"function":"ZCSetModeAB"})").value("msg").toString(),
                                  QStringLiteral("签名进行中"), 10000);
        leaving.socket().close();
        QVERIFY(leaving.waitForDisconnect());
    }
    // The window outlives its page; the signer accepts, the server answers
    // nobody, says so, and carries on.
    const int before = m_page.texts.size();
    call(stroke("[[60,60,0],[60,60,1023],[90,60,1023],[90,60,0]]"));
    call(stroke(kLiftOnOk));
    QVERIFY(m_periphd.waitForStandardError("signing window closed after its page left: reply not sent\n"));
    const QJsonObject reply = call(R"({"function":"ZCOutputImageBase64AB"})");
    QCOMPARE(reply.value("functionName").toString(), QStringLiteral("ZCOutputImageBase64AB"));
    QCOMPARE(reply.value("success").toInt(), 1);
    // Nor did the reply go to the page that is still here.
    for (int i = before; i < m_page.texts.size(); ++i)
        QVERIFY(!m_page.texts.at(i).contains("\"gone\""));
    QCOMPARE(m_periphd.process().state(), QProcess::Running);
    QCOMPARE(call(R"({"function":"ZCSetModeAB"})").value("success").toInt(), 1);
}

void SigningEndToEndTest::plantedSymlinkIsReplacedNotFollowed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString target = dir.filePath(QStringLiteral("precious"));
    {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
    }
    QFile::remove(kSignFile);
    QVERIFY(QFile::link(target, kSignFile));

    const int before = m_page.texts.size();
    send(begin("l"));
    QVERIFY(m_periphd.waitForStandardError("进入签名\n"));
    call(stroke("[[60,60,0],[60,60,1023],[90,70,1023],[90,70,0]]"));
    call(stroke(kLiftOnOk));
    const QJsonObject reply = waitForReply(QStringLiteral("ZCOutputImageBase64AB"), before);
    QCOMPARE(reply.value("success").toInt(), 1);

    QFile kept(target);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("keep me"));
    const QFileInfo written(kSignFile);
    QVERIFY(!written.isSymLink());
    QVERIFY(written.isFile());
    QCOMPARE(QImage(kSignFile).convertToFormat(QImage::Format_RGB32), decodePng(reply.value("Base64").toString()));
    // No temporary file is left behind.
    const QStringList leftovers = QDir(QStringLiteral("/tmp")).entryList({QStringLiteral(".kmo_sign.png.*")},
                                                                        QDir::Files | QDir::Hidden);
    QVERIFY2(leftovers.isEmpty(), qPrintable(leftovers.join(' ')));
}

void SigningEndToEndTest::simulationCommandRefusesBadInput()
{
    for (const char* bad : {R"({"function":"SimPenStroke"})", R"({"function":"SimPenStroke","points":[]})",
                            R"({"function":"SimPenStroke","points":[[1,2]]})",
                            R"({"function":"SimPenStroke","points":[[1,2,"x"]]})",
                            R"({"function":"SimPenStroke","points":[[1,2,3.5]]})",
                            R"({"function":"SimPenStroke","points":[[70000,2,3]]})",
                            R"({"function":"SimPenStroke","points":[[-1,2,3]]})",
                            R"({"function":"SimPenStroke","points":"[[1,2,3]]"})",
                            R"({"function":"SimPenStroke","unit":"mm","points":[[1,2,3]]})"}) {
        const QJsonObject reply = call(QString::fromLatin1(bad));
        QCOMPARE(reply.value("functionName").toString(), QStringLiteral("SimPenStroke"));
        QCOMPARE(reply.value("success").toInt(), 0);
        QVERIFY2(!reply.value("msg").toString().isEmpty(), bad);
    }
    QCOMPARE(m_periphd.process().state(), QProcess::Running);
}

QTEST_MAIN(SigningEndToEndTest)
#include "test_signing_e2e.moc"
