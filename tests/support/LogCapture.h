#pragma once

#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

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
