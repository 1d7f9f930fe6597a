#pragma once

#include "PeriphdDevices.h"
#include "SimulatedInterface.h"
#include "SimulatedUsbDevice.h"

#include <QByteArray>

#include <condition_variable>
#include <deque>
#include <mutex>

// The signature pad (05AF:0060) as seen on USB: one HID interface (0),
// claimed by the kernel's HID driver until detached, and 16-byte pen
// reports on interrupt IN endpoint 0x81. Thread-safe: tests and the
// simulated service push reports from one thread while a driver reads on
// another. A read waits for a report up to its timeout, like the device.
class SimulatedPad final : public SimulatedUsbDevice {
public:
    static constexpr uint16_t kVendorId = devices::kSignaturePad.vendor;
    static constexpr uint16_t kProductId = devices::kSignaturePad.product;
    static constexpr unsigned char kPenEndpoint = 0x81;
    static constexpr int kReportSize = 16;

    SimulatedPad();

    // Queues one pen report (x, y, pressure little-endian at bytes 2..7).
    void pushReport(uint16_t x, uint16_t y, uint16_t pressure);
    // Queues a report of any length, e.g. a short one.
    void pushRawReport(const QByteArray& bytes);
    // Unplugging wakes pending reads (no device) and drops queued reports;
    // plugging in again rebinds the kernel driver, as Linux does.
    void setPlugged(bool plugged);
    void setKernelDriverBound(bool bound);
    // The next count claims fail as busy, whatever the kernel driver does.
    void setClaimFailures(int count);

    bool plugged() const;
    bool kernelDriverBound() const;
    bool interfaceClaimed() const;
    int queuedReports() const;
    int timeouts() const;        // reads that ended without a report
    int claimAttempts() const;
    int readersWaiting() const;  // reads blocked for a report right now

    // Takes the next report without waiting; false when none is queued.
    bool takeReport(QByteArray& report);
    // The HID report descriptor of the pen interface (vendor page 0xFF02).
    static QByteArray reportDescriptor();
    // Device and configuration descriptors as usbfs presents them.
    static QByteArray usbDescriptors();

    uint16_t vendorId() const override { return kVendorId; }
    uint16_t productId() const override { return kProductId; }
    uint64_t attachment() const override;
    int claimInterface(int interfaceNumber) override;
    int releaseInterface(int interfaceNumber) override;
    bool kernelDriverActive(int interfaceNumber) const override;
    int detachKernelDriver(int interfaceNumber) override;
    int transfer(unsigned char endpoint, unsigned char* data, int length, int* transferred,
                 int waitMs) override;
    int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                        unsigned char* data, uint16_t length) override;
    void setChangeListener(std::function<void()> listener) override;

private:
    void notify();

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_reports;
    uint64_t m_attachment = 1;
    uint64_t m_nextAttachment = 2;
    SimulatedInterface m_interface{0, false, true}; // the pen's interface, usbhid bound
    int m_timeouts = 0;
    int m_claimAttempts = 0;
    int m_readersWaiting = 0;
    std::function<void()> m_listener;
};
