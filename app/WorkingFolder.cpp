#include "WorkingFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtDebug>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString homeFolder()
{
    const QByteArray home = qgetenv("HOME");
    if (!home.isEmpty())
        return QString::fromLocal8Bit(home);
    const passwd* entry = ::getpwuid(::getuid());
    return entry ? QString::fromLocal8Bit(entry->pw_dir) : QString();
}

bool fail(const QString& path, const QString& why)
{
    qCritical().noquote() << QStringLiteral("cannot use the folder %1: %2").arg(path, why);
    return false;
}

// mkdir -p with mode 0700 for what is created; existing folders stay as they are.
bool makeFolders(const QString& path)
{
    QString prefix;
    for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        prefix += QLatin1Char('/') + part;
        if (::mkdir(QFile::encodeName(prefix).constData(), 0700) != 0 && errno != EEXIST)
            return fail(path, QStringLiteral("cannot create %1: %2").arg(prefix, QString::fromLocal8Bit(std::strerror(errno))));
    }
    return true;
}

} // namespace

QString userFolderPath()
{
    // A relative XDG_STATE_HOME is invalid and to be ignored.
    QString state = QString::fromLocal8Bit(qgetenv("XDG_STATE_HOME"));
    if (!QDir::isAbsolutePath(state))
        state = homeFolder() + QStringLiteral("/.local/state");
    return QDir::cleanPath(state + QStringLiteral("/periphd"));
}

bool enterUserFolder()
{
    const QString path = userFolderPath();
    if (!QDir::isAbsolutePath(path))
        return fail(path, QStringLiteral("neither HOME nor XDG_STATE_HOME names a folder"));
    if (!makeFolders(path))
        return false;

    // Checked and changed through one descriptor, so what is checked is what
    // becomes the working directory.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return fail(path, QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info {};
    bool ok = ::fstat(fd, &info) == 0;
    if (ok && info.st_uid != ::getuid()) {
        ok = fail(path, QStringLiteral("it belongs to another user (uid %1)").arg(info.st_uid));
    } else if (ok && (info.st_mode & 077) != 0) {
        qWarning().noquote() << QStringLiteral("%1 was open to other users (mode %2); now 0700")
                                    .arg(path, QString::number(info.st_mode & 0777, 8));
        if (::fchmod(fd, 0700) != 0)
            ok = fail(path, QStringLiteral("cannot make it private: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (ok && ::fchdir(fd) != 0)
        ok = fail(path, QString::fromLocal8Bit(std::strerror(errno)));
    ::close(fd);
    if (!ok)
        return false;
    qWarning().noquote() << QStringLiteral("working folder %1").arg(path);
    if (QFileInfo(QStringLiteral("log.txt")).size() > kLogLimitBytes
        && ::rename("log.txt", "log.txt.1") != 0)
        qWarning().noquote() << QStringLiteral("cannot move the full log.txt aside: %1")
                                    .arg(QString::fromLocal8Bit(std::strerror(errno)));
    return true;
}
