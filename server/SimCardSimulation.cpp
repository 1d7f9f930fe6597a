// "SimSimCard" (only with --simulate): scripts the virtual SIM card that the
// simulated run plugs into the vpcd reader, as pages and tests script the
// other simulated devices.
#include "TextMessageProcessor.h"

#include "VirtualSimCard.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

// A status word as four hexadecimal digits; "" or null clears it.
bool readStatus(const QJsonObject& request, const char* key, std::optional<uint16_t>& status, QString& error)
{
    const QString name = QString::fromLatin1(key);
    if (!request.contains(name))
        return true;
    const QJsonValue value = request.value(name);
    if (value.isNull() || (value.isString() && value.toString().isEmpty())) {
        status.reset();
        return true;
    }
    static const QRegularExpression fourHexDigits(QStringLiteral("^[0-9A-Fa-f]{4}$"));
    if (!value.isString() || !fourHexDigits.match(value.toString()).hasMatch()) {
        error = QStringLiteral("%1 must be a status word of four hexadecimal digits, or empty").arg(name);
        return false;
    }
    status = uint16_t(value.toString().toUInt(nullptr, 16));
    return true;
}

QString applyScript(const QJsonObject& request, simdevices::SimCardScript& script)
{
    if (request.value(QStringLiteral("reset")).toBool())
        script = simdevices::SimCardScript();
    if (request.contains(QStringLiteral("iccid"))) {
        static const QRegularExpression digits(QStringLiteral("^[0-9Ff]{1,20}$"));
        const QJsonValue iccid = request.value(QStringLiteral("iccid"));
        if (!iccid.isString() || !digits.match(iccid.toString()).hasMatch())
            return QStringLiteral("iccid must be 1 to 20 digits");
        script.iccid = iccid.toString().toUpper().toStdString();
    }
    if (request.contains(QStringLiteral("inserted"))) {
        if (!request.value(QStringLiteral("inserted")).isBool())
            return QStringLiteral("inserted must be true or false");
        script.inserted = request.value(QStringLiteral("inserted")).toBool();
    }
    if (request.contains(QStringLiteral("readBinaryBytes"))) {
        const QJsonValue bytes = request.value(QStringLiteral("readBinaryBytes"));
        const double n = bytes.toDouble(-1);
        if (!bytes.isDouble() || n < 0 || n > 10 || n != int(n))
            return QStringLiteral("readBinaryBytes must be an integer from 0 to 10");
        script.readBinaryBytes = int(n);
    }
    QString error;
    if (!readStatus(request, "selectMasterFileStatus", script.selectMasterFileStatus, error) ||
        !readStatus(request, "selectIccidFileStatus", script.selectIccidFileStatus, error) ||
        !readStatus(request, "readBinaryStatus", script.readBinaryStatus, error))
        return error;
    return QString();
}

} // namespace

void CTextMessageProcessor::SimSimCard(QString functionName, QWebSocket* client, QString message)
{
    QJsonParseError parseError;
    const QJsonObject request = QJsonDocument::fromJson(message.toUtf8(), &parseError).object();
    simdevices::VirtualSimCard& card = simdevices::startVirtualSimCard();
    simdevices::SimCardScript script = card.script();
    const QString error = applyScript(request, script);
    if (!error.isEmpty()) {
        sendReply(client, CreateJson(functionName, 0, error, QString(), QString()));
        return;
    }
    card.setScript(script);
    sendReply(client, CreateJson(functionName, 1, QString(), QString::fromStdString(script.iccid), QString()));
}
