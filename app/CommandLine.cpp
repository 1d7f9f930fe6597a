#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

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
    const QCommandLineOption simulateOption(QStringLiteral("simulate"),
                                            QStringLiteral("Attach simulated devices instead of real ones."));
    parser.addOptions({portOption, remoteOption, originOption, logFileOption, simulateOption});
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
    options.logFile = parser.isSet(logFileOption);
    options.simulate = parser.isSet(simulateOption);
    return options;
}
