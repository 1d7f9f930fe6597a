// The readers' drivers on the in-process simulated bus, for what is about
// their logic and the models' scripting rather than libusb: what open and
// close leave behind, the busy reader's bound, a transfer woken by an
// unplug, and the models refusing malformed scripts.
#include "HidIDCard.h"
#include "OutputCapture.h"
#include "ReadIDCard.h"
#include "SimulatedHidCardReader.h"
#include "SimulatedSamReader.h"
#include "SimulatedUsbBus.h"
#include "UsbBackend.h"

#include <QtTest>

#include <libusb.h>

#include <functional>
#include <future>

using Module = SimulatedSamReader::Module;
Q_DECLARE_METATYPE(Module)

class ReadersInProcessTest : public QObject {
    Q_OBJECT

    SimulatedUsbBus m_bus;
    SimulatedSamReader m_sam;
    SimulatedHidCardReader m_hid;

private slots:
    void initTestCase()
    {
        m_bus.attach(m_sam);
        m_bus.attach(m_hid);
        usb::setBackend(m_bus);
    }

    void hidOpenAndCloseLeaveNothingBehind()
    {
        StreamCapture out(1);
        {
            HidIDCard card;
            const long handle = card.ICC_Reader_Open(const_cast<char*>("USB1"));
            QVERIFY(handle >= 1);
            QVERIFY(!m_hid.kernelDriverBound());
            QCOMPARE(m_bus.deviceListsOut(), 0);
            QCOMPARE(m_bus.openHandles(), 1);
            // A context of its own, not the default one.
            QCOMPARE(m_bus.ownContexts(), 1);
            QCOMPARE(m_bus.defaultContextUsers(), 0);
            QCOMPARE(card.ICC_Reader_Close(handle), 0);
            QCOMPARE(m_bus.openHandles(), 0);
            QCOMPARE(m_bus.ownContexts(), 0);
            QCOMPARE(card.ICC_Reader_Close(handle), 0); // twice is harmless
        }
        {
            // Left open: the reader object closes it when it goes.
            HidIDCard card;
            QVERIFY(card.ICC_Reader_Open(const_cast<char*>("USB1")) >= 1);
            QCOMPARE(m_bus.openHandles(), 1);
        }
        QCOMPARE(m_bus.openHandles(), 0);
        QCOMPARE(m_bus.ownContexts(), 0);

        m_hid.setPlugged(false);
        {
            HidIDCard card;
            QCOMPARE(card.ICC_Reader_Open(const_cast<char*>("USB1")), -1L);
            QCOMPARE(m_bus.deviceListsOut(), 0);
            QCOMPARE(m_bus.openHandles(), 0);
            QCOMPARE(m_bus.ownContexts(), 0);
        }
        m_hid.setPlugged(true);

        // A claim that fails: its error, no handle kept; close ends the context.
        m_hid.setClaimError(LIBUSB_ERROR_ACCESS);
        {
            HidIDCard card;
            const long handle = card.ICC_Reader_Open(const_cast<char*>("USB1"));
            QCOMPARE(handle, long(LIBUSB_ERROR_ACCESS));
            QCOMPARE(m_bus.openHandles(), 0);
            QCOMPARE(card.PICC_Reader_ID_Request(1), -12);
            QCOMPARE(card.ICC_Reader_Close(handle), 0);
            QCOMPARE(m_bus.ownContexts(), 0);
        }
        m_hid.setClaimError(0);
    }

    // With the shipped bound: a reader that never stops answering "still
    // reading" does not hold the read for ever.
    void readerBusyForEverFailsWithinTheDefaultBound()
    {
        HidIDCard card;
        StreamCapture out(1);
        const long handle = card.ICC_Reader_Open(const_cast<char*>("USB1"));
        QVERIFY(handle >= 1);
        m_hid.setNotReadyPolls(-1);
        m_hid.clearHistory();
        unsigned char record[HidIDCard::kRecordSize] = {};
        QCOMPARE(card.PICC_Reader_ID_Read(handle, record), -15);
        QVERIFY(out.text().contains("GetUsbMsg: reader still busy after 5000 ms\n"));
        QVERIFY(m_hid.notReadyAnswers() >= 1);
        m_hid.resetFaults();
    }

    void unplugWakesAWaitingTransfer()
    {
        libusb_device_handle* handle = m_bus.openDeviceWithVidPid(nullptr, 0x0400, 0xC35A);
        QVERIFY(handle);
        QCOMPARE(m_bus.claimInterface(handle, 0), 0);
        // Nothing asked, nothing to answer: the read waits without a limit.
        auto read = std::async(std::launch::async, [this, handle] {
            unsigned char reply[4096];
            int got = -1;
            return m_bus.bulkTransfer(handle, 0x81, reply, sizeof reply, &got, 0);
        });
        QVERIFY(read.wait_for(std::chrono::milliseconds(50)) == std::future_status::timeout);
        m_sam.setPlugged(false);
        QVERIFY(read.wait_for(std::chrono::seconds(10)) == std::future_status::ready);
        QCOMPARE(read.get(), int(LIBUSB_ERROR_NO_DEVICE));
        m_bus.close(handle);
        m_sam.setPlugged(true);
    }

    // The bus hands each transfer's libusb timeout to the model.
    void everyExchangeWaitsItsOwnTime_data()
    {
        QTest::addColumn<Module>("module");
        QTest::addColumn<int>("exchange");
        QTest::addColumn<bool>("refuse01");
        QTest::addColumn<QString>("waits");
        QTest::newRow("0501 SAM id") << Module::M0501 << 0 << false << "02@1000 06@1000 81@1000 85@1000";
        QTest::newRow("0501 find") << Module::M0501 << 1 << false << "02@3000 06@3000 81@1000 85@1000";
        QTest::newRow("0501 select") << Module::M0501 << 2 << false << "02@1000 06@1000 81@1000 85@1000";
        QTest::newRow("0501 read") << Module::M0501 << 3 << false << "02@1000 06@1000 81@3000 85@3000";
        QTest::newRow("0503 SAM id") << Module::M0503 << 0 << false << "01@1000 81@1000";
        QTest::newRow("0503 find") << Module::M0503 << 1 << false << "01@3000 81@1000";
        QTest::newRow("0503 select") << Module::M0503 << 2 << false << "01@1000 81@1000";
        QTest::newRow("0503 read") << Module::M0503 << 3 << false << "01@1000 81@1000";
        QTest::newRow("0503 find through 0x02") << Module::M0503 << 1 << true << "01@3000 02@3000 81@1000";
        QTest::newRow("0503 read through 0x02") << Module::M0503 << 3 << true << "01@1000 02@1000 81@1000";
    }
    void everyExchangeWaitsItsOwnTime()
    {
        QFETCH(Module, module);
        QFETCH(int, exchange);
        QFETCH(bool, refuse01);
        QFETCH(QString, waits);
        m_sam.resetFaults();
        m_sam.setModule(module);
        if (refuse01)
            m_sam.failTransfers(0x01, -1, LIBUSB_ERROR_PIPE);
        libusb_device_handle* handle = m_bus.openDeviceWithVidPid(nullptr, 0x0400, 0xC35A);
        QVERIFY(handle);
        m_sam.clearHistory();
        ReadIDCard card;
        char samId[128] = {};
        unsigned char record[4096] = {};
        const bool m0501 = module == Module::M0501;
        StreamCapture out(1);
        LogCapture log;
        int result = -1;
        switch (exchange) {
        case 0: result = m0501 ? card.getIDSAM0501(handle, samId) : card.getIDSAM0503(handle, samId); break;
        case 1: result = m0501 ? card.findCard0501(handle) : card.findCard0503(handle); break;
        case 2: result = m0501 ? card.selectCard0501(handle) : card.selectCard0503(handle); break;
        case 3: result = m0501 ? card.readCardData0501(handle, record) : card.readCardData0503(handle, record); break;
        }
        m_bus.close(handle);
        QCOMPARE(result, 0);
        QStringList seen;
        for (const auto& transfer : m_sam.transfers())
            seen << QString("%1@%2").arg(transfer.endpoint, 2, 16, QChar('0')).arg(transfer.waitMs);
        QCOMPARE(seen.join(' '), waits);
        m_sam.resetFaults();
    }

    void modelsRefuseMalformedScripts()
    {
        const QByteArray record = m_sam.cardRecord();
        for (int size : {0, 1279, 1281, 2303, 2305, 4096}) {
            QVERIFY(!m_sam.setCardRecord(QByteArray(size, 'x')));
            QVERIFY(!m_hid.setCardRecord(QByteArray(size, 'x')));
        }
        QCOMPARE(m_sam.cardRecord(), record);
        QVERIFY(m_sam.setCardRecord(QByteArray(2304, 'y')));
        QVERIFY(m_hid.setCardRecord(QByteArray(1280, 'y')));
        const QByteArray id = m_sam.samId();
        QVERIFY(!m_sam.setSamId(QByteArray(15, '\1')));
        QVERIFY(!m_sam.setSamId(QByteArray(17, '\1')));
        QCOMPARE(m_sam.samId(), id);
    }
};

QTEST_GUILESS_MAIN(ReadersInProcessTest)
#include "test_readers_in_process.moc"
