// The HID card reader's driver against the reader model presented by
// umockdev as a usbdevfs device: the real libusb opens it, detaches the
// kernel driver and runs the feature reports as control transfers. Runs
// under umockdev-wrapper.
// glib before Qt: glib uses "signals" as a name.
#include <umockdev.h>

#include "HidIDCard.h"
#include "OutputCapture.h"
#include "SimulatedHidCardReader.h"
#include "UsbdevfsEmulation.h"

#include <QtTest>

#include <libusb.h>

#include <memory>

namespace {

constexpr int kRecord = 1300;
constexpr int kGuard = 100; // bytes after the record that must stay untouched

QByteArray cardRecord(bool withFingerprint)
{
    QByteArray record;
    for (int i = 0; i < 256 + 1024; ++i)
        record += char((i * 11 + 5) & 0xFF);
    if (withFingerprint)
        record += QByteArray(1024, 'C');
    return record;
}

QByteArray command(unsigned char code)
{
    QByteArray report(32, '\0');
    const unsigned char bytes[] = {0x02, 0x08, 0x00, 0x01, 0x00, code,
                                   uchar(0x08 ^ 0x01 ^ code), 0x00};
    report.replace(0, 8, QByteArray(reinterpret_cast<const char*>(bytes), 8));
    return report;
}

QByteArray report(const QByteArray& hexHead)
{
    const QByteArray bytes = QByteArray::fromHex(hexHead);
    return bytes + QByteArray(32 - bytes.size(), '\0');
}

} // namespace

class HidReaderTest : public QObject {
    Q_OBJECT

    UMockdevTestbed* m_testbed = nullptr;
    std::unique_ptr<SimulatedHidCardReader> m_reader;
    std::unique_ptr<UsbdevfsEmulation> m_usb;
    std::unique_ptr<HidIDCard> m_card;
    long m_handle = 0;
    QByteArray m_buffer; // the record and a guard after it

    void plugIn()
    {
        m_usb = std::make_unique<UsbdevfsEmulation>(m_testbed, *m_reader,
                                                    SimulatedHidCardReader::usbDescriptors());
    }
    void open()
    {
        plugIn();
        StreamCapture out(1);
        m_handle = m_card->ICC_Reader_Open(const_cast<char*>("USB1"));
        out.text();
        QVERIFY(m_handle >= 1);
        m_reader->clearHistory();
    }
    int read()
    {
        m_buffer = QByteArray(kRecord, '\0') + QByteArray(kGuard, char(0xEE));
        StreamCapture out(1);
        return m_card->PICC_Reader_ID_Read(m_handle, reinterpret_cast<unsigned char*>(m_buffer.data()));
    }
    QByteArray record() const { return m_buffer.left(kRecord); }
    bool guardIntact() const { return m_buffer.mid(kRecord) == QByteArray(kGuard, char(0xEE)); }

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("libumockdev-preload"),
                 "run this suite under umockdev-wrapper");
    }
    void init()
    {
        m_testbed = umockdev_testbed_new();
        m_reader = std::make_unique<SimulatedHidCardReader>();
        QVERIFY(m_reader->setCardRecord(cardRecord(false)));
        m_card = std::make_unique<HidIDCard>();
        m_handle = 0;
    }
    void cleanup()
    {
        // Closing ends the reader's own libusb context, which must be gone
        // before the next testbed (the hotplug monitor is shared).
        m_card.reset();
        m_usb.reset();
        g_object_unref(m_testbed);
        m_reader.reset();
    }

    void openDetachesTheKernelDriverAndClaimsTheInterface()
    {
        plugIn();
        QVERIFY(m_reader->kernelDriverBound());
        StreamCapture out(1);
        const long handle = m_card->ICC_Reader_Open(const_cast<char*>("USB1"));
        const QByteArray printed = out.text();
        QVERIFY(handle >= 1);
        QVERIFY(!m_reader->kernelDriverBound());
        QVERIFY(m_reader->interfaceClaimed());
        const QByteArray expected = "libusb_init ok 1\n4 ok 4\nKernel Driver Active 5\n"
                                    "Kernel Driver Detached 5\nlibusb_claim_interface ok 6\n"
                                    "ReaderHandle:" + QByteArray::number(qlonglong(handle)) + " 7\n";
        QVERIFY2(printed.endsWith(expected), printed.constData());
        QCOMPARE(m_card->ICC_Reader_Close(handle), 0);
        // Closed: the handle no longer reaches the device.
        QCOMPARE(m_card->PICC_Reader_ID_Request(handle), -12);
    }

    void freeInterfaceIsClaimedWithoutDetaching()
    {
        m_reader->setKernelDriverBound(false);
        plugIn();
        StreamCapture out(1);
        QVERIFY(m_card->ICC_Reader_Open(const_cast<char*>("USB1")) >= 1);
        const QByteArray printed = out.text();
        QVERIFY(!printed.contains("Kernel Driver"));
        QVERIFY(m_reader->interfaceClaimed());
    }

    void absentReaderOpensToMinusOneAndCommandsRefuseTheHandle()
    {
        StreamCapture out(1);
        const long handle = m_card->ICC_Reader_Open(const_cast<char*>("USB1"));
        const QByteArray printed = out.text();
        QCOMPARE(handle, -1L);
        QVERIFY2(printed.contains("libusb_open_device_with_pid_vid err 3\n"), printed.constData());
        QCOMPARE(m_card->PICC_Reader_ID_Request(handle), -12);
        QCOMPARE(m_card->ICC_Reader_Close(handle), 0);
    }

    void handlesBelowOneAreRefusedWithoutATransfer()
    {
        open();
        const int submitted = m_usb->submittedUrbs();
        unsigned char record[kRecord] = {};
        for (long handle : {0L, -1L}) {
            QCOMPARE(m_card->PICC_Reader_ID_Request(handle), -12);
            QCOMPARE(m_card->PICC_Reader_ID_Select(handle), -12);
            QCOMPARE(m_card->PICC_Reader_ID_Read(handle, record), -12);
        }
        QCOMPARE(m_usb->submittedUrbs(), submitted);
        QVERIFY(m_reader->outputReports().isEmpty());
    }

    // Request succeeds only on byte 3 = 0x00; select fails only on 0x01.
    void requestAndSelectJudgeByteThree_data()
    {
        QTest::addColumn<bool>("select");
        QTest::addColumn<int>("byte3");
        QTest::addColumn<int>("result");
        QTest::newRow("request 00") << false << 0x00 << 0;
        QTest::newRow("request 01") << false << 0x01 << -2;
        QTest::newRow("request 02") << false << 0x02 << -2;
        QTest::newRow("select 00") << true << 0x00 << 0;
        QTest::newRow("select 01") << true << 0x01 << -2;
        QTest::newRow("select 02") << true << 0x02 << 0;
    }
    void requestAndSelectJudgeByteThree()
    {
        QFETCH(bool, select);
        QFETCH(int, byte3);
        QFETCH(int, result);
        open();
        if (select)
            m_reader->setSelectAnswer(byte3);
        else
            m_reader->setRequestAnswer(byte3);
        QCOMPARE(select ? m_card->PICC_Reader_ID_Select(m_handle)
                        : m_card->PICC_Reader_ID_Request(m_handle), result);
        QCOMPARE(m_reader->outputReports(), QList<QByteArray>{command(select ? 0xB1 : 0xB0)});
        QCOMPARE(m_reader->inputReports(), 1);
    }

    void cardOffTheReaderIsNotFound()
    {
        open();
        m_reader->setCardPresent(false);
        QCOMPARE(m_card->PICC_Reader_ID_Request(m_handle), -2);
        QCOMPARE(m_card->PICC_Reader_ID_Select(m_handle), -2);
        QCOMPARE(read(), -20);
    }

    // Up to 32 bytes go unchanged in one report; longer messages as 0x82 +
    // 31 bytes, ..., 0x02 + the rest over what the previous report held.
    void messagesAreFramedInReports()
    {
        open();
        QByteArray message;
        for (int i = 0; i < 94; ++i)
            message += char(0x40 + i);
        auto send = [&](int length) {
            m_reader->clearHistory();
            QByteArray copy = message.left(length);
            return m_card->SetUsbMsg(m_handle, reinterpret_cast<unsigned char*>(copy.data()), length);
        };

        QCOMPARE(send(32), 0);
        QCOMPARE(m_reader->outputReports(), QList<QByteArray>{message.left(32)});

        QCOMPARE(send(33), 0);
        QList<QByteArray> reports = m_reader->outputReports();
        QCOMPARE(reports.size(), 2);
        QCOMPARE(reports[0], char(0x82) + message.mid(1, 31));
        QCOMPARE(reports[1], char(0x02) + message.mid(32, 1) + message.mid(2, 30));

        QCOMPARE(send(94), 0);
        reports = m_reader->outputReports();
        QCOMPARE(reports.size(), 3);
        QCOMPARE(reports[0], char(0x82) + message.mid(1, 31));
        QCOMPARE(reports[1], char(0x82) + message.mid(32, 31));
        QCOMPARE(reports[2], char(0x02) + message.mid(63, 31));

        QCOMPARE(send(8), 0);
        QCOMPARE(m_reader->outputReports(), QList<QByteArray>{message.left(8) + QByteArray(24, '\0')});
    }

    void recordArrivesInFortyTwoReports_data()
    {
        QTest::addColumn<bool>("fingerprint");
        QTest::newRow("text and photo") << false;
        QTest::newRow("card with fingerprint data") << true;
    }
    void recordArrivesInFortyTwoReports()
    {
        QFETCH(bool, fingerprint);
        QVERIFY(m_reader->setCardRecord(cardRecord(fingerprint)));
        open();
        QCOMPARE(read(), 0);
        QCOMPARE(m_reader->messages(), QList<QByteArray>{command(0xB4)});
        QCOMPARE(m_reader->inputReports(), 42);
        // Text and photo, no fingerprint area: the rest stays cleared.
        QCOMPARE(record().left(1280), cardRecord(false));
        QCOMPARE(record().mid(1280), QByteArray(20, '\0'));
        QVERIFY(guardIntact());
    }

    void busyReaderIsAskedAgainUntilReady()
    {
        open();
        m_reader->setNotReadyPolls(3);
        QCOMPARE(read(), 0);
        QCOMPARE(m_reader->notReadyAnswers(), 3);
        QCOMPARE(m_reader->inputReports(), 45);
        QCOMPARE(record().left(1280), cardRecord(false));
    }

    void readerBusyForEverIsGivenUpOn()
    {
        open();
        m_reader->setNotReadyPolls(-1);
        m_card->setBusyLimit(std::chrono::milliseconds(200));
        m_buffer = QByteArray(kRecord, '\0');
        StreamCapture out(1);
        const int result = m_card->PICC_Reader_ID_Read(m_handle, reinterpret_cast<unsigned char*>(m_buffer.data()));
        QCOMPARE(result, -15);
        QVERIFY(out.text().contains("GetUsbMsg: reader still busy after 200 ms\n"));
        QVERIFY(m_reader->notReadyAnswers() >= 1);
        QCOMPARE(record(), QByteArray(kRecord, '\0'));
    }

    void errorStatusFailsTheRead()
    {
        open();
        m_reader->setReadStatus(0x41);
        QCOMPARE(read(), -20);
        QCOMPARE(record(), QByteArray(kRecord, '\0'));
    }

    void reportThatDoesNotArriveFailsTheRead()
    {
        open();
        m_reader->failInputReportsAfter(10, LIBUSB_ERROR_PIPE);
        QCOMPARE(read(), -15);
        QVERIFY(guardIntact());

        // A read message that does not go out.
        m_reader->resetFaults();
        m_reader->setPlugged(false);
        m_usb->unplug();
        QCOMPARE(read(), -15);
    }

    // Whatever a reply claims, nothing lands outside the record buffer.
    void repliesThatDoNotFitOrEndEarlyAreRefused_data()
    {
        QTest::addColumn<QList<QByteArray>>("reports");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("data");
        const QByteArray five = QByteArray::fromHex("0102030405");
        QTest::newRow("one report of 5 bytes")
            << QList<QByteArray>{report("02000005000102030405")} << 0 << five;
        QTest::newRow("one report of 27 bytes")
            << QList<QByteArray>{report("0200001B00" "0102030405060708090A0B0C0D0E0F101112131415161718191A1B")}
            << 0 << QByteArray::fromHex("0102030405060708090A0B0C0D0E0F101112131415161718191A1B");
        QTest::newRow("one report announcing 28 bytes")
            << QList<QByteArray>{report("0200001C000102030405")} << -20 << QByteArray();
        QTest::newRow("one report announcing 255 bytes")
            << QList<QByteArray>{report("020000FF000102030405")} << -20 << QByteArray();
        QTest::newRow("first of several, 5 bytes, one more report")
            << QList<QByteArray>{report("82000005000102030405"), report("02FFFF")} << 0 << five;
        QTest::newRow("unknown flag: length only")
            << QList<QByteArray>{report("4200000500")} << 0 << QByteArray();
        QTest::newRow("announcing more than the record holds")
            << QList<QByteArray>{report("8200001505")} << -20 << QByteArray();
        QTest::newRow("announcing 65535 bytes")
            << QList<QByteArray>{report("820000FFFF")} << -20 << QByteArray();
        QTest::newRow("last report before the announced length")
            << QList<QByteArray>{report("8200004000"), report("02")} << -20 << QByteArray();
        QTest::newRow("reader stops answering")
            << QList<QByteArray>{report("8200004000"), report("82")} << -15 << QByteArray();
    }
    void repliesThatDoNotFitOrEndEarlyAreRefused()
    {
        QFETCH(QList<QByteArray>, reports);
        QFETCH(int, result);
        QFETCH(QByteArray, data);
        open();
        m_reader->setRawReadReports(reports);
        QCOMPARE(read(), result);
        QVERIFY(guardIntact());
        if (result == 0)
            QCOMPARE(record(), data + QByteArray(kRecord - data.size(), '\0'));
    }

    void announcedLengthBeyondTheRepliesIsRefused()
    {
        open();
        // 1300 fits the record, but the reader's 42 reports hold 1280 bytes.
        m_reader->setAnnouncedLength(1300);
        QCOMPARE(read(), -20);
        QVERIFY(guardIntact());
        // 1301 does not fit: refused before any further report is fetched.
        m_reader->clearHistory();
        m_reader->setAnnouncedLength(1301);
        QCOMPARE(read(), -20);
        QCOMPARE(m_reader->inputReports(), 1);
        QVERIFY(guardIntact());
    }
};

QTEST_GUILESS_MAIN(HidReaderTest)
#include "test_hid_reader.moc"
