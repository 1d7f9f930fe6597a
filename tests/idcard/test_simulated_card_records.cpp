// The records the simulated cards hold: built from the holder's fields by
// name, they parse back to those fields; what cannot go on a card is
// refused with the field named.
#include "CardRecordFixtures.h"
#include "IdCardRecords.h"
#include "ReadIDCard.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace fixtures;
using simdevices::IdCardFields;

namespace {

IDINFO parseRecord(const QByteArray& cardRecord)
{
    // As the SAM reader hands it over: the header, then the card's record.
    ReadIDCard reader;
    IDINFO info;
    QByteArray record = samRecord(cardRecord.left(256), cardRecord.mid(256, 1024), cardRecord.mid(1280));
    reader.AnalysisID(reinterpret_cast<unsigned char*>(record.data()), &info, true);
    return info;
}

QString field(const IDINFO& info, const QString& key)
{
    const QMap<QString, const char*> fields = {
        {"CardType", info.CardType},     {"name", info.name},         {"englishName", info.englishName},
        {"gender", info.gender},         {"nation", info.nation},     {"birthday", info.birthday},
        {"address", info.address},       {"idNum", info.idNum},       {"issueOrg", info.issueOrg},
        {"effectDate", info.effectDate}, {"expireDate", info.expireDate}, {"nationCode", info.nationCode},
        {"passNum", info.passNum},       {"signCount", info.signCount}, {"CertVersion", info.CertVersion}};
    return QString::fromUtf8(fields.value(key));
}

TEST(SimulatedCardRecords, SampleHoldersParseBackToTheirFields)
{
    ScratchDirectory scratch;
    ASSERT_TRUE(scratch.ok());
    for (const QString type : {QString(), QStringLiteral("I"), QStringLiteral("J")}) {
        const IdCardFields holder = simdevices::sampleHolder(type);
        const simdevices::BuiltRecord built = simdevices::idCardRecord(holder);
        ASSERT_TRUE(built.error.isEmpty()) << built.error.toStdString();
        ASSERT_EQ(built.record.size(), 1280);
        const IDINFO info = parseRecord(built.record);
        for (auto it = holder.cbegin(); it != holder.cend(); ++it) {
            QString expected = it.value();
            if (it.key() == "englishName")
                expected = expected.section(' ', 0, 0); // the parser keeps the surname
            if (it.key() == "address" && type == "J")
                expected = expected.leftJustified(35, ' ').left(35); // kept with its padding
            EXPECT_EQ(field(info, it.key()), expected) << qPrintable(type) << " " << qPrintable(it.key());
        }
        EXPECT_EQ(field(info, "CardType"), type.isEmpty() ? QStringLiteral(" ") : type);
    }
}

TEST(SimulatedCardRecords, CodesByNameOrNumberAndTheFingerprintArea)
{
    ScratchDirectory scratch;
    ASSERT_TRUE(scratch.ok());
    IdCardFields holder = simdevices::sampleHolder();
    holder["nation"] = "56";
    holder["gender"] = "2";
    simdevices::BuiltRecord built = simdevices::idCardRecord(holder, encodedPortrait(), fingerprintData());
    ASSERT_TRUE(built.error.isEmpty()) << built.error.toStdString();
    ASSERT_EQ(built.record.size(), 2304);
    IDINFO info = parseRecord(built.record);
    EXPECT_EQ(field(info, "nation"), "基诺");
    EXPECT_EQ(field(info, "gender"), "女");
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(info.figData), 1024), fingerprintData());

    holder["nation"] = "蒙古";
    built = simdevices::idCardRecord(holder);
    EXPECT_EQ(field(parseRecord(built.record), "nation"), "蒙古");
}

TEST(SimulatedCardRecords, WhatCannotGoOnTheCardIsRefusedByName)
{
    const struct {
        const char* key;
        QString value;
        const char* named;
    } bad[] = {
        {"CardType", "X", "CardType"},
        {"gender", "未知", "gender"},
        {"nation", "火星", "nation"},
        {"name", QString(16, QChar(0x4E00)), "name"},
        {"idNum", "1101011990010500123", "idNum"},
        {"passNum", "H12345678", "passNum"}, // not on a resident card
        {"adress", "北京", "adress"},
    };
    for (const auto& b : bad) {
        IdCardFields holder = simdevices::sampleHolder();
        holder[b.key] = b.value;
        const simdevices::BuiltRecord built = simdevices::idCardRecord(holder);
        EXPECT_TRUE(built.record.isEmpty()) << b.key;
        EXPECT_TRUE(built.error.contains(b.named)) << b.key << ": " << built.error.toStdString();
    }
    const simdevices::BuiltRecord shortPortrait = simdevices::idCardRecord(simdevices::sampleHolder(), QByteArray(100, 'x'));
    EXPECT_TRUE(shortPortrait.error.contains("portrait"));
    const simdevices::BuiltRecord badPrint =
        simdevices::idCardRecord(simdevices::sampleHolder(), simdevices::stockPortrait(), QByteArray(10, 'C'));
    EXPECT_TRUE(badPrint.error.contains("fingerprint"));
}

TEST(SimulatedCardRecords, StockPortraitIsTheEncodersIdPhoto)
{
    // Regenerate simdevices/data/stock-portrait.wlt with
    // `wltenc_tool OUTDIR idphoto` when the encoder changes.
    EXPECT_EQ(simdevices::stockPortrait(), encodedPortrait("idphoto"));
    EXPECT_EQ(decodedBitmap(simdevices::stockPortrait()).size(), 38862);
}

} // namespace
