#pragma once

#include "ServerOptions.h"

#include <QObject>
#include <QList>
#include <QTcpServer>

class QHostAddress;
class QTcpSocket;

// Listens for TCP connections and lets through to the WebSocket server only
// those whose peer, Host header and Origin header the options admit. A refusal
// is answered with HTTP 403 before any WebSocket handshake and is logged.
class HandshakeGate : public QObject {
    Q_OBJECT
public:
    explicit HandshakeGate(const ServerOptions& options, QObject* parent = nullptr);

    bool listen(quint16 port);
    // Stops listening; connections already admitted are not affected.
    void close() { m_tcpServer.close(); }
    QString errorString() const { return m_tcpServer.errorString(); }
    quint16 serverPort() const { return m_tcpServer.serverPort(); }

signals:
    // The socket's handshake request is buffered and unread.
    void admitted(QTcpSocket* socket);

private:
    void onNewConnection();
    void inspect(QTcpSocket* socket);
    void stopWatching(QTcpSocket* socket);
    void refuse(QTcpSocket* socket, const QString& reason, const QByteArray& host, const QByteArray& origin);

    ServerOptions m_options;
    QTcpServer m_tcpServer;
};

// Exposed for tests: the decisions of the gate as plain functions.
namespace handshake {
bool isLoopbackHost(const QByteArray& hostHeader);
QString peerName(const QHostAddress& address);
QList<QByteArray> headerValues(const QByteArray& request, const QByteArray& name);
}
