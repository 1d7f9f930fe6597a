// "ZCSIMCard" through the message processor, against the real pcscd with the
// vpcd reader and the virtual SIM card.
#include "PcscdInstance.h"
#include "TextMessageProcessor.h"
#include "VirtualSimCard.h"
#include "WsClient.h"

#include <QJsonObject>
#include <QTemporaryFile>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

const char* const request = R"({"function":"ZCSIMCard","_tflag":"s1"})";
const char* const reader = "Virtual PCD 00 00";
constexpr int waitMs = 10000;

// Everything the code under test writes to standard output while alive.
class StdoutCapture {
public:
    StdoutCapture()
    {
        m_file.open();
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    QString text()
    {
        restore();
        m_file.seek(0);
        return QString::fromUtf8(m_file.readAll());
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    QTemporaryFile m_file;
    int m_saved = -1;
};

} // namespace

class TestSimCard : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void readsTheIccid();
    void failingCardAnswers_data();
    void failingCardAnswers();
    void noCardInTheReader();
    void withoutClientNothingIsSent();
    void serviceNotRunning();

private:
    // Runs one request through the processor with a real socket as client;
    // returns the single reply (empty if none came, fails on a second).
    QJsonObject ask(QString* console = nullptr);
    void insertCard();

    std::unique_ptr<PcscdInstance> m_pcscd;
    uint16_t m_port = 0;
    std::unique_ptr<simdevices::VirtualSimCard> m_card;
    QWebSocketServer m_server{QStringLiteral("simcard test"), QWebSocketServer::NonSecureMode};
    WsClient m_page;
    QWebSocket* m_client = nullptr;
    CTextMessageProcessor m_processor;
};

void TestSimCard::initTestCase()
{
    const std::string missing = PcscdInstance::missingPieces();
    QVERIFY2(missing.empty(), ("the PC/SC tests need pcscd with vpcd: " + missing).c_str());
    m_pcscd = std::make_unique<PcscdInstance>();
    m_port = PcscdInstance::freePortPair();
    QVERIFY(m_port != 0);

    QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
    QVERIFY(m_page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_server.serverPort()))));
    QTRY_VERIFY(m_server.hasPendingConnections());
    m_client = m_server.nextPendingConnection();
    m_client->setParent(&m_server); // freed with the server
    // As the server does: every text from the page goes to the processor.
    connect(m_client, &QWebSocket::textMessageReceived, this,
            [this](const QString& text) { m_processor.Process(m_client, text); });
}

void TestSimCard::init()
{
    if (!m_pcscd->running())
        QVERIFY2(m_pcscd->start(m_port), m_pcscd->log().c_str());
    m_card = std::make_unique<simdevices::VirtualSimCard>(m_port);
    m_page.texts.clear();
}

void TestSimCard::cleanup()
{
    m_card.reset();
    if (m_pcscd->running() && !m_pcscd->waitForCard(reader, false, waitMs))
        m_pcscd->stop();
}

void TestSimCard::cleanupTestCase()
{
    m_card.reset();
    m_pcscd.reset();
}

void TestSimCard::insertCard()
{
    m_card->start();
    QVERIFY(m_card->waitUntilConnected(waitMs));
    QVERIFY2(m_pcscd->waitForCard(reader, true, waitMs), m_pcscd->log().c_str());
}

QJsonObject TestSimCard::ask(QString* console)
{
    StdoutCapture capture;
    m_page.texts.clear();
    m_page.socket().sendTextMessage(QString::fromLatin1(request));
    const bool replied = m_page.waitForTexts(1, waitMs);
    // Not JSON, so echoed back: it must be the very next text.
    m_page.socket().sendTextMessage(QStringLiteral("marker"));
    const bool echoed = m_page.waitForTexts(2, waitMs);
    const QString output = capture.text();
    if (console)
        *console = output;
    if (!replied || !echoed || m_page.texts.size() != 2 || m_page.texts[1] != QLatin1String("marker")) {
        qWarning().noquote() << "replies:" << m_page.texts << "console:" << output;
        return QJsonObject();
    }
    return parseReply(m_page.texts[0]);
}

void TestSimCard::readsTheIccid()
{
    insertCard();
    QString console;
    QTest::ignoreMessage(QtWarningMsg, "ZCSIMCard");
    const QJsonObject reply = ask(&console);
    QCOMPARE(reply.value("functionName").toString(), QStringLiteral("ZCSIMCard"));
    QCOMPARE(reply.value("success").toInt(-1), 1);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("获取SIM卡ICCID成功"));
    QCOMPARE(reply.value("_tflag").toString(), QStringLiteral("s1"));
    QCOMPARE(reply.value("data").toString(), QStringLiteral("89860123456789012345"));
    QVERIFY(!reply.contains("Base64"));

    // The console tells the whole conversation, in order.
    const QStringList expected{
        QStringLiteral("打开设备端口成功\n"),
        QStringLiteral("设备上电成功,ATR:\n3B 02 14 50 00 "),
        QStringLiteral("发送APDU:A0A40000023F00\nn返回APDU:9F1A\n"),
        QStringLiteral("发送APDU:A0A40000022FE2\nn返回APDU:9F0F\n"),
        QStringLiteral("发送APDU:A0B000000A\nn返回APDU:986810325476981032549000\n"),
        QStringLiteral("设备下电成功\n"),
        QStringLiteral("设备关闭成功\n"),
    };
    int from = 0;
    for (const QString& line : expected) {
        const int at = console.indexOf(line, from);
        QVERIFY2(at >= 0, qPrintable(QStringLiteral("missing or out of order: %1 in\n%2").arg(line, console)));
        from = at + line.size();
    }

    // Another ICCID on the same card: nothing is cached.
    m_card->setIccid("8944110068432178655F");
    QTest::ignoreMessage(QtWarningMsg, "ZCSIMCard");
    QCOMPARE(ask().value("data").toString(), QStringLiteral("8944110068432178655F"));
}

void TestSimCard::failingCardAnswers_data()
{
    QTest::addColumn<int>("selectMf");
    QTest::addColumn<int>("selectIccid");
    QTest::addColumn<int>("readBinary");
    QTest::addColumn<int>("readBytes");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("statusWord");

    QTest::newRow("class byte rejected") << 0x6E00 << 0 << 0 << 10
                                         << QStringLiteral("设备APDU(A0A40000023F00)通讯失败") << "6E00";
    QTest::newRow("no ICCID file") << 0 << 0x6A82 << 0 << 10
                                   << QStringLiteral("设备APDU(A0A40000022FE2)通讯失败") << "6A82";
    QTest::newRow("read refused") << 0 << 0 << 0x6982 << 10
                                  << QStringLiteral("设备APDU(A0B000000A)通讯失败") << "6982";
    QTest::newRow("short read") << 0 << 0 << 0 << 6
                                << QStringLiteral("设备APDU(A0B000000A)通讯失败") << "9000";
    QTest::newRow("empty read") << 0 << 0 << 0 << 0
                                << QStringLiteral("设备APDU(A0B000000A)通讯失败") << "9000";
}

void TestSimCard::failingCardAnswers()
{
    QFETCH(int, selectMf);
    QFETCH(int, selectIccid);
    QFETCH(int, readBinary);
    QFETCH(int, readBytes);
    QFETCH(QString, message);
    QFETCH(QString, statusWord);

    simdevices::SimCardScript script;
    if (selectMf)
        script.selectMasterFileStatus = uint16_t(selectMf);
    if (selectIccid)
        script.selectIccidFileStatus = uint16_t(selectIccid);
    if (readBinary)
        script.readBinaryStatus = uint16_t(readBinary);
    script.readBinaryBytes = readBytes;
    m_card->setScript(script);
    insertCard();

    QString console;
    QTest::ignoreMessage(QtWarningMsg, "ZCSIMCard");
    QTest::ignoreMessage(QtWarningMsg, "L_Error1");
    const QJsonObject reply = ask(&console);
    QCOMPARE(reply.value("success").toInt(-1), 0);
    QCOMPARE(reply.value("msg").toString(), message);
    QCOMPARE(reply.value("_tflag").toString(), QStringLiteral("s1"));
    QVERIFY2(!reply.contains("data"), "no ICCID may be made up from an error answer");
    QVERIFY2(console.contains(QStringLiteral("设备APDU通讯失败,状态字:") + statusWord), qPrintable(console));
    QVERIFY(!console.contains(QStringLiteral("设备下电成功")));

    // The failed request closed the reader: once the card behaves, the next
    // request succeeds.
    m_card->setScript(simdevices::SimCardScript());
    QTest::ignoreMessage(QtWarningMsg, "ZCSIMCard");
    QCOMPARE(ask().value("success").toInt(-1), 1);
}

void TestSimCard::noCardInTheReader()
{
    QVERIFY(m_pcscd->waitForCard(reader, false, waitMs));
    QString console;
    QTest::ignoreMessage(QtWarningMsg, "ZCSIMCard");
    QTest::ignoreMessage(QtWarningMsg, "L_Error1");
    const QJsonObject reply = ask(&console);
    QCOMPARE(reply.value("success").toInt(-1), 0);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("打开设备端口失败"));
    QVERIFY2(console.contains(QStringLiteral("打开设备端口失败,返回:t_nRe = 000003EA\n")), qPrintable(console));
}

void TestSimCard::withoutClientNothingIsSent()
{
    insertCard();
    m_card->clearCommands();
    QTest::ignoreMessage(QtWarningMsg, "ZCSIMCard");
    {
        StdoutCapture quiet;
        m_processor.Process(nullptr, QString::fromLatin1(request));
    }
    // The whole conversation ran...
    QCOMPARE(m_card->commands().size(), size_t(3));
    // ...and nothing reached the page: the next text it gets is the echo.
    m_page.socket().sendTextMessage(QStringLiteral("marker"));
    QVERIFY(m_page.waitForTexts(1, waitMs));
    QCOMPARE(m_page.texts, QStringList{QStringLiteral("marker")});
}

void TestSimCard::serviceNotRunning()
{
    m_pcscd->stop();
    QTest::ignoreMessage(QtWarningMsg, "ZCSIMCard");
    QTest::ignoreMessage(QtWarningMsg, "L_Error1");
    const QJsonObject reply = ask();
    QCOMPARE(reply.value("success").toInt(-1), 0);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("打开设备端口失败"));
}

QTEST_MAIN(TestSimCard)
#include "test_simcard.moc"
