// The built periphd program, driven by a Qt WebSocket client.
#include "PeriphdProcess.h"
#include "WsClient.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

class PeriphdBinaryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startUpLinesInOrder();
    void settingsEnvelopeExactText();
    void requestForms();
    void echoes();
    void binaryEchoByteForByte();
    void twoClientsGetOnlyTheirReplies();
    void readHidOpenAnswersNothing();
    void oversizeMessageRefused();
    void portInUseFailsLoudly();
    void logFileOption();
    void commandLine();
    void cleanupTestCase();

private:
    PeriphdProcess m_periphd;
    WsClient m_client;
};

void PeriphdBinaryTest::initTestCase()
{
    QVERIFY2(m_periphd.start(), m_periphd.standardError().constData());
    QVERIFY(m_client.open(m_periphd.url()));
}

void PeriphdBinaryTest::cleanupTestCase()
{
    m_periphd.stop();
}

void PeriphdBinaryTest::startUpLinesInOrder()
{
    const QByteArray expected = "hello world\nhello World\nThis is a debug message\nThis is a warning message\n"
                                "This is a critical message\n****\n20220711\n";
    QVERIFY(m_periphd.waitForStandardError("20220711\n"));
    QVERIFY2(m_periphd.standardError().startsWith(expected), m_periphd.standardError().constData());
}

void PeriphdBinaryTest::settingsEnvelopeExactText()
{
    QCOMPARE(m_client.request(R"({"function":"ZCSetPenWidth","Width":"8","_tflag":"7"})"),
             QStringLiteral(R"({"_tflag":"7","functionName":"ZCSetPenWidth","msg":"","success":1})"));
    QVERIFY(m_periphd.waitForStandardError("ZCSetPenWidth\n"));
}

void PeriphdBinaryTest::requestForms()
{
    // Single quotes, numbers and a missing key all give an ordinary reply.
    QCOMPARE(m_client.request("{'function':'ZCSetTransparency','Percent':'80','_tflag':'q'}"),
             QStringLiteral(R"({"_tflag":"q","functionName":"ZCSetTransparency","msg":"","success":1})"));
    QCOMPARE(m_client.request(R"({"function":"ZCSetSignScreenPosSizeAB","x":0,"y":0,"width":1920,"height":1080})"),
             QStringLiteral(R"({"_tflag":"","functionName":"ZCSetSignScreenPosSizeAB","msg":"","success":1})"));
    QCOMPARE(m_client.request(R"({"function":"ZCSetModeAB","_tflag":"m"})"),
             QStringLiteral(R"({"_tflag":"m","functionName":"ZCSetModeAB","msg":"","success":1})"));
}

void PeriphdBinaryTest::echoes()
{
    QCOMPARE(m_client.request(R"({"function":"zcsetpenwidth"})"), QStringLiteral(R"({"function":"zcsetpenwidth"})"));
    QCOMPARE(m_client.request("hello"), QStringLiteral("hello"));
    QVERIFY(m_periphd.waitForStandardError("pClient\n"));
}

void PeriphdBinaryTest::binaryEchoByteForByte()
{
    QByteArray all(256, '\0');
    for (int i = 0; i < 256; ++i)
        all[i] = char(i);
    const QByteArray large = all.repeated(4096); // 1 MiB exactly: still accepted
    m_client.binaries.clear();
    m_client.socket().sendBinaryMessage(all);
    m_client.socket().sendBinaryMessage(large);
    QVERIFY(m_client.waitForBinaries(2, 10000));
    QCOMPARE(m_client.binaries.at(0), all);
    QCOMPARE(m_client.binaries.at(1), large);
}

void PeriphdBinaryTest::twoClientsGetOnlyTheirReplies()
{
    WsClient first, second;
    QVERIFY(first.open(m_periphd.url()));
    QVERIFY(second.open(m_periphd.url()));
    for (int i = 0; i < 20; ++i) {
        first.socket().sendTextMessage(QStringLiteral(R"({"function":"ZCSetModeAB","mode":"1","_tflag":"a%1"})").arg(i));
        second.socket().sendTextMessage(QStringLiteral(R"({"function":"ZCSetModeAB","mode":"1","_tflag":"b%1"})").arg(i));
    }
    QVERIFY(first.waitForTexts(20));
    QVERIFY(second.waitForTexts(20));
    // A sentinel round trip on each: anything broadcast would have arrived first.
    QCOMPARE(first.request("end-a"), QStringLiteral("end-a"));
    QCOMPARE(second.request("end-b"), QStringLiteral("end-b"));
    QCOMPARE(first.texts.size(), 21);
    QCOMPARE(second.texts.size(), 21);
    for (int i = 0; i < 20; ++i) {
        QCOMPARE(parseReply(first.texts.at(i)).value("_tflag").toString(), QStringLiteral("a%1").arg(i));
        QCOMPARE(parseReply(second.texts.at(i)).value("_tflag").toString(), QStringLiteral("b%1").arg(i));
    }
}

void PeriphdBinaryTest::readHidOpenAnswersNothing()
{
    const int before = m_client.texts.size();
    m_client.socket().sendTextMessage(R"({"function":"ZCReadHIDOpen","_tflag":"x"})");
    QCOMPARE(m_client.request("after"), QStringLiteral("after"));
    QCOMPARE(m_client.texts.size(), before + 1);
}

void PeriphdBinaryTest::oversizeMessageRefused()
{
    WsClient big;
    QVERIFY(big.open(m_periphd.url()));
    big.socket().sendTextMessage(QString(1024 * 1024 + 1, QLatin1Char('x')));
    QVERIFY(big.waitForDisconnect(10000));
    QCOMPARE(int(big.socket().closeCode()), 1009);
    QVERIFY(big.texts.isEmpty());
    QVERIFY(m_periphd.waitForStandardError("message larger than 1048576 bytes refused"));
    // The service carries on for everyone else.
    QCOMPARE(m_client.request("still here"), QStringLiteral("still here"));
}

void PeriphdBinaryTest::portInUseFailsLoudly()
{
    PeriphdProcess second;
    second.setPort(m_periphd.port());
    QVERIFY(second.launch());
    QVERIFY(second.process().waitForFinished(15000));
    QCOMPARE(second.process().exitStatus(), QProcess::NormalExit);
    QVERIFY(second.process().exitCode() != 0);
    QVERIFY2(second.standardError().contains(QStringLiteral("cannot listen on port %1").arg(m_periphd.port()).toUtf8()),
             second.standardError().constData());
}

void PeriphdBinaryTest::logFileOption()
{
    QTemporaryDir dir;
    PeriphdProcess logged({QStringLiteral("--log-file")});
    logged.setWorkingDirectory(dir.path());
    QVERIFY(logged.start());
    WsClient client;
    QVERIFY(client.open(logged.url()));
    QCOMPARE(parseReply(client.request(R"({"function":"ZCSetPenWidth","Width":"3"})")).value("success").toInt(), 1);
    QFile log(dir.filePath("log.txt"));
    QTRY_VERIFY(log.exists() && log.size() > 0);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(log.readAll());
    QVERIFY2(QRegularExpression(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \S+\] Warning: ZCSetPenWidth\n)").match(text).hasMatch(),
             qPrintable(text));
    // Start-up lines come before the handler is installed: standard error.
    QVERIFY(logged.waitForStandardError("20220711"));
    QVERIFY(!logged.standardError().contains("ZCSetPenWidth"));
}

void PeriphdBinaryTest::commandLine()
{
    QProcess version;
    version.start(PeriphdProcess::binaryPath(), {"--version"});
    QVERIFY(version.waitForFinished(10000));
    QCOMPARE(version.exitCode(), 0);
    QVERIFY(version.readAllStandardOutput().startsWith("periphd 1."));

    QProcess help;
    help.start(PeriphdProcess::binaryPath(), {"--help"});
    QVERIFY(help.waitForFinished(10000));
    const QByteArray text = help.readAllStandardOutput();
    for (const char* option : {"--port", "--allow-remote", "--allowed-origin", "--log-file", "--simulate"})
        QVERIFY2(text.contains(option), option);

    QProcess badPort;
    badPort.start(PeriphdProcess::binaryPath(), {"--port", "70000"});
    QVERIFY(badPort.waitForFinished(10000));
    QCOMPARE(badPort.exitCode(), 2);
    QVERIFY(badPort.readAllStandardError().contains("invalid port"));
}

QTEST_GUILESS_MAIN(PeriphdBinaryTest)
#include "test_periphd_binary.moc"
