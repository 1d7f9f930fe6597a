#pragma once

#include <QByteArray>
#include <QObject>
#include <QPixmap>
#include <QString>

class QWebSocket;
struct IDINFO;

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
    void OnZCDeviceExist(QString functionName, QWebSocket* client, QString message);
    void OnZCStartDeviceAB(QString functionName, QWebSocket* client, QString message);
    void ZCBeginSignAB(QString functionName, QWebSocket* client, QString message);
    void ZCOutputImageBase64AB(QString functionName, QWebSocket* client, QString message);
    void ZCEndSignAB(QString functionName, QWebSocket* client, QString message);
    void ZCStopDeviceAB(QString functionName, QWebSocket* client, QString message);
    void ZCResignAB(QString functionName, QWebSocket* client, QString message);
    void ZCReadHIDOpen(QString functionName, QWebSocket* client, QString message);
    void ZCSetTransparency(QString functionName, QWebSocket* client, QString message);
    void ZCSetPenWidth(QString functionName, QWebSocket* client, QString message);
    void ZCSetModeAB(QString functionName, QWebSocket* client, QString message);
    void ZCSetSignScreenPosSizeAB(QString functionName, QWebSocket* client, QString message);
    // Only with --simulate: pen strokes scripted by a page or a test.
    void SimPenStroke(QString functionName, QWebSocket* client, QString message);
    // Only with --simulate: scripts the virtual SIM card in the vpcd reader.
    void SimSimCard(QString functionName, QWebSocket* client, QString message);

    // Identity cards: the SAM reader's SAM id, a card read through the SAM
    // reader (faces rendered) or through the HID reader. No request keys.
    void ZCGetSAMNum(QString functionName, QWebSocket* client, QString message);
    void ZCReadIDCard(QString functionName, QWebSocket* client, QString message);
    void ZCReadHIDIDCard(QString functionName, QWebSocket* client, QString message);
    // The card reply: "_tflag", "data" (the holder's fields, "photo" only
    // when there is one), "err_code" 0, "err_msg" message, "functionName".
    // result is not part of it.
    QString CreateJsonIDCard(QString functionName, int result, QString message, IDINFO* info, QString photo);
    // Only with --simulate: scripts the simulated identity card readers.
    void SimIDCard(QString functionName, QWebSocket* client, QString message);

    // Decodes a Base64 image; saves it to path unless path is empty.
    QPixmap Base64_To_Image(QByteArray base64, QString path);
    // Reads the SIM card's ICCID through libCardBridge.
    void ZCSIMCard(QString functionName, QWebSocket* client, QString message);
    // Opens the camera window; answers with the picture taken in it.
    void ZCCameraPic(QString functionName, QWebSocket* client, QString message);
    // Only with --simulate: plugs the simulated cameras in or out, sets their picture.
    void SimCamera(QString functionName, QWebSocket* client, QString message);

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
