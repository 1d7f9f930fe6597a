#pragma once

#include <libusb.h>

// The USB calls the device drivers make, behind one small interface so that a
// driver can be run against real hardware (libusb) or against in-process
// device models without changing a line of the driver.
//
// Handles and contexts keep libusb's types; for any other backend they are
// opaque tokens that only the backend that produced them may interpret.
// Results and error codes are libusb's (LIBUSB_SUCCESS, LIBUSB_ERROR_*).
namespace usb {

class Backend {
public:
    virtual ~Backend() = default;

    // A null ctx means libusb's default context.
    virtual int init(libusb_context** ctx) = 0;
    virtual void exit(libusb_context* ctx) = 0;
    virtual void setDebugLevel(libusb_context* ctx, int level) = 0;
    // The device list is only ever fetched and freed again (some readers
    // insist on it before they open a device); its entries are opaque.
    virtual ssize_t getDeviceList(libusb_context* ctx, libusb_device*** list) = 0;
    virtual void freeDeviceList(libusb_device** list, int unrefDevices) = 0;
    virtual libusb_device_handle* openDeviceWithVidPid(libusb_context* ctx, uint16_t vendorId,
                                                       uint16_t productId) = 0;
    virtual void close(libusb_device_handle* handle) = 0;
    virtual int claimInterface(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int releaseInterface(libusb_device_handle* handle, int interfaceNumber) = 0;
    // 1 when a kernel driver holds the interface, 0 when not, else an error.
    virtual int kernelDriverActive(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int detachKernelDriver(libusb_device_handle* handle, int interfaceNumber) = 0;
    virtual int interruptTransfer(libusb_device_handle* handle, unsigned char endpoint,
                                  unsigned char* data, int length, int* transferred,
                                  unsigned int timeoutMs) = 0;
    virtual int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint,
                             unsigned char* data, int length, int* transferred,
                             unsigned int timeoutMs) = 0;
    virtual int controlTransfer(libusb_device_handle* handle, uint8_t requestType,
                                uint8_t request, uint16_t value, uint16_t index,
                                unsigned char* data, uint16_t length, unsigned int timeoutMs) = 0;
};

// The backend that forwards every call to libusb.
Backend& libusbBackend();

// The process-wide choice. It starts as libusbBackend(); start-up code may
// select another one before any driver is used. Drivers bind to the backend
// that is current when they first need USB (not when they are constructed),
// because the long-lived drivers are constructed during static
// initialisation, before the command line has been read.
Backend& backend();
void setBackend(Backend& selected);

} // namespace usb
