#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <QUrl>

// The built periphd binary, started on a free port with the offscreen
// platform, for tests that talk to the real program.
class PeriphdProcess {
public:
    explicit PeriphdProcess(QStringList extraArguments = {});
    ~PeriphdProcess();

    // Starts the program and waits (bounded) until it accepts connections.
    bool start(int timeoutMs = 15000);
    // Starts it without waiting for the listening socket (for start-up
    // failures); returns false if it could not be launched.
    bool launch();
    void stop();

    quint16 port() const { return m_port; }
    void setPort(quint16 port) { m_port = port; }
    // Leaves --port off the command line: the program takes its port from
    // elsewhere (its settings file); port() is where start() waits for it.
    void omitPortArgument() { m_portArgument = false; }
    QUrl url() const;
    QProcess& process() { return m_process; }
    void setWorkingDirectory(const QString& dir) { m_process.setWorkingDirectory(dir); }
    // Runs a copy of the program from elsewhere (default: binaryPath()).
    void setProgram(const QString& path) { m_program = path; }

    // Everything written to standard error / output so far.
    QByteArray standardError();
    QByteArray standardOutput();
    bool waitForStandardError(const QByteArray& needle, int timeoutMs = 10000);
    bool waitForStandardOutput(const QByteArray& needle, int timeoutMs = 10000);

    static quint16 freePort();
    static QString binaryPath();

private:
    QStringList m_arguments;
    quint16 m_port = 0;
    bool m_portArgument = true;
    QProcess m_process;
    QString m_program = binaryPath();
    QByteArray m_stderr;
    QByteArray m_stdout;
};
