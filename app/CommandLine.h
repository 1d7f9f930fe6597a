#pragma once

#include "ServerOptions.h"

#include <QString>

class QCoreApplication;

struct AppOptions {
    ServerOptions server;   // the command line's; applySystemSettings adds periphd.conf's
    QString configFile;     // --config, else periphd.conf under the install prefix
    bool userFolder = false;  // work in the per-user folder, not the current one
    bool logFile = false;   // install the "log.txt" handler
    bool simulate = false;  // attach simulated devices instead of real ones

    // Which server settings the command line gave: they win over periphd.conf.
    struct {
        bool port = false;
        bool allowRemote = false;
        bool allowedOrigins = false;
    } given;
};

// The program's name and version, for --version and the logs.
void setApplicationIdentity();

// Answers --help and --version and exits, on a QCoreApplication of its own:
// they must work without a display, before the QApplication exists.
// Returns for every other command line.
void answerHelpOrVersion(int argc, char** argv);

// Parses the command line of the running application; --help and
// --version print and exit, a bad option prints the error and exits with 2.
AppOptions parseCommandLine(const QCoreApplication& app);

// Reads options.configFile and takes from it every server setting that the
// command line did not give. Problems with the file are logged.
void applySystemSettings(AppOptions& options);
