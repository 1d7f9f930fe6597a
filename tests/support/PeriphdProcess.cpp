#include "PeriphdProcess.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

PeriphdProcess::PeriphdProcess(QStringList extraArguments)
    : m_arguments(std::move(extraArguments))
    , m_port(freePort())
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(env);
}

PeriphdProcess::~PeriphdProcess()
{
    stop();
}

QString PeriphdProcess::binaryPath()
{
    return QStringLiteral(PERIPHD_BINARY);
}

quint16 PeriphdProcess::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QUrl PeriphdProcess::url() const
{
    return QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_port));
}

bool PeriphdProcess::launch()
{
    const QStringList port{QStringLiteral("--port"), QString::number(m_port)};
    m_process.start(m_program, (m_portArgument ? port : QStringList()) + m_arguments);
    return m_process.waitForStarted(10000);
}

bool PeriphdProcess::start(int timeoutMs)
{
    if (!launch())
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(200))
            return true;
        QTest::qWait(50);
    }
    return false;
}

void PeriphdProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray PeriphdProcess::standardError()
{
    m_stderr += m_process.readAllStandardError();
    return m_stderr;
}

QByteArray PeriphdProcess::standardOutput()
{
    m_stdout += m_process.readAllStandardOutput();
    return m_stdout;
}

bool PeriphdProcess::waitForStandardError(const QByteArray& needle, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!standardError().contains(needle)) {
        if (timer.elapsed() > timeoutMs)
            return false;
        m_process.waitForReadyRead(100);
    }
    return true;
}

bool PeriphdProcess::waitForStandardOutput(const QByteArray& needle, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!standardOutput().contains(needle)) {
        if (timer.elapsed() > timeoutMs)
            return false;
        m_process.waitForReadyRead(100);
    }
    return true;
}
