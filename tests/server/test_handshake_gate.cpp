// Who may connect: loopback peers naming localhost or a loopback address,
// optionally only from allowed page origins.
#include "EchoServer.h"
#include "HandshakeGate.h"
#include "WsClient.h"

#include <QNetworkInterface>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>

namespace {

// Sends a raw upgrade request and returns the server's first response line.
QByteArray rawHandshake(const QHostAddress& address, quint16 port, const QByteArray& headers)
{
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(3000))
        return "no connection";
    socket.write("GET / HTTP/1.1\r\n" + headers +
                 "Upgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n");
    // The server runs in this thread: wait while serving events.
    QByteArray response;
    QTRY_LOOP_IMPL((response += socket.readAll()).contains("\r\n")
                       || socket.state() == QAbstractSocket::UnconnectedState,
                   5000, 10);
    response += socket.readAll();
    return response.left(response.indexOf("\r\n"));
}

} // namespace

class HandshakeGateTest : public QObject {
    Q_OBJECT
private slots:
    void loopbackHostNames_data();
    void loopbackHostNames();
    void headerValuesAreCaseInsensitive();
    void hostHeaderDecides_data();
    void hostHeaderDecides();
    void ipv6LoopbackAccepted();
    void refusalIsLogged();
    void allowedOrigins();
    void nonLoopbackPeerRefused();
};

void HandshakeGateTest::loopbackHostNames_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("loopback");
    QTest::newRow("localhost") << QByteArray("localhost:12343") << true;
    QTest::newRow("upper case") << QByteArray("LocalHost") << true;
    QTest::newRow("ipv4") << QByteArray("127.0.0.1:12343") << true;
    QTest::newRow("ipv4 range") << QByteArray("127.8.9.10") << true;
    QTest::newRow("ipv6") << QByteArray("[::1]:12343") << true;
    QTest::newRow("ipv6 no port") << QByteArray("[::1]") << true;
    QTest::newRow("rebinding name") << QByteArray("attacker.example:12343") << false;
    QTest::newRow("localhost prefix") << QByteArray("localhost.attacker.example") << false;
    QTest::newRow("lan address") << QByteArray("192.168.1.20:12343") << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("broken bracket") << QByteArray("[::1") << false;
}

void HandshakeGateTest::loopbackHostNames()
{
    QFETCH(QByteArray, host);
    QFETCH(bool, loopback);
    QCOMPARE(handshake::isLoopbackHost(host), loopback);
}

void HandshakeGateTest::headerValuesAreCaseInsensitive()
{
    const QByteArray request = "GET / HTTP/1.1\r\nhOsT: a\r\nOrigin: http://x\r\nX-Host: b\r\n\r\nHost: body";
    QCOMPARE(handshake::headerValues(request, "Host"), QList<QByteArray>{"a"});
    QCOMPARE(handshake::headerValues(request, "origin"), QList<QByteArray>{"http://x"});
}

void HandshakeGateTest::hostHeaderDecides_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QByteArray>("status");
    QTest::newRow("localhost") << QByteArray("Host: localhost\r\n") << QByteArray("HTTP/1.1 101 Switching Protocols");
    QTest::newRow("loopback") << QByteArray("Host: 127.0.0.1\r\n") << QByteArray("HTTP/1.1 101 Switching Protocols");
    QTest::newRow("rebound name") << QByteArray("Host: evil.example\r\n") << QByteArray("HTTP/1.1 403 Forbidden");
    QTest::newRow("no host") << QByteArray() << QByteArray("HTTP/1.1 403 Forbidden");
    QTest::newRow("two hosts") << QByteArray("Host: localhost\r\nHost: evil.example\r\n")
                               << QByteArray("HTTP/1.1 403 Forbidden");
}

void HandshakeGateTest::hostHeaderDecides()
{
    QFETCH(QByteArray, headers);
    QFETCH(QByteArray, status);
    EchoServer server(ServerOptions{0}, false);
    QVERIFY(server.isListening());
    QCOMPARE(rawHandshake(QHostAddress::LocalHost, server.port(), headers), status);
}

void HandshakeGateTest::ipv6LoopbackAccepted()
{
    EchoServer server(ServerOptions{0}, false);
    QCOMPARE(rawHandshake(QHostAddress::LocalHostIPv6, server.port(), "Host: [::1]\r\n"),
             QByteArray("HTTP/1.1 101 Switching Protocols"));
    WsClient client;
    QVERIFY(client.open(QUrl(QStringLiteral("ws://[::1]:%1").arg(server.port()))));
    QCOMPARE(client.request("six"), QStringLiteral("six"));
}

void HandshakeGateTest::refusalIsLogged()
{
    EchoServer server(ServerOptions{0}, false);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(R"(refused connection from .*127\.0\.0\.1: Host .*)"
                                            R"(\(Host: "evil\.example", Origin: "http://evil\.example"\))"));
    QCOMPARE(rawHandshake(QHostAddress::LocalHost, server.port(),
                          "Host: evil.example\r\nOrigin: http://evil.example\r\n"),
             QByteArray("HTTP/1.1 403 Forbidden"));
}

void HandshakeGateTest::allowedOrigins()
{
    ServerOptions options{0};
    options.allowedOrigins = QStringList{QStringLiteral("http://localhost:8080")};
    EchoServer server(options, false);
    const QUrl url(QStringLiteral("ws://localhost:%1").arg(server.port()));

    WsClient allowed;
    QVERIFY(allowed.open(url, 5000, QStringLiteral("http://localhost:8080")));
    QCOMPARE(allowed.request("hello"), QStringLiteral("hello"));

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused connection .*Origin is not allowed.*"));
    WsClient other;
    QVERIFY(!other.open(url, 3000, QStringLiteral("http://elsewhere.example")));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused connection .*Origin is not allowed.*"));
    WsClient none;
    QVERIFY(!none.open(url, 3000));
}

void HandshakeGateTest::nonLoopbackPeerRefused()
{
    QHostAddress external;
    for (const QHostAddress& address : QNetworkInterface::allAddresses())
        if (!address.isLoopback() && address.protocol() == QAbstractSocket::IPv4Protocol)
            external = address;
    if (external.isNull())
        QSKIP("this machine has no non-loopback IPv4 address to connect from");

    EchoServer server(ServerOptions{0}, false);
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("refused connection .*peer is not a loopback address.*"));
    const QByteArray status = rawHandshake(external, server.port(), "Host: localhost\r\n");
    QVERIFY2(!status.startsWith("HTTP/1.1 101"), status.constData());

    ServerOptions open{0};
    open.allowRemote = true;
    EchoServer openServer(open, false);
    QCOMPARE(rawHandshake(external, openServer.port(), "Host: " + external.toString().toLatin1() + "\r\n"),
             QByteArray("HTTP/1.1 101 Switching Protocols"));
}

QTEST_GUILESS_MAIN(HandshakeGateTest)
#include "test_handshake_gate.moc"
