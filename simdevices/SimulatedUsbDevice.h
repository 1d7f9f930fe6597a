#pragma once

#include <cstdint>
#include <functional>

// A device model on the simulated USB bus. Results are libusb's codes, so
// the same model can stand behind the in-process backend and behind the
// usbdevfs emulation (which turns them into errno values).
class SimulatedUsbDevice {
public:
    virtual ~SimulatedUsbDevice() = default;

    virtual uint16_t vendorId() const = 0;
    virtual uint16_t productId() const = 0;

    // Non-zero while plugged in; a new value at every plug-in, so handles
    // opened before an unplug stay dead after the device comes back.
    virtual uint64_t attachment() const = 0;

    virtual int claimInterface(int interfaceNumber) = 0;
    virtual int releaseInterface(int interfaceNumber) = 0;
    virtual bool kernelDriverActive(int interfaceNumber) const = 0;
    virtual int detachKernelDriver(int interfaceNumber) = 0;

    // One interrupt or bulk transfer. IN endpoints wait up to waitMs for
    // data (negative: without limit, 0: do not wait) and return
    // LIBUSB_ERROR_TIMEOUT when none came.
    virtual int transfer(unsigned char endpoint, unsigned char* data, int length,
                         int* transferred, int waitMs) = 0;
    virtual int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value,
                                uint16_t index, unsigned char* data, uint16_t length) = 0;

    // Called (from the changing thread, without locks held) when data
    // arrives or the plug state changes; adapters that cannot block use it.
    virtual void setChangeListener(std::function<void()> listener) = 0;
};
