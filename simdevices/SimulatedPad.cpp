#include "SimulatedPad.h"

#include <libusb.h>

#include <algorithm>
#include <chrono>
#include <cstring>

SimulatedPad::SimulatedPad() = default;

void SimulatedPad::pushReport(uint16_t x, uint16_t y, uint16_t pressure)
{
    QByteArray report(kReportSize, '\0');
    auto put = [&report](int at, uint16_t value) {
        report[at] = char(value & 0xFF);
        report[at + 1] = char(value >> 8);
    };
    put(2, x);
    put(4, y);
    put(6, pressure);
    pushRawReport(report);
}

void SimulatedPad::pushRawReport(const QByteArray& bytes)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_attachment)
            return; // nobody on the other end of an unplugged cable
        m_reports.push_back(bytes);
    }
    notify();
}

void SimulatedPad::setPlugged(bool plugged)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (plugged == (m_attachment != 0))
            return;
        if (plugged) {
            m_attachment = m_nextAttachment++;
            m_interface.kernelDriverBound = true;
        } else {
            m_attachment = 0;
            m_reports.clear();
            m_interface.claimed = false;
        }
    }
    notify();
}

void SimulatedPad::setKernelDriverBound(bool bound)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interface.kernelDriverBound = bound;
}

void SimulatedPad::setClaimFailures(int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interface.claimError = count > 0 ? LIBUSB_ERROR_BUSY : 0;
    m_interface.claimErrorsLeft = count;
}

bool SimulatedPad::plugged() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_attachment != 0;
}

bool SimulatedPad::kernelDriverBound() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.kernelDriverBound;
}

bool SimulatedPad::interfaceClaimed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.claimed;
}

int SimulatedPad::queuedReports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_reports.size());
}

int SimulatedPad::timeouts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_timeouts;
}

int SimulatedPad::readersWaiting() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_readersWaiting;
}

int SimulatedPad::claimAttempts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_claimAttempts;
}

bool SimulatedPad::takeReport(QByteArray& report)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_attachment || m_reports.empty())
        return false;
    report = m_reports.front();
    m_reports.pop_front();
    return true;
}

QByteArray SimulatedPad::reportDescriptor()
{
    static const unsigned char descriptor[] = {
        0x06, 0x02, 0xFF,       // Usage Page (vendor 0xFF02)
        0x09, 0x01,             // Usage (1)
        0xA1, 0x01,             // Collection (Application)
        0x15, 0x00,             //   Logical Minimum (0)
        0x26, 0xFF, 0x00,       //   Logical Maximum (255)
        0x75, 0x08,             //   Report Size (8)
        0x95, 0x10,             //   Report Count (16)
        0x09, 0x01,             //   Usage (1)
        0x81, 0x02,             //   Input (Data, Variable, Absolute)
        0xC0,                   // End Collection
    };
    return QByteArray(reinterpret_cast<const char*>(descriptor), sizeof descriptor);
}

QByteArray SimulatedPad::usbDescriptors()
{
    const unsigned char descriptorLength = static_cast<unsigned char>(reportDescriptor().size());
    const unsigned char descriptors[] = {
        // device: USB 2.0, EP0 64 bytes, the pad's ids (little-endian), one configuration
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, kVendorId & 0xFF, kVendorId >> 8, kProductId & 0xFF,
        kProductId >> 8, 0x00, 0x01,
        0x01, 0x02, 0x00, 0x01,
        // configuration 1: one interface, bus powered, 100 mA
        0x09, 0x02, 0x22, 0x00, 0x01, 0x01, 0x00, 0xA0, 0x32,
        // interface 0: HID, one endpoint
        0x09, 0x04, 0x00, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00,
        // HID 1.11, one report descriptor
        0x09, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, descriptorLength, 0x00,
        // endpoint 0x81: interrupt IN, 16 bytes, every frame
        0x07, 0x05, 0x81, 0x03, 0x10, 0x00, 0x01,
    };
    return QByteArray(reinterpret_cast<const char*>(descriptors), sizeof descriptors);
}

uint64_t SimulatedPad::attachment() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_attachment;
}

int SimulatedPad::claimInterface(int interfaceNumber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_claimAttempts;
    return m_interface.claim(m_attachment != 0, interfaceNumber);
}

int SimulatedPad::releaseInterface(int interfaceNumber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.release(m_attachment != 0, interfaceNumber);
}

bool SimulatedPad::kernelDriverActive(int interfaceNumber) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.driverActive(interfaceNumber);
}

int SimulatedPad::detachKernelDriver(int interfaceNumber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.detach(m_attachment != 0, interfaceNumber);
}

int SimulatedPad::transfer(unsigned char endpoint, unsigned char* data, int length,
                           int* transferred, int waitMs)
{
    if (transferred)
        *transferred = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    if (endpoint != kPenEndpoint)
        return LIBUSB_ERROR_PIPE;
    if (const int claimed = m_interface.claimForTransfer())
        return claimed;
    const uint64_t attachment = m_attachment;
    auto ready = [this, attachment] { return m_attachment != attachment || !m_reports.empty(); };
    ++m_readersWaiting;
    if (waitMs < 0)
        m_changed.wait(lock, ready);
    else
        m_changed.wait_for(lock, std::chrono::milliseconds(waitMs), ready);
    --m_readersWaiting;
    if (m_attachment != attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    if (m_reports.empty()) {
        if (waitMs != 0)
            ++m_timeouts;
        return LIBUSB_ERROR_TIMEOUT;
    }
    const QByteArray report = m_reports.front();
    m_reports.pop_front();
    if (report.size() > length)
        return LIBUSB_ERROR_OVERFLOW; // the device sent more than was asked for
    std::memcpy(data, report.constData(), size_t(report.size()));
    if (transferred)
        *transferred = report.size();
    return LIBUSB_SUCCESS;
}

int SimulatedPad::controlTransfer(uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*, uint16_t)
{
    // The drivers never use the control pipe of the pad.
    return LIBUSB_ERROR_PIPE;
}

void SimulatedPad::setChangeListener(std::function<void()> listener)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(listener);
}

void SimulatedPad::notify()
{
    m_changed.notify_all();
    std::function<void()> listener;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        listener = m_listener;
    }
    if (listener)
        listener();
}
