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

    // Stopping the service: accepts no more connections, closes every
    // client with 1001 (going away), and once they are gone, or after
    // kShutdownGraceMs for a peer that does not take its close, closes the
    // WebSocket server, which emits closed(). A request still waiting for
    // its window gets no reply: its socket is no longer connected.
    void shutDown();
    static constexpr int kShutdownGraceMs = 1000;

signals:
    void closed();

private slots:
    void onNewConnection();
    void processTextMessage(QString message);
    void processBinaryMessage(QByteArray message);
    void socketDisconnected();

private:
    void finishShutdown();

    QWebSocketServer* webSocketServer;
    QList<QWebSocket*> clients;
    bool debugOutput;
    CTextMessageProcessor* processor;

    HandshakeGate* m_gate;
    bool m_listening = false;
    bool m_shuttingDown = false;
    bool m_finished = false;
    QString m_error;
};
