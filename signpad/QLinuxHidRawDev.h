#pragma once

#include "QHidWritingDevice.h"

#include <QByteArray>
#include <QObject>

// The pad through a Linux hidraw node.
class QLinuxHidRawDev : public QObject, public QHidWritingDevice {
    Q_OBJECT
    Q_INTERFACES(QHidWritingDevice)
public:
    explicit QLinuxHidRawDev(QObject* parent = nullptr);

    int findDevice() override;
    int openDevice() override;
    // Waits at most kReadTimeoutMs for a report, so that a sampler over an
    // idle pad still sees its stop flag; returns -1 when none arrived.
    int readData(int& x, int& y, int& pressure) override;
    int closeDevice() override;

    static constexpr int kReadTimeoutMs = 300;

private:
    QByteArray m_devicePath;
    int m_fd;
};

// 1 when the hidraw node at path may be the pad, 0 otherwise.
int isMyHidraw(char* path);
