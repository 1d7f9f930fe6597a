#pragma once

#include "UsbBackend.h"

#include <mutex>
#include <vector>

class SimulatedUsbDevice;

// A USB backend whose devices are in-process models. Contexts are not
// needed by the models: init hands out a token and every context, the
// service's real libusb one included, reaches the same bus.
class SimulatedUsbBus final : public usb::Backend {
public:
    // The device stays owned by the caller and must outlive the bus's use.
    void attach(SimulatedUsbDevice& device);
    void detach(SimulatedUsbDevice& device);
    int openHandles() const;
    int deviceListsOut() const; // fetched and not yet freed
    // Contexts initialised and not yet exited: contexts of their own, and
    // users of the default context (init and exit with a null context).
    int ownContexts() const;
    int defaultContextUsers() const;

    int init(libusb_context** ctx) override;
    void exit(libusb_context* ctx) override;
    void setDebugLevel(libusb_context* ctx, int level) override;
    ssize_t getDeviceList(libusb_context* ctx, libusb_device*** list) override;
    void freeDeviceList(libusb_device** list, int unrefDevices) override;
    libusb_device_handle* openDeviceWithVidPid(libusb_context* ctx, uint16_t vendorId,
                                               uint16_t productId) override;
    void close(libusb_device_handle* handle) override;
    int claimInterface(libusb_device_handle* handle, int interfaceNumber) override;
    int releaseInterface(libusb_device_handle* handle, int interfaceNumber) override;
    int kernelDriverActive(libusb_device_handle* handle, int interfaceNumber) override;
    int detachKernelDriver(libusb_device_handle* handle, int interfaceNumber) override;
    int interruptTransfer(libusb_device_handle* handle, unsigned char endpoint,
                          unsigned char* data, int length, int* transferred,
                          unsigned int timeoutMs) override;
    int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                     int length, int* transferred, unsigned int timeoutMs) override;
    int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                        uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                        unsigned int timeoutMs) override;

private:
    struct Handle;
    Handle* live(libusb_device_handle* handle) const;

    mutable std::mutex m_mutex;
    std::vector<SimulatedUsbDevice*> m_devices;
    std::vector<Handle*> m_handles;
    int m_deviceListsOut = 0;
    int m_ownContexts = 0;
    int m_defaultContextUsers = 0;
};
