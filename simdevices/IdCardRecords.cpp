#include "IdCardRecords.h"

#include "CardCodes.h"
#include "CardLayout.h"

#include <QRegularExpression>

extern const unsigned char periphdStockPortrait[];
extern const unsigned long periphdStockPortraitSize;

using namespace idcard;

namespace simdevices {
namespace {

const char* kindName(CardKind kind)
{
    switch (kind) {
    case CardKind::ForeignPermanent:
        return "foreign permanent resident card";
    case CardKind::ResidencePermit:
        return "residence permit";
    case CardKind::Resident:
        break;
    }
    return "resident identity card";
}

// Writes text at offset as UTF-16LE units, the rest of the place spaces.
void place(QByteArray& block, int offset, int length, const QString& text)
{
    for (int i = 0; i < length / 2; ++i) {
        const ushort unit = i < text.size() ? text.at(i).unicode() : ushort(' ');
        block[offset + 2 * i] = char(unit & 0xFF);
        block[offset + 2 * i + 1] = char(unit >> 8);
    }
}

// The value as the card stores it, or an error.
QString encoded(const FieldPlace& f, const QString& value, QString& error)
{
    if (f.finish == Finish::Gender) {
        if (value == QStringLiteral("男"))
            return QStringLiteral("1");
        if (value == QStringLiteral("女"))
            return QStringLiteral("2");
        static const QRegularExpression oneDigit(QStringLiteral("^[0-9]?$"));
        if (!oneDigit.match(value).hasMatch())
            error = QStringLiteral("gender must be 男, 女 or a one-digit code");
        return value;
    }
    if (f.finish == Finish::Nation && !value.isEmpty()) {
        const int byName = nationCode(value.toStdString());
        if (byName)
            return QString::number(byName).rightJustified(2, QLatin1Char('0'));
        static const QRegularExpression twoDigits(QStringLiteral("^[0-9]{1,2}$"));
        if (!twoDigits.match(value).hasMatch())
            error = QStringLiteral("nation must be a name of the nation table or its number");
        return value.rightJustified(2, QLatin1Char('0'));
    }
    return value;
}

} // namespace

QByteArray stockPortrait()
{
    return QByteArray(reinterpret_cast<const char*>(periphdStockPortrait), int(periphdStockPortraitSize));
}

BuiltRecord idCardTextBlock(const IdCardFields& fields)
{
    const QString type = fields.value(QStringLiteral("CardType"));
    if (!type.isEmpty() && type != QStringLiteral(" ") && type != QStringLiteral("I") && type != QStringLiteral("J"))
        return {QByteArray(), QStringLiteral("CardType must be empty (resident identity card), \"I\" or \"J\"")};
    const CardKind kind = cardKindOf(type.isEmpty() ? ' ' : type.at(0).toLatin1());
    const CardLayout& layout = cardLayout(kind);

    QByteArray block(kTextBlockBytes, '\0');
    place(block, 0, kTextBlockBytes, QString());
    place(block, kCardTypeOffset, 2, type.isEmpty() ? QStringLiteral(" ") : type);

    for (auto it = fields.cbegin(); it != fields.cend(); ++it) {
        if (it.key() == QStringLiteral("CardType"))
            continue;
        const FieldPlace* f = nullptr;
        for (std::size_t i = 0; i < layout.count && !f; ++i)
            if (it.key() == QLatin1String(layout.fields[i].key))
                f = &layout.fields[i];
        if (!f) {
            if (it.value().isEmpty())
                continue;
            return {QByteArray(), QStringLiteral("%1 is not on a %2").arg(it.key(), QLatin1String(kindName(kind)))};
        }
        QString error;
        const QString value = encoded(*f, it.value(), error);
        if (!error.isEmpty())
            return {QByteArray(), error};
        if (value.size() > f->length / 2)
            return {QByteArray(), QStringLiteral("%1 holds at most %2 characters on a %3")
                                      .arg(it.key())
                                      .arg(f->length / 2)
                                      .arg(QLatin1String(kindName(kind)))};
        place(block, f->offset, f->length, value);
    }
    return {block, QString()};
}

BuiltRecord idCardRecord(const IdCardFields& fields, const QByteArray& portrait, const QByteArray& fingerprint)
{
    if (portrait.size() != kPortraitBytes)
        return {QByteArray(), QStringLiteral("the portrait must be %1 bytes").arg(kPortraitBytes)};
    if (!fingerprint.isEmpty() && fingerprint.size() != kFingerprintBytes)
        return {QByteArray(), QStringLiteral("fingerprint data must be %1 bytes").arg(kFingerprintBytes)};
    BuiltRecord built = idCardTextBlock(fields);
    if (built.error.isEmpty())
        built.record += portrait + fingerprint;
    return built;
}

IdCardFields sampleHolder(const QString& cardType)
{
    if (cardType == QStringLiteral("I"))
        return {{QStringLiteral("CardType"), QStringLiteral("I")},
                {QStringLiteral("englishName"), QStringLiteral("SMITH JOHN")},
                {QStringLiteral("name"), QStringLiteral("史密斯")},
                {QStringLiteral("gender"), QStringLiteral("男")},
                {QStringLiteral("idNum"), QStringLiteral("USA110085010112")},
                {QStringLiteral("nationCode"), QStringLiteral("USA")},
                {QStringLiteral("birthday"), QStringLiteral("19850101")},
                {QStringLiteral("effectDate"), QStringLiteral("20200315")},
                {QStringLiteral("expireDate"), QStringLiteral("20300315")},
                {QStringLiteral("CertVersion"), QStringLiteral("01")},
                {QStringLiteral("issueOrg"), QStringLiteral("1500")}};
    if (cardType == QStringLiteral("J"))
        return {{QStringLiteral("CardType"), QStringLiteral("J")},
                {QStringLiteral("name"), QStringLiteral("陈美玲")},
                {QStringLiteral("gender"), QStringLiteral("女")},
                {QStringLiteral("birthday"), QStringLiteral("19920718")},
                {QStringLiteral("address"), QStringLiteral("广东省深圳市福田区华强北路100号")},
                {QStringLiteral("idNum"), QStringLiteral("810000199207180026")},
                {QStringLiteral("issueOrg"), QStringLiteral("深圳市公安局")},
                {QStringLiteral("effectDate"), QStringLiteral("20210601")},
                {QStringLiteral("expireDate"), QStringLiteral("20260601")},
                {QStringLiteral("passNum"), QStringLiteral("H12345678")},
                {QStringLiteral("signCount"), QStringLiteral("01")}};
    return {{QStringLiteral("name"), QStringLiteral("李晓明")},
            {QStringLiteral("gender"), QStringLiteral("男")},
            {QStringLiteral("nation"), QStringLiteral("汉")},
            {QStringLiteral("birthday"), QStringLiteral("19900105")},
            {QStringLiteral("address"), QStringLiteral("北京市东城区景山前街四号院二号楼三单元五零一室")},
            {QStringLiteral("idNum"), QStringLiteral("11010119900105001X")},
            {QStringLiteral("issueOrg"), QStringLiteral("北京市公安局东城分局")},
            {QStringLiteral("effectDate"), QStringLiteral("20200101")},
            {QStringLiteral("expireDate"), QStringLiteral("20400101")}};
}

} // namespace simdevices
