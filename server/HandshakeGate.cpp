#include "HandshakeGate.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace {
// A browser's upgrade request is well under this; anything larger is not one.
constexpr int maxRequestBytes = 16 * 1024;
constexpr int requestTimeoutMs = 10000;
}

namespace handshake {

QList<QByteArray> headerValues(const QByteArray& request, const QByteArray& name)
{
    QList<QByteArray> values;
    const QList<QByteArray> lines = request.left(request.indexOf("\r\n\r\n")).split('\n');
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            values << line.mid(colon + 1).trimmed();
    }
    return values;
}

bool isLoopbackHost(const QByteArray& hostHeader)
{
    QByteArray host = hostHeader.trimmed().toLower();
    if (host.startsWith('[')) {
        const int end = host.indexOf(']');
        if (end < 0)
            return false;
        host = host.mid(1, end - 1);
    } else if (host.count(':') == 1) {
        host = host.left(host.indexOf(':'));
    }
    if (host == "localhost" || host.endsWith(".localhost"))
        return true;
    QHostAddress address;
    return address.setAddress(QString::fromLatin1(host)) && address.isLoopback();
}

QString peerName(const QHostAddress& address)
{
    // Dual-stack sockets report IPv4 peers as ::ffff:a.b.c.d.
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace handshake

HandshakeGate::HandshakeGate(const ServerOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
{
    connect(&m_tcpServer, &QTcpServer::newConnection, this, &HandshakeGate::onNewConnection);
}

bool HandshakeGate::listen(quint16 port)
{
    // Any address keeps both IPv4 and IPv6 loopback reachable; peers beyond
    // loopback are turned away per connection unless allowed.
    return m_tcpServer.listen(QHostAddress::Any, port);
}

void HandshakeGate::onNewConnection()
{
    while (QTcpSocket* socket = m_tcpServer.nextPendingConnection()) {
        if (!m_options.allowRemote && !socket->peerAddress().isLoopback()) {
            refuse(socket, QStringLiteral("peer is not a loopback address"), {}, {});
            continue;
        }
        auto* timer = new QTimer(socket);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, socket, [this, socket] {
            refuse(socket, QStringLiteral("no complete handshake request in time"), {}, {});
        });
        timer->start(requestTimeoutMs);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HandshakeGate::inspect(QTcpSocket* socket)
{
    const QByteArray request = socket->peek(maxRequestBytes + 1);
    if (!request.contains("\r\n\r\n")) {
        if (request.size() > maxRequestBytes)
            refuse(socket, QStringLiteral("handshake request too large"), {}, {});
        return; // wait for the rest of the header
    }
    const QList<QByteArray> hosts = handshake::headerValues(request, "Host");
    const QList<QByteArray> origins = handshake::headerValues(request, "Origin");
    const QByteArray host = hosts.join(", ");
    const QByteArray origin = origins.join(", ");
    // Two Host (or Origin) headers would let one be checked and the other
    // used, so a request must carry at most one of each.
    if (hosts.size() > 1 || origins.size() > 1) {
        refuse(socket, QStringLiteral("repeated Host or Origin header"), host, origin);
        return;
    }
    if (!m_options.allowRemote && !handshake::isLoopbackHost(host)) {
        refuse(socket, QStringLiteral("Host is neither localhost nor a loopback address"), host, origin);
        return;
    }
    if (!m_options.allowedOrigins.isEmpty() && !m_options.allowedOrigins.contains(QString::fromUtf8(origin))) {
        refuse(socket, QStringLiteral("Origin is not allowed"), host, origin);
        return;
    }
    // Hand over: from here on the WebSocket server owns the socket.
    stopWatching(socket);
    disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    emit admitted(socket);
}

void HandshakeGate::stopWatching(QTcpSocket* socket)
{
    socket->disconnect(this);
    qDeleteAll(socket->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly));
}

void HandshakeGate::refuse(QTcpSocket* socket, const QString& reason, const QByteArray& host, const QByteArray& origin)
{
    qWarning().noquote() << QStringLiteral("refused connection from %1: %2 (Host: \"%3\", Origin: \"%4\")")
                                .arg(handshake::peerName(socket->peerAddress()), reason, QString::fromUtf8(host),
                                     QString::fromUtf8(origin));
    stopWatching(socket);
    socket->write("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
}
