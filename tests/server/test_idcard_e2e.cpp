// The identity card commands end to end: the built `periphd --simulate`,
// a WebSocket client, and the simulated readers scripted with SimIDCard.
// periphd runs in a private working directory, where the card files go.
#include "CardRecordFixtures.h"
#include "PeriphdProcess.h"
#include "WsClient.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QStringList kDataKeys = {"CardType", "CertVersion", "address",  "birthday", "dn",        "effectDate",
                               "englishName", "expireDate", "figData", "gender", "idNum",     "issueOrg",
                               "name",     "nation",      "nationCode", "passNum", "signCount"};

// The sample resident card's holder as the reply gives it.
const QJsonObject kHolder{{"CardType", " "},
                          {"name", "张三"},
                          {"gender", "男"},
                          {"nation", "汉"},
                          {"birthday", "19900105"},
                          {"address", "北京市东城区景山前街4号"},
                          {"idNum", "11010119900105001X"},
                          {"issueOrg", "北京市公安局东城分局"},
                          {"effectDate", "20200101"},
                          {"expireDate", "20400101"}};

QImage pixels(const QByteArray& imageFile)
{
    return QImage::fromData(imageFile).convertToFormat(QImage::Format_RGB32);
}

QByteArray withoutLastBytes(QByteArray wlt, int n)
{
    for (int i = wlt.size() - n; i < wlt.size(); ++i)
        wlt[i] = '\0';
    return wlt;
}

} // namespace

class IdCardEndToEnd : public QObject {
    Q_OBJECT

    QTemporaryDir m_work;
    PeriphdProcess m_periphd{{QStringLiteral("--simulate")}};
    WsClient m_client;

    QString file(const char* name) const { return QDir(m_work.path()).filePath(QLatin1String(name)); }

    QJsonObject call(const QString& request, int timeoutMs = 20000)
    {
        return parseReply(m_client.request(request, timeoutMs));
    }
    QJsonObject script(const QString& request)
    {
        const QJsonObject reply = call(QStringLiteral(R"({"function":"SimIDCard",%1})").arg(request));
        if (reply.value("success").toInt() != 1)
            qWarning().noquote() << "SimIDCard refused:" << reply.value("msg").toString();
        return reply;
    }
    void removeCardFiles()
    {
        for (const char* name : {"frontNew.jpg", "backNew.jpg", "simage_file.bmp"})
            QFile::remove(file(name));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_work.isValid());
        m_periphd.setWorkingDirectory(m_work.path());
        QVERIFY2(m_periphd.start(), m_periphd.standardError().constData());
        QVERIFY(m_client.open(m_periphd.url()));
    }

    void cleanup()
    {
        // After every reply, whatever it said.
        QVERIFY(!QFile::exists(file("simage_file.bmp")));
    }

    // The sample card periphd starts with, on both readers: every key of
    // the card reply, through both routes of the SAM read.
    void sampleCardsAtStartUp()
    {
        for (const QString& request : {QStringLiteral(R"({"function":"ZCReadIDCard","_tflag":"1"})"),
                                       QStringLiteral(R"({"act":"readIntegratedCard","_tflag":"2"})"),
                                       QStringLiteral(R"({"function":"ZCReadHIDIDCard","_tflag":"3"})")}) {
            const QJsonObject sent = QJsonDocument::fromJson(request.toUtf8()).object();
            const QJsonObject reply = call(request);
            QCOMPARE(reply.keys(), (QStringList{"_tflag", "data", "err_code", "err_msg", "functionName"}));
            QCOMPARE(reply.value("functionName").toString(), sent.value("function").toString());
            QCOMPARE(reply.value("_tflag").toString(), sent.value("_tflag").toString());
            QCOMPARE(reply.value("err_code").toVariant(), QVariant(0));
            QCOMPARE(reply.value("err_msg").toString(), QStringLiteral("读卡成功"));
            const QJsonObject data = reply.value("data").toObject();
            QStringList keys = kDataKeys + QStringList{"photo"};
            keys.sort();
            QCOMPARE(data.keys(), keys);
            QCOMPARE(data.value("name").toString(), QStringLiteral("李晓明"));
            QCOMPARE(data.value("nation").toString(), QStringLiteral("汉"));
            QCOMPARE(data.value("idNum").toString(), QStringLiteral("11010119900105001X"));
            QCOMPARE(data.value("dn").toString(), QStringLiteral("dn"));
            for (const char* empty : {"englishName", "passNum", "nationCode", "signCount", "CertVersion", "figData"})
                QCOMPARE(data.value(empty).toString(), QString());
            QVERIFY(!pixels(QByteArray::fromBase64(data.value("photo").toString().toLatin1())).isNull());
        }
    }

    void samNumber()
    {
        QCOMPARE(call(R"({"function":"ZCGetSAMNum","_tflag":"s1"})"),
                 (QJsonObject{{"_tflag", "s1"}, {"data", "0D4A1E05202400A1B2C3D4E5F6071829"},
                              {"functionName", "ZCGetSAMNum"}, {"msg", "获取SAM码成功"}, {"success", 1}}));
        QCOMPARE(script(R"("samId":"00112233445566778899aabbccddeeff")").value("success").toInt(), 1);
        QCOMPARE(call(R"({"act":"test","_tflag":"s2"})"),
                 (QJsonObject{{"_tflag", "s2"}, {"data", "00112233445566778899AABBCCDDEEFF"}, {"functionName", ""},
                              {"msg", "获取SAM码成功"}, {"success", 1}}));
        QCOMPARE(script(R"("attached":"0")").value("success").toInt(), 1);
        QCOMPARE(call(R"({"function":"ZCGetSAMNum","_tflag":"s3"})"),
                 (QJsonObject{{"_tflag", "s3"}, {"functionName", "ZCGetSAMNum"},
                              {"msg", "libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed"}, {"success", -1}}));
        QCOMPARE(script(R"("attached":"1")").value("success").toInt(), 1);
    }

    // A card given as the record it holds, read on each reader: the holder's
    // fields and the portrait the decoder makes of the card's WLT, from all
    // its 1024 bytes (a 0501 delivers them in a reply one byte shorter than
    // its length field counts).
    void cardRecordOnEachReader_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("synthetic");
        QTest::addColumn<bool>("withFingerprint");
        QTest::newRow("0501") << "0501" << "face" << false;
        QTest::newRow("0503") << "0503" << "gradient" << false;
        QTest::newRow("0503 with fingerprint") << "0503" << "noise" << true;
        QTest::newRow("HID") << "hid" << "border" << true;
    }
    void cardRecordOnEachReader()
    {
        QFETCH(QString, reader);
        QFETCH(QString, synthetic);
        QFETCH(bool, withFingerprint);
        const QByteArray wlt = fixtures::encodedPortrait(synthetic.toLatin1().constData());
        const QImage expected = pixels(fixtures::decodedBitmap(wlt));
        QVERIFY(!expected.isNull());
        // The picture depends on the portrait's last bytes, so a read that
        // lost them would show.
        QVERIFY(pixels(fixtures::decodedBitmap(withoutLastBytes(wlt, 6))) != expected);

        const QByteArray fingerprint = withFingerprint ? fixtures::fingerprintData() : QByteArray();
        const QByteArray record = fixtures::residentBlock().bytes() + wlt + fingerprint;
        const bool hid = reader == "hid";
        const QString target = hid ? QStringLiteral(R"("reader":"hid")")
                                   : QStringLiteral(R"("reader":"sam","module":"%1")").arg(reader);
        const QJsonObject scripted = script(target + QStringLiteral(R"(,"record":"%1")").arg(QString::fromLatin1(record.toBase64())));
        QCOMPARE(scripted.value("success").toInt(), 1);

        removeCardFiles();
        const QJsonObject reply =
            call(QStringLiteral(R"({"function":"%1","_tflag":"c"})").arg(hid ? "ZCReadHIDIDCard" : "ZCReadIDCard"));
        QCOMPARE(reply.value("err_msg").toString(), QStringLiteral("读卡成功"));
        const QJsonObject data = reply.value("data").toObject();
        for (const QString& key : kDataKeys) {
            const QString want = key == "dn" ? QStringLiteral("dn") : kHolder.value(key).toString();
            if (key != "figData")
                QVERIFY2(data.value(key).toString() == want, qPrintable(key + ": " + data.value(key).toString()));
        }
        // The HID reader delivers no fingerprint data.
        QCOMPARE(data.value("figData").toString(),
                 withFingerprint && !hid ? QString::fromLatin1(fingerprint.toHex().toUpper()) : QString());
        QCOMPARE(pixels(QByteArray::fromBase64(data.value("photo").toString().toLatin1())), expected);

        // The faces are drawn after SAM reads only, on the installed templates.
        QCOMPARE(QFile::exists(file("frontNew.jpg")), !hid);
        QCOMPARE(QFile::exists(file("backNew.jpg")), !hid);
        if (!hid) {
            const QImage front(file("frontNew.jpg"));
            const QImage back(file("backNew.jpg"));
            QCOMPARE(front.size(), QSize(1070, 681));
            QCOMPARE(back.size(), QSize(1070, 681));
        }
    }

    // No card, then the card again; no reader, then the reader again: each
    // read is answered with its own result.
    void failuresAndTheReadAfter()
    {
        const QString tagged = QStringLiteral(R"({"function":"%1","_tflag":"%2"})");
        QCOMPARE(script(R"("present":"0")").value("success").toInt(), 1);
        QCOMPARE(call(tagged.arg("ZCReadIDCard", "f1")),
                 (QJsonObject{{"_tflag", "f1"}, {"functionName", "ZCReadIDCard"}, {"msg", "读卡失败"},
                              {"success", 431004}}));
        QCOMPARE(script(R"("present":"1")").value("success").toInt(), 1);
        QCOMPARE(call(tagged.arg("ZCReadIDCard", "f2")).value("err_msg").toString(), QStringLiteral("读卡成功"));

        QCOMPARE(script(R"("reader":"hid","present":"0")").value("success").toInt(), 1);
        QCOMPARE(call(tagged.arg("ZCReadHIDIDCard", "f3")),
                 (QJsonObject{{"_tflag", "f3"}, {"functionName", "ZCReadHIDIDCard"}, {"msg", "寻卡失败"},
                              {"success", -2}}));
        QCOMPARE(script(R"("reader":"hid","present":"1")").value("success").toInt(), 1);
        QCOMPARE(call(tagged.arg("ZCReadHIDIDCard", "f4")).value("err_msg").toString(), QStringLiteral("读卡成功"));

        removeCardFiles();
        QCOMPARE(script(R"("attached":"0")").value("success").toInt(), 1);
        QCOMPARE(script(R"("reader":"hid","attached":"0")").value("success").toInt(), 1);
        QCOMPARE(call(tagged.arg("ZCReadIDCard", "f5")),
                 (QJsonObject{{"_tflag", "f5"}, {"functionName", "ZCReadIDCard"}, {"msg", "读卡失败"},
                              {"success", 431003}}));
        QCOMPARE(call(tagged.arg("ZCReadHIDIDCard", "f6")),
                 (QJsonObject{{"_tflag", "f6"}, {"functionName", "ZCReadHIDIDCard"}, {"msg", "寻卡失败"},
                              {"success", -12}}));
        // A failed read draws no faces.
        QVERIFY(!QFile::exists(file("frontNew.jpg")));
        QCOMPARE(script(R"("attached":"1")").value("success").toInt(), 1);
        QCOMPARE(script(R"("reader":"hid","attached":"1")").value("success").toInt(), 1);
        QCOMPARE(call(tagged.arg("ZCReadIDCard", "f7")).value("err_msg").toString(), QStringLiteral("读卡成功"));
        QCOMPARE(call(tagged.arg("ZCReadHIDIDCard", "f8")).value("err_msg").toString(), QStringLiteral("读卡成功"));
    }

    // A page names the holder's fields; the card holds them with the stock
    // portrait and the reply gives them back.
    void holderFieldsByName()
    {
        const QJsonObject scripted =
            script(R"("reader":"hid","CardType":"I","englishName":"MARTIN","name":"马丁","gender":"2",)"
                   R"("idNum":"FRA310085010112","nationCode":"FRA","birthday":"19800229","CertVersion":"02")");
        QCOMPARE(scripted.value("success").toInt(), 1);
        const QJsonObject data = call(R"({"function":"ZCReadHIDIDCard"})").value("data").toObject();
        QCOMPARE(data.value("CardType").toString(), QStringLiteral("I"));
        QCOMPARE(data.value("englishName").toString(), QStringLiteral("MARTIN"));
        QCOMPARE(data.value("name").toString(), QStringLiteral("马丁"));
        QCOMPARE(data.value("gender").toString(), QStringLiteral("女"));
        QCOMPARE(data.value("idNum").toString(), QStringLiteral("FRA310085010112"));
        QCOMPARE(data.value("nationCode").toString(), QStringLiteral("FRA"));
        QCOMPARE(data.value("birthday").toString(), QStringLiteral("19800229"));
        QCOMPARE(data.value("CertVersion").toString(), QStringLiteral("02"));
        QCOMPARE(data.value("address").toString(), QString()); // not on this card
        QVERIFY(data.contains("photo"));

        const QJsonObject refused = script(R"("reader":"hid","CardType":"I","nation":"汉")");
        QCOMPARE(refused.value("success").toInt(), 0);
        QCOMPARE(refused.value("msg").toString(), QStringLiteral("nation is not on a foreign permanent resident card"));
    }

    void cleanupTestCase()
    {
        m_periphd.stop();
        // Nothing but the faces is left in the working directory.
        QStringList left = QDir(m_work.path()).entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, (QStringList{"backNew.jpg", "frontNew.jpg"}));
    }
};

// SimIDCard exists only with --simulate.
class IdCardWithoutSimulation : public QObject {
    Q_OBJECT
private slots:
    void scriptingIsUnknown()
    {
        QTemporaryDir work;
        PeriphdProcess periphd;
        periphd.setWorkingDirectory(work.path());
        QVERIFY(periphd.start());
        WsClient client;
        QVERIFY(client.open(periphd.url()));
        const QString request = QStringLiteral(R"({"function":"SimIDCard","reader":"hid","present":"0"})");
        QCOMPARE(client.request(request), request);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    IdCardEndToEnd simulated;
    IdCardWithoutSimulation plain;
    return QTest::qExec(&simulated, argc, argv) | QTest::qExec(&plain, argc, argv);
}

#include "test_idcard_e2e.moc"
