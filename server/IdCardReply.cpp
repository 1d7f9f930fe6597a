// The identity card reply and the portrait it carries.
#include "IdCardReply.h"

#include "IDINFO.h"
#include "PortraitFile.h"
#include "TextMessageProcessor.h"

#include <QBuffer>
#include <QDebug>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>

namespace {

// A field of the record: NUL-terminated UTF-8 within its width.
template <std::size_t N>
QString text(const char (&field)[N])
{
    return QString::fromUtf8(field, int(strnlen(field, N)));
}

// Fingerprint templates start with 'C'; anything else is no fingerprint.
QString fingerprintText(const unsigned char (&figData)[1024])
{
    if (figData[0] != 0x43)
        return QString();
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(figData), int(sizeof figData)).toHex().toUpper());
}

} // namespace

namespace idcardreply {

QByteArray portraitBitmap()
{
    const QImage portrait(QString::fromLatin1(idcard::kPortraitFile));
    if (portrait.isNull())
        return QByteArray();
    QByteArray bmp;
    QBuffer buffer(&bmp);
    buffer.open(QIODevice::WriteOnly);
    if (!portrait.save(&buffer, "bmp"))
        return QByteArray();
    return bmp;
}

QString portraitText()
{
    return QString::fromLatin1(portraitBitmap().toBase64());
}

void removePortrait()
{
    QFile::remove(QString::fromLatin1(idcard::kPortraitFile));
}

} // namespace idcardreply

QString CTextMessageProcessor::CreateJsonIDCard(QString functionName, int, QString message, IDINFO* info,
                                                QString photo)
{
    QJsonObject data;
    qWarning("idcard 1\n");
    data.insert(QStringLiteral("figData"), fingerprintText(info->figData));
    qWarning("idcard 1\n");
    data.insert(QStringLiteral("CardType"), text(info->CardType));
    data.insert(QStringLiteral("name"), text(info->name));
    data.insert(QStringLiteral("englishName"), text(info->englishName));
    data.insert(QStringLiteral("gender"), text(info->gender));
    data.insert(QStringLiteral("issueOrg"), text(info->issueOrg));
    data.insert(QStringLiteral("address"), text(info->address));
    data.insert(QStringLiteral("effectDate"), text(info->effectDate));
    data.insert(QStringLiteral("expireDate"), text(info->expireDate));
    data.insert(QStringLiteral("birthday"), text(info->birthday));
    data.insert(QStringLiteral("idNum"), text(info->idNum));
    data.insert(QStringLiteral("passNum"), text(info->passNum));
    data.insert(QStringLiteral("nation"), text(info->nation));
    data.insert(QStringLiteral("nationCode"), text(info->nationCode));
    data.insert(QStringLiteral("signCount"), text(info->signCount));
    data.insert(QStringLiteral("dn"), QStringLiteral("dn"));
    data.insert(QStringLiteral("CertVersion"), text(info->CertVersion));
    if (!photo.isEmpty())
        data.insert(QStringLiteral("photo"), photo);

    QJsonObject reply;
    reply.insert(QStringLiteral("functionName"), functionName);
    reply.insert(QStringLiteral("err_code"), 0); // every card reply says 0
    reply.insert(QStringLiteral("err_msg"), message);
    reply.insert(QStringLiteral("_tflag"), m_replyTag);
    reply.insert(QStringLiteral("data"), data);
    return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}
