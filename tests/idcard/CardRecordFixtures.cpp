#include "CardRecordFixtures.h"

#include "SyntheticPortraits.h"
#include "WltEncoder.h"
#include "libwlt.h"

#include <QDir>
#include <QFile>

namespace fixtures {

TextBlock::TextBlock(QChar cardType) : m_bytes(256, '\0')
{
    put(0, 256, QString());
    put(248, 2, QString(cardType));
}

TextBlock& TextBlock::put(int offset, int length, const QString& text)
{
    std::vector<ushort> units;
    for (int i = 0; i < length / 2; ++i)
        units.push_back(i < text.size() ? text.at(i).unicode() : ushort(' '));
    return putUnits(offset, units);
}

TextBlock& TextBlock::putUnits(int offset, const std::vector<ushort>& units)
{
    for (std::size_t i = 0; i < units.size(); ++i) {
        m_bytes[offset + int(2 * i)] = char(units[i] & 0xFF);
        m_bytes[offset + int(2 * i) + 1] = char(units[i] >> 8);
    }
    return *this;
}

TextBlock residentBlock()
{
    TextBlock b;
    b.put(0, 30, QStringLiteral("张三"))
        .put(30, 2, QStringLiteral("1"))
        .put(32, 4, QStringLiteral("01"))
        .put(36, 16, QStringLiteral("19900105"))
        .put(52, 70, QStringLiteral("北京市东城区景山前街4号"))
        .put(122, 36, QStringLiteral("11010119900105001X"))
        .put(158, 30, QStringLiteral("北京市公安局东城分局"))
        .put(188, 16, QStringLiteral("20200101"))
        .put(204, 16, QStringLiteral("20400101"));
    return b;
}

TextBlock foreignPermanentBlock()
{
    TextBlock b(QLatin1Char('I'));
    b.put(0, 120, QStringLiteral("SMITH JOHN"))
        .put(120, 2, QStringLiteral("2"))
        .put(122, 30, QStringLiteral("USA110085010112"))
        .put(152, 6, QStringLiteral("USA"))
        .put(158, 30, QStringLiteral("史密斯"))
        .put(188, 16, QStringLiteral("20200315"))
        .put(204, 16, QStringLiteral("20300315"))
        .put(220, 16, QStringLiteral("19850101"))
        .put(236, 4, QStringLiteral("01"))
        .put(240, 8, QStringLiteral("1500"));
    return b;
}

TextBlock residencePermitBlock()
{
    TextBlock b(QLatin1Char('J'));
    b.put(0, 30, QStringLiteral("陈美玲"))
        .put(30, 2, QStringLiteral("2"))
        .put(36, 16, QStringLiteral("19920718"))
        .put(52, 70, QStringLiteral("广东省深圳市福田区华强北"))
        .put(122, 36, QStringLiteral("810000199207180026"))
        .put(158, 30, QStringLiteral("深圳市公安局"))
        .put(188, 16, QStringLiteral("20210601"))
        .put(204, 16, QStringLiteral("20260601"))
        .put(220, 18, QStringLiteral("H12345678"))
        .put(238, 4, QStringLiteral("01"));
    return b;
}

QByteArray encodedPortrait(const char* synthetic)
{
    const wltenc::SyntheticPortrait s = wltenc::makeSynthetic(synthetic);
    const wltenc::EncodedWlt e = wltenc::encodeWlt(s.picture, s.outline, s.background);
    return QByteArray(reinterpret_cast<const char*>(e.bytes.data()), int(e.bytes.size()));
}

QByteArray decodedBitmap(const QByteArray& wlt)
{
    QByteArray in = wlt;
    in.resize(1056);
    QByteArray out(40960, '\0');
    int length = 0;
    libwlt decoder;
    if (decoder.Unpack_Data(reinterpret_cast<unsigned char*>(in.data()), 1024,
                            reinterpret_cast<unsigned char*>(out.data()), &length) != WLT_OK)
        return QByteArray();
    return out.left(length);
}

QByteArray samRecord(const QByteArray& text, const QByteArray& portrait, const QByteArray& fingerprint)
{
    const char header[] = {'\x00', '\x90', '\x01', '\x00', '\x04', '\x00'};
    QByteArray record = QByteArray(header, 6) + text + portrait + fingerprint;
    record.append(QByteArray(4096 - record.size(), '\0'));
    return record;
}

QByteArray hidRecord(const QByteArray& text, const QByteArray& portrait)
{
    QByteArray record = text + portrait;
    record.append(QByteArray(1300 - record.size(), '\0'));
    return record;
}

QByteArray fingerprintData()
{
    QByteArray data(1024, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char((i * 37 + 11) & 0xFF);
    data[0] = 'C';
    return data;
}

ScratchDirectory::ScratchDirectory() : m_previous(QDir::currentPath())
{
    m_ok = m_dir.isValid() && QDir::setCurrent(m_dir.path());
}

ScratchDirectory::~ScratchDirectory()
{
    QDir::setCurrent(m_previous);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace fixtures
