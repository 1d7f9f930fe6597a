#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <QWebSocket>

// A WebSocket client for tests that records everything it receives.
class WsClient : public QObject {
    Q_OBJECT
public:
    explicit WsClient(QObject* parent = nullptr);

    bool open(const QUrl& url, int timeoutMs = 5000, const QString& origin = QString());
    // Sends a text and waits (bounded) for the next text message; empty on
    // time-out.
    QString request(const QString& text, int timeoutMs = 5000);
    // Waits until at least count text messages have arrived in all.
    bool waitForTexts(int count, int timeoutMs = 5000);
    bool waitForBinaries(int count, int timeoutMs = 5000);
    bool waitForDisconnect(int timeoutMs = 5000);

    QWebSocket& socket() { return m_socket; }
    QStringList texts;
    QList<QByteArray> binaries;

private:
    QWebSocket m_socket;
};

// Parses a reply envelope; an invalid text gives an empty object.
class QJsonObject;
QJsonObject parseReply(const QString& text);
