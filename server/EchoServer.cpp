#include "EchoServer.h"

#include "HandshakeGate.h"
#include "TextMessageProcessor.h"

#include <QDebug>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

EchoServer::EchoServer(quint16 port, bool debug, QObject* parent)
    : EchoServer([port] {
          ServerOptions options;
          options.port = port;
          return options;
      }(), debug, parent)
{
}

EchoServer::EchoServer(const ServerOptions& options, bool debug, QObject* parent)
    : QObject(parent)
    , webSocketServer(new QWebSocketServer(QStringLiteral("Echo Server"), QWebSocketServer::NonSecureMode, this))
    , debugOutput(debug)
    , processor(new CTextMessageProcessor(this))
    , m_gate(new HandshakeGate(options, this))
{
    m_listening = m_gate->listen(options.port);
    if (!m_listening) {
        m_error = m_gate->errorString();
        return;
    }
    if (debugOutput)
        qDebug() << "Echoserver listening on port" << m_gate->serverPort();
    // The gate listens; the WebSocket server only performs handshakes on
    // the connections it admits.
    connect(m_gate, &HandshakeGate::admitted, webSocketServer, &QWebSocketServer::handleConnection);
    connect(webSocketServer, &QWebSocketServer::newConnection, this, &EchoServer::onNewConnection);
    connect(webSocketServer, &QWebSocketServer::closed, this, &EchoServer::closed);
}

EchoServer::~EchoServer()
{
    webSocketServer->close();
    qDeleteAll(clients.begin(), clients.end());
}

void EchoServer::shutDown()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    m_gate->close();
    if (clients.isEmpty()) {
        finishShutdown();
        return;
    }
    // A copy: a socket that has nothing left to write disconnects, and
    // leaves the list, inside close().
    const QList<QWebSocket*> open = clients;
    for (QWebSocket* client : open)
        client->close(QWebSocketProtocol::CloseCodeGoingAway, QStringLiteral("periphd is stopping"));
    if (!clients.isEmpty())
        QTimer::singleShot(kShutdownGraceMs, this, &EchoServer::finishShutdown);
}

void EchoServer::finishShutdown()
{
    if (m_finished)
        return;
    m_finished = true;
    // The WebSocket server emits its closed(), and with it ours, from the
    // event loop, so what the sockets still had to write goes out first.
    webSocketServer->close();
}

quint16 EchoServer::port() const
{
    return m_gate->serverPort();
}

void EchoServer::onNewConnection()
{
    QWebSocket* socket = webSocketServer->nextPendingConnection();
    if (!socket)
        return;
    // Larger messages are refused with close code 1009 instead of being
    // buffered and parsed.
    socket->setMaxAllowedIncomingFrameSize(ServerOptions::maxMessageBytes);
    socket->setMaxAllowedIncomingMessageSize(ServerOptions::maxMessageBytes);
    connect(socket, &QWebSocket::textMessageReceived, this, &EchoServer::processTextMessage);
    connect(socket, &QWebSocket::binaryMessageReceived, this, &EchoServer::processBinaryMessage);
    connect(socket, &QWebSocket::disconnected, this, &EchoServer::socketDisconnected);
    clients << socket;
}

void EchoServer::processTextMessage(QString message)
{
    QWebSocket* client = qobject_cast<QWebSocket*>(sender());
    if (debugOutput)
        qDebug() << "Message received:" << message;
    // Handled from the event loop, not under the socket's own signal: a
    // handler may run a nested event loop (the signing window) during which
    // the page disconnects, and the socket's frame reader must not be on the
    // stack when that happens. Posted events keep the messages in order; a
    // socket freed meanwhile is passed on as null.
    QPointer<QWebSocket> guarded(client);
    QMetaObject::invokeMethod(
        this, [this, guarded, message] { processor->Process(guarded.data(), message); }, Qt::QueuedConnection);
}

void EchoServer::processBinaryMessage(QByteArray message)
{
    QWebSocket* client = qobject_cast<QWebSocket*>(sender());
    if (debugOutput)
        qDebug() << "Binary Message received:" << message;
    if (client)
        client->sendBinaryMessage(message);
}

void EchoServer::socketDisconnected()
{
    QWebSocket* client = qobject_cast<QWebSocket*>(sender());
    if (debugOutput)
        qDebug() << "socketDisconnected:" << client;
    if (!client)
        return;
    if (client->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData)
        qWarning().noquote() << QStringLiteral("closed connection from %1: message larger than %2 bytes refused")
                                    .arg(handshake::peerName(client->peerAddress()))
                                    .arg(ServerOptions::maxMessageBytes);
    clients.removeAll(client);
    client->deleteLater();
    if (m_shuttingDown && clients.isEmpty())
        finishShutdown();
}
