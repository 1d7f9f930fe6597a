// The pad model behaves like the device on the in-process bus: the kernel
// driver holds interface 0, reads wait for reports, unplugging ends handles.
#include "SimulatedPad.h"
#include "SimulatedUsbBus.h"

#include <QtTest>

#include <libusb.h>

#include <future>

class SimulatedPadTest : public QObject {
    Q_OBJECT

    SimulatedUsbBus m_bus;
    SimulatedPad m_pad;
    libusb_context* m_ctx = nullptr;

private slots:
    void initTestCase()
    {
        m_bus.attach(m_pad);
        QCOMPARE(m_bus.init(&m_ctx), 0);
    }

    void kernelDriverHoldsTheInterfaceUntilDetached()
    {
        libusb_device_handle* h = m_bus.openDeviceWithVidPid(m_ctx, 0x05AF, 0x0060);
        QVERIFY(h);
        QCOMPARE(m_bus.claimInterface(h, 0), int(LIBUSB_ERROR_BUSY));
        unsigned char buffer[16];
        int got = 0;
        QCOMPARE(m_bus.interruptTransfer(h, 0x81, buffer, 16, &got, 10), int(LIBUSB_ERROR_BUSY));
        QCOMPARE(m_bus.detachKernelDriver(h, 0), 0);
        QCOMPARE(m_bus.detachKernelDriver(h, 0), int(LIBUSB_ERROR_NOT_FOUND));
        QCOMPARE(m_bus.claimInterface(h, 0), 0);
        QVERIFY(m_pad.interfaceClaimed());
        m_bus.close(h); // closing gives the interface back
        QVERIFY(!m_pad.interfaceClaimed());
        QCOMPARE(m_bus.openHandles(), 0);
        QVERIFY(!m_bus.openDeviceWithVidPid(m_ctx, 0x05AF, 0x0061));
    }

    void readsWaitForReportsAndTimeOut()
    {
        m_pad.setKernelDriverBound(false);
        libusb_device_handle* h = m_bus.openDeviceWithVidPid(m_ctx, 0x05AF, 0x0060);
        QCOMPARE(m_bus.claimInterface(h, 0), 0);
        unsigned char buffer[16];
        int got = -1;
        const int timeouts = m_pad.timeouts();
        QCOMPARE(m_bus.interruptTransfer(h, 0x81, buffer, 16, &got, 20), int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(got, 0);
        QCOMPARE(m_pad.timeouts(), timeouts + 1);

        m_pad.pushReport(0x1234, 0x1A2B, 0x0400);
        QCOMPARE(m_bus.interruptTransfer(h, 0x81, buffer, 16, &got, 20), 0);
        QCOMPARE(got, 16);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 8), QByteArray::fromHex("000034122b1a0004"));

        m_pad.pushRawReport(QByteArray(20, 'x'));
        QCOMPARE(m_bus.interruptTransfer(h, 0x81, buffer, 16, &got, 20), int(LIBUSB_ERROR_OVERFLOW));
        QCOMPARE(m_bus.interruptTransfer(h, 0x82, buffer, 16, &got, 20), int(LIBUSB_ERROR_PIPE));
        m_bus.close(h);
    }

    void unplugWakesABlockedReadAndEndsTheHandle()
    {
        m_pad.setKernelDriverBound(false);
        libusb_device_handle* h = m_bus.openDeviceWithVidPid(m_ctx, 0x05AF, 0x0060);
        QCOMPARE(m_bus.claimInterface(h, 0), 0);
        auto read = std::async(std::launch::async, [this, h] {
            unsigned char buffer[16];
            int got = 0;
            return m_bus.interruptTransfer(h, 0x81, buffer, 16, &got, 0); // no time limit
        });
        QTRY_COMPARE(m_pad.readersWaiting(), 1);
        m_pad.setPlugged(false);
        QCOMPARE(read.get(), int(LIBUSB_ERROR_NO_DEVICE));
        QVERIFY(!m_bus.openDeviceWithVidPid(m_ctx, 0x05AF, 0x0060));

        m_pad.setPlugged(true);
        QVERIFY2(m_pad.kernelDriverBound(), "the kernel driver binds again on plug-in");
        QCOMPARE(m_bus.claimInterface(h, 0), int(LIBUSB_ERROR_NO_DEVICE));
        m_bus.close(h);
        libusb_device_handle* again = m_bus.openDeviceWithVidPid(m_ctx, 0x05AF, 0x0060);
        QVERIFY(again);
        m_bus.close(again);
    }

    void claimFailuresAreConsumedOnePerClaim()
    {
        m_pad.setKernelDriverBound(false);
        m_pad.setClaimFailures(2);
        libusb_device_handle* h = m_bus.openDeviceWithVidPid(m_ctx, 0x05AF, 0x0060);
        QCOMPARE(m_bus.claimInterface(h, 0), int(LIBUSB_ERROR_BUSY));
        QCOMPARE(m_bus.claimInterface(h, 0), int(LIBUSB_ERROR_BUSY));
        QCOMPARE(m_bus.claimInterface(h, 0), 0);
        m_bus.close(h);
    }
};

QTEST_GUILESS_MAIN(SimulatedPadTest)
#include "test_simulated_pad.moc"
