#pragma once

// What a simulated identity card holds: its record built from the holder's
// fields by name, as a page or a test gives them. The record is the card's
// own (text block, portrait, optional fingerprint data); the reader models
// put their framing around it.

#include <QByteArray>
#include <QMap>
#include <QString>

namespace simdevices {

// Keyed as the card reply names them: "CardType" ("" or " " for a resident
// identity card, "I" for a foreign permanent resident card, "J" for a
// residence permit) and the fields that card type carries: "name",
// "gender" ("男", "女" or a one-digit code), "nation" (a name of the nation
// table or its number; resident cards), "birthday", "address", "idNum",
// "issueOrg", "effectDate", "expireDate", "englishName", "nationCode",
// "passNum", "signCount", "CertVersion". Absent fields stay blank.
using IdCardFields = QMap<QString, QString>;

struct BuiltRecord {
    QByteArray record; // empty when error is set
    QString error;     // names the field that cannot go on the card, and why
};

// A face on white, 1024 bytes of WLT made by the project's encoder.
QByteArray stockPortrait();

// The 256-byte UTF-16LE text block, fields padded with spaces.
BuiltRecord idCardTextBlock(const IdCardFields& fields);

// Text block, portrait (1024 bytes of WLT) and, when given, 1024 bytes of
// fingerprint data: 1280 or 2304 bytes.
BuiltRecord idCardRecord(const IdCardFields& fields, const QByteArray& portrait = stockPortrait(),
                         const QByteArray& fingerprint = QByteArray());

// A sample holder for each card type ("", "I", "J").
IdCardFields sampleHolder(const QString& cardType = QString());

} // namespace simdevices
