// The service's pad driver is constructed during static initialisation,
// before start-up selects simulated devices; it must still reach them.
#include "QHandWritingDevForLibUsb.h"
#include "SimulatedPad.h"
#include "Simulation.h"
#include "UsbBackend.h"

#include <QtTest>

static QHandWritingDevForLibUsb* g_earlyDriver = new QHandWritingDevForLibUsb(nullptr);

class BackendSelectionTest : public QObject {
    Q_OBJECT
private slots:
    void driverBuiltBeforeTheChoiceUsesTheChosenBackend()
    {
        QCOMPARE(&usb::backend(), &usb::libusbBackend());
        usb::useSimulatedDevices();
        QVERIFY(&usb::backend() != &usb::libusbBackend());

        simulatedPad().setPlugged(true);
        QCOMPARE(g_earlyDriver->findDevice(), 1);
        QCOMPARE(g_earlyDriver->openDevice(), 1);
        simulatedPad().pushReport(1234, 567, 89);
        int x = 0, y = 0, p = 0;
        QCOMPARE(g_earlyDriver->readData(x, y, p), 0);
        QCOMPARE(x, 1234);
        QCOMPARE(y, 567);
        QCOMPARE(p, 89);
        QCOMPARE(g_earlyDriver->closeDevice(), 1);

        simulatedPad().setPlugged(false);
        QCOMPARE(g_earlyDriver->findDevice(), 0);
        QCOMPARE(g_earlyDriver->openDevice(), -1);
    }
};

QTEST_GUILESS_MAIN(BackendSelectionTest)
#include "test_backend_selection.moc"
