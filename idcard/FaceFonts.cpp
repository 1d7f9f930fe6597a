#include "FaceFonts.h"

#include "InstalledData.h"

#include <QDebug>
#include <QFileInfo>

#include <fontconfig/fontconfig.h>

namespace idcard {

bool loadFaceFontAliases(const QString& aliasFile)
{
    // fontconfig reads a relative name against its own configuration
    // folder, not the working directory.
    const QString path =
        QFileInfo(aliasFile.isEmpty() ? installedDataFile(QStringLiteral("fonts.conf")) : aliasFile).absoluteFilePath();
    if (!QFileInfo::exists(path)) {
        qWarning().noquote() << QStringLiteral("card face font aliases not found at %1; the faces use substitute fonts")
                                    .arg(path);
        return false;
    }
    if (!FcInit() || !FcConfigParseAndLoad(FcConfigGetCurrent(),
                                           reinterpret_cast<const FcChar8*>(path.toLocal8Bit().constData()), FcTrue)) {
        qWarning().noquote() << QStringLiteral("card face font aliases in %1 could not be loaded").arg(path);
        return false;
    }
    return true;
}

} // namespace idcard
