#pragma once

#include <QByteArray>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// Collects the Qt log lines of every thread while alive.
class LogCapture {
public:
    LogCapture()
    {
        s_instance = this;
        m_previous = qInstallMessageHandler(&LogCapture::handler);
    }
    ~LogCapture()
    {
        qInstallMessageHandler(m_previous);
        s_instance = nullptr;
    }
    QStringList lines() const
    {
        QMutexLocker lock(&m_mutex);
        return m_lines;
    }
    int count(const QString& line) const { return lines().count(line); }

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString& message)
    {
        if (LogCapture* self = s_instance) {
            QMutexLocker lock(&self->m_mutex);
            self->m_lines << message;
        }
    }
    static inline LogCapture* s_instance = nullptr;
    QtMessageHandler m_previous;
    mutable QMutex m_mutex;
    QStringList m_lines;
};

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
