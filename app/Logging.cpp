#include "Logging.h"

#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QTextStream>

#include <cstdlib>

void outputMessage(QtMsgType type, const QMessageLogContext& /*context*/, const QString& msg)
{
    // One mutex for formatting and the whole open-write-close cycle, so lines
    // from the sampling thread and the event loop never interleave.
    static QMutex mutex;
    mutex.lock();

    QString level;
    switch (type) {
    case QtDebugMsg: level = QStringLiteral("Debug:"); break;
    case QtWarningMsg: level = QStringLiteral("Warning:"); break;
    case QtCriticalMsg: level = QStringLiteral("Critical:"); break;
    case QtFatalMsg: std::abort();
    default: break;
    }

    const QString line = QStringLiteral("[%1] %2 %3")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ddd")),
                                  level, msg);
    QFile file(QStringLiteral("log.txt"));
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        QTextStream stream(&file);
        stream << line << "\n";
        stream.flush();
        file.close();
    }
    mutex.unlock();
}
