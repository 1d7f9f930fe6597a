// Writes Chromium's managed policy that lets the pages periphd.conf allows
// reach periphd without the Local Network Access prompt: the installed
// template with LocalNetworkAccessAllowedForUrls set to those origins.
#include "SystemSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <cstdio>

namespace {

const char* const kPolicy = "LocalNetworkAccessAllowedForUrls";

int failWith(const QString& message)
{
    std::fprintf(stderr, "periphd-chromium-policy: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("periphd-chromium-policy"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PERIPHD_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes the Chromium policy that lets the origins allowed in periphd.conf connect to periphd "
        "without asking the user for Local Network Access. Restart Chromium afterwards; chrome://policy "
        "shows the policy. Delete the file to withdraw it."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption configOption(QStringLiteral("config"),
                                          QStringLiteral("periphd's settings file (default %1).").arg(defaultConfigFile()),
                                          QStringLiteral("file"), defaultConfigFile());
    const QString defaultTemplate = QStringLiteral(PERIPHD_DATADIR "/chromium-policy.json");
    const QCommandLineOption templateOption(QStringLiteral("template"),
                                            QStringLiteral("The policy template (default %1).").arg(defaultTemplate),
                                            QStringLiteral("file"), defaultTemplate);
    const QString defaultOutput = QStringLiteral("/etc/chromium/policies/managed/periphd.json");
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("Where to write the policy (default %1, Chromium's managed policies; Google Chrome reads "
                       "/etc/opt/chrome/policies/managed). - writes to standard output.")
            .arg(defaultOutput),
        QStringLiteral("file"), defaultOutput);
    parser.addOptions({configOption, templateOption, outputOption});
    parser.process(app);

    const QString config = parser.value(configOption);
    if (!QFileInfo::exists(config))
        return failWith(QStringLiteral("%1 does not exist").arg(config));
    const QStringList origins = readSystemSettings(config).allowedOrigins.value_or(QStringList());
    if (origins.isEmpty())
        return failWith(QStringLiteral("%1 sets no allowed-origins, so periphd admits every page; a policy cannot "
                                       "name every page. List the pages' origins under [server] allowed-origins.")
                            .arg(config));
    for (const QString& origin : origins)
        if (const QString problem = originProblem(origin); !problem.isEmpty())
            return failWith(QStringLiteral("%1: %2").arg(config, problem));

    QFile templateFile(parser.value(templateOption));
    if (!templateFile.open(QIODevice::ReadOnly))
        return failWith(QStringLiteral("cannot read the template %1").arg(templateFile.fileName()));
    QJsonParseError error{};
    QJsonObject policy = QJsonDocument::fromJson(templateFile.readAll(), &error).object();
    if (error.error != QJsonParseError::NoError)
        return failWith(QStringLiteral("the template %1 is not JSON: %2").arg(templateFile.fileName(), error.errorString()));
    policy.insert(QLatin1String(kPolicy), QJsonArray::fromStringList(origins));
    const QByteArray text = QJsonDocument(policy).toJson(QJsonDocument::Indented);

    const QString output = parser.value(outputOption);
    if (output == QLatin1String("-")) {
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return 0;
    }
    if (!QDir().mkpath(QFileInfo(output).absolutePath()))
        return failWith(QStringLiteral("cannot create the folder of %1").arg(output));
    QSaveFile file(output);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()
        || !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                | QFileDevice::ReadOther)
        || !file.commit())
        return failWith(QStringLiteral("cannot write %1: %2").arg(output, file.errorString()));
    std::printf("%s: Chromium lets %s reach periphd without asking; restart Chromium to apply it.\n",
                qPrintable(output), qPrintable(origins.join(QStringLiteral(", "))));
    return 0;
}
