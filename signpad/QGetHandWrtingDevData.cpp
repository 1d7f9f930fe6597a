#include "QGetHandWrtingDevData.h"

#include "QHidWritingDevice.h"

#include <QtDebug>

QGetHandWrtingDevData::QGetHandWrtingDevData(QHidWritingDevice* const* device)
    : m_stop(false)
    , m_device(device)
{
}

void QGetHandWrtingDevData::setDeviceSource(QHidWritingDevice* const* device)
{
    m_device = device;
}

void QGetHandWrtingDevData::run()
{
    while (!m_stop.load()) {
        qWarning("qgethandwrtingdevdata");
        QHidWritingDevice* device = m_device ? *m_device : nullptr;
        if (!device) {
            // Nothing to read from: leave instead of spinning on a null driver.
            qWarning("no pad driver installed");
            return;
        }
        int x = 0;
        int y = 0;
        int pressure = 0;
        if (device->readData(x, y, pressure) != 0) {
            qWarning("readDataErro faild\n");
            emit readDataErro();
            continue;
        }
        qWarning("getDataOk x = %d,y = %d,P = %d\n", x, y, pressure);
        emit getDataOk(x, y, pressure);
        QThread::sleep(0);
    }
}
