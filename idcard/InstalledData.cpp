#include "InstalledData.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace idcard {

QString installedDataFile(const QString& name, const QString& applicationDir)
{
    const QString dir = applicationDir.isEmpty() ? QCoreApplication::applicationDirPath() : applicationDir;
    return QDir::cleanPath(dir + QStringLiteral("/" PERIPHD_DATA_FROM_BINDIR "/") + name);
}

QString faceTemplatePath(const QString& name, const QString& applicationDir)
{
    const QString local = QStringLiteral("./") + name;
    if (QFileInfo::exists(local))
        return local;
    const QString installed = installedDataFile(name, applicationDir);
    return QFileInfo::exists(installed) ? installed : local;
}

} // namespace idcard
