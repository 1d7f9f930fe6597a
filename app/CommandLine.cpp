#include "CommandLine.h"

#include "SystemSettings.h"
#include "WorkingFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QtDebug>

#include <cstdio>
#include <cstdlib>

AppOptions parseCommandLine(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Peripheral service: web pages on this computer drive the signature pad, card readers and cameras "
        "over a local WebSocket server."));
    parser.addHelpOption();
    parser.addVersionOption();

    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Listen on <port> (default %1).").arg(ServerOptions::defaultPort),
                                        QStringLiteral("port"), QString::number(ServerOptions::defaultPort));
    const QCommandLineOption remoteOption(
        QStringLiteral("allow-remote"),
        QStringLiteral("Also accept connections from other computers (by default only loopback peers "
                       "addressing localhost are accepted)."));
    const QCommandLineOption originOption(
        QStringLiteral("allowed-origin"),
        QStringLiteral("Accept only pages from <origin>, for example http://localhost:8080 (repeatable; "
                       "by default every origin is accepted)."),
        QStringLiteral("origin"));
    const QCommandLineOption logFileOption(QStringLiteral("log-file"),
                                           QStringLiteral("Append log lines to log.txt in the working directory "
                                                          "instead of standard error."));
    const QCommandLineOption userFolderOption(
        QStringLiteral("user-folder"),
        QStringLiteral("Work in the per-user folder %1 (created with mode 0700; from $XDG_STATE_HOME, by "
                       "default ~/.local/state/periphd): card images and log.txt go there. The autostart entry "
                       "and the systemd user unit use it; without it periphd works in the current directory.")
            .arg(userFolderPath()));
    const QCommandLineOption configOption(
        QStringLiteral("config"),
        QStringLiteral("Read the administrator's settings (port, allowed origins, remote access) from <file> "
                       "instead of %1; the options above override them.")
            .arg(defaultConfigFile()),
        QStringLiteral("file"), defaultConfigFile());
    const QCommandLineOption simulateOption(QStringLiteral("simulate"),
                                            QStringLiteral("Attach simulated devices instead of real ones."));
    parser.addOptions({portOption, remoteOption, originOption, logFileOption, userFolderOption, configOption,
                       simulateOption});
    parser.process(app);

    AppOptions options;
    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "periphd: invalid port '%s'\n", qPrintable(parser.value(portOption)));
        std::exit(2);
    }
    options.server.port = static_cast<quint16>(port);
    options.server.allowRemote = parser.isSet(remoteOption);
    options.server.allowedOrigins = parser.values(originOption);
    options.given.port = parser.isSet(portOption);
    options.given.allowRemote = options.server.allowRemote;
    options.given.allowedOrigins = parser.isSet(originOption);
    options.configFile = parser.value(configOption);
    options.userFolder = parser.isSet(userFolderOption);
    options.logFile = parser.isSet(logFileOption);
    options.simulate = parser.isSet(simulateOption);
    return options;
}

void applySystemSettings(AppOptions& options)
{
    const SystemSettings file = readSystemSettings(options.configFile);
    if (file.port && !options.given.port)
        options.server.port = *file.port;
    if (file.allowRemote && !options.given.allowRemote)
        options.server.allowRemote = *file.allowRemote;
    if (file.allowedOrigins && !options.given.allowedOrigins)
        options.server.allowedOrigins = *file.allowedOrigins;
    else
        for (const QString& origin : options.server.allowedOrigins)
            if (const QString problem = originProblem(origin); !problem.isEmpty())
                qWarning().noquote() << QStringLiteral("--allowed-origin: %1").arg(problem);
}
