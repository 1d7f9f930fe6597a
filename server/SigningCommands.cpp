#include "TextMessageProcessor.h"

#include "AtomicFileWrite.h"
#include "GlobalObject.h"
#include "MainWindow.h"
#include "QGetHandWrtingDevData.h"
#include "QHidWritingDevice.h"
#include "SignData.h"
#include "SimulationMode.h"

#include <QBuffer>
#include <QDebug>
#include <QFileInfo>
#include <QPixmap>
#include <QPointer>
#include <QWebSocket>

namespace {

const QString kSignImagePath = QStringLiteral("/tmp/kmo_sign.png");

} // namespace

void CTextMessageProcessor::OnZCDeviceExist(QString functionName, QWebSocket* client, QString)
{
    const int found = g_globalObj->signDevice->findDevice();
    sendReply(client, CreateJson(functionName, found ? 1 : 0, QString(), QString(), QString()));
}

void CTextMessageProcessor::OnZCStartDeviceAB(QString functionName, QWebSocket* client, QString)
{
    qWarning().noquote() << QStringLiteral("启动签字板");
    g_globalObj->stopSampling();
    g_globalObj->signDevice->closeDevice();
    const int result = g_globalObj->signDevice->openDevice();
    if (result == 1) {
        g_globalObj->samplingThread->m_stop = false;
        g_globalObj->samplingThread->start();
    }
    sendReply(client, CreateJson(functionName, result, QString(), QString(), QString()));
}

void CTextMessageProcessor::ZCBeginSignAB(QString functionName, QWebSocket* client, QString message)
{
    qWarning().noquote() << QStringLiteral("进入签名");
    if (CheckSigning(functionName, client))
        return;
    // The page may go away while the window is open; the server then frees
    // its socket before the reply is built.
    QPointer<QWebSocket> caller(client);

    g_SignData.winX = parseInt(message, QStringLiteral("x"));
    g_SignData.winY = parseInt(message, QStringLiteral("y"));
    g_SignData.winWidth = parseInt(message, QStringLiteral("width"));
    g_SignData.winHeight = parseInt(message, QStringLiteral("height"));
    g_SignData.signBase64.clear();

    auto* window = new MainWindow(nullptr);
    g_globalObj->signWindow = window;
    attachSimulatedPen(window);
    const QMetaObject::Connection samples = connect(g_globalObj->samplingThread, SIGNAL(getDataOk(int, int, int)),
                                                    window, SLOT(on_getDataOk(int, int, int)));
    const QMetaObject::Connection end = connect(this, SIGNAL(sEndSign()), window, SLOT(onsEndSign()));
    const QMetaObject::Connection resign = connect(this, SIGNAL(sResSign()), window, SLOT(on_btnResign_clicked()));

    window->exec();

    disconnect(samples);
    disconnect(end);
    disconnect(resign);

    const int result = window->m_result;
    g_SignData.signBase64 = window->m_base64;
    int success = 0;
    QString msg;
    QString image;
    if (result == 0) {
        image = QString::fromLatin1(g_SignData.signBase64);
        Base64_To_Image(g_SignData.signBase64, kSignImagePath);
        success = 1;
    } else if (result == -1) {
        msg = QStringLiteral("用户已取消");
    } else {
        msg = QStringLiteral("{%1}").arg(result);
    }
    const QString reply = CreateJson(QStringLiteral("ZCOutputImageBase64AB"), success, msg, QString(), image);
    // A page that left while the window was open gets nothing: its socket
    // is closed (or already freed) and must not be written to.
    if (!window->m_endedByCommand) {
        if (caller && caller->state() == QAbstractSocket::ConnectedState)
            sendReply(caller, reply);
        else
            qWarning().noquote() << QStringLiteral("signing window closed after its page left: reply not sent");
    }

    delete window;
    g_globalObj->signWindow = nullptr;
}

void CTextMessageProcessor::ZCOutputImageBase64AB(QString functionName, QWebSocket* client, QString)
{
    const QByteArray stored = g_SignData.signBase64;
    if (!stored.isEmpty())
        sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString::fromLatin1(stored)));
    else
        sendReply(client, CreateJson(functionName, 0, QStringLiteral("未签名"), QString(), QString()));
    if (!stored.isEmpty())
        Base64_To_Image(stored, kSignImagePath);
}

void CTextMessageProcessor::ZCEndSignAB(QString functionName, QWebSocket* client, QString)
{
    emit sEndSign();
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}

void CTextMessageProcessor::ZCStopDeviceAB(QString functionName, QWebSocket* client, QString)
{
    emit sEndSign();
    g_globalObj->stopSampling();
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}

void CTextMessageProcessor::ZCResignAB(QString functionName, QWebSocket* client, QString)
{
    emit sResSign();
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}

QPixmap CTextMessageProcessor::Base64_To_Image(QByteArray base64, QString path)
{
    QPixmap pixmap;
    pixmap.loadFromData(QByteArray::fromBase64(base64));
    if (!path.isEmpty()) {
        qDebug("save");
        // Encoded in memory first, so the file appears whole or not at all.
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        const QByteArray format = QFileInfo(path).suffix().toLatin1();
        if (!pixmap.isNull() && pixmap.save(&buffer, format.isEmpty() ? nullptr : format.constData()))
            writeFileAtomically(path, encoded);
    }
    return pixmap;
}
