#include "LoadSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QWebSocket>

namespace load {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

Target::Target(const QString& program, const QStringList& arguments, quint16 port,
               const QProcessEnvironment& extraEnvironment)
    : m_port(port)
{
    m_process.setStandardOutputFile(QProcess::nullDevice());
    m_process.setStandardErrorFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(extraEnvironment);
    m_process.setProcessEnvironment(env);
    m_process.start(program, arguments);
}

Target::~Target()
{
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

bool Target::waitListening()
{
    for (int i = 0; i < 200 && m_process.state() != QProcess::NotRunning; ++i) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(100))
            return true;
        QThread::msleep(25);
    }
    return false;
}

bool waitFor(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

std::vector<std::unique_ptr<QWebSocket>> connectClients(const QUrl& url, int count)
{
    std::vector<std::unique_ptr<QWebSocket>> clients;
    int connected = 0;
    for (int i = 0; i < count; ++i) {
        clients.push_back(std::make_unique<QWebSocket>());
        QObject::connect(clients.back().get(), &QWebSocket::connected, [&connected] { ++connected; });
        clients.back()->open(url);
    }
    if (!waitFor([&] { return connected == count; }, 10000))
        clients.clear();
    for (auto& client : clients)
        client->disconnect();
    return clients;
}

} // namespace load
