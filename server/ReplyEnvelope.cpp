#include "ReplyEnvelope.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

// Characters that JSON writes as themselves: no escaping, no surrogates.
bool isPlain(const QString& text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || u == '"' || u == '\\' || u == 0x7f || c.isSurrogate())
            return false;
    }
    return true;
}

void appendMember(QString& out, const char* key, const QString& value)
{
    out += QLatin1Char('"');
    out += QLatin1String(key);
    out += QLatin1String("\":\"");
    out += value;
    out += QLatin1String("\",");
}

} // namespace

namespace ReplyEnvelope {

QString text(const QString& functionName, int success, const QString& msg, const QString& tag, const QString& data,
             const QString& base64)
{
    // Every reply goes through here, signatures included; the document API
    // costs several times the sending, so plain texts are joined directly
    // and anything that needs escaping takes the document path.
    if (!(isPlain(functionName) && isPlain(msg) && isPlain(tag) && isPlain(data) && isPlain(base64)))
        return viaJsonDocument(functionName, success, msg, tag, data, base64);

    QString out;
    out.reserve(64 + functionName.size() + msg.size() + tag.size() + data.size() + base64.size());
    out += QLatin1Char('{');
    if (!base64.isEmpty())
        appendMember(out, "Base64", base64);
    appendMember(out, "_tflag", tag);
    if (!data.isEmpty())
        appendMember(out, "data", data);
    appendMember(out, "functionName", functionName);
    appendMember(out, "msg", msg);
    out += QLatin1String("\"success\":");
    out += QString::number(success);
    out += QLatin1Char('}');
    return out;
}

QString viaJsonDocument(const QString& functionName, int success, const QString& msg, const QString& tag,
                        const QString& data, const QString& base64)
{
    QJsonObject object;
    object.insert(QStringLiteral("functionName"), functionName);
    object.insert(QStringLiteral("success"), success);
    object.insert(QStringLiteral("msg"), msg);
    object.insert(QStringLiteral("_tflag"), tag);
    if (!data.isEmpty())
        object.insert(QStringLiteral("data"), data);
    if (!base64.isEmpty())
        object.insert(QStringLiteral("Base64"), base64);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

} // namespace ReplyEnvelope
