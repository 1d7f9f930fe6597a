#pragma once

#include "QHidWritingDevice.h"

#include <QObject>

struct libusb_context;
struct libusb_device_handle;
namespace usb {
class Backend;
}

// The pad (05AF:0060) through libusb: interface 0, pen reports on interrupt
// endpoint 0x81, 300 ms per read.
//
// The driver reaches USB through usb::backend(). It binds to the backend and
// creates its context on first use (find or open) rather than in the
// constructor: the service's instance is built during static
// initialisation, before start-up code has chosen real or simulated
// devices. Every later call goes to that same backend.
class QHandWritingDevForLibUsb : public QObject, public QHidWritingDevice {
    Q_OBJECT
    Q_INTERFACES(QHidWritingDevice)
public:
    explicit QHandWritingDevForLibUsb(QObject* parent = nullptr);
    ~QHandWritingDevForLibUsb() override;

    int findDevice() override;
    int openDevice() override;
    int readData(int& x, int& y, int& pressure) override;
    int closeDevice() override;

    static constexpr unsigned int kTransferTimeoutMs = 300;

private:
    bool ensureContext();

    bool m_claimed;
    libusb_device_handle* m_handle;
    libusb_context* m_ctx;
    usb::Backend* m_usb;       // bound on first use
    bool m_initFailed;
};
