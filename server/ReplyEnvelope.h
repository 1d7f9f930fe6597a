#pragma once

#include <QString>

// The compact JSON text of a reply envelope, members in code-point order of
// their keys: "Base64", "_tflag", "data", "functionName", "msg", "success";
// "Base64" and "data" only when not empty.
namespace ReplyEnvelope {
QString text(const QString& functionName, int success, const QString& msg, const QString& tag, const QString& data,
             const QString& base64);
// The same text built through QJsonDocument: the reference for text().
QString viaJsonDocument(const QString& functionName, int success, const QString& msg, const QString& tag,
                        const QString& data, const QString& base64);
}
