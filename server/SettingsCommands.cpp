#include "TextMessageProcessor.h"

#include "SignData.h"

// The settings take effect when the next signing window is built; while one
// is open they are refused, so an open window never changes under the signer.

void CTextMessageProcessor::ZCSetTransparency(QString functionName, QWebSocket* client, QString message)
{
    const int value = parseInt(message, QStringLiteral("Percent"));
    if (CheckSigning(functionName, client))
        return;
    g_SignData.transparency = value;
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}

void CTextMessageProcessor::ZCSetPenWidth(QString functionName, QWebSocket* client, QString message)
{
    const int value = parseInt(message, QStringLiteral("Width"));
    if (CheckSigning(functionName, client))
        return;
    g_SignData.penWidth = value;
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}

void CTextMessageProcessor::ZCSetModeAB(QString functionName, QWebSocket* client, QString message)
{
    const int value = parseInt(message, QStringLiteral("mode"));
    if (CheckSigning(functionName, client))
        return;
    g_SignData.signMode = value;
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}

void CTextMessageProcessor::ZCSetSignScreenPosSizeAB(QString functionName, QWebSocket* client, QString message)
{
    if (CheckSigning(functionName, client))
        return;
    g_SignData.screenX = parseInt(message, QStringLiteral("x"));
    g_SignData.screenY = parseInt(message, QStringLiteral("y"));
    g_SignData.screenWidth = parseInt(message, QStringLiteral("width"));
    g_SignData.screenHeight = parseInt(message, QStringLiteral("height"));
    sendReply(client, CreateJson(functionName, 1, QString(), QString(), QString()));
}
