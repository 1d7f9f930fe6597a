#include "SimulatedCardReader.h"

SimulatedCardReader::SimulatedCardReader(SimulatedInterface interface)
    : m_record(kTextSize + kPhotoSize, '\0')
    , m_interface(interface)
{
}

bool SimulatedCardReader::setCardRecord(const QByteArray& record)
{
    if (record.size() != kTextSize + kPhotoSize
        && record.size() != kTextSize + kPhotoSize + kFingerprintSize)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_record = record;
    return true;
}

QByteArray SimulatedCardReader::cardRecord() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_record;
}

void SimulatedCardReader::setCardPresent(bool present)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cardPresent = present;
}

bool SimulatedCardReader::cardPresent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_cardPresent;
}

void SimulatedCardReader::setPlugged(bool plugged)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (plugged == (m_attachment != 0))
            return;
        m_attachment = plugged ? m_nextAttachment++ : 0;
        if (!plugged)
            m_interface.claimed = false;
        plugChanged(plugged);
    }
    notify();
}

bool SimulatedCardReader::plugged() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_attachment != 0;
}

void SimulatedCardReader::setClaimError(int error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interface.claimError = error;
}

bool SimulatedCardReader::interfaceClaimed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.claimed;
}

uint64_t SimulatedCardReader::attachment() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_attachment;
}

int SimulatedCardReader::claimInterface(int interfaceNumber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.claim(m_attachment != 0, interfaceNumber);
}

int SimulatedCardReader::releaseInterface(int interfaceNumber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.release(m_attachment != 0, interfaceNumber);
}

bool SimulatedCardReader::kernelDriverActive(int interfaceNumber) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.driverActive(interfaceNumber);
}

int SimulatedCardReader::detachKernelDriver(int interfaceNumber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.detach(m_attachment != 0, interfaceNumber);
}

void SimulatedCardReader::setChangeListener(std::function<void()> listener)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = std::move(listener);
}

void SimulatedCardReader::notify()
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
