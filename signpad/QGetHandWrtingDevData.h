#pragma once

#include <QThread>

#include <atomic>

class QHidWritingDevice;

// The pen sampling thread: reads the pad in a loop and hands every sample to
// the event-loop thread as getDataOk. It reads through a pointer to the
// driver pointer (the global object's signDevice in the service), looked up
// at every read, so the thread always uses whatever driver is installed
// there; a test points it at a driver of its own.
class QGetHandWrtingDevData : public QThread {
    Q_OBJECT
public:
    explicit QGetHandWrtingDevData(QHidWritingDevice* const* device = nullptr);

    void setDeviceSource(QHidWritingDevice* const* device);

    // Set true (then quit() and wait()) to end run() after the current read.
    std::atomic<bool> m_stop;

signals:
    void findDeviceErro();
    void openDeviceErro();
    void readDataErro();
    void getDataOk(int x, int y, int pressure);

protected:
    void run() override;

private:
    QHidWritingDevice* const* m_device;
};
