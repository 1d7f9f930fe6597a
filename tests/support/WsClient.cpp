#include "WsClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QTest>

WsClient::WsClient(QObject* parent)
    : QObject(parent)
{
    connect(&m_socket, &QWebSocket::textMessageReceived, this, [this](const QString& text) { texts << text; });
    connect(&m_socket, &QWebSocket::binaryMessageReceived, this,
            [this](const QByteArray& bytes) { binaries << bytes; });
    m_socket.setMaxAllowedIncomingMessageSize(64 * 1024 * 1024);
}

bool WsClient::open(const QUrl& url, int timeoutMs, const QString& origin)
{
    QNetworkRequest request(url);
    if (!origin.isEmpty())
        request.setRawHeader("Origin", origin.toUtf8());
    QSignalSpy connected(&m_socket, &QWebSocket::connected);
    QSignalSpy disconnected(&m_socket, &QWebSocket::disconnected);
    m_socket.open(request);
    QTRY_LOOP_IMPL(connected.count() > 0 || disconnected.count() > 0, timeoutMs, 10);
    return connected.count() > 0;
}

QString WsClient::request(const QString& text, int timeoutMs)
{
    const int before = texts.size();
    m_socket.sendTextMessage(text);
    if (!waitForTexts(before + 1, timeoutMs))
        return {};
    return texts.at(before);
}

bool WsClient::waitForTexts(int count, int timeoutMs)
{
    QTRY_LOOP_IMPL(texts.size() >= count, timeoutMs, 10);
    return texts.size() >= count;
}

bool WsClient::waitForBinaries(int count, int timeoutMs)
{
    QTRY_LOOP_IMPL(binaries.size() >= count, timeoutMs, 10);
    return binaries.size() >= count;
}

bool WsClient::waitForDisconnect(int timeoutMs)
{
    QTRY_LOOP_IMPL(m_socket.state() == QAbstractSocket::UnconnectedState, timeoutMs, 10);
    return m_socket.state() == QAbstractSocket::UnconnectedState;
}

QJsonObject parseReply(const QString& text)
{
    return QJsonDocument::fromJson(text.toUtf8()).object();
}
