#include "CommandLine.h"

#include "SystemSettings.h"
#include "WorkingFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QtDebug>

#include <cstdio>
#include <cstdlib>

namespace {

// periphd's options, in the order --help lists them.
struct Parser {
    Parser();

    QCommandLineParser parser;
    QCommandLineOption help;
    QCommandLineOption version;
    QCommandLineOption port;
    QCommandLineOption remote;
    QCommandLineOption origin;
    QCommandLineOption logFile;
    QCommandLineOption userFolder;
    QCommandLineOption config;
    QCommandLineOption simulate;
};

Parser::Parser()
    : help(parser.addHelpOption())
    , version(parser.addVersionOption())
    , port(QStringLiteral("port"), QStringLiteral("Listen on <port> (default %1).").arg(ServerOptions::defaultPort),
           QStringLiteral("port"), QString::number(ServerOptions::defaultPort))
    , remote(QStringLiteral("allow-remote"),
             QStringLiteral("Also accept connections from other computers (by default only loopback peers "
                            "addressing localhost are accepted)."))
    , origin(QStringLiteral("allowed-origin"),
             QStringLiteral("Accept only pages from <origin>, for example http://localhost:8080 (repeatable; "
                            "by default every origin is accepted)."),
             QStringLiteral("origin"))
    , logFile(QStringLiteral("log-file"),
              QStringLiteral("Append log lines to log.txt in the working directory instead of standard error."))
    , userFolder(QStringLiteral("user-folder"),
                 QStringLiteral("Work in the per-user folder %1 (created with mode 0700; from $XDG_STATE_HOME, by "
                                "default ~/.local/state/periphd): card images and log.txt go there. The autostart "
                                "entry and the systemd user unit use it; without it periphd works in the current "
                                "directory.")
                     .arg(userFolderPath()))
    , config(QStringLiteral("config"),
             QStringLiteral("Read the administrator's settings (port, allowed origins, remote access) from <file> "
                            "instead of %1; the options above override them.")
                 .arg(defaultConfigFile()),
             QStringLiteral("file"), defaultConfigFile())
    , simulate(QStringLiteral("simulate"), QStringLiteral("Attach simulated devices instead of real ones."))
{
    parser.setApplicationDescription(QStringLiteral(
        "Peripheral service: web pages on this computer drive the signature pad, card readers and cameras "
        "over a local WebSocket server. SIGTERM or SIGINT stops it: clients are closed with 1001 (going "
        "away), the pad is released, and it exits with status 0."));
    parser.addOptions({port, remote, origin, logFile, userFolder, config, simulate});
}

} // namespace

void setApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("periphd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PERIPHD_VERSION));
}

void answerHelpOrVersion(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    setApplicationIdentity();
    Parser p;
    // Only these two are answered here; mistakes, and the windowing
    // system's own options, are for the full parse under the QApplication.
    p.parser.parse(app.arguments());
    if (p.parser.isSet(p.version))
        p.parser.showVersion();
    if (p.parser.isSet(p.help))
        p.parser.showHelp(0);
}

AppOptions parseCommandLine(const QCoreApplication& app)
{
    Parser p;
    QCommandLineParser& parser = p.parser;
    parser.process(app);

    AppOptions options;
    bool portOk = false;
    const uint port = parser.value(p.port).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "periphd: invalid port '%s'\n", qPrintable(parser.value(p.port)));
        std::exit(2);
    }
    options.server.port = static_cast<quint16>(port);
    options.server.allowRemote = parser.isSet(p.remote);
    options.server.allowedOrigins = parser.values(p.origin);
    options.given.port = parser.isSet(p.port);
    options.given.allowRemote = options.server.allowRemote;
    options.given.allowedOrigins = parser.isSet(p.origin);
    options.configFile = parser.value(p.config);
    options.userFolder = parser.isSet(p.userFolder);
    options.logFile = parser.isSet(p.logFile);
    options.simulate = parser.isSet(p.simulate);
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
