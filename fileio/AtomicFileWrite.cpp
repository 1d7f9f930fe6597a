#include "AtomicFileWrite.h"

#include <QDebug>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

bool writeFileAtomically(const QString& path, const QByteArray& bytes, unsigned mode)
{
    const QFileInfo info(path);
    const QByteArray finalName = QFile::encodeName(info.absoluteFilePath());
    // Hidden and random: mkstemp creates it with O_CREAT|O_EXCL, so a name
    // planted in advance makes it pick another rather than open the plant.
    QByteArray tempName = QFile::encodeName(info.absolutePath() + QLatin1String("/.") + info.fileName())
                          + ".XXXXXX";
    const int fd = mkstemp(tempName.data());
    if (fd < 0) {
        qWarning("cannot create a temporary file next to %s: %s", finalName.constData(), strerror(errno));
        return false;
    }
    bool ok = true;
    const char* data = bytes.constData();
    qint64 left = bytes.size();
    while (ok && left > 0) {
        const ssize_t n = ::write(fd, data, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        left -= n;
    }
    // mkstemp made it 0600; widen it only when asked to.
    ok = ok && fchmod(fd, mode_t(mode)) == 0 && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    // rename(2) replaces the directory entry itself; a symbolic link at the
    // name is not followed.
    if (ok && ::rename(tempName.constData(), finalName.constData()) == 0)
        return true;
    qWarning("cannot write %s: %s", finalName.constData(), strerror(errno));
    ::unlink(tempName.constData());
    return false;
}
