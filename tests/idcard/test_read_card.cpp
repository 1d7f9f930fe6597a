// readCard end to end: the reader model under umockdev (the real libusb runs
// every bulk transfer), the module told apart by its SAM id answer, the
// exchanges, and the record handed to the real parser, which writes the
// decoded portrait into the (private) working directory. Runs under
// umockdev-wrapper.
// glib before Qt: glib uses "signals" as a name.
#include <umockdev.h>

#include "CardRecordFixtures.h"
#include "OutputCapture.h"
#include "ReadIDCard.h"
#include "SimulatedSamReader.h"
#include "SimulatedUsbBus.h"
#include "UsbBackend.h"
#include "UsbdevfsEmulation.h"

#include <QtTest>

#include <libusb.h>

#include <cstring>
#include <memory>

using Module = SimulatedSamReader::Module;
using Command = SimulatedSamReader::Command;
Q_DECLARE_METATYPE(Module)

namespace {

// The card as it holds its record: text, portrait, fingerprint data if any.
QByteArray card(bool withFingerprint = false)
{
    return fixtures::residentBlock().bytes() + fixtures::encodedPortrait()
        + (withFingerprint ? fixtures::fingerprintData() : QByteArray());
}

QByteArray portraitFile()
{
    return fixtures::readFile("simage_file.bmp");
}

// True when `expected` appears in `lines` in this order (other lines may
// come between).
bool inOrder(const QStringList& lines, const QStringList& expected)
{
    int at = 0;
    for (const QString& line : lines) {
        if (at < expected.size() && line == expected[at])
            ++at;
    }
    return at == expected.size();
}

} // namespace

class ReadCardTest : public QObject {
    Q_OBJECT

    UMockdevTestbed* m_testbed = nullptr;
    std::unique_ptr<SimulatedSamReader> m_reader;
    std::unique_ptr<UsbdevfsEmulation> m_usb;
    std::unique_ptr<fixtures::ScratchDirectory> m_workdir;
    IDINFO m_info;
    char m_message[64];

    void plugIn(Module module)
    {
        m_reader->setModule(module);
        m_usb = std::make_unique<UsbdevfsEmulation>(m_testbed, *m_reader,
                                                    SimulatedSamReader::usbDescriptors(module));
    }
    int readCard()
    {
        std::memset(&m_info, 0x5A, sizeof m_info);
        std::memset(m_message, 0, sizeof m_message);
        StreamCapture out(1);
        ReadIDCard card;
        const int result = card.readCard(&m_info, m_message);
        out.text();
        return result;
    }
    QByteArray message() const { return QByteArray(m_message); }

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("libumockdev-preload"),
                 "run this suite under umockdev-wrapper");
    }
    void init()
    {
        m_workdir = std::make_unique<fixtures::ScratchDirectory>();
        QVERIFY(m_workdir->ok());
        m_testbed = umockdev_testbed_new();
        m_reader = std::make_unique<SimulatedSamReader>();
        QVERIFY(m_reader->setCardRecord(card()));
        QVERIFY(m_reader->setSamId(QByteArray::fromHex("0102030405060708090A0B0C0D0E0F10")));
    }
    void cleanup()
    {
        m_usb.reset();
        g_object_unref(m_testbed);
        m_reader.reset();
        m_workdir.reset();
    }

    // Both modules give the parser the same record, so the same holder and
    // the same portrait, decoded from all its 1024 bytes.
    void wholeReadReachesTheParser_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<bool>("withFingerprint");
        QTest::newRow("0501") << Module::M0501 << false;
        QTest::newRow("0503") << Module::M0503 << false;
        QTest::newRow("0503 with fingerprint") << Module::M0503 << true;
    }
    void wholeReadReachesTheParser()
    {
        QFETCH(Module, module);
        QFETCH(bool, withFingerprint);
        QVERIFY(m_reader->setCardRecord(card(withFingerprint)));
        plugIn(module);
        LogCapture log;
        QCOMPARE(readCard(), 131001);
        QCOMPARE(message(), QByteArray("获取SAMID成功"));
        QCOMPARE(QByteArray(m_info.name), QByteArray("张三"));
        QCOMPARE(QByteArray(m_info.idNum), QByteArray("11010119900105001X"));
        QCOMPARE(QByteArray(m_info.expireDate), QByteArray("20400101"));
        const QByteArray figData(reinterpret_cast<const char*>(m_info.figData), 1024);
        QCOMPARE(figData, withFingerprint ? fixtures::fingerprintData() : QByteArray(1024, '\0'));
        const QByteArray bitmap = fixtures::decodedBitmap(fixtures::encodedPortrait());
        QVERIFY(!bitmap.isEmpty());
        QCOMPARE(portraitFile(), bitmap);
        QVERIFY(!m_reader->interfaceClaimed());

        const QStringList lines = log.lines();
        QVERIFY2(inOrder(lines, {"开始获取0501模块SAMOID",
                                 module == Module::M0501 ? "获取0501模块SAMOID成功" : "获取0501模块SAMID失败，开始获取0503模块SAMOID",
                                 module == Module::M0501 ? "获取0501-SAMID成功" : "获取0503-SAMID成功",
                                 "0102030405060708090A0B0C0D0E0F10", "读取二代证成功，并开始解析数据",
                                 "退出并释放 libUSb 资源"}),
                 qPrintable(lines.join('|')));
        if (module == Module::M0503) {
            QVERIFY2(inOrder(lines, {"findCard0503", "寻卡成功", "selectCard0503", "选卡成功",
                                     "readCardData0503", "读卡成功"}),
                     qPrintable(lines.join('|')));
            // The 0501 attempt stopped at 0x06, which a 0503 does not have;
            // everything after went over 0x01 and 0x81.
            const auto transfers = m_reader->transfers();
            QCOMPARE(transfers[0].endpoint, uchar(0x02));
            QCOMPARE(transfers[1].endpoint, uchar(0x06));
            QVERIFY(transfers[1].result < 0);
            for (int i = 2; i < transfers.size(); ++i)
                QVERIFY(transfers[i].endpoint == 0x01 || transfers[i].endpoint == 0x81);
        } else {
            QVERIFY(!lines.contains("findCard0503"));
        }
    }

    void a0501WithoutItsSamIdStaysA0501()
    {
        m_reader->setStatus(Command::SamId, QByteArray::fromHex("000091"));
        plugIn(Module::M0501);
        LogCapture log;
        QCOMPARE(readCard(), 131001);
        QVERIFY(log.lines().contains("获取0501-SAMID成功"));
        QVERIFY(!log.lines().contains("开始获取0503模块SAMOID"));
        QCOMPARE(QByteArray(m_info.name), QByteArray("张三"));
    }

    void findAndSelectFailuresDoNotStopTheRead_data()
    {
        QTest::addColumn<Module>("module");
        QTest::newRow("0501") << Module::M0501;
        QTest::newRow("0503") << Module::M0503;
    }
    void findAndSelectFailuresDoNotStopTheRead()
    {
        QFETCH(Module, module);
        m_reader->setStatus(Command::Find, QByteArray::fromHex("000080"));
        m_reader->setStatus(Command::Select, QByteArray::fromHex("000081"));
        plugIn(module);
        LogCapture log;
        QCOMPARE(readCard(), 131001);
        QCOMPARE(QByteArray(m_info.name), QByteArray("张三"));
        if (module == Module::M0503) {
            QVERIFY(!log.lines().contains("寻卡成功"));
            QVERIFY(!log.lines().contains("选卡成功"));
            QVERIFY(log.lines().contains("读卡成功"));
        }
    }

    void failedReadGives431004_data()
    {
        QTest::addColumn<Module>("module");
        QTest::newRow("0501") << Module::M0501;
        QTest::newRow("0503") << Module::M0503;
    }
    void failedReadGives431004()
    {
        QFETCH(Module, module);
        m_reader->setStatus(Command::Read, QByteArray::fromHex("000080"));
        plugIn(module);
        LogCapture log;
        QCOMPARE(readCard(), 431004);
        QCOMPARE(message(), QByteArray("read card failed"));
        QVERIFY(log.lines().contains("读卡失败"));
        QVERIFY(!log.lines().contains("读取二代证成功，并开始解析数据"));
        QVERIFY(!QFile::exists("simage_file.bmp"));
        QVERIFY(!m_reader->interfaceClaimed());
    }

    void overAnnouncedReadGives431004()
    {
        m_reader->setReplyFault(Command::Read, SimulatedSamReader::ReplyFault::OverAnnounced, 1);
        plugIn(Module::M0503);
        QCOMPARE(readCard(), 431004);
        QVERIFY(!QFile::exists("simage_file.bmp"));
    }

    void noModuleAnswersGivesZero()
    {
        m_reader->failTransfers(0x01, -1, LIBUSB_ERROR_PIPE);
        m_reader->failTransfers(0x02, -1, LIBUSB_ERROR_PIPE);
        plugIn(Module::M0503);
        LogCapture log;
        QCOMPARE(readCard(), 0);
        QCOMPARE(message(), QByteArray("获取0503模块SAMID失败"));
        QVERIFY(log.lines().contains("libusb_bulk_transfer(0x01) write failed:[0] \n"));
        QVERIFY(!m_reader->interfaceClaimed());
    }

    void setupFailuresGive431003()
    {
        LogCapture log;
        QCOMPARE(readCard(), 431003);
        QCOMPARE(message(), QByteArray("libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed \n"));
        QCOMPARE(log.count("libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed \n"), 1);

        m_reader->setClaimError(LIBUSB_ERROR_BUSY);
        plugIn(Module::M0503);
        QCOMPARE(readCard(), 431003);
        QCOMPARE(message(), QByteArray("libusb_claim_interface(0) \n"));
        QCOMPARE(log.count("libusb_claim_interface(0) failed:[0] \n"), 1);
        QCOMPARE(m_usb->submittedUrbs(), 0);
    }

    // On the in-process bus, which counts them: libusb is shut down again
    // on every way out.
    void everyWayOutShutsLibusbDown()
    {
        SimulatedUsbBus bus;
        SimulatedSamReader reader;
        QVERIFY(reader.setCardRecord(card()));
        usb::setBackend(bus);
        auto readsTo = [&](int expected) {
            const int result = readCard();
            return result == expected && bus.defaultContextUsers() == 0 && bus.openHandles() == 0
                && !reader.interfaceClaimed();
        };
        QVERIFY(readsTo(431003)); // no reader
        bus.attach(reader);
        reader.setClaimError(LIBUSB_ERROR_BUSY);
        QVERIFY(readsTo(431003));
        reader.resetFaults();
        reader.failTransfers(0x01, -1, LIBUSB_ERROR_PIPE);
        reader.failTransfers(0x02, -1, LIBUSB_ERROR_PIPE);
        QVERIFY(readsTo(0)); // no module answers
        reader.resetFaults();
        reader.setCardPresent(false);
        QVERIFY(readsTo(431004));
        reader.setCardPresent(true);
        QVERIFY(readsTo(131001));
        usb::setBackend(usb::libusbBackend());
    }
};

QTEST_GUILESS_MAIN(ReadCardTest)
#include "test_read_card.moc"
