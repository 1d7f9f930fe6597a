// The pen sampling thread over the libusb driver and the pad model on the
// in-process USB bus.
#include "DriverTestSupport.h"
#include "QGetHandWrtingDevData.h"
#include "QHandWritingDevForLibUsb.h"
#include "SimulatedPad.h"
#include "SimulatedUsbBus.h"
#include "UsbBackend.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

// Collects samples on the receiving (main) thread, like the signing window.
class SampleSink : public QObject {
    Q_OBJECT
public:
    QVector<int> xs, ys, ps;
public slots:
    void take(int x, int y, int p)
    {
        xs << x;
        ys << y;
        ps << p;
    }
};

class SamplingThreadTest : public QObject {
    Q_OBJECT

    SimulatedUsbBus m_bus;
    std::unique_ptr<SimulatedPad> m_pad;
    std::unique_ptr<QHandWritingDevForLibUsb> m_driver;
    QHidWritingDevice* m_device = nullptr;

    static void stop(QGetHandWrtingDevData& sampler)
    {
        sampler.m_stop = true;
        sampler.quit();
        QVERIFY(sampler.wait(5000));
        SamplerSignals::flush();
    }

private slots:
    void initTestCase() { usb::setBackend(m_bus); }
    void init()
    {
        m_pad = std::make_unique<SimulatedPad>();
        m_pad->setKernelDriverBound(false);
        m_bus.attach(*m_pad);
        m_driver = std::make_unique<QHandWritingDevForLibUsb>();
        m_device = m_driver.get();
    }
    void cleanup()
    {
        m_driver.reset();
        m_bus.detach(*m_pad);
        m_pad.reset();
    }

    void startingWithStopSetReadsNothing()
    {
        QCOMPARE(m_device->openDevice(), 1);
        m_pad->pushReport(1, 2, 3);
        QGetHandWrtingDevData sampler(&m_device);
        SamplerSignals relay(sampler);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        QSignalSpy failures(&relay, &SamplerSignals::readDataErro);
        sampler.m_stop = true;
        sampler.start();
        QVERIFY(sampler.wait(5000));
        SamplerSignals::flush();
        QCOMPARE(m_pad->queuedReports(), 1);
        QCOMPARE(samples.count(), 0);
        QCOMPARE(failures.count(), 0);
    }

    void failingDriverSignalsFailuresOnly_data()
    {
        QTest::addColumn<bool>("open");
        QTest::newRow("driver never opened") << false;
        QTest::newRow("pad unplugged") << true;
    }
    void failingDriverSignalsFailuresOnly()
    {
        QFETCH(bool, open);
        if (open) {
            QCOMPARE(m_device->openDevice(), 1);
            m_pad->setPlugged(false);
        }
        QGetHandWrtingDevData sampler(&m_device);
        SamplerSignals relay(sampler);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        QSignalSpy failures(&relay, &SamplerSignals::readDataErro);
        sampler.start();
        // Failures are retried at once, without a pause.
        QTRY_VERIFY_WITH_TIMEOUT(failures.count() >= 100, 10000);
        stop(sampler);
        QCOMPARE(samples.count(), 0);
    }

    void stopWhileReadIsBlockedStillDeliversItsSample()
    {
        QCOMPARE(m_device->openDevice(), 1);
        QGetHandWrtingDevData sampler(&m_device);
        SamplerSignals relay(sampler);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        sampler.start();
        QTRY_COMPARE_WITH_TIMEOUT(m_pad->readersWaiting(), 1, 5000);
        sampler.m_stop = true;
        m_pad->pushReport(11, 22, 33);
        QVERIFY(sampler.wait(5000));
        SamplerSignals::flush();
        QTRY_COMPARE(samples.count(), 1);
        QCOMPARE(samples.at(0), (QList<QVariant>{11, 22, 33}));
        QCOMPARE(m_pad->readersWaiting(), 0);
    }

    void stopOverIdlePadEndsWithinOneRead()
    {
        QCOMPARE(m_device->openDevice(), 1);
        QGetHandWrtingDevData sampler(&m_device);
        sampler.start();
        QTRY_COMPARE_WITH_TIMEOUT(m_pad->readersWaiting(), 1, 5000);
        const int timeoutsBefore = m_pad->timeouts();
        stop(sampler);
        QVERIFY(m_pad->timeouts() <= timeoutsBefore + 1);
    }

    void penUpSamplesAreDeliveredLikeAnyOther()
    {
        QCOMPARE(m_device->openDevice(), 1);
        QGetHandWrtingDevData sampler(&m_device);
        SamplerSignals relay(sampler);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        sampler.start();
        m_pad->pushReport(500, 600, 700);
        m_pad->pushReport(505, 606, 0);
        QTRY_COMPARE_WITH_TIMEOUT(samples.count(), 2, 5000);
        QCOMPARE(samples.at(1), (QList<QVariant>{505, 606, 0}));
        stop(sampler);
    }

    void samplesArriveInOrderAlsoAfterABusyEventLoop()
    {
        QCOMPARE(m_device->openDevice(), 1);
        QGetHandWrtingDevData sampler(&m_device);
        SampleSink sink;
        connect(&sampler, &QGetHandWrtingDevData::getDataOk, &sink, &SampleSink::take);
        sampler.start();
        constexpr int kCount = 300;
        for (int i = 0; i < kCount; ++i)
            m_pad->pushReport(uint16_t(i), uint16_t(kCount - i), uint16_t(i % 2 ? 0 : 1000 + i));
        // Keep the event loop from running until the thread has emitted
        // everything, so the samples pile up in the queue.
        QElapsedTimer bound;
        bound.start();
        while ((m_pad->queuedReports() > 0 || m_pad->readersWaiting() == 0) && bound.elapsed() < 10000)
            QThread::yieldCurrentThread();
        QCOMPARE(m_pad->queuedReports(), 0);
        QCOMPARE(sink.xs.size(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(sink.xs.size(), kCount, 10000);
        for (int i = 0; i < kCount; ++i) {
            QCOMPARE(sink.xs.at(i), i);
            QCOMPARE(sink.ys.at(i), kCount - i);
            QCOMPARE(sink.ps.at(i), i % 2 ? 0 : 1000 + i);
        }
        stop(sampler);
    }

    void readsGoThroughTheInstalledDriver()
    {
        // The thread looks the driver up at every read.
        QHidWritingDevice* installed = nullptr;
        QGetHandWrtingDevData sampler(&installed);
        SamplerSignals relay(sampler);
        QSignalSpy samples(&relay, &SamplerSignals::getDataOk);
        QCOMPARE(m_device->openDevice(), 1);
        installed = m_device;
        m_pad->pushReport(7, 8, 9);
        sampler.start();
        QTRY_COMPARE_WITH_TIMEOUT(samples.count(), 1, 5000);
        stop(sampler);
    }
};

QTEST_GUILESS_MAIN(SamplingThreadTest)
#include "test_sampling_thread.moc"
