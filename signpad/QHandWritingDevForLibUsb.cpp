#include "QHandWritingDevForLibUsb.h"

#include "PenReport.h"
#include "PeriphdDevices.h"
#include "UsbBackend.h"

#include <QtDebug>

#include <cstdio>
#include <cstring>

namespace {

constexpr uint16_t kVendorId = devices::kSignaturePad.vendor;
constexpr uint16_t kProductId = devices::kSignaturePad.product;
constexpr int kInterface = 0;
constexpr unsigned char kPenEndpoint = 0x81;
constexpr int kMinimumReport = 8;

} // namespace

QHandWritingDevForLibUsb::QHandWritingDevForLibUsb(QObject* parent)
    : QObject(parent)
    , m_claimed(false)
    , m_handle(nullptr)
    , m_ctx(nullptr)
    , m_usb(nullptr)
    , m_initFailed(false)
{
}

QHandWritingDevForLibUsb::~QHandWritingDevForLibUsb()
{
    closeDevice();
    if (m_usb && m_ctx)
        m_usb->exit(m_ctx);
}

bool QHandWritingDevForLibUsb::ensureContext()
{
    if (m_usb)
        return !m_initFailed;
    m_usb = &usb::backend();
    if (m_usb->init(&m_ctx) < 0) {
        qDebug("failed to initialise libusb\n");
        m_ctx = nullptr;
        m_initFailed = true;
    }
    return !m_initFailed;
}

int QHandWritingDevForLibUsb::findDevice()
{
    if (!ensureContext())
        return 0;
    libusb_device_handle* probe = m_usb->openDeviceWithVidPid(m_ctx, kVendorId, kProductId);
    if (!probe)
        return 0;
    m_usb->close(probe);
    return 1;
}

int QHandWritingDevForLibUsb::openDevice()
{
    m_handle = ensureContext() ? m_usb->openDeviceWithVidPid(m_ctx, kVendorId, kProductId)
                               : nullptr;
    if (!m_handle) {
        qDebug("Cannot open device\n");
        return -1;
    }
    if (m_usb->claimInterface(m_handle, kInterface) >= 0) {
        m_claimed = true;
        return 1;
    }
    // Interface 0 is normally held by the kernel's HID driver; take it away
    // and try once more. It is never given back.
    if (m_usb->detachKernelDriver(m_handle, kInterface) == 0)
        qDebug("Kernel Driver Detached!\n");
    if (m_usb->claimInterface(m_handle, kInterface) >= 0) {
        m_claimed = true;
        return 1;
    }
    perror("Cannot Claim Interface\n");
    static_cast<QHidWritingDevice*>(this)->closeDevice();
    return -2;
}

int QHandWritingDevForLibUsb::readData(int& x, int& y, int& pressure)
{
    qWarning("readData");
    if (!m_handle)
        return -1;
    unsigned char report[penreport::kSize];
    std::memset(report, 0, sizeof report);
    int transferred = 0;
    const int ret = m_usb->interruptTransfer(m_handle, kPenEndpoint, report, sizeof report,
                                             &transferred, kTransferTimeoutMs);
    qWarning("libusb_interrupt_transfer ,ret = %d", ret);
    if (ret != 0)
        return -1;
    if (transferred < kMinimumReport)
        return -2;
    penreport::decode(report, x, y, pressure);
    qWarning("x = %d , y = %d , p = %d", x, y, pressure);
    return 0;
}

int QHandWritingDevForLibUsb::closeDevice()
{
    if (m_handle) {
        if (m_claimed) {
            if (m_usb->releaseInterface(m_handle, kInterface) == 0)
                printf("Released hid Interface!");
            else
                printf("Cannot hid Released Interface!");
            fflush(stdout);
            m_claimed = false;
        }
        m_usb->close(m_handle);
    }
    m_handle = nullptr;
    return 1;
}
