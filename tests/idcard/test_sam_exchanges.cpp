// The SAM reader's exchanges against the reader model presented by umockdev
// as a usbdevfs device: the real libusb enumerates it and runs the bulk
// transfers. Runs under umockdev-wrapper.
// glib before Qt: glib uses "signals" as a name.
#include <umockdev.h>

#include "OutputCapture.h"
#include "ReadIDCard.h"
#include "SimulatedSamReader.h"
#include "UsbBackend.h"
#include "UsbdevfsEmulation.h"

#include <QtTest>

#include <libusb.h>

#include <functional>
#include <memory>

using Module = SimulatedSamReader::Module;
using Command = SimulatedSamReader::Command;
using Fault = SimulatedSamReader::ReplyFault;
Q_DECLARE_METATYPE(Module)
Q_DECLARE_METATYPE(Command)
Q_DECLARE_METATYPE(Fault)

namespace {

using Exchange = std::function<int(ReadIDCard&, libusb_device_handle*)>;

QByteArray cardRecord(bool withFingerprint)
{
    QByteArray record;
    for (int i = 0; i < SimulatedSamReader::kTextSize; ++i)
        record += char(0x20 + i % 90);
    for (int i = 0; i < SimulatedSamReader::kPhotoSize; ++i)
        record += char((i * 7 + 3) & 0xFF);
    if (withFingerprint) {
        record += 'C';
        for (int i = 1; i < SimulatedSamReader::kFingerprintSize; ++i)
            record += char((i * 13) & 0xFF);
    }
    return record;
}

QByteArray bytes(const unsigned char* data, int length)
{
    return QByteArray(reinterpret_cast<const char*>(data), length);
}

QString endpoints(const QList<SimulatedSamReader::Transfer>& transfers)
{
    QStringList list;
    for (const auto& transfer : transfers)
        list << QString("%1:%2%3")
                    .arg(transfer.endpoint, 2, 16, QChar('0'))
                    .arg(transfer.length)
                    .arg(transfer.result < 0 ? "!" : "");
    return list.join(' ');
}

} // namespace

class SamExchangesTest : public QObject {
    Q_OBJECT

    UMockdevTestbed* m_testbed = nullptr;
    std::unique_ptr<SimulatedSamReader> m_reader;
    std::unique_ptr<UsbdevfsEmulation> m_usb;
    libusb_device_handle* m_handle = nullptr;
    usb::Backend& m_backend = usb::backend();

    // Plugs the reader in with the given module and opens it through libusb.
    void open(Module module)
    {
        m_reader->setModule(module);
        m_usb = std::make_unique<UsbdevfsEmulation>(m_testbed, *m_reader,
                                                    SimulatedSamReader::usbDescriptors(module));
        QCOMPARE(m_backend.init(nullptr), 0);
        m_handle = m_backend.openDeviceWithVidPid(nullptr, 0x0400, 0xC35A);
        QVERIFY(m_handle);
        QCOMPARE(m_backend.claimInterface(m_handle, 0), 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("libumockdev-preload"),
                 "run this suite under umockdev-wrapper");
    }
    void init()
    {
        m_testbed = umockdev_testbed_new();
        m_reader = std::make_unique<SimulatedSamReader>();
        QVERIFY(m_reader->setCardRecord(cardRecord(false)));
    }
    void cleanup()
    {
        // libusb's hotplug monitor is shared by all contexts: the context
        // must be gone before the next testbed.
        if (m_handle) {
            m_backend.releaseInterface(m_handle, 0);
            m_backend.close(m_handle);
            m_handle = nullptr;
            m_backend.exit(nullptr);
        }
        m_usb.reset();
        g_object_unref(m_testbed);
        m_reader.reset();
    }

    void samIdTravelsEachModulesWay_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<QString>("transfers");
        QTest::newRow("0501") << Module::M0501 << "02:7 06:3 81:7 85:20";
        QTest::newRow("0503") << Module::M0503 << "01:10 81:27";
    }
    void samIdTravelsEachModulesWay()
    {
        QFETCH(Module, module);
        QFETCH(QString, transfers);
        open(module);
        QVERIFY(m_reader->setSamId(QByteArray::fromHex("00a1b2c3d4e5f60718293a4b5c6d7e8f")));
        ReadIDCard card;
        char samId[128] = {};
        StreamCapture out(1);
        const int result = module == Module::M0501 ? card.getIDSAM0501(m_handle, samId)
                                                   : card.getIDSAM0503(m_handle, samId);
        const QByteArray printed = out.text();
        QCOMPARE(result, 0);
        QCOMPARE(QByteArray(samId), QByteArray("00A1B2C3D4E5F60718293A4B5C6D7E8F"));
        QCOMPARE(endpoints(m_reader->transfers()), transfers);
        QCOMPARE(m_reader->requests(), QList<QByteArray>{QByteArray::fromHex("AAAAAA9669000312FFEE")});
        // The 0501 traces the frame head it received.
        QCOMPARE(printed, module == Module::M0501 ? QByteArray("AA AA AA 96 69 00 14 ") : QByteArray());
    }

    void samIdWithoutSuccessStatusIsNoFailure_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<QByteArray>("status");
        QTest::newRow("0501, 00 00 91") << Module::M0501 << QByteArray::fromHex("000091");
        QTest::newRow("0503, 00 00 80") << Module::M0503 << QByteArray::fromHex("000080");
        QTest::newRow("0503, 01 00 90") << Module::M0503 << QByteArray::fromHex("010090");
    }
    void samIdWithoutSuccessStatusIsNoFailure()
    {
        QFETCH(Module, module);
        QFETCH(QByteArray, status);
        open(module);
        m_reader->setStatus(Command::SamId, status);
        ReadIDCard card;
        char samId[128] = "previous";
        StreamCapture out(1);
        const int result = module == Module::M0501 ? card.getIDSAM0501(m_handle, samId)
                                                   : card.getIDSAM0503(m_handle, samId);
        QCOMPARE(result, 0);
        QCOMPARE(QByteArray(samId), QByteArray("previous"));
    }

    void shortSamIdReplyLeavesTheIdAlone()
    {
        open(Module::M0503);
        // Status 00 00 90 but only 8 of the 16 id bytes.
        m_reader->setRawReply(Command::SamId, QByteArray::fromHex("AAAAAA9669000C000090A1A2A3A4A5A6A7A8"));
        ReadIDCard card;
        char samId[128] = {};
        LogCapture log;
        QCOMPARE(card.getIDSAM0503(m_handle, samId), 0);
        QCOMPARE(QByteArray(samId), QByteArray());
        QCOMPARE(log.count("getIDSAM0503: SAM id reply of 18 bytes is too short"), 1);
    }

    void failedTransferStopsTheExchangeWithItsCode_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<int>("exchange");
        QTest::addColumn<int>("endpoint");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("logged");
        QTest::addColumn<QString>("transfers");
        // exchange: 0 SAM id, 1 find, 2 select, 3 read
        struct Row { int exchange; int endpoint; int code; const char* logged; const char* transfers; };
        const Row rows0501[] = {
            {0, 0x02, -2, "getIDSAM0501-libusb_bulk_transfer(0x01) write failed:[0] \n", "02:0!"},
            {0, 0x06, -3, "getIDSAM0501-libusb_bulk_transfer(0x01) write failed:[1] \n", "02:7 06:0!"},
            {0, 0x81, -4, "getIDSAM0501-libusb_bulk_transfer(0x81) read failed:[2] \n", "02:7 06:3 81:0!"},
            {0, 0x85, -5, "libusb_bulk_transfer(0x81) read failed:[3] \n", "02:7 06:3 81:7 85:0!"},
            {1, 0x02, -100, "", "02:0!"}, {1, 0x06, -101, "", "02:7 06:0!"},
            {1, 0x81, -102, "", "02:7 06:3 81:0!"}, {1, 0x85, -103, "", "02:7 06:3 81:7 85:0!"},
            {2, 0x02, -110, "", "02:0!"}, {2, 0x06, -111, "", "02:7 06:0!"},
            {2, 0x81, -112, "", "02:7 06:3 81:0!"}, {2, 0x85, -113, "", "02:7 06:3 81:7 85:0!"},
            {3, 0x02, -120, "", "02:0!"}, {3, 0x06, -121, "", "02:7 06:0!"},
            {3, 0x81, -122, "", "02:7 06:3 81:0!"}, {3, 0x85, -123, "", "02:7 06:3 81:7 85:0!"},
        };
        for (const Row& row : rows0501)
            QTest::addRow("0501 exchange %d, 0x%02x", row.exchange, row.endpoint)
                << Module::M0501 << row.exchange << row.endpoint << row.code
                << QString(row.logged) << QString(row.transfers);
        // On a 0503 a refused request is sent once more to 0x02; 0 stands
        // for both OUT endpoints.
        const Row rows0503[] = {
            {0, 0, -31, "libusb_bulk_transfer(0x01) write failed:[0] \n", "01:0! 02:0!"},
            {0, 0x81, -32, "libusb_bulk_transfer(0x81) read failed:[1] \n", "01:10 81:0!"},
            {1, 0, -310, "", "01:0! 02:0!"}, {1, 0x81, -311, "", "01:10 81:0!"},
            {2, 0, -300, "", "01:0! 02:0!"}, {2, 0x81, -301, "", "01:10 81:0!"},
            {3, 0, -320, "", "01:0! 02:0!"}, {3, 0x81, -321, "", "01:10 81:0!"},
        };
        for (const Row& row : rows0503)
            QTest::addRow("0503 exchange %d, 0x%02x", row.exchange, row.endpoint)
                << Module::M0503 << row.exchange << row.endpoint << row.code
                << QString(row.logged) << QString(row.transfers);
    }
    void failedTransferStopsTheExchangeWithItsCode()
    {
        QFETCH(Module, module);
        QFETCH(int, exchange);
        QFETCH(int, endpoint);
        QFETCH(int, code);
        QFETCH(QString, logged);
        QFETCH(QString, transfers);
        open(module);
        if (endpoint == 0) {
            m_reader->failTransfers(0x01, 1, LIBUSB_ERROR_PIPE);
            m_reader->failTransfers(0x02, 1, LIBUSB_ERROR_PIPE);
        } else {
            m_reader->failTransfers(uchar(endpoint), 1, LIBUSB_ERROR_PIPE);
        }
        ReadIDCard card;
        char samId[128] = {};
        unsigned char record[4096] = {};
        LogCapture log;
        StreamCapture out(1);
        int result = 1;
        const bool m0501 = module == Module::M0501;
        switch (exchange) {
        case 0: result = m0501 ? card.getIDSAM0501(m_handle, samId) : card.getIDSAM0503(m_handle, samId); break;
        case 1: result = m0501 ? card.findCard0501(m_handle) : card.findCard0503(m_handle); break;
        case 2: result = m0501 ? card.selectCard0501(m_handle) : card.selectCard0503(m_handle); break;
        case 3: result = m0501 ? card.readCardData0501(m_handle, record) : card.readCardData0503(m_handle, record); break;
        }
        out.text();
        QCOMPARE(result, code);
        QCOMPARE(endpoints(m_reader->transfers()), transfers);
        if (!logged.isEmpty())
            QCOMPARE(log.count(logged), 1);
        QCOMPARE(QByteArray(samId), QByteArray());
        QCOMPARE(bytes(record, 4096), QByteArray(4096, '\0'));
    }

    void refusingEndpoint01SendsEveryRequestTo02()
    {
        open(Module::M0503);
        m_reader->failTransfers(0x01, -1, LIBUSB_ERROR_PIPE);
        ReadIDCard card;
        char samId[128] = {};
        unsigned char record[4096] = {};
        QCOMPARE(card.getIDSAM0503(m_handle, samId), 0);
        QCOMPARE(card.findCard0503(m_handle), 0);
        QCOMPARE(card.selectCard0503(m_handle), 0);
        QCOMPARE(card.readCardData0503(m_handle, record), 0);
        QCOMPARE(QByteArray(samId).size(), 32);
        QCOMPARE(endpoints(m_reader->transfers()),
                 QString("01:0! 02:10 81:27 01:0! 02:10 81:15 01:0! 02:10 81:19 01:0! 02:10 81:1297"));
        QCOMPARE(m_reader->requests().size(), 4);
        QCOMPARE(bytes(record + 6, 256), cardRecord(false).left(256));
    }

    void findAndSelectFailOnlyOnTheirOwnStatus_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<Command>("command");
        QTest::addColumn<QByteArray>("status");
        QTest::addColumn<int>("code");
        for (Module module : {Module::M0501, Module::M0503}) {
            const bool m0501 = module == Module::M0501;
            const char* name = m0501 ? "0501" : "0503";
            QTest::addRow("%s find 00 00 80", name) << module << Command::Find << QByteArray::fromHex("000080") << (m0501 ? -104 : -312);
            QTest::addRow("%s find 00 00 81", name) << module << Command::Find << QByteArray::fromHex("000081") << 0;
            QTest::addRow("%s find 00 00 9F", name) << module << Command::Find << QByteArray::fromHex("00009F") << 0;
            QTest::addRow("%s find 01 00 80", name) << module << Command::Find << QByteArray::fromHex("010080") << 0;
            QTest::addRow("%s select 00 00 81", name) << module << Command::Select << QByteArray::fromHex("000081") << (m0501 ? -114 : -302);
            QTest::addRow("%s select 00 00 80", name) << module << Command::Select << QByteArray::fromHex("000080") << 0;
            QTest::addRow("%s select 00 00 90", name) << module << Command::Select << QByteArray::fromHex("000090") << 0;
        }
    }
    void findAndSelectFailOnlyOnTheirOwnStatus()
    {
        QFETCH(Module, module);
        QFETCH(Command, command);
        QFETCH(QByteArray, status);
        QFETCH(int, code);
        open(module);
        m_reader->setStatus(command, status);
        ReadIDCard card;
        const bool m0501 = module == Module::M0501;
        const int result = command == Command::Find
            ? (m0501 ? card.findCard0501(m_handle) : card.findCard0503(m_handle))
            : (m0501 ? card.selectCard0501(m_handle) : card.selectCard0503(m_handle));
        QCOMPARE(result, code);
    }

    // Both modules leave the same record: length words from 2 (0501: after
    // its status bytes 00 90) or 0, text at 6, all 1024 photo bytes at 262,
    // fingerprint data at 1286, zeros after what the reply carried.
    void readLeavesTheRecordLayout_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<bool>("fingerprint");
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("replyLength");
        QTest::newRow("0501, L = 1288") << Module::M0501 << false << QByteArray::fromHex("009001000400") << 1288;
        QTest::newRow("0503, L = 1290") << Module::M0503 << false << QByteArray::fromHex("010004000000") << 1297;
        QTest::newRow("0503 with fingerprint, L = 2314") << Module::M0503 << true << QByteArray::fromHex("010004000400") << 2321;
    }
    void readLeavesTheRecordLayout()
    {
        QFETCH(Module, module);
        QFETCH(bool, fingerprint);
        QFETCH(QByteArray, header);
        QFETCH(int, replyLength);
        open(module);
        const QByteArray card = cardRecord(fingerprint);
        QVERIFY(m_reader->setCardRecord(card));
        ReadIDCard reader;
        unsigned char record[4096] = {};
        LogCapture log;
        const int result = module == Module::M0501 ? reader.readCardData0501(m_handle, record)
                                                   : reader.readCardData0503(m_handle, record);
        QCOMPARE(result, 0);
        // The reply as it came: 0501 in two parts (head, then L bytes).
        const auto transfers = m_reader->transfers();
        if (module == Module::M0501)
            QCOMPARE(endpoints(transfers), QString("02:7 06:3 81:7 85:%1").arg(replyLength));
        else
            QCOMPARE(endpoints(transfers), QString("01:10 81:%1").arg(replyLength));
        QCOMPARE(m_reader->requests().constFirst(),
                 QByteArray::fromHex(module == Module::M0501 ? "AAAAAA966900033001 32" : "AAAAAA966900033010 23"));

        const int end = fingerprint ? 2310 : 1286;
        QCOMPARE(bytes(record, 6), header);
        QCOMPARE(bytes(record + 6, 256), card.left(256));
        QCOMPARE(bytes(record + 262, 1024), card.mid(256, 1024));
        if (fingerprint)
            QCOMPARE(bytes(record + 1286, 1024), card.mid(1280, 1024));
        QCOMPARE(bytes(record + end, 4096 - end), QByteArray(4096 - end, '\0'));
        if (module == Module::M0503) {
            const QStringList lines = log.lines();
            const QStringList expected{"readCardData0503 write", "readCardData0503 read", "readCardData0503 判断",
                                       "测试断点0503-3", "01 00", "01 Hello World", "00 Hello World",
                                       "04 Hello World", "00 Hello World", "AA Hello World",
                                       "AA Hello World", "AA Hello World", "96 Hello World", "测试断点0503-4"};
            QCOMPARE(lines, expected);
        }
    }

    void readWithoutSuccessStatusFails_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<int>("code");
        QTest::newRow("0501") << Module::M0501 << -124;
        QTest::newRow("0503") << Module::M0503 << -322;
    }
    void readWithoutSuccessStatusFails()
    {
        QFETCH(Module, module);
        QFETCH(int, code);
        open(module);
        m_reader->setCardPresent(false);
        ReadIDCard card;
        unsigned char record[4096] = {};
        LogCapture log;
        const int result = module == Module::M0501 ? card.readCardData0501(m_handle, record)
                                                   : card.readCardData0503(m_handle, record);
        QCOMPARE(result, code);
        QCOMPARE(bytes(record, 4096), QByteArray(4096, '\0'));
        if (module == Module::M0503)
            QCOMPARE(log.count("00 00 41 Hello World"), 1);
    }

    // A reply must carry every byte its length field announces; one that
    // does not is refused before anything is copied.
    void readRepliesThatDoNotCarryWhatTheyAnnounceFail_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("amount");
        QTest::addColumn<int>("code");
        QTest::newRow("0501, one byte over") << Module::M0501 << Fault::OverAnnounced << 1 << -125;
        QTest::newRow("0501, 60000 bytes over") << Module::M0501 << Fault::OverAnnounced << 60000 << -125;
        QTest::newRow("0501, cut after 600 bytes") << Module::M0501 << Fault::Short << 600 << -125;
        QTest::newRow("0501, cut inside the head") << Module::M0501 << Fault::Short << 5 << -124;
        QTest::newRow("0503, one byte over") << Module::M0503 << Fault::OverAnnounced << 1 << -323;
        QTest::newRow("0503, 60000 bytes over") << Module::M0503 << Fault::OverAnnounced << 60000 << -323;
        QTest::newRow("0503, cut after 600 bytes") << Module::M0503 << Fault::Short << 600 << -323;
        QTest::newRow("0503, cut before the status") << Module::M0503 << Fault::Short << 8 << -322;
    }
    void readRepliesThatDoNotCarryWhatTheyAnnounceFail()
    {
        QFETCH(Module, module);
        QFETCH(Fault, fault);
        QFETCH(int, amount);
        QFETCH(int, code);
        open(module);
        m_reader->setReplyFault(Command::Read, fault, amount);
        ReadIDCard card;
        unsigned char record[4096] = {};
        const int result = module == Module::M0501 ? card.readCardData0501(m_handle, record)
                                                   : card.readCardData0503(m_handle, record);
        QCOMPARE(result, code);
        QCOMPARE(bytes(record, 4096), QByteArray(4096, '\0'));
    }

    void garbledRepliesAreNotTakenForAnswers()
    {
        open(Module::M0503);
        m_reader->setReplyFault(Command::SamId, Fault::Garbled, 1);
        m_reader->setReplyFault(Command::Read, Fault::Garbled, 2);
        ReadIDCard card;
        char samId[128] = {};
        unsigned char record[4096] = {};
        QCOMPARE(card.getIDSAM0503(m_handle, samId), 0);
        QCOMPARE(QByteArray(samId), QByteArray());
        QCOMPARE(card.readCardData0503(m_handle, record), -322);
    }

    void silentModuleTimesOut()
    {
        open(Module::M0503);
        m_reader->setReplyFault(Command::SamId, Fault::Silent);
        ReadIDCard card;
        char samId[128] = {};
        LogCapture log;
        QCOMPARE(card.getIDSAM0503(m_handle, samId), -32);
        // libusb gave up on its own timeout and cancelled the transfer.
        QCOMPARE(m_usb->discardedUrbs(), 1);
        QCOMPARE(endpoints(m_reader->transfers()), QString("01:10"));
    }

    void unpluggedReaderFailsEveryExchange()
    {
        open(Module::M0501);
        m_reader->setPlugged(false);
        m_usb->unplug();
        ReadIDCard card;
        char samId[128] = {};
        unsigned char record[4096] = {};
        StreamCapture out(1);
        QCOMPARE(card.getIDSAM0501(m_handle, samId), -2);
        QCOMPARE(card.getIDSAM0503(m_handle, samId), -31);
        QCOMPARE(card.readCardData0501(m_handle, record), -120);
        QCOMPARE(card.readCardData0503(m_handle, record), -320);
    }
};

QTEST_GUILESS_MAIN(SamExchangesTest)
#include "test_sam_exchanges.moc"
