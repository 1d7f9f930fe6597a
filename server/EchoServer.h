#pragma once

#include "ServerOptions.h"

#include <QList>
#include <QObject>

class CTextMessageProcessor;
class HandshakeGate;
class QWebSocket;
class QWebSocketServer;

// The service's only network endpoint: text messages go to the message
// processor, binary messages come back unchanged, replies go only to the
// socket that asked.
class EchoServer : public QObject {
    Q_OBJECT
public:
    EchoServer(quint16 port, bool debug, QObject* parent = nullptr);
    EchoServer(const ServerOptions& options, bool debug, QObject* parent = nullptr);
    ~EchoServer() override;

    bool isListening() const { return m_listening; }
    QString errorString() const { return m_error; }
    quint16 port() const;
    CTextMessageProcessor* messageProcessor() const { return processor; }

signals:
    void closed();

private slots:
    void onNewConnection();
    void processTextMessage(QString message);
    void processBinaryMessage(QByteArray message);
    void socketDisconnected();

private:
    QWebSocketServer* webSocketServer;
    QList<QWebSocket*> clients;
    bool debugOutput;
    CTextMessageProcessor* processor;

    HandshakeGate* m_gate;
    bool m_listening = false;
    QString m_error;
};
