#pragma once

// What the server benchmarks share: a server process under test, waiting
// on the event loop, and opening many clients at once.
#include <QProcess>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>
#include <vector>

class QWebSocket;

namespace load {

quint16 freePort();

// A server process under test on the offscreen platform, its output
// discarded; stopped when the object goes.
class Target {
public:
    Target(const QString& program, const QStringList& arguments, quint16 port,
           const QProcessEnvironment& extraEnvironment = {});
    ~Target();

    bool waitListening();
    QUrl url() const { return QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_port)); }
    qint64 pid() const { return m_process.processId(); }
    bool running() const { return m_process.state() == QProcess::Running; }

private:
    quint16 m_port;
    QProcess m_process;
};

// Runs the event loop until done() or the time-out; false on time-out.
bool waitFor(const std::function<bool()>& done, int timeoutMs);

// Opens count clients at once and waits until all are connected; empty if
// they were not within 10 s.
std::vector<std::unique_ptr<QWebSocket>> connectClients(const QUrl& url, int count);

} // namespace load
