// `periphd --simulate` plugs its own virtual SIM card into the vpcd reader,
// scripted with "SimSimCard"; the SIM command reads it over the real PC/SC
// path.
#include "PcscdInstance.h"
#include "PeriphdProcess.h"
#include "WsClient.h"

#include <QJsonObject>
#include <QTest>

#include <memory>

namespace {
const char* const reader = "Virtual PCD 00 00";
constexpr int waitMs = 10000;
} // namespace

class TestSimCardSimulated : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void scriptedCardIsReadThroughPcsc();
    void badScriptsAreRefused();
    void withoutPcscdTheCommandFailsAsWithNoReader();

private:
    std::unique_ptr<PeriphdProcess> startPeriphd();
    QJsonObject ask(WsClient& page, const QString& request);

    std::unique_ptr<PcscdInstance> m_pcscd;
    uint16_t m_port = 0;
};

void TestSimCardSimulated::initTestCase()
{
    const std::string missing = PcscdInstance::missingPieces();
    QVERIFY2(missing.empty(), ("the PC/SC tests need pcscd with vpcd: " + missing).c_str());
    m_pcscd = std::make_unique<PcscdInstance>();
    m_port = PcscdInstance::freePortPair();
    QVERIFY(m_port != 0);
}

void TestSimCardSimulated::cleanupTestCase()
{
    m_pcscd.reset();
}

std::unique_ptr<PeriphdProcess> TestSimCardSimulated::startPeriphd()
{
    auto periphd = std::make_unique<PeriphdProcess>(QStringList{QStringLiteral("--simulate")});
    QProcessEnvironment env = periphd->process().processEnvironment();
    env.insert(QStringLiteral("PCSCLITE_CSOCK_NAME"), QString::fromStdString(m_pcscd->socketPath()));
    env.insert(QStringLiteral("PERIPHD_VPCD_PORT"), QString::number(m_port));
    periphd->process().setProcessEnvironment(env);
    if (!periphd->start())
        return nullptr;
    return periphd;
}

QJsonObject TestSimCardSimulated::ask(WsClient& page, const QString& request)
{
    return parseReply(page.request(request, waitMs));
}

void TestSimCardSimulated::scriptedCardIsReadThroughPcsc()
{
    QVERIFY2(m_pcscd->start(m_port), m_pcscd->log().c_str());
    auto periphd = startPeriphd();
    QVERIFY(periphd);
    // The card goes into the reader at start-up.
    QVERIFY2(m_pcscd->waitForCard(reader, true, waitMs), periphd->standardError().constData());

    WsClient page;
    QVERIFY(page.open(periphd->url()));
    QJsonObject reply = ask(page, QStringLiteral(R"({"function":"ZCSIMCard","_tflag":"a"})"));
    QCOMPARE(reply.value("success").toInt(-1), 1);
    QCOMPARE(reply.value("data").toString(), QStringLiteral("89860123456789012345"));

    reply = ask(page, QStringLiteral(R"({"function":"SimSimCard","iccid":"89883011234567890123"})"));
    QCOMPARE(reply.value("success").toInt(-1), 1);
    reply = ask(page, QStringLiteral(R"({"function":"ZCSIMCard","_tflag":"b"})"));
    QCOMPARE(reply.value("data").toString(), QStringLiteral("89883011234567890123"));

    // A card without the ICCID file.
    reply = ask(page, QStringLiteral(R"({"function":"SimSimCard","selectIccidFileStatus":"6A82"})"));
    QCOMPARE(reply.value("success").toInt(-1), 1);
    reply = ask(page, QStringLiteral(R"({"function":"ZCSIMCard"})"));
    QCOMPARE(reply.value("success").toInt(-1), 0);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("设备APDU(A0A40000022FE2)通讯失败"));

    // Card pulled out.
    reply = ask(page, QStringLiteral(R"({"function":"SimSimCard","reset":true,"inserted":false})"));
    QCOMPARE(reply.value("success").toInt(-1), 1);
    QVERIFY(m_pcscd->waitForCard(reader, false, waitMs));
    reply = ask(page, QStringLiteral(R"({"function":"ZCSIMCard"})"));
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("打开设备端口失败"));

    // And back in.
    reply = ask(page, QStringLiteral(R"({"function":"SimSimCard","inserted":true})"));
    QVERIFY(m_pcscd->waitForCard(reader, true, waitMs));
    reply = ask(page, QStringLiteral(R"({"function":"ZCSIMCard"})"));
    QCOMPARE(reply.value("data").toString(), QStringLiteral("89860123456789012345"));
}

void TestSimCardSimulated::badScriptsAreRefused()
{
    auto periphd = startPeriphd();
    QVERIFY(periphd);
    WsClient page;
    QVERIFY(page.open(periphd->url()));
    const QStringList bad{
        QStringLiteral(R"({"function":"SimSimCard","iccid":"12345678901234567890123"})"),
        QStringLiteral(R"({"function":"SimSimCard","iccid":"89x6"})"),
        QStringLiteral(R"({"function":"SimSimCard","iccid":898601})"),
        QStringLiteral(R"({"function":"SimSimCard","inserted":"no"})"),
        QStringLiteral(R"({"function":"SimSimCard","readBinaryBytes":11})"),
        QStringLiteral(R"({"function":"SimSimCard","readBinaryBytes":2.5})"),
        QStringLiteral(R"({"function":"SimSimCard","readBinaryStatus":"90000"})"),
        QStringLiteral(R"({"function":"SimSimCard","selectMasterFileStatus":36864})"),
    };
    for (const QString& request : bad) {
        const QJsonObject reply = ask(page, request);
        QVERIFY2(reply.value("success").toInt(-1) == 0, qPrintable(request));
        QVERIFY2(!reply.value("msg").toString().isEmpty(), qPrintable(request));
    }
}

void TestSimCardSimulated::withoutPcscdTheCommandFailsAsWithNoReader()
{
    m_pcscd->stop();
    auto periphd = startPeriphd();
    QVERIFY(periphd);
    WsClient page;
    QVERIFY(page.open(periphd->url()));
    const QJsonObject reply = ask(page, QStringLiteral(R"({"function":"ZCSIMCard"})"));
    QCOMPARE(reply.value("success").toInt(-1), 0);
    QCOMPARE(reply.value("msg").toString(), QStringLiteral("打开设备端口失败"));
}

QTEST_MAIN(TestSimCardSimulated)
#include "test_simcard_simulated.moc"
