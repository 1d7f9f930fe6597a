// The libusb pad driver against the pad model presented by umockdev as a
// usbdevfs device: the real libusb enumerates it and drives it with the
// usbdevfs ioctls. Runs under umockdev-wrapper.
// glib before Qt: glib uses "signals" as a name.
#include <umockdev.h>

#include "DriverTestSupport.h"
#include "QGetHandWrtingDevData.h"
#include "QHandWritingDevForLibUsb.h"
#include "SimulatedPad.h"
#include "UsbdevfsEmulation.h"

#include <QSignalSpy>
#include <QtTest>

#include <libusb.h>

#include <memory>

class LibusbDriverTest : public QObject {
    Q_OBJECT

    UMockdevTestbed* m_testbed = nullptr;
    std::unique_ptr<SimulatedPad> m_pad;
    std::unique_ptr<UsbdevfsEmulation> m_usb;

    void plugIn()
    {
        m_usb = std::make_unique<UsbdevfsEmulation>(m_testbed, *m_pad, SimulatedPad::usbDescriptors());
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
        m_pad = std::make_unique<SimulatedPad>();
    }
    void cleanup()
    {
        m_usb.reset();
        g_object_unref(m_testbed);
        m_pad.reset();
    }

    void absentPadIsNotFoundAndCannotBeOpened()
    {
        LogCapture log;
        QHandWritingDevForLibUsb driver;
        QCOMPARE(driver.findDevice(), 0);
        QCOMPARE(driver.openDevice(), -1);
        QCOMPARE(log.count("Cannot open device\n"), 1);
        int x = 0, y = 0, p = 0;
        QCOMPARE(driver.readData(x, y, p), -1);
    }

    void kernelDriverIsDetachedThenInterfaceClaimed()
    {
        plugIn();
        QVERIFY(m_pad->kernelDriverBound());
        LogCapture log;
        QHandWritingDevForLibUsb driver;
        QCOMPARE(driver.findDevice(), 1);
        QCOMPARE(driver.openDevice(), 1);
        QCOMPARE(log.count("Kernel Driver Detached!\n"), 1);
        QVERIFY(!m_pad->kernelDriverBound());
        QVERIFY(m_pad->interfaceClaimed());
        QCOMPARE(m_pad->claimAttempts(), 2);

        StreamCapture out(1);
        QCOMPARE(driver.closeDevice(), 1);
        QCOMPARE(out.text(), QByteArray("Released hid Interface!"));
        QVERIFY(!m_pad->interfaceClaimed());
        QVERIFY2(!m_pad->kernelDriverBound(), "the kernel driver is not given back");
    }

    void freeInterfaceIsClaimedAtOnce()
    {
        plugIn();
        m_pad->setKernelDriverBound(false);
        LogCapture log;
        QHandWritingDevForLibUsb driver;
        QCOMPARE(driver.openDevice(), 1);
        QCOMPARE(m_pad->claimAttempts(), 1);
        QCOMPARE(log.count("Kernel Driver Detached!\n"), 0);
    }

    void claimFailingTwiceGivesMinusTwoAndClosesTheHandle_data()
    {
        QTest::addColumn<bool>("kernelDriverBound");
        QTest::newRow("kernel driver bound") << true;
        QTest::newRow("no kernel driver") << false;
    }
    void claimFailingTwiceGivesMinusTwoAndClosesTheHandle()
    {
        QFETCH(bool, kernelDriverBound);
        plugIn();
        m_pad->setKernelDriverBound(kernelDriverBound);
        m_pad->setClaimFailures(2);
        LogCapture log;
        QHandWritingDevForLibUsb driver;
        StreamCapture err(2);
        QCOMPARE(driver.openDevice(), -2);
        const QByteArray errText = err.text();
        QVERIFY2(errText.startsWith("Cannot Claim Interface\n: "), errText.constData());
        QCOMPARE(m_pad->claimAttempts(), 2);
        QCOMPARE(log.count("Kernel Driver Detached!\n"), kernelDriverBound ? 1 : 0);

        // The handle is gone: a read submits nothing, a close prints nothing.
        const int submitted = m_usb->submittedUrbs();
        int x = 0, y = 0, p = 0;
        QCOMPARE(driver.readData(x, y, p), -1);
        QCOMPARE(m_usb->submittedUrbs(), submitted);
        StreamCapture out(1);
        QCOMPARE(driver.closeDevice(), 1);
        QCOMPARE(out.text(), QByteArray());
    }

    void reportsOfEightBytesAreSamplesShorterOnesAreNot()
    {
        plugIn();
        QHandWritingDevForLibUsb driver;
        QCOMPARE(driver.openDevice(), 1);
        LogCapture log;
        int x = -1, y = -1, p = -1;

        m_pad->pushRawReport(QByteArray::fromHex("000034122b1a0004"));
        QCOMPARE(driver.readData(x, y, p), 0);
        QCOMPARE(x, 0x1234);
        QCOMPARE(y, 0x1A2B);
        QCOMPARE(p, 0x0400);
        QVERIFY(log.lines().contains("x = 4660 , y = 6699 , p = 1024"));

        m_pad->pushRawReport(QByteArray::fromHex("00003412ab1a00"));
        QCOMPARE(driver.readData(x, y, p), -2);
        QCOMPARE(x, 0x1234);

        m_pad->pushReport(21692, 13564, 0xFFFF);
        QCOMPARE(driver.readData(x, y, p), 0);
        QCOMPARE(x, 21692);
        QCOMPARE(y, 13564);
        QCOMPARE(p, 65535);
        QCOMPARE(log.count("readData"), 3);
        QCOMPARE(log.count("libusb_interrupt_transfer ,ret = 0"), 3);
    }

    void idlePadTimesOutOnEveryRead()
    {
        plugIn();
        QHandWritingDevForLibUsb driver;
        QCOMPARE(driver.openDevice(), 1);
        LogCapture log;
        int x = 7, y = 8, p = 9;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(driver.readData(x, y, p), -1);
        QCOMPARE(x, 7);
        // Each read ended by libusb's own timeout: its URB was cancelled.
        QCOMPARE(log.count(QString("libusb_interrupt_transfer ,ret = %1").arg(LIBUSB_ERROR_TIMEOUT)), 3);
        QCOMPARE(m_usb->discardedUrbs(), 3);
        QCOMPARE(m_usb->completedInUrbs(), 0);

        // The pad still answers once the pen comes back.
        m_pad->pushReport(10, 20, 30);
        QCOMPARE(driver.readData(x, y, p), 0);
        QCOMPARE(x, 10);
    }

    void samplerOverIdlePadReportsFailuresOnly()
    {
        plugIn();
        // libusb's hotplug monitor is shared by all contexts: every driver
        // (and so its context) must be gone before the next testbed.
        QHandWritingDevForLibUsb pad;
        QHidWritingDevice* driver = &pad;
        QCOMPARE(driver->openDevice(), 1);
        QGetHandWrtingDevData sampler(&driver);
        SamplerSignals relay(sampler);
        QSignalSpy failures(&relay, &SamplerSignals::readDataErro);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        sampler.start();
        QTRY_VERIFY_WITH_TIMEOUT(failures.count() >= 3, 10000);
        sampler.m_stop = true;
        QVERIFY(sampler.wait(5000));
        SamplerSignals::flush();
        QCOMPARE(samples.count(), 0);
        // Every failure is one timed-out transfer, not an error that repeats at once.
        QCOMPARE(m_usb->discardedUrbs(), failures.count());
    }

    void findDeviceWhilePadIsBeingRead()
    {
        plugIn();
        // libusb's hotplug monitor is shared by all contexts: every driver
        // (and so its context) must be gone before the next testbed.
        QHandWritingDevForLibUsb pad;
        QHidWritingDevice* driver = &pad;
        QCOMPARE(driver->openDevice(), 1);
        QGetHandWrtingDevData sampler(&driver);
        SamplerSignals relay(sampler);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        sampler.start();

        m_pad->pushReport(100, 200, 300);
        QTRY_COMPARE_WITH_TIMEOUT(samples.count(), 1, 5000);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(driver->findDevice(), 1);
        m_pad->pushReport(101, 201, 301);
        QTRY_COMPARE_WITH_TIMEOUT(samples.count(), 2, 5000);
        QCOMPARE(samples.at(1), (QList<QVariant>{101, 201, 301}));
        QVERIFY(m_pad->interfaceClaimed());

        sampler.m_stop = true;
        QVERIFY(sampler.wait(5000));
        SamplerSignals::flush();
    }

    void unpluggedPadFailsReadsAndDisappears()
    {
        plugIn();
        QHandWritingDevForLibUsb driver;
        QCOMPARE(driver.openDevice(), 1);
        m_pad->setPlugged(false);
        m_usb->unplug();
        LogCapture log;
        int x = 0, y = 0, p = 0;
        QCOMPARE(driver.readData(x, y, p), -1);
        QVERIFY(!log.lines().contains("libusb_interrupt_transfer ,ret = 0"));
        QTRY_COMPARE_WITH_TIMEOUT(driver.findDevice(), 0, 5000);
        QCOMPARE(driver.closeDevice(), 1);
        QCOMPARE(driver.openDevice(), -1);
    }

    void unplugDuringATransferEndsItAndTheSampler()
    {
        plugIn();
        QHandWritingDevForLibUsb pad;
        QHidWritingDevice* driver = &pad;
        QCOMPARE(driver->openDevice(), 1);
        QGetHandWrtingDevData sampler(&driver);
        SamplerSignals relay(sampler);
        QSignalSpy failures(&relay, &SamplerSignals::readDataErro);
        LogCapture log;
        sampler.start();
        QTRY_COMPARE_WITH_TIMEOUT(m_usb->urbsInFlight(), 1, 5000);
        m_pad->setPlugged(false);
        m_usb->unplug();
        const QString noDevice = QString("libusb_interrupt_transfer ,ret = %1").arg(LIBUSB_ERROR_NO_DEVICE);
        QTRY_VERIFY_WITH_TIMEOUT(log.count(noDevice) >= 1, 5000);
        QCOMPARE(m_usb->urbsInFlight(), 0);
        sampler.m_stop = true;
        QVERIFY(sampler.wait(5000));
        SamplerSignals::flush();
        QVERIFY(failures.count() >= 1);
        QCOMPARE(driver->closeDevice(), 1);
    }

    void closingAClosedDriverPrintsNothing()
    {
        plugIn();
        QHandWritingDevForLibUsb driver;
        StreamCapture out(1);
        QCOMPARE(driver.closeDevice(), 1);
        QCOMPARE(driver.closeDevice(), 1);
        QCOMPARE(out.text(), QByteArray());
    }
};

QTEST_GUILESS_MAIN(LibusbDriverTest)
#include "test_libusb_driver.moc"
