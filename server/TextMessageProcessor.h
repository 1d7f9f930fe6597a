#pragma once

#include <QObject>
#include <QString>

class QWebSocket;

// Turns one text message into one command call and gives every handler the
// same way to answer: the reply envelope, sent on the socket that asked.
class CTextMessageProcessor : public QObject {
    Q_OBJECT
public:
    explicit CTextMessageProcessor(QObject* parent = nullptr);

    void Process(QWebSocket* client, QString message);

    static QString ParseJson(QString text, QString key);
    // Reply envelope; "_tflag" is the tag of the request being answered.
    QString CreateJson(QString functionName, int success, QString msg, QString data, QString base64);

    // Busy check: while a signing window is open, answers success 0
    // "签名进行中" and returns true.
    bool CheckSigning(QString functionName, QWebSocket* client);

    // Command handlers: (the request's "function", the client or null, the
    // whole request text).
    void ZCReadHIDOpen(QString functionName, QWebSocket* client, QString message);
    void ZCSetTransparency(QString functionName, QWebSocket* client, QString message);
    void ZCSetPenWidth(QString functionName, QWebSocket* client, QString message);
    void ZCSetModeAB(QString functionName, QWebSocket* client, QString message);
    void ZCSetSignScreenPosSizeAB(QString functionName, QWebSocket* client, QString message);
    // Reads the SIM card's ICCID through libCardBridge.
    void ZCSIMCard(QString functionName, QWebSocket* client, QString message);

    // The tag of the request received last.
    QString m_tflag;

signals:
    void sEndSign();
    void sResSign();

private:
    static void sendReply(QWebSocket* client, const QString& reply);
    static int parseInt(const QString& message, const QString& key);

    // The tag that replies carry. A handler that runs a nested event loop
    // sees it restored to its own request's tag when the loop returns,
    // whatever arrived meanwhile.
    QString m_replyTag;
};
