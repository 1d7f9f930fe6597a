#pragma once

#include "OutputCapture.h"
#include "QGetHandWrtingDevData.h"

#include <QCoreApplication>
#include <QObject>

// The sampler's signals, delivered to the test's thread. (QSignalSpy
// records on the emitting thread, which races with the test reading it.)
class SamplerSignals : public QObject {
    Q_OBJECT
public:
    explicit SamplerSignals(QGetHandWrtingDevData& sampler)
    {
        connect(&sampler, &QGetHandWrtingDevData::readDataErro, this,
                &SamplerSignals::readDataErro, Qt::QueuedConnection);
        connect(&sampler, &QGetHandWrtingDevData::getDataOk, this, &SamplerSignals::getDataOk,
                Qt::QueuedConnection);
    }
    // Delivers what the sampler has emitted so far.
    static void flush() { QCoreApplication::sendPostedEvents(); }

signals:
    void readDataErro();
    void getDataOk(int x, int y, int pressure);
};
