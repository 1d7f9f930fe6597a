#include "TextMessageProcessor.h"

#include "GlobalObject.h"

bool CTextMessageProcessor::CheckSigning(QString functionName, QWebSocket* client)
{
    if (!g_globalObj->signWindow)
        return false;
    sendReply(client, CreateJson(functionName, 0, QStringLiteral("签名进行中"), QString(), QString()));
    return true;
}
