#pragma once

#include <QtPlugin>

// The signature pad as the rest of the program sees it. Implementations
// derive from QObject first and from this interface second.
//
// Return codes: findDevice 1 found / 0 not found; openDevice 1 opened,
// negative on failure; readData 0 when x, y and pressure hold a new sample,
// anything else for a failed read; closeDevice as each driver documents.
class QHidWritingDevice {
public:
    virtual int findDevice() = 0;
    virtual int openDevice() = 0;
    virtual int readData(int& x, int& y, int& pressure) = 0;
    virtual int closeDevice() = 0;
};

Q_DECLARE_INTERFACE(QHidWritingDevice, "QHidWritingDevice")
