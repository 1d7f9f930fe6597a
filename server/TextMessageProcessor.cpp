#include "TextMessageProcessor.h"

#include "RepeatedKeys.h"
#include "ReplyEnvelope.h"
#include "SimulationMode.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QVariant>
#include <QWebSocket>

namespace {

using Handler = void (CTextMessageProcessor::*)(QString, QWebSocket*, QString);

struct Route {
    enum Selector { Act, Function } selector;
    const char* value;
    const char* logLine; // null: nothing is logged
    Handler handler;
};

// Tested in order, exact and case-sensitive; the first match runs. The two
// "act" selectors come first, so {"act":"test","function":...} is the SAM
// query whatever "function" says.
const Route routes[] = {
    {Route::Act, "test", nullptr, &CTextMessageProcessor::ZCGetSAMNum},
    {Route::Act, "readIntegratedCard", nullptr, &CTextMessageProcessor::ZCReadIDCard},
    {Route::Function, "ZCDeviceExist", "ZCDeviceExist", &CTextMessageProcessor::OnZCDeviceExist},
    {Route::Function, "ZCStartDeviceAB", "ZCStartDeviceAB", &CTextMessageProcessor::OnZCStartDeviceAB},
    {Route::Function, "ZCBeginSignAB", "ZCBeginSignAB", &CTextMessageProcessor::ZCBeginSignAB},
    {Route::Function, "ZCOutputImageBase64AB", "ZCOutputImageBase64AB", &CTextMessageProcessor::ZCOutputImageBase64AB},
    {Route::Function, "ZCEndSignAB", "ZCEndSignAB", &CTextMessageProcessor::ZCEndSignAB},
    {Route::Function, "ZCSetTransparency", "ZCSetTransparency", &CTextMessageProcessor::ZCSetTransparency},
    {Route::Function, "ZCSetPenWidth", "ZCSetPenWidth", &CTextMessageProcessor::ZCSetPenWidth},
    {Route::Function, "ZCSetModeAB", "ZCSetModeAB", &CTextMessageProcessor::ZCSetModeAB},
    {Route::Function, "ZCStopDeviceAB", "ZCStopDeviceAB", &CTextMessageProcessor::ZCStopDeviceAB},
    {Route::Function, "ZCResignAB", "ZCResignAB", &CTextMessageProcessor::ZCResignAB},
    {Route::Function, "ZCSetSignScreenPosSizeAB", "ZCSetSignScreenPosSizeAB",
     &CTextMessageProcessor::ZCSetSignScreenPosSizeAB},
    {Route::Function, "ZCGetSAMNum", "ZCGetSAMNum", &CTextMessageProcessor::ZCGetSAMNum},
    {Route::Function, "ZCReadIDCard", "ZCReadIDCard1", &CTextMessageProcessor::ZCReadIDCard},
    {Route::Function, "ZCReadHIDOpen", "ZCReadHIDOpen", &CTextMessageProcessor::ZCReadHIDOpen},
    {Route::Function, "ZCReadHIDIDCard", "ZCReadHIDIDCard", &CTextMessageProcessor::ZCReadHIDIDCard},
    {Route::Function, "ZCCameraPic", "ZCCameraPic", &CTextMessageProcessor::ZCCameraPic},
    {Route::Function, "ZCSIMCard", "ZCSIMCard", &CTextMessageProcessor::ZCSIMCard},
};

// Restores the reply tag when a dispatch returns, so nested requests leave
// the outer request's tag as they found it.
class ReplyTagScope {
public:
    ReplyTagScope(QString& tag, const QString& requestTag)
        : m_tag(tag)
        , m_outer(tag)
    {
        m_tag = requestTag;
    }
    ~ReplyTagScope() { m_tag = m_outer; }

private:
    QString& m_tag;
    QString m_outer;
};

} // namespace

CTextMessageProcessor::CTextMessageProcessor(QObject* parent)
    : QObject(parent)
{
}

QString CTextMessageProcessor::ParseJson(QString text, QString key)
{
    // A request is read key by key (three for dispatch, more in handlers);
    // keeping the last text's parse saves parsing it again for every key.
    struct LastParse {
        QString text;
        QJsonObject object;
        bool isObject = false;
    };
    thread_local LastParse last;
    if (last.text.isNull() || last.text != text) {
        last.text = text.isNull() ? QStringLiteral("") : text;
        const QByteArray utf8 = text.toUtf8();
        if (repeatsKeyAroundNestedValue(utf8)) {
            qWarning().noquote() << QStringLiteral("request repeats a key around an object or array: not read");
            last.isObject = false;
            last.object = QJsonObject();
        } else {
            QJsonParseError error;
            const QJsonDocument document = QJsonDocument::fromJson(utf8, &error);
            last.isObject = !document.isNull() && error.error == QJsonParseError::NoError && document.isObject();
            last.object = last.isObject ? document.object() : QJsonObject();
        }
    }
    if (!last.isObject)
        return {};
    const QJsonObject& object = last.object;
    if (!object.contains(key))
        return {};
    // Strings as they are, numbers in shortest decimal form, booleans as
    // true/false; null, arrays and objects become empty.
    return object.value(key).toVariant().toString();
}

QString CTextMessageProcessor::CreateJson(QString functionName, int success, QString msg, QString data,
                                          QString base64)
{
    return ReplyEnvelope::text(functionName, success, msg, m_replyTag, data, base64);
}

void CTextMessageProcessor::Process(QWebSocket* client, QString message)
{
    // Pages may write JSON with single quotes.
    message.replace(QLatin1Char('\''), QLatin1Char('"'));
    const QString function = ParseJson(message, QStringLiteral("function"));
    const QString act = ParseJson(message, QStringLiteral("act"));
    m_tflag = ParseJson(message, QStringLiteral("_tflag"));
    ReplyTagScope tagScope(m_replyTag, m_tflag);

    for (const Route& route : routes) {
        const QString& selected = route.selector == Route::Act ? act : function;
        if (selected != QLatin1String(route.value))
            continue;
        if (route.logLine)
            qWarning().noquote() << route.logLine;
        (this->*route.handler)(function, client, message);
        return;
    }
    if (simulationEnabled() && function == QLatin1String("SimPenStroke")) {
        SimPenStroke(function, client, message);
        return;
    }
    if (simulationEnabled() && function == QLatin1String("SimSimCard")) {
        SimSimCard(function, client, message);
        return;
    }
    if (simulationEnabled() && function == QLatin1String("SimIDCard")) {
        SimIDCard(function, client, message);
        return;
    }
    if (simulationEnabled() && function == QLatin1String("SimCamera")) {
        SimCamera(function, client, message);
        return;
    }
    if (client) {
        qWarning().noquote() << "pClient";
        client->sendTextMessage(message);
    }
}

void CTextMessageProcessor::sendReply(QWebSocket* client, const QString& reply)
{
    if (client)
        client->sendTextMessage(reply);
}

int CTextMessageProcessor::parseInt(const QString& message, const QString& key)
{
    // Missing, empty, non-numeric and fractional values all become 0.
    return ParseJson(message, key).toInt(nullptr, 10);
}

void CTextMessageProcessor::ZCReadHIDOpen(QString, QWebSocket*, QString)
{
}
