#include "CommandLine.h"
#include "EchoServer.h"
#include "FaceFonts.h"
#include "GlobalObject.h"
#include "Logging.h"
#include "SimulatedCameras.h"
#include "SimulationMode.h"
#include "TerminationSignals.h"
#include "VirtualSimCard.h"
#include "WorkingFolder.h"

#include <QApplication>
#include <QDebug>

int main(int argc, char** argv)
{
    qDebug("hello world");
    qWarning("hello World");
    qDebug("This is a debug message");
    qWarning("This is a warning message");
    qCritical("This is a critical message");
    qDebug() << "****";
    qWarning("20220711"); // build-date marker of this release

    answerHelpOrVersion(argc, argv);
    QApplication app(argc, argv);
    setApplicationIdentity();
    // Early: a stop that comes during start-up waits in the pipe and is
    // taken up as soon as the event loop runs.
    TerminationSignals termination;
    AppOptions options = parseCommandLine(app);
    if (options.userFolder && !enterUserFolder())
        return 1;
    if (options.logFile)
        qInstallMessageHandler(outputMessage);
    applySystemSettings(options);
    idcard::loadFaceFontAliases(); // before anything draws text
    if (options.simulate) {
        enableSimulation(); // before anything touches USB
        camera::useSimulatedCameras(); // before any camera window opens
        // The SIM card goes into the vpcd reader, if pcscd runs one.
        qWarning().noquote() << QStringLiteral("simulated SIM card for the vpcd reader on port %1")
                                    .arg(simdevices::startVirtualSimCard().port());
    }

    // Destroyed before the application object, when main returns: with it
    // go the processor, the sockets and the listening socket.
    EchoServer server(options.server, false, nullptr);
    if (!server.isListening()) {
        // A silent process that serves nothing helps nobody: say so and let
        // a second instance or a supervisor see the failure.
        qCritical().noquote() << QStringLiteral("cannot listen on port %1: %2")
                                     .arg(options.server.port)
                                     .arg(server.errorString());
        return 1;
    }
    QObject::connect(&server, &EchoServer::closed, &app, &QCoreApplication::quit);
    // Quitting ends every event loop, the windows' nested ones included:
    // their handlers return (the page's socket is closed by then, so they
    // answer nobody) and free their windows and cameras before exec() does.
    QObject::connect(&termination, &TerminationSignals::received, &server, [&server](int signalNumber) {
        qWarning().noquote() << QStringLiteral("%1: stopping").arg(TerminationSignals::name(signalNumber));
        server.shutDown();
    });
    const int status = app.exec();
    g_globalObj->releasePad();
    // The simulated SIM card's thread talks to vpcd until stopped; end it
    // before the process tears down what it uses.
    if (simdevices::VirtualSimCard* card = simdevices::simulatedSimCard())
        card->stop();
    return status;
}
