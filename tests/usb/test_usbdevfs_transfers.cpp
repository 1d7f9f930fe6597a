// Bulk and control transfers through the libusb backend of the USB seam,
// against a loopback device model presented by umockdev as a usbdevfs
// device. Runs under umockdev-wrapper.
// glib before Qt: glib uses "signals" as a name.
#include <umockdev.h>

#include "SimulatedUsbDevice.h"
#include "UsbBackend.h"
#include "UsbdevfsEmulation.h"

#include <QtTest>

#include <libusb.h>

#include <mutex>

namespace {

// Keeps what is written to bulk OUT 0x02 and hands it back on bulk IN 0x82;
// vendor control request 1 stores (OUT) or returns (IN) a small value.
class LoopbackDevice final : public SimulatedUsbDevice {
public:
    uint16_t vendorId() const override { return 0x1209; }
    uint16_t productId() const override { return 0x0001; }
    uint64_t attachment() const override { return 1; }
    int claimInterface(int n) override { return n == 0 ? 0 : LIBUSB_ERROR_NOT_FOUND; }
    int releaseInterface(int n) override { return n == 0 ? 0 : LIBUSB_ERROR_NOT_FOUND; }
    bool kernelDriverActive(int) const override { return false; }
    int detachKernelDriver(int) override { return LIBUSB_ERROR_NOT_FOUND; }
    int transfer(unsigned char endpoint, unsigned char* data, int length, int* transferred,
                 int) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *transferred = 0;
        if (endpoint == 0x02) {
            m_stored.append(reinterpret_cast<const char*>(data), length);
            *transferred = length;
            return 0;
        }
        if (endpoint == 0x82) {
            if (m_stored.isEmpty())
                return LIBUSB_ERROR_TIMEOUT;
            const int n = qMin(length, m_stored.size());
            memcpy(data, m_stored.constData(), size_t(n));
            m_stored.remove(0, n);
            *transferred = n;
            return 0;
        }
        return LIBUSB_ERROR_PIPE;
    }
    int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                        unsigned char* data, uint16_t length) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if ((requestType & 0x60) != 0x40 || request != 1)
            return LIBUSB_ERROR_PIPE;
        if (requestType & 0x80) {
            const QByteArray answer = m_control + QByteArray::number(value) + "/" + QByteArray::number(index);
            const int n = qMin(int(length), answer.size());
            memcpy(data, answer.constData(), size_t(n));
            return n;
        }
        m_control = QByteArray(reinterpret_cast<const char*>(data), length);
        return length;
    }
    void setChangeListener(std::function<void()>) override {}

    static QByteArray descriptors()
    {
        return QByteArray::fromHex("12010002ff000040091201000001010200010902200001010080320904000002ff000000"
                                   "0705020240000007058202400000");
    }

private:
    std::mutex m_mutex;
    QByteArray m_stored;
    QByteArray m_control;
};

} // namespace

class UsbdevfsTransfersTest : public QObject {
    Q_OBJECT

    UMockdevTestbed* m_testbed = nullptr;
    LoopbackDevice m_device;
    UsbdevfsEmulation* m_usb = nullptr;
    libusb_context* m_ctx = nullptr;
    libusb_device_handle* m_handle = nullptr;
    usb::Backend& m_backend = usb::libusbBackend();

private slots:
    void initTestCase()
    {
        QVERIFY2(qgetenv("LD_PRELOAD").contains("libumockdev-preload"),
                 "run this suite under umockdev-wrapper");
        m_testbed = umockdev_testbed_new();
        m_usb = new UsbdevfsEmulation(m_testbed, m_device, LoopbackDevice::descriptors(), 5);
        QCOMPARE(m_backend.init(&m_ctx), 0);
        m_handle = m_backend.openDeviceWithVidPid(m_ctx, 0x1209, 0x0001);
        QVERIFY(m_handle);
        QCOMPARE(m_backend.claimInterface(m_handle, 0), 0);
    }
    void cleanupTestCase()
    {
        if (m_handle) {
            QCOMPARE(m_backend.releaseInterface(m_handle, 0), 0);
            m_backend.close(m_handle);
        }
        m_backend.exit(m_ctx);
        delete m_usb;
        g_object_unref(m_testbed);
    }

    void bulkOutThenInComesBack()
    {
        unsigned char out[5] = {'a', 'b', 'c', 'd', 'e'};
        int sent = 0;
        QCOMPARE(m_backend.bulkTransfer(m_handle, 0x02, out, 5, &sent, 1000), 0);
        QCOMPARE(sent, 5);
        unsigned char in[64] = {};
        int got = 0;
        QCOMPARE(m_backend.bulkTransfer(m_handle, 0x82, in, 64, &got, 1000), 0);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(in), got), QByteArray("abcde"));
    }

    void bulkInWithNothingTimesOut()
    {
        unsigned char in[64];
        int got = -1;
        const int discarded = m_usb->discardedUrbs();
        QCOMPARE(m_backend.bulkTransfer(m_handle, 0x82, in, 64, &got, 50), int(LIBUSB_ERROR_TIMEOUT));
        QCOMPARE(got, 0);
        QCOMPARE(m_usb->discardedUrbs(), discarded + 1);
    }

    void controlTransfersBothWays()
    {
        unsigned char value[3] = {'x', 'y', 'z'};
        QCOMPARE(m_backend.controlTransfer(m_handle, 0x40, 1, 0, 0, value, 3, 1000), 3);
        unsigned char answer[32] = {};
        const int n = m_backend.controlTransfer(m_handle, 0xC0, 1, 7, 9, answer, sizeof answer, 1000);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(answer), n), QByteArray("xyz7/9"));
        QCOMPARE(m_backend.controlTransfer(m_handle, 0xC0, 2, 0, 0, answer, sizeof answer, 1000),
                 int(LIBUSB_ERROR_PIPE));
    }

    void unknownEndpointStalls()
    {
        unsigned char out[1] = {0};
        int sent = 0;
        QCOMPARE(m_backend.bulkTransfer(m_handle, 0x03, out, 1, &sent, 1000), int(LIBUSB_ERROR_PIPE));
    }
};

QTEST_GUILESS_MAIN(UsbdevfsTransfersTest)
#include "test_usbdevfs_transfers.moc"
