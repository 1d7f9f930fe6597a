// "ZCCameraPic": opens the camera window and answers with the picture the
// operator took, when the window closes.
#include "TextMessageProcessor.h"

#include "CameraUser.h"

#include <QDebug>
#include <QPointer>
#include <QWebSocket>

void CTextMessageProcessor::ZCCameraPic(QString functionName, QWebSocket* client, QString)
{
    qWarning().noquote() << "ZCCameraPic";
    qWarning().noquote() << "ZCCameraPic";
    // The window runs a nested event loop; the page may leave meanwhile and
    // the server then frees its socket.
    QPointer<QWebSocket> caller(client);

    // No busy check: a second request opens a second window inside this
    // one's loop, and each is answered when its own window closes.
    auto* window = new CameraUser(nullptr);
    window->exec();
    const QString photo = window->getBase64();
    delete window; // releases the camera

    const QString reply = CreateJson(functionName, photo.isEmpty() ? 0 : 1, QString(), QString(), photo);
    if (caller && caller->state() == QAbstractSocket::ConnectedState)
        sendReply(caller, reply);
}
