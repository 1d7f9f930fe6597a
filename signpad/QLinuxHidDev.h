#pragma once

#include "QHidWritingDevice.h"

#include <QByteArray>
#include <QObject>

// Placeholder driver: never finds or opens a pad, so the sampling thread is
// never started over it.
class QLinuxHidDev : public QObject, public QHidWritingDevice {
    Q_OBJECT
    Q_INTERFACES(QHidWritingDevice)
public:
    explicit QLinuxHidDev(QObject* parent = nullptr);

    int findDevice() override;
    int openDevice() override;
    int readData(int& x, int& y, int& pressure) override;
    int closeDevice() override;

private:
    QByteArray m_devicePath;
};
