#pragma once

#include "SimulatedInterface.h"
#include "SimulatedUsbDevice.h"

#include <QByteArray>
#include <QList>

#include <condition_variable>
#include <mutex>

// What both identity card readers are besides their protocol: a slot that
// holds one card (its record as the card keeps it, on the reader or off), a
// USB plug, and one interface. Thread-safe: tests and the simulation script
// it from one thread while a driver talks to it on another; the protocol
// halves of the readers share the same lock.
class SimulatedCardReader : public SimulatedUsbDevice {
public:
    static constexpr int kTextSize = 256;
    static constexpr int kPhotoSize = 1024;
    static constexpr int kFingerprintSize = 1024;

    // The card as it holds its record: 256 bytes of text and 1024 of photo,
    // optionally followed by 1024 bytes of fingerprint data. Anything else
    // is refused (false) and the record stays as it was.
    bool setCardRecord(const QByteArray& record);
    QByteArray cardRecord() const;
    void setCardPresent(bool present);
    bool cardPresent() const;

    // Unplugging wakes waiting transfers (no device) and drops whatever the
    // reader was saying; plugging in again gives new handles.
    void setPlugged(bool plugged);
    bool plugged() const;

    // Claims fail with this libusb error (0: they do not), e.g. another
    // program holds the interface.
    void setClaimError(int error);
    bool interfaceClaimed() const;

    uint64_t attachment() const override;
    int claimInterface(int interfaceNumber) override;
    int releaseInterface(int interfaceNumber) override;
    bool kernelDriverActive(int interfaceNumber) const override;
    int detachKernelDriver(int interfaceNumber) override;
    void setChangeListener(std::function<void()> listener) override;

protected:
    explicit SimulatedCardReader(SimulatedInterface interface);

    // With the lock held, when the plug changes: the protocol's own state.
    virtual void plugChanged(bool plugged) = 0;
    // Wakes waiting transfers and tells the listener; without the lock.
    void notify();

    // What the host did is kept for tests to look at, but not without end:
    // the simulated service runs for as long as it likes.
    template <typename T>
    static void remember(QList<T>& history, const T& entry)
    {
        constexpr int kHistory = 4096;
        if (history.size() >= kHistory)
            history.removeFirst();
        history.append(entry);
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    QByteArray m_record;
    bool m_cardPresent = true;
    uint64_t m_attachment = 1;
    SimulatedInterface m_interface;

private:
    uint64_t m_nextAttachment = 2;
    std::function<void()> m_listener;
};
