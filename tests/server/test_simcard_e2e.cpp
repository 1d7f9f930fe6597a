// The built periphd reads a SIM card's ICCID over WebSocket, through
// libCardBridge, the real pcscd, vpcd and the virtual SIM card.
#include "PcscdInstance.h"
#include "PeriphdProcess.h"
#include "VirtualSimCard.h"
#include "WsClient.h"

#include <QJsonObject>
#include <QTest>

#include <memory>

namespace {
const char* const reader = "Virtual PCD 00 00";
constexpr int waitMs = 10000;
} // namespace

class TestSimCardE2e : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void readsTheIccidOverWebSocket();
    void saysWhenThePcscServiceIsNotRunning();

private:
    std::unique_ptr<PeriphdProcess> startPeriphd();

    std::unique_ptr<PcscdInstance> m_pcscd;
    uint16_t m_port = 0;
};

void TestSimCardE2e::initTestCase()
{
    const std::string missing = PcscdInstance::missingPieces();
    QVERIFY2(missing.empty(), ("the PC/SC tests need pcscd with vpcd: " + missing).c_str());
    m_pcscd = std::make_unique<PcscdInstance>();
    m_port = PcscdInstance::freePortPair();
    QVERIFY(m_port != 0);
}

void TestSimCardE2e::cleanupTestCase()
{
    m_pcscd.reset();
}

std::unique_ptr<PeriphdProcess> TestSimCardE2e::startPeriphd()
{
    auto periphd = std::make_unique<PeriphdProcess>();
    QProcessEnvironment env = periphd->process().processEnvironment();
    env.insert(QStringLiteral("PCSCLITE_CSOCK_NAME"), QString::fromStdString(m_pcscd->socketPath()));
    periphd->process().setProcessEnvironment(env);
    if (!periphd->start())
        return nullptr;
    return periphd;
}

void TestSimCardE2e::readsTheIccidOverWebSocket()
{
    QVERIFY2(m_pcscd->start(m_port), m_pcscd->log().c_str());
    simdevices::VirtualSimCard card(m_port);
    simdevices::SimCardScript script;
    script.iccid = "89014103211118510720";
    card.setScript(script);
    card.start();
    QVERIFY(card.waitUntilConnected(waitMs));
    QVERIFY(m_pcscd->waitForCard(reader, true, waitMs));

    auto periphd = startPeriphd();
    QVERIFY(periphd);
    WsClient page;
    QVERIFY(page.open(periphd->url()));
    const QJsonObject reply = parseReply(page.request(QStringLiteral(R"({"function":"ZCSIMCard","_tflag":"s1"})"), waitMs));
    QCOMPARE(reply.value("functionName").toString(), QStringLiteral("ZCSIMCard"));
    QCOMPARE(reply.value("success").toInt(-1), 1);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("获取SIM卡ICCID成功"));
    QCOMPARE(reply.value("data").toString(), QStringLiteral("89014103211118510720"));
    QCOMPARE(reply.value("_tflag").toString(), QStringLiteral("s1"));
    QVERIFY(periphd->waitForStandardOutput("设备关闭成功"));
    QVERIFY(periphd->waitForStandardError("ZCSIMCard"));

    // A second request, single-quoted as pages may write it, reads again.
    QCOMPARE(parseReply(page.request(QStringLiteral("{'function':'ZCSIMCard','_tflag':'s2'}"), waitMs))
                 .value("_tflag")
                 .toString(),
             QStringLiteral("s2"));
}

void TestSimCardE2e::saysWhenThePcscServiceIsNotRunning()
{
    m_pcscd->stop();
    auto periphd = startPeriphd();
    QVERIFY(periphd);
    WsClient page;
    QVERIFY(page.open(periphd->url()));
    const QJsonObject reply = parseReply(page.request(QStringLiteral(R"({"function":"ZCSIMCard","_tflag":"s3"})"), waitMs));
    QCOMPARE(reply.value("success").toInt(-1), 0);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("打开设备端口失败"));
    QVERIFY(periphd->waitForStandardError("the PC/SC service (pcscd) is not running"));
    QVERIFY(periphd->waitForStandardError("L_Error1"));
    QVERIFY(periphd->waitForStandardOutput("打开设备端口失败,返回:t_nRe = 000003EA"));
}

QTEST_MAIN(TestSimCardE2e)
#include "test_simcard_e2e.moc"
