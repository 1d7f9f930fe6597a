#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (a service manager stopping periphd, Ctrl-C in a
// terminal) into the Qt signal received() on the event-loop thread. The
// handler only writes the signal's number into a pipe; a socket notifier on
// the other end emits received() from the event loop, where the shutdown can
// do what a signal handler must not. Each handler fires once: a second
// signal of the same kind ends the process the default way, at once.
// One instance at a time; the previous handlers come back when it goes.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False if the pipe or a handler could not be set up (logged).
    bool isInstalled() const { return m_installed; }
    // "SIGTERM", "SIGINT", ...
    static QString name(int signalNumber);

signals:
    void received(int signalNumber);

private:
    void readPipe();

    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
};
