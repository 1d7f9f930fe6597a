#include "SystemSettings.h"

#include <QFileInfo>
#include <QSettings>
#include <QUrl>
#include <QtDebug>

namespace {

const QString kPort = QStringLiteral("server/port");
const QString kAllowRemote = QStringLiteral("server/allow-remote");
const QString kAllowedOrigins = QStringLiteral("server/allowed-origins");

void complain(const QString& path, const QString& what)
{
    qWarning().noquote() << QStringLiteral("%1: %2").arg(path, what);
}

// QSettings hands back "a, b" as a list and "a" as a string; either way the
// text as written.
QString asText(const QVariant& value)
{
    return value.type() == QVariant::StringList ? value.toStringList().join(QStringLiteral(", ")) : value.toString();
}

std::optional<quint16> readPort(const QString& path, const QVariant& value)
{
    bool ok = false;
    const uint port = asText(value).trimmed().toUInt(&ok, 10);
    if (!ok || port > 65535) {
        complain(path, QStringLiteral("port '%1' is not a port number (0-65535); ignored").arg(asText(value)));
        return std::nullopt;
    }
    return static_cast<quint16>(port);
}

// Only the usual spellings: QVariant would take any other word, "no"
// included, as true.
std::optional<bool> readSwitch(const QString& path, const QString& key, const QVariant& value)
{
    const QString text = asText(value).trimmed().toLower();
    if (text == QLatin1String("true") || text == QLatin1String("yes") || text == QLatin1String("on") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("no") || text == QLatin1String("off") || text == QLatin1String("0"))
        return false;
    complain(path, QStringLiteral("%1 '%2' is neither true nor false; ignored").arg(key, asText(value)));
    return std::nullopt;
}

QStringList readOrigins(const QString& path, const QVariant& value)
{
    QStringList origins;
    for (const QString& entry : value.toStringList()) {
        const QString origin = entry.trimmed();
        if (origin.isEmpty())
            continue;
        // A badly written origin stays in the list: dropping it could leave
        // the list empty, and an empty list lets every page in.
        const QString problem = originProblem(origin);
        if (!problem.isEmpty())
            complain(path, problem);
        origins << origin;
    }
    return origins;
}

} // namespace

QString defaultConfigFile()
{
    return QStringLiteral(PERIPHD_CONFIG_FILE);
}

SystemSettings readSystemSettings(const QString& path)
{
    SystemSettings settings;
    const QFileInfo file(path);
    if (!file.exists())
        return settings;
    if (!file.isFile() || !file.isReadable()) {
        complain(path, QStringLiteral("cannot be read; the defaults apply"));
        return settings;
    }
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError) {
        complain(path, QStringLiteral("is not a valid settings file; the defaults apply"));
        return settings;
    }
    for (const QString& key : ini.allKeys()) {
        if (key.isEmpty() || key.endsWith(QLatin1Char('/'))) {
            complain(path, QStringLiteral("a line without a setting name ignored"));
            continue;
        }
        const QVariant value = ini.value(key);
        if (key == kPort)
            settings.port = readPort(path, value);
        else if (key == kAllowRemote)
            settings.allowRemote = readSwitch(path, QStringLiteral("allow-remote"), value);
        else if (key == kAllowedOrigins)
            settings.allowedOrigins = readOrigins(path, value);
        else
            // Most likely a misspelt setting, which would otherwise be lost
            // without a word (an origin list, say).
            complain(path, QStringLiteral("unknown setting '%1' ignored (known: [server] port, allowed-origins, "
                                          "allow-remote)").arg(key));
    }
    return settings;
}

QString originProblem(const QString& origin)
{
    const QUrl url(origin, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty() || url.host().isEmpty() || !url.userInfo().isEmpty()
        || (!url.path().isEmpty() && url.path() != QLatin1String("/")) || url.hasQuery() || url.hasFragment())
        return QStringLiteral("allowed origin '%1' is not an origin: browsers send scheme://host[:port], "
                              "for example https://counter.example.com")
            .arg(origin);
    QString host = url.host(QUrl::EncodeUnicode).toLower();
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']'); // IPv6
    QString canonical = url.scheme().toLower() + QStringLiteral("://") + host;
    const int defaultPort = url.scheme() == QLatin1String("https") ? 443 : url.scheme() == QLatin1String("http") ? 80 : -1;
    if (url.port() != -1 && url.port() != defaultPort)
        canonical += QLatin1Char(':') + QString::number(url.port());
    if (canonical != origin)
        return QStringLiteral("allowed origin '%1' will never match: browsers send it as '%2'").arg(origin, canonical);
    return {};
}
