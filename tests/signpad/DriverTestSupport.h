#pragma once

#include "LogCapture.h"
#include "QGetHandWrtingDevData.h"

#include <QCoreApplication>
#include <QMutex>
#include <QObject>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// Redirects a standard stream (1 or 2) into a temporary file while alive.
class StreamCapture {
public:
    explicit StreamCapture(int fd)
        : m_fd(fd)
    {
        fflush(stdout);
        fflush(stderr);
        m_file = tmpfile();
        m_saved = dup(fd);
        dup2(fileno(m_file), fd);
    }
    ~StreamCapture() { restore(); }
    QByteArray text()
    {
        restore();
        QByteArray all;
        rewind(m_file);
        char chunk[512];
        size_t got;
        while ((got = fread(chunk, 1, sizeof chunk, m_file)) > 0)
            all.append(chunk, int(got));
        return all;
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        fflush(stdout);
        fflush(stderr);
        dup2(m_saved, m_fd);
        close(m_saved);
        m_saved = -1;
    }
    int m_fd;
    int m_saved = -1;
    FILE* m_file = nullptr;
};

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
