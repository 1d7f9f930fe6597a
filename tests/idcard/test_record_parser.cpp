// The card record parser: the three card types, the capacities and
// finishing rules, the code tables, damaged text, both record layouts, and
// the portrait file.
#include "CardRecordFixtures.h"
#include "ReadIDCard.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QStringList>

#include <cstring>

using namespace fixtures;

namespace {

class RecordParser : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(scratch.ok()); }

    IDINFO parse(QByteArray record, bool withHeader)
    {
        IDINFO info;
        std::memset(&info, 0x5A, sizeof(info)); // the parser must clear it all
        EXPECT_EQ(reader.AnalysisID(reinterpret_cast<unsigned char*>(record.data()), &info, withHeader), 0);
        return info;
    }
    IDINFO parseSam(const TextBlock& text, const QByteArray& fingerprint = QByteArray())
    {
        return parse(samRecord(text.bytes(), portrait, fingerprint), true);
    }

    ScratchDirectory scratch;
    ReadIDCard reader;
    const QByteArray portrait = encodedPortrait();
};

QString str(const char* field) { return QString::fromUtf8(field); }

bool allZero(const unsigned char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i])
            return false;
    return true;
}

TEST_F(RecordParser, ResidentIdentityCard)
{
    const IDINFO info = parseSam(residentBlock(), fingerprintData());
    EXPECT_EQ(str(info.CardType), " ");
    EXPECT_EQ(str(info.name), "张三");
    EXPECT_EQ(std::strlen(info.name), 6u);
    EXPECT_EQ(str(info.gender), "男");
    EXPECT_EQ(str(info.nation), "汉");
    EXPECT_EQ(str(info.birthday), "19900105");
    EXPECT_EQ(str(info.address), "北京市东城区景山前街4号");
    EXPECT_EQ(str(info.idNum), "11010119900105001X");
    EXPECT_EQ(str(info.issueOrg), "北京市公安局东城分局");
    EXPECT_EQ(str(info.effectDate), "20200101");
    EXPECT_EQ(str(info.expireDate), "20400101");
    for (const char* other : {info.englishName, info.nationCode, info.passNum, info.signCount, info.CertVersion})
        EXPECT_STREQ(other, "");
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(info.figData), 1024), fingerprintData());
}

TEST_F(RecordParser, ResidentCardWhoseTypeCharacterIsZero)
{
    TextBlock block = residentBlock();
    block.putUnits(248, {0});
    const IDINFO info = parseSam(block);
    EXPECT_STREQ(info.CardType, "");
    EXPECT_EQ(str(info.name), "张三");
    EXPECT_EQ(str(info.nation), "汉");
}

TEST_F(RecordParser, ForeignPermanentResidentCard)
{
    const IDINFO info = parseSam(foreignPermanentBlock());
    EXPECT_STREQ(info.CardType, "I");
    EXPECT_EQ(str(info.englishName), "SMITH"); // cut at the first space
    EXPECT_EQ(str(info.name), "史密斯");
    EXPECT_EQ(str(info.gender), "女");
    EXPECT_EQ(str(info.idNum), "USA110085010112");
    EXPECT_EQ(str(info.nationCode), "USA");
    EXPECT_EQ(str(info.effectDate), "20200315");
    EXPECT_EQ(str(info.expireDate), "20300315");
    EXPECT_EQ(str(info.birthday), "19850101");
    EXPECT_EQ(str(info.CertVersion), "01");
    EXPECT_EQ(str(info.issueOrg), "1500");
    for (const char* other : {info.nation, info.address, info.passNum, info.signCount})
        EXPECT_STREQ(other, "");
}

TEST_F(RecordParser, ResidencePermit)
{
    const IDINFO info = parseSam(residencePermitBlock());
    EXPECT_STREQ(info.CardType, "J");
    EXPECT_EQ(str(info.name), "陈美玲");
    EXPECT_EQ(str(info.gender), "女");
    EXPECT_EQ(str(info.birthday), "19920718");
    // "whole": the padding stays, up to the capacity of 70 bytes.
    EXPECT_EQ(str(info.address), QStringLiteral("广东省深圳市福田区华强北") + QString(23, QLatin1Char(' ')));
    EXPECT_EQ(std::strlen(info.address), 12u * 3 + 23);
    EXPECT_EQ(str(info.idNum), "810000199207180026");
    EXPECT_EQ(str(info.issueOrg), "深圳市公安局");
    EXPECT_EQ(str(info.effectDate), "20210601");
    EXPECT_EQ(str(info.expireDate), "20260601");
    EXPECT_EQ(str(info.passNum), "H12345678");
    EXPECT_EQ(str(info.signCount), "01");
    for (const char* other : {info.nation, info.englishName, info.nationCode, info.CertVersion})
        EXPECT_STREQ(other, "");
}

TEST_F(RecordParser, CapacitiesLimitPermitsAndForeignCardsButNotResidentCards)
{
    const QString thirty = QStringLiteral("一二三四五六七八九十").repeated(3);
    TextBlock permit = residencePermitBlock();
    permit.put(52, 70, thirty).put(0, 30, thirty.left(12)).put(158, 30, thirty.left(15));
    IDINFO info = parseSam(permit);
    EXPECT_EQ(str(info.address), thirty.left(23)); // 69 bytes: a 24th character would pass 70
    EXPECT_EQ(str(info.name), thirty.left(10));
    EXPECT_EQ(str(info.issueOrg), thirty.left(10));

    TextBlock foreign = foreignPermanentBlock();
    foreign.put(158, 30, thirty.left(15));
    info = parseSam(foreign);
    EXPECT_EQ(str(info.name), thirty.left(10));

    TextBlock resident = residentBlock();
    resident.put(52, 70, thirty).put(158, 30, thirty.left(15));
    info = parseSam(resident);
    EXPECT_EQ(str(info.address), thirty);
    EXPECT_EQ(str(info.issueOrg), thirty.left(15));
}

TEST_F(RecordParser, FieldsLongerThanTheirRecordFieldAreCutAtAWholeCharacter)
{
    // 15 characters are 45 bytes; name holds 39 and its terminator.
    TextBlock resident = residentBlock();
    resident.put(0, 30, QStringLiteral("一二三四五六七八九十一二三四五"));
    IDINFO info = parseSam(resident);
    EXPECT_EQ(str(info.name), QStringLiteral("一二三四五六七八九十一二三"));
    EXPECT_EQ(info.name[39], '\0');
    EXPECT_STREQ(info.englishName, ""); // nothing ran into the next field

    TextBlock foreign = foreignPermanentBlock();
    foreign.put(0, 120, QString(60, QLatin1Char('W')));
    info = parseSam(foreign);
    EXPECT_EQ(str(info.englishName), QString(39, QLatin1Char('W')));
    EXPECT_STREQ(info.gender, "女");
}

TEST_F(RecordParser, FixedEightAndEighteenTakeThatManyBytes)
{
    TextBlock resident = residentBlock();
    resident.put(36, 16, QStringLiteral("1990年01月05"))
        .put(188, 16, QStringLiteral("2020010199"))
        .put(204, 16, QStringLiteral("长期"))
        .put(122, 36, QStringLiteral("身份11010119900105"));
    IDINFO info = parseSam(resident);
    EXPECT_EQ(QByteArray(info.birthday), QByteArray("1990年0"));
    EXPECT_EQ(str(info.effectDate), "20200101");
    // Shorter texts keep their padding up to the 8 bytes.
    EXPECT_EQ(str(info.expireDate), QStringLiteral("长期  "));
    EXPECT_EQ(QByteArray(info.idNum), QStringLiteral("身份11010119900105").toUtf8().left(18));

    // On a residence permit the capacity of 8 stops the conversion first,
    // so only whole characters remain.
    TextBlock permit = residencePermitBlock();
    permit.put(36, 16, QStringLiteral("20年06月01")).put(204, 16, QStringLiteral("20年06月01"));
    info = parseSam(permit);
    EXPECT_EQ(QByteArray(info.birthday), QByteArray("20年06"));
    EXPECT_EQ(QByteArray(info.expireDate), QByteArray("20年06"));
    resident = residentBlock();
    resident.put(36, 16, QStringLiteral("20年06月01"));
    EXPECT_EQ(QByteArray(parseSam(resident).birthday), QByteArray("20年06\xE6"));
}

TEST_F(RecordParser, NationTable)
{
    const struct {
        const char* code;
        const char* nation;
    } cases[] = {{"01", "汉"}, {"56", "基诺"}, {"97", ""}, {"00", ""}, {"57", ""}, {"xx", ""},
                 {"5x", "维吾尔"}, {"10", "朝鲜"}, {"29", "柯尔克孜"}, {"43", "乌孜别克"}};
    for (const auto& c : cases) {
        TextBlock block = residentBlock();
        block.put(32, 4, QString::fromLatin1(c.code));
        EXPECT_EQ(str(parseSam(block).nation), QString::fromUtf8(c.nation)) << c.code;
    }
    QStringList names;
    for (int code = 1; code <= 56; ++code) {
        TextBlock block = residentBlock();
        block.put(32, 4, QString::number(code).rightJustified(2, QLatin1Char('0')));
        names << str(parseSam(block).nation);
    }
    names.removeDuplicates();
    EXPECT_EQ(names.size(), 56);
    EXPECT_FALSE(names.contains(QString()));
}

TEST_F(RecordParser, GenderTableForAllThreeTypes)
{
    const struct {
        const char* code;
        const char* gender;
    } cases[] = {{"1", "男"}, {"2", "女"}, {"0", "其他"}, {"9", "其他"}, {" ", "其他"}};
    for (const auto& c : cases) {
        const QString code = QString::fromLatin1(c.code);
        TextBlock resident = residentBlock(), foreign = foreignPermanentBlock(), permit = residencePermitBlock();
        EXPECT_EQ(str(parseSam(resident.put(30, 2, code)).gender), QString::fromUtf8(c.gender)) << c.code;
        EXPECT_EQ(str(parseSam(foreign.put(120, 2, code)).gender), QString::fromUtf8(c.gender)) << c.code;
        EXPECT_EQ(str(parseSam(permit.put(30, 2, code)).gender), QString::fromUtf8(c.gender)) << c.code;
    }
}

TEST_F(RecordParser, DamagedTextKeepsWhatConvertedBeforeTheFault)
{
    TextBlock block = residentBlock();
    // A character outside the BMP (a surrogate pair) converts to 4 bytes.
    block.putUnits(0, {0x5F20, 0xD840, 0xDC00, 0x0020});
    EXPECT_EQ(QByteArray(parseSam(block).name), QByteArray("张\xF0\xA0\x80\x80"));
    // An unpaired high surrogate, a lone low surrogate, a pair cut by the field's end.
    block = residentBlock();
    block.putUnits(0, {0x5F20, 0x4E09, 0xD840, 0x0041});
    block.putUnits(158, {0x5317, 0xDC00, 0x4EAC});
    block.putUnits(52, std::vector<ushort>(34, 0x4E00));
    block.putUnits(52 + 68, {0xD840});
    const IDINFO info = parseSam(block);
    EXPECT_EQ(str(info.name), "张三");
    EXPECT_EQ(str(info.issueOrg), "北");
    EXPECT_EQ(str(info.address), QString(34, QChar(0x4E00)));
    EXPECT_EQ(str(info.idNum), "11010119900105001X"); // the next field is untouched
    // A zero unit inside a field ends it.
    block = residentBlock();
    block.putUnits(0, {0x674E, 0x0000, 0x56DB});
    EXPECT_EQ(str(parseSam(block).name), "李");
}

TEST_F(RecordParser, WithoutHeaderTheHidLayoutHasNoFingerprintArea)
{
    QByteArray record = hidRecord(residentBlock().bytes(), portrait);
    // The HID record buffer's tail past the portrait, as a reader might leave it.
    for (int i = 1280; i < record.size(); ++i)
        record[i] = 'C';
    const IDINFO info = parse(record, false);
    EXPECT_EQ(str(info.name), "张三");
    EXPECT_EQ(str(info.idNum), "11010119900105001X");
    EXPECT_TRUE(allZero(info.figData, sizeof(info.figData)));
    EXPECT_EQ(readFile(QStringLiteral("simage_file.bmp")), decodedBitmap(portrait));
}

TEST_F(RecordParser, WithHeaderAndNoFingerprintFigDataIsZero)
{
    const IDINFO info = parseSam(residentBlock());
    EXPECT_TRUE(allZero(info.figData, sizeof(info.figData)));
}

TEST_F(RecordParser, PortraitFileHoldsTheDecodersBitmap)
{
    for (const char* picture : {"idphoto", "gradient", "noise"}) {
        const QByteArray wlt = encodedPortrait(picture);
        const QByteArray expected = decodedBitmap(wlt);
        ASSERT_EQ(expected.size(), 38862) << picture;
        parse(samRecord(residentBlock().bytes(), wlt), true);
        EXPECT_EQ(readFile(QStringLiteral("simage_file.bmp")), expected) << picture;
        parse(hidRecord(foreignPermanentBlock().bytes(), wlt), false);
        EXPECT_EQ(readFile(QStringLiteral("simage_file.bmp")), expected) << picture;
    }
}

TEST_F(RecordParser, APortraitThatDoesNotDecodeLeavesNoFileNotEvenAnEarlierOne)
{
    parseSam(residentBlock());
    ASSERT_TRUE(QFile::exists(QStringLiteral("simage_file.bmp")));
    QByteArray corrupt = portrait;
    corrupt[0] = char(corrupt[0] ^ 0xFF); // no WLT header
    testing::internal::CaptureStdout();
    const IDINFO info = parse(samRecord(residentBlock().bytes(), corrupt), true);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_FALSE(QFile::exists(QStringLiteral("simage_file.bmp")));
    EXPECT_NE(out.find("ret = 3\n"), std::string::npos) << out;
    EXPECT_EQ(str(info.name), "张三"); // the fields still parse
}

TEST_F(RecordParser, ResidentProgressLinesAndNoneForTheOtherTypes)
{
    static QStringList lines;
    lines.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg)
                lines << text;
        });
    parseSam(residentBlock());
    const QStringList resident = lines;
    lines.clear();
    parseSam(foreignPermanentBlock());
    parseSam(residencePermitBlock());
    const QStringList others = lines;
    qInstallMessageHandler(previous);

    const QStringList expected = {
        "读卡4  \n",      "居民二代证\n",    "居民二代证1\n",   "居民二代证2\n",   "居民二代证2.1\n",
        "居民二代证2.2\n", "居民二代证2.3\n", "居民二代证2.4\n", "居民二代证2.5\n", "居民二代证2.6\n",
        "居民二代证2.7\n", "居民二代证3\n",   "居民二代证--\n"};
    EXPECT_EQ(resident, expected);
    EXPECT_EQ(others, QStringList({"读卡4  \n", "读卡4  \n"}));
}

// The conversion itself, on the edges the fields do not reach.
TEST(Utf16ToUtf8, StatusesAndWhatStaysInTheTarget)
{
    ReadIDCard r;
    unsigned char out[16];
    const auto convert = [&](std::vector<unsigned short> units, unsigned long capacity,
                             ReadIDCard::ConversionFlags flags = ReadIDCard::strictConversion) {
        units.push_back(0);
        std::memset(out, 0xEE, sizeof(out));
        return r.Utf16_To_Utf8(units.data(), out, capacity, flags);
    };
    EXPECT_EQ(convert({'A', 0x00E9, 0x4E2D, 0xD83D, 0xDE00}, 10), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(out), 10), QByteArray("A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80"));
    EXPECT_EQ(out[10], 0xEE); // no terminator written

    EXPECT_EQ(convert({'A', 0x4E2D}, 3), 2); // the 3-byte character does not fit after "A"
    EXPECT_EQ(out[0], 'A');
    EXPECT_EQ(out[1], 0xEE);

    EXPECT_EQ(convert({'A', 0xD83D}, 10), 1);
    EXPECT_EQ(convert({'A', 0xD83D, 'B'}, 10), 3);
    EXPECT_EQ(convert({0xDE00}, 10), 3);
    EXPECT_EQ(convert({'A', 0xDE00, 'B'}, 10, ReadIDCard::lenientConversion), 0);
    EXPECT_EQ(QByteArray(reinterpret_cast<char*>(out), 5), QByteArray("A\xED\xB8\x80" "B"));

    testing::internal::CaptureStdout();
    EXPECT_EQ(r.Utf16_To_Utf8(nullptr, out, 10, ReadIDCard::strictConversion), 4);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("ERR, Utf16_To_Utf8: source=", 0), 0u) << printed;
}

} // namespace
