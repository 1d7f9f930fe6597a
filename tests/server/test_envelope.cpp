// The request/reply envelope and the dispatcher, exercised through a real
// EchoServer and a real WebSocket client in this process.
#include "EchoServer.h"
#include "ReplyEnvelope.h"
#include "SignData.h"
#include "TextMessageProcessor.h"
#include "WsClient.h"

#include <QJsonObject>
#include <QRandomGenerator>
#include <QTest>

class EnvelopeTest : public QObject {
    Q_OBJECT
private slots:
    void parseJsonConversions_data();
    void parseJsonConversions();
    void createJsonOrderAndOptionalMembers();
    void directEnvelopeMatchesJsonDocument();
    void dispatchThroughServer();
    void settingsValues_data();
    void settingsValues();
    void unknownRequestsAreEchoed_data();
    void unknownRequestsAreEchoed();
    void nullClientGetsNothing();

private:
    void resetSettings() { g_SignData = struct_GLOBALSSIGNDATA(); }
};

void EnvelopeTest::parseJsonConversions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("string") << R"({"a":"x y"})" << "a" << "x y";
    QTest::newRow("integer") << R"({"a":440})" << "a" << "440";
    QTest::newRow("fraction") << R"({"a":1.5})" << "a" << "1.5";
    QTest::newRow("negative") << R"({"a":-3})" << "a" << "-3";
    QTest::newRow("true") << R"({"a":true})" << "a" << "true";
    QTest::newRow("false") << R"({"a":false})" << "a" << "false";
    QTest::newRow("null") << R"({"a":null})" << "a" << "";
    QTest::newRow("array") << R"({"a":[1,2]})" << "a" << "";
    QTest::newRow("object") << R"({"a":{"b":1}})" << "a" << "";
    QTest::newRow("missing") << R"({"b":1})" << "a" << "";
    QTest::newRow("not json") << "hello" << "a" << "";
    QTest::newRow("array document") << R"([{"a":1}])" << "a" << "";
    QTest::newRow("truncated") << "{\"a\":\"1\"" << "a" << "";
    QTest::newRow("chinese") << R"({"a":"手写签字"})" << "a" << "手写签字";
}

void EnvelopeTest::parseJsonConversions()
{
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString value = CTextMessageProcessor::ParseJson(text, key);
    QCOMPARE(value, expected);
}

void EnvelopeTest::createJsonOrderAndOptionalMembers()
{
    CTextMessageProcessor processor;
    QCOMPARE(processor.CreateJson("ZCSetPenWidth", 1, "", "", ""),
             QStringLiteral(R"({"_tflag":"","functionName":"ZCSetPenWidth","msg":"","success":1})"));
    QCOMPARE(processor.CreateJson("F", -2, "签名进行中", "d", "QUJD"),
             QStringLiteral(R"({"Base64":"QUJD","_tflag":"","data":"d","functionName":"F","msg":"签名进行中","success":-2})"));
    QCOMPARE(processor.CreateJson("F", 0, "m\"q", "", ""),
             QStringLiteral("{\"_tflag\":\"\",\"functionName\":\"F\",\"msg\":\"m\\\"q\",\"success\":0}"));
}

void EnvelopeTest::directEnvelopeMatchesJsonDocument()
{
    // The joined text must equal the document's for any member texts.
    const QVector<QChar> alphabet = {'a', 'Z', '0', '"', '\\', '/', '\n', '\t', QChar(0x01), QChar(0x1f), QChar(0x7f),
                                     QChar(0x7e), QChar(0x4e2d), QChar(0xd83d), QChar(0xde00), QChar(0xfffd), ' ', '+'};
    QRandomGenerator random(20220711);
    auto randomText = [&] {
        QString text;
        const int length = int(random.bounded(8));
        for (int i = 0; i < length; ++i)
            text += alphabet[int(random.bounded(alphabet.size()))];
        return text;
    };
    for (int round = 0; round < 5000; ++round) {
        const QString f = randomText(), m = randomText(), t = randomText();
        const QString d = round % 3 ? QString() : randomText();
        const QString b = round % 5 ? QString() : randomText();
        const int success = int(random.bounded(200)) - 100;
        QCOMPARE(ReplyEnvelope::text(f, success, m, t, d, b), ReplyEnvelope::viaJsonDocument(f, success, m, t, d, b));
    }
    const QString base64 = QString(QByteArray(100000, 'x').toBase64());
    QCOMPARE(ReplyEnvelope::text("ZCOutputImageBase64AB", 1, "", "7", "", base64),
             ReplyEnvelope::viaJsonDocument("ZCOutputImageBase64AB", 1, "", "7", "", base64));
}

void EnvelopeTest::dispatchThroughServer()
{
    resetSettings();
    EchoServer server(ServerOptions{0}, false);
    QVERIFY(server.isListening());
    WsClient client;
    QVERIFY(client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(server.port()))));

    QCOMPARE(client.request(R"({"function":"ZCSetPenWidth","Width":"8","_tflag":"abc"})"),
             QStringLiteral(R"({"_tflag":"abc","functionName":"ZCSetPenWidth","msg":"","success":1})"));
    QCOMPARE(g_SignData.penWidth, 8);
    QCOMPARE(server.messageProcessor()->m_tflag, QStringLiteral("abc"));

    // Single quotes are read as double quotes; a missing tag answers "".
    QCOMPARE(client.request("{'function':'ZCSetTransparency','Percent':'80'}"),
             QStringLiteral(R"({"_tflag":"","functionName":"ZCSetTransparency","msg":"","success":1})"));
    QCOMPARE(g_SignData.transparency, 80);

    // "ZCReadHIDOpen" answers nothing: the next reply is the next request's.
    client.socket().sendTextMessage(R"({"function":"ZCReadHIDOpen","_tflag":"silent"})");
    QCOMPARE(parseReply(client.request(R"({"function":"ZCSetModeAB","mode":"2","_tflag":"next"})"))
                 .value("_tflag").toString(),
             QStringLiteral("next"));
    QCOMPARE(g_SignData.signMode, 2);

    const QByteArray binary("\x00\xff\x01 binary", 10);
    client.socket().sendBinaryMessage(binary);
    QVERIFY(client.waitForBinaries(1));
    QCOMPARE(client.binaries.first(), binary);
}

void EnvelopeTest::settingsValues_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("penWidth");
    QTest::newRow("string") << R"({"function":"ZCSetPenWidth","Width":"8"})" << 8;
    QTest::newRow("number") << R"({"function":"ZCSetPenWidth","Width":8})" << 8;
    QTest::newRow("lower-case key") << R"({"function":"ZCSetPenWidth","width":"8"})" << 0;
    QTest::newRow("fraction") << R"({"function":"ZCSetPenWidth","Width":1.5})" << 0;
    QTest::newRow("text") << R"({"function":"ZCSetPenWidth","Width":"wide"})" << 0;
    QTest::newRow("negative") << R"({"function":"ZCSetPenWidth","Width":"-4"})" << -4;
    QTest::newRow("out of range kept") << R"({"function":"ZCSetPenWidth","Width":"500"})" << 500;
}

void EnvelopeTest::settingsValues()
{
    QFETCH(QString, request);
    QFETCH(int, penWidth);
    resetSettings();
    EchoServer server(ServerOptions{0}, false);
    WsClient client;
    QVERIFY(client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(server.port()))));
    const QJsonObject reply = parseReply(client.request(request));
    QCOMPARE(reply.value("success").toInt(), 1);
    QCOMPARE(g_SignData.penWidth, penWidth);
}

void EnvelopeTest::unknownRequestsAreEchoed_data()
{
    QTest::addColumn<QString>("request");
    QTest::addColumn<QString>("echo");
    QTest::newRow("wrong case") << R"({"function":"zcsetpenwidth"})" << R"({"function":"zcsetpenwidth"})";
    QTest::newRow("not json") << "hello" << "hello";
    QTest::newRow("quotes replaced") << "{'function':'nope'}" << R"({"function":"nope"})";
    QTest::newRow("quote inside value") << R"({"function":"it's"})" << R"({"function":"it"s"})";
    QTest::newRow("empty object") << "{}" << "{}";
    QTest::newRow("function not a string") << R"({"function":42})" << R"({"function":42})";
}

void EnvelopeTest::unknownRequestsAreEchoed()
{
    QFETCH(QString, request);
    QFETCH(QString, echo);
    EchoServer server(ServerOptions{0}, false);
    WsClient client;
    QVERIFY(client.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(server.port()))));
    QCOMPARE(client.request(request), echo);
}

void EnvelopeTest::nullClientGetsNothing()
{
    // Nothing to send to, but the command still takes effect.
    resetSettings();
    CTextMessageProcessor processor;
    processor.Process(nullptr, R"({"function":"ZCSetPenWidth","Width":"9","_tflag":"n"})");
    QCOMPARE(g_SignData.penWidth, 9);
    processor.Process(nullptr, "hello");
    QCOMPARE(processor.m_tflag, QString());
}

QTEST_GUILESS_MAIN(EnvelopeTest)
#include "test_envelope.moc"
