#include "UsbBackend.h"

namespace usb {
namespace {

class LibUsbBackend final : public Backend {
public:
    int init(libusb_context** ctx) override { return libusb_init(ctx); }
    void exit(libusb_context* ctx) override { libusb_exit(ctx); }
    void setDebugLevel(libusb_context* ctx, int level) override
    {
        libusb_set_option(ctx, LIBUSB_OPTION_LOG_LEVEL, level);
    }
    ssize_t getDeviceList(libusb_context* ctx, libusb_device*** list) override
    {
        return libusb_get_device_list(ctx, list);
    }
    void freeDeviceList(libusb_device** list, int unrefDevices) override
    {
        libusb_free_device_list(list, unrefDevices);
    }
    libusb_device_handle* openDeviceWithVidPid(libusb_context* ctx, uint16_t vendorId,
                                               uint16_t productId) override
    {
        return libusb_open_device_with_vid_pid(ctx, vendorId, productId);
    }
    void close(libusb_device_handle* handle) override { libusb_close(handle); }
    int claimInterface(libusb_device_handle* handle, int interfaceNumber) override
    {
        return libusb_claim_interface(handle, interfaceNumber);
    }
    int releaseInterface(libusb_device_handle* handle, int interfaceNumber) override
    {
        return libusb_release_interface(handle, interfaceNumber);
    }
    int kernelDriverActive(libusb_device_handle* handle, int interfaceNumber) override
    {
        return libusb_kernel_driver_active(handle, interfaceNumber);
    }
    int detachKernelDriver(libusb_device_handle* handle, int interfaceNumber) override
    {
        return libusb_detach_kernel_driver(handle, interfaceNumber);
    }
    int interruptTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                          int length, int* transferred, unsigned int timeoutMs) override
    {
        return libusb_interrupt_transfer(handle, endpoint, data, length, transferred, timeoutMs);
    }
    int bulkTransfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data,
                     int length, int* transferred, unsigned int timeoutMs) override
    {
        return libusb_bulk_transfer(handle, endpoint, data, length, transferred, timeoutMs);
    }
    int controlTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                        uint16_t value, uint16_t index, unsigned char* data, uint16_t length,
                        unsigned int timeoutMs) override
    {
        return libusb_control_transfer(handle, requestType, request, value, index, data, length,
                                       timeoutMs);
    }
};

} // namespace

Backend& libusbBackend()
{
    static LibUsbBackend instance;
    return instance;
}

} // namespace usb
