// The baseline: a bare QWebSocketServer that echoes every text message, with
// nothing of periphd's own in the path.
#include <QCoreApplication>
#include <QWebSocket>
#include <QWebSocketServer>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const quint16 port = quint16(QCoreApplication::arguments().value(1).toUInt());
    QWebSocketServer server(QStringLiteral("bare echo"), QWebSocketServer::NonSecureMode);
    if (!server.listen(QHostAddress::Any, port))
        return 1;
    QObject::connect(&server, &QWebSocketServer::newConnection, [&server] {
        QWebSocket* socket = server.nextPendingConnection();
        QObject::connect(socket, &QWebSocket::textMessageReceived, socket,
                         [socket](const QString& text) { socket->sendTextMessage(text); });
        QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    });
    return app.exec();
}
