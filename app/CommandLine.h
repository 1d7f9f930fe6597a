#pragma once

#include "ServerOptions.h"

class QCoreApplication;

struct AppOptions {
    ServerOptions server;
    bool logFile = false;   // install the "log.txt" handler
    bool simulate = false;  // attach simulated devices instead of real ones
};

// Parses the command line of the running application; --help and
// --version print and exit, a bad option prints the error and exits with 2.
AppOptions parseCommandLine(const QCoreApplication& app);
