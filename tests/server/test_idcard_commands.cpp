// The identity card commands in process, on the models `--simulate` puts
// behind the USB seam: what the end-to-end suite cannot script through
// SimIDCard (one-shot transfer failures, the retry, every failing step of
// the SAM id conversation, what the handlers leave open) and the reply's
// mapping of every field for the three card types. The card files are
// written into a private working directory.
#include "CardRecordFixtures.h"
#include "FaceFonts.h"
#include "IdCardRecords.h"
#include "IdCardSimulation.h"
#include "OutputCapture.h"
#include "SimulatedHidCardReader.h"
#include "SimulatedSamReader.h"
#include "SimulatedUsbBus.h"
#include "Simulation.h"
#include "SimulationMode.h"
#include "TextMessageProcessor.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

#include <libusb.h>

#include <memory>

using Module = SimulatedSamReader::Module;
using Command = SimulatedSamReader::Command;
using Fault = SimulatedSamReader::ReplyFault;
Q_DECLARE_METATYPE(Module)

namespace {

const QStringList kDataKeys = {"CardType", "CertVersion", "address",  "birthday", "dn",        "effectDate",
                               "englishName", "expireDate", "figData", "gender", "idNum",     "issueOrg",
                               "name",     "nation",      "nationCode", "passNum", "signCount"};

bool exists(const char* path)
{
    return QFile::exists(QString::fromLatin1(path));
}

// A portrait file left from elsewhere, which a failed read must not leave
// lying about either.
void plantStalePortrait()
{
    QFile stale(QStringLiteral("./simage_file.bmp"));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("BM stale");
}

QImage imageFromBase64(const QString& base64)
{
    return QImage::fromData(QByteArray::fromBase64(base64.toLatin1())).convertToFormat(QImage::Format_RGB32);
}

QImage decodedPortrait(const QByteArray& wlt)
{
    return QImage::fromData(fixtures::decodedBitmap(wlt)).convertToFormat(QImage::Format_RGB32);
}

} // namespace

class IdCardCommandsTest : public QObject {
    Q_OBJECT

    CTextMessageProcessor m_processor;
    QWebSocketServer m_server{QStringLiteral("test"), QWebSocketServer::NonSecureMode};
    QWebSocket m_page;
    QWebSocket* m_peer = nullptr;
    QStringList m_replies;
    std::unique_ptr<fixtures::ScratchDirectory> m_workdir;

    SimulatedSamReader& sam() { return simulatedSamReader(); }
    SimulatedHidCardReader& hid() { return simulatedHidCardReader(); }

    // Sends a request as the page would and returns the one reply it gets
    // (empty when none comes).
    QString callText(const QString& request)
    {
        const int before = m_replies.size();
        m_processor.Process(m_peer, request);
        if (!QTest::qWaitFor([&] { return m_replies.size() > before; }, 20000))
            return {};
        return m_replies.at(before);
    }
    QJsonObject call(const QString& request) { return QJsonDocument::fromJson(callText(request).toUtf8()).object(); }

    // Nothing is left open on the bus: no handle, no context, no claim.
    void verifyNothingLeftOpen()
    {
        QCOMPARE(simulatedUsbBus().openHandles(), 0);
        QCOMPARE(simulatedUsbBus().defaultContextUsers(), 0);
        QCOMPARE(simulatedUsbBus().ownContexts(), 0);
        QVERIFY(!sam().interfaceClaimed());
        QVERIFY(!hid().interfaceClaimed());
    }

    int samIdRequests() const
    {
        int n = 0;
        for (const QByteArray& r : simulatedSamReader().requests())
            n += r.size() >= 9 && uchar(r[7]) == 0x12;
        return n;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(idcard::loadFaceFontAliases(QStringLiteral(PERIPHD_FONT_ALIASES)));
        enableSimulation();
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
        QSignalSpy connected(&m_server, &QWebSocketServer::newConnection);
        m_page.open(QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_server.serverPort())));
        QVERIFY(connected.wait(5000));
        m_peer = m_server.nextPendingConnection();
        QVERIFY(m_peer);
        m_peer->setParent(&m_server); // freed with the server
        connect(&m_page, &QWebSocket::textMessageReceived, this, [this](const QString& text) { m_replies << text; });
        QTRY_COMPARE(m_page.state(), QAbstractSocket::ConnectedState);
    }

    void init()
    {
        m_workdir.reset();
        m_workdir = std::make_unique<fixtures::ScratchDirectory>();
        QVERIFY(m_workdir->ok());
        // The working directory's templates are the ones drawn on.
        for (const char* name : {"front.jpg", "back.jpg"})
            QVERIFY(QFile::copy(QStringLiteral(PERIPHD_STAGED_DATADIR "/") + QLatin1String(name),
                                QLatin1String(name)));
        sam().resetFaults();
        hid().resetFaults();
        sam().setPlugged(true);
        hid().setPlugged(true);
        sam().setModule(Module::M0503);
        sam().setCardPresent(true);
        hid().setCardPresent(true);
        const QByteArray sample = simdevices::idCardRecord(simdevices::sampleHolder()).record;
        QVERIFY(sam().setCardRecord(sample));
        QVERIFY(hid().setCardRecord(sample));
        sam().clearHistory();
        hid().clearHistory();
    }

    void cleanup()
    {
        // Whatever the outcome, the portrait does not outlive the reply.
        const bool portraitLeft = exists("./simage_file.bmp");
        m_workdir.reset();
        QVERIFY(!portraitLeft);
        verifyNothingLeftOpen();
    }

    // Every key of the reply carries its own field, for each card type, and
    // the portrait is the decoder's picture of the card's WLT.
    void replyMapsEveryField_data()
    {
        QTest::addColumn<QString>("cardType");
        QTest::addColumn<QJsonObject>("expected");
        QJsonObject resident{{"CardType", " "},          {"name", "李晓明"},
                             {"gender", "男"},           {"nation", "汉"},
                             {"birthday", "19900105"},   {"address", "北京市东城区景山前街四号院二号楼三单元五零一室"},
                             {"idNum", "11010119900105001X"}, {"issueOrg", "北京市公安局东城分局"},
                             {"effectDate", "20200101"}, {"expireDate", "20400101"}};
        // Names are cut at their first space; the foreign card's authority
        // is its 4-character code.
        QJsonObject foreign{{"CardType", "I"},           {"englishName", "SMITH"},   {"name", "史密斯"},
                            {"gender", "男"},            {"idNum", "USA110085010112"}, {"nationCode", "USA"},
                            {"birthday", "19850101"},    {"effectDate", "20200315"}, {"expireDate", "20300315"},
                            {"CertVersion", "01"},       {"issueOrg", "1500"}};
        // The permit's address is kept whole, trailing spaces and all.
        QJsonObject permit{{"CardType", "J"},
                           {"name", "陈美玲"},
                           {"gender", "女"},
                           {"birthday", "19920718"},
                           {"address", QStringLiteral("广东省深圳市福田区华强北路100号") + QString(35 - 17, ' ')},
                           {"idNum", "810000199207180026"},
                           {"issueOrg", "深圳市公安局"},
                           {"effectDate", "20210601"},
                           {"expireDate", "20260601"},
                           {"passNum", "H12345678"},
                           {"signCount", "01"}};
        QTest::newRow("resident identity card") << "" << resident;
        QTest::newRow("foreign permanent resident card") << "I" << foreign;
        QTest::newRow("residence permit") << "J" << permit;
    }
    void replyMapsEveryField()
    {
        QFETCH(QString, cardType);
        QFETCH(QJsonObject, expected);
        const QByteArray portrait = fixtures::encodedPortrait("face");
        const simdevices::BuiltRecord built = simdevices::idCardRecord(simdevices::sampleHolder(cardType), portrait);
        QVERIFY2(built.error.isEmpty(), qPrintable(built.error));
        QVERIFY(sam().setCardRecord(built.record));
        QVERIFY(hid().setCardRecord(built.record));

        for (const char* function : {"ZCReadIDCard", "ZCReadHIDIDCard"}) {
            const QString text = callText(QStringLiteral(R"({"function":"%1","_tflag":"t-%2"})").arg(function, cardType));
            const QJsonObject reply = QJsonDocument::fromJson(text.toUtf8()).object();
            QCOMPARE(reply.keys(), (QStringList{"_tflag", "data", "err_code", "err_msg", "functionName"}));
            QCOMPARE(reply.value("functionName").toString(), QString::fromLatin1(function));
            QCOMPARE(reply.value("_tflag").toString(), "t-" + cardType);
            QCOMPARE(reply.value("err_code").toVariant(), QVariant(0));
            QCOMPARE(reply.value("err_msg").toString(), QStringLiteral("读卡成功"));
            const QJsonObject data = reply.value("data").toObject();
            QStringList keys = kDataKeys + QStringList{"photo"};
            keys.sort();
            QCOMPARE(data.keys(), keys);
            for (const QString& key : kDataKeys) {
                if (key == "dn")
                    QCOMPARE(data.value(key).toString(), QStringLiteral("dn"));
                else if (key != "figData")
                    QVERIFY2(data.value(key) == expected.value(key).toString(),
                             qPrintable(QStringLiteral("%1 %2: %3").arg(function, key, data.value(key).toString())));
            }
            QCOMPARE(data.value("figData").toString(), QString());
            QCOMPARE(imageFromBase64(data.value("photo").toString()), decodedPortrait(portrait));
        }
    }

    // Fingerprint data whose first byte is 'C' travels as 2048 upper-case
    // hex digits; the HID reader delivers none of the card's.
    void fingerprintAsHexDigits()
    {
        const QByteArray fingerprint = fixtures::fingerprintData();
        const QByteArray record =
            simdevices::idCardRecord(simdevices::sampleHolder(), simdevices::stockPortrait(), fingerprint).record;
        QVERIFY(sam().setCardRecord(record));
        QVERIFY(hid().setCardRecord(record));
        const QJsonObject sam = call(R"({"function":"ZCReadIDCard"})").value("data").toObject();
        QCOMPARE(sam.value("figData").toString(), QString::fromLatin1(fingerprint.toHex().toUpper()));
        const QJsonObject hid = call(R"({"function":"ZCReadHIDIDCard"})").value("data").toObject();
        QCOMPARE(hid.value("figData").toString(), QString());

        // Data that does not start with 'C' is no fingerprint.
        QByteArray other = fingerprint;
        other[0] = 'D';
        QVERIFY(this->sam().setCardRecord(
            simdevices::idCardRecord(simdevices::sampleHolder(), simdevices::stockPortrait(), other).record));
        QCOMPARE(call(R"({"function":"ZCReadIDCard"})").value("data").toObject().value("figData").toString(),
                 QString());
    }

    // A first read that fails is repeated once, at once; the reply is the
    // second read's, whether it succeeds or fails with a code of its own.
    void failedReadIsRetriedOnce()
    {
        // The first read's SAM id reply is lost: no module answers (0).
        sam().failTransfers(0x81, 1, LIBUSB_ERROR_IO);
        QJsonObject reply = call(R"({"function":"ZCReadIDCard","_tflag":"r1"})");
        QCOMPARE(reply.value("err_msg").toString(), QStringLiteral("读卡成功"));
        QCOMPARE(reply.value("data").toObject().value("name").toString(), QStringLiteral("李晓明"));
        QCOMPARE(samIdRequests(), 2);
        QVERIFY(exists("./frontNew.jpg") && exists("./backNew.jpg"));

        // First 0 (no module), then 431004 (the read itself): the second's code.
        sam().clearHistory();
        sam().failTransfers(0x81, 1, LIBUSB_ERROR_IO);
        sam().setStatus(Command::Read, QByteArray::fromHex("000041"));
        reply = call(R"({"function":"ZCReadIDCard","_tflag":"r2"})");
        QCOMPARE(reply, (QJsonObject{{"_tflag", "r2"}, {"functionName", "ZCReadIDCard"},
                                     {"msg", "读卡失败"}, {"success", 431004}}));
        QCOMPARE(samIdRequests(), 2);

        // Only twice, then the failure.
        sam().clearHistory();
        sam().resetFaults();
        sam().setReplyFault(Command::Read, Fault::OverAnnounced, 100);
        reply = call(R"({"function":"ZCReadIDCard"})");
        QCOMPARE(reply.value("success").toInt(), 431004);
        QCOMPARE(samIdRequests(), 2);

        // No reader at all: 431003 twice, libusb shut down after each.
        sam().setPlugged(false);
        plantStalePortrait();
        LogCapture log;
        reply = call(R"({"act":"readIntegratedCard"})");
        QCOMPARE(reply, (QJsonObject{{"_tflag", ""}, {"functionName", ""}, {"msg", "读卡失败"}, {"success", 431003}}));
        QCOMPARE(log.count("libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed \n"), 2);
    }

    // The routes: "act" before "function", the log lines of each, and the
    // function name that the reply carries.
    void routesAndLogLines()
    {
        LogCapture log;
        QJsonObject reply = call(R"({"act":"test","function":"ZCCameraPic","_tflag":"a"})");
        QCOMPARE(reply.value("functionName").toString(), QStringLiteral("ZCCameraPic"));
        QCOMPARE(reply.value("msg").toString(), QStringLiteral("获取SAM码成功"));
        QCOMPARE(log.count("ZCGetSAMNum"), 1); // the handler's own; the act route logs nothing
        QCOMPARE(log.count("ZCCameraPic"), 0);

        reply = call(R"({"function":"ZCGetSAMNum"})");
        QCOMPARE(log.count("ZCGetSAMNum"), 3);
        QCOMPARE(log.count("L_Error1"), 2);

        reply = call(R"({"act":"readIntegratedCard","function":"ZCSIMCard"})");
        QCOMPARE(reply.value("functionName").toString(), QStringLiteral("ZCSIMCard"));
        QCOMPARE(reply.value("err_msg").toString(), QStringLiteral("读卡成功"));
        QCOMPARE(log.count("ZCReadIDCard1"), 0);
        QCOMPARE(log.count("ZCReadIDCard2"), 1);
        QCOMPARE(log.count("ZCSIMCard"), 0);

        call(R"({"function":"ZCReadIDCard"})");
        QCOMPARE(log.count("ZCReadIDCard1"), 1);
        QCOMPARE(log.count("ZCReadIDCard2"), 2);
        QCOMPARE(log.count("idcard 1\n"), 4);

        call(R"({"function":"ZCReadHIDIDCard"})");
        QCOMPARE(log.count("ZCReadHIDIDCard"), 1);
    }

    // The SAM id through the 0503 frame: every step that can fail names
    // itself with -1, and libusb is left as found.
    void samNumberSteps_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("success");
        QTest::addColumn<QString>("msg");
        QTest::addColumn<QString>("data");
        const QString ok = QStringLiteral("获取SAM码成功");
        QTest::newRow("answered") << "" << 1 << ok << "00112233445566778899AABBCCDDEEFF";
        QTest::newRow("0x01 refuses, 0x02 takes it") << "refuse01" << 1 << ok << "00112233445566778899AABBCCDDEEFF";
        QTest::newRow("another status: no id") << "status" << 1 << ok << "";
        QTest::newRow("a reply too short to hold the id") << "short" << 1 << ok << "";
        QTest::newRow("no reader") << "unplugged" << -1 << "libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed"
                                   << "";
        QTest::newRow("interface taken") << "claim" << -1 << "interface USB failed" << "";
        QTest::newRow("request not taken") << "refuseBoth" << -1 << "libusb_bulk_transfer write failed" << "";
        QTest::newRow("no reply") << "noReply" << -1 << "libusb_bulk_transfer read failed" << "";
    }
    void samNumberSteps()
    {
        QFETCH(QString, setup);
        QFETCH(int, success);
        QFETCH(QString, msg);
        QFETCH(QString, data);
        QVERIFY(sam().setSamId(QByteArray::fromHex("00112233445566778899AABBCCDDEEFF")));
        if (setup == "refuse01")
            sam().failTransfers(0x01, -1, LIBUSB_ERROR_PIPE);
        else if (setup == "status")
            sam().setStatus(Command::SamId, QByteArray::fromHex("000091"));
        else if (setup == "short")
            sam().setReplyFault(Command::SamId, Fault::Short, 20);
        else if (setup == "unplugged")
            sam().setPlugged(false);
        else if (setup == "claim")
            sam().setClaimError(LIBUSB_ERROR_BUSY);
        else if (setup == "refuseBoth") {
            sam().failTransfers(0x01, -1, LIBUSB_ERROR_PIPE);
            sam().failTransfers(0x02, -1, LIBUSB_ERROR_PIPE);
        } else if (setup == "noReply")
            sam().failTransfers(0x81, 1, LIBUSB_ERROR_IO);

        LogCapture log;
        const QJsonObject reply = call(R"({"function":"ZCGetSAMNum","_tflag":"s"})");
        QJsonObject expected{{"_tflag", "s"}, {"functionName", "ZCGetSAMNum"}, {"msg", msg}, {"success", success}};
        if (!data.isEmpty())
            expected.insert("data", data);
        QCOMPARE(reply, expected);
        QCOMPARE(log.lines().last(), QStringLiteral("L_Error1"));
        if (success == 1)
            QVERIFY(log.lines().contains("close libusb"));
        else
            QVERIFY(log.lines().contains(msg));
        // One request, in the single-endpoint frame, whatever the module.
        for (const QByteArray& r : sam().requests())
            QCOMPARE(r.toHex(), QByteArray("aaaaaa96690003 12ffee").replace(' ', ""));
        for (const auto& t : sam().transfers())
            QVERIFY(t.endpoint == 0x01 || t.endpoint == 0x02 || t.endpoint == 0x81);
    }

    // Each step of the HID read that fails answers with its own code and
    // message, and the reader is closed again.
    void hidSteps_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("success");
        QTest::addColumn<QString>("msg");
        QTest::newRow("no reader") << "unplugged" << -12 << "寻卡失败";
        QTest::newRow("interface taken") << "claim" << -12 << "寻卡失败";
        QTest::newRow("no card") << "noCard" << -2 << "寻卡失败";
        QTest::newRow("not selected") << "select" << -2 << "选卡失败";
        QTest::newRow("error status") << "status" << -20 << "身份证读卡失败";
        QTest::newRow("reports stop coming") << "reports" << -15 << "身份证读卡失败";
        QTest::newRow("longer than the record") << "long" << -20 << "身份证读卡失败";
    }
    void hidSteps()
    {
        QFETCH(QString, setup);
        QFETCH(int, success);
        QFETCH(QString, msg);
        if (setup == "unplugged")
            hid().setPlugged(false);
        else if (setup == "claim")
            hid().setClaimError(LIBUSB_ERROR_BUSY);
        else if (setup == "noCard")
            hid().setCardPresent(false);
        else if (setup == "select")
            hid().setSelectAnswer(0x01);
        else if (setup == "status")
            hid().setReadStatus(0x41);
        else if (setup == "reports") {
            // request, select, and the read's first report are answered
            hid().failInputReportsAfter(3, LIBUSB_ERROR_PIPE);
        } else if (setup == "long")
            hid().setAnnouncedLength(1400);
        plantStalePortrait();
        StreamCapture out(1);
        const QJsonObject reply = call(R"({"function":"ZCReadHIDIDCard","_tflag":"h"})");
        QCOMPARE(reply, (QJsonObject{{"_tflag", "h"}, {"functionName", "ZCReadHIDIDCard"}, {"msg", msg},
                                     {"success", success}}));
        // The HID read renders no faces.
        QVERIFY(!exists("./frontNew.jpg"));
    }

    // Both faces are drawn after a SAM read, from the working directory's
    // templates; a HID read draws none. A reply that nobody is there to
    // receive is still made, and leaves nothing behind either.
    void facesAndFiles()
    {
        QJsonObject reply = call(R"({"function":"ZCReadHIDIDCard"})");
        QCOMPARE(reply.value("err_msg").toString(), QStringLiteral("读卡成功"));
        QVERIFY(!exists("./frontNew.jpg") && !exists("./backNew.jpg"));

        const int before = m_replies.size();
        m_processor.Process(nullptr, R"({"function":"ZCReadIDCard"})");
        QVERIFY(!exists("./simage_file.bmp"));
        const QImage front(QStringLiteral("./frontNew.jpg"));
        const QImage back(QStringLiteral("./backNew.jpg"));
        QCOMPARE(front.size(), QImage(QStringLiteral("./front.jpg")).size());
        QCOMPARE(back.size(), QImage(QStringLiteral("./back.jpg")).size());
        QVERIFY(front != QImage(QStringLiteral("./front.jpg")));
        // Nothing was sent for the request without a client: the next reply
        // is the next request's.
        QCOMPARE(call(R"({"function":"ZCSetPenWidth","Width":"3","_tflag":"after"})").value("_tflag").toString(),
                 QStringLiteral("after"));
        QCOMPARE(m_replies.size(), before + 1);

        // A portrait that does not decode: no "photo", and no earlier one.
        QByteArray record = simdevices::idCardRecord(simdevices::sampleHolder()).record;
        record.replace(256, 1024, QByteArray(1024, '\xFF'));
        QVERIFY(sam().setCardRecord(record));
        QVERIFY(hid().setCardRecord(record));
        for (const char* function : {"ZCReadIDCard", "ZCReadHIDIDCard"}) {
            const QJsonObject data =
                call(QStringLiteral(R"({"function":"%1"})").arg(function)).value("data").toObject();
            QCOMPARE(data.value("name").toString(), QStringLiteral("李晓明"));
            QVERIFY2(!data.contains("photo"), function);
        }
    }

    // SimIDCard checks the whole request before it changes anything, and
    // names what is wrong.
    void simulationScriptRefusals_data()
    {
        QTest::addColumn<QString>("request");
        QTest::addColumn<QString>("msg");
        QTest::newRow("reader") << R"({"reader":"usb"})" << R"(reader must be "sam" or "hid")";
        QTest::newRow("module") << R"({"module":"0502"})" << R"(module must be "0501" or "0503")";
        QTest::newRow("module on hid") << R"({"reader":"hid","module":"0501"})"
                                       << "module is the SAM reader's; the HID reader has none";
        QTest::newRow("samId") << R"({"module":"0501","samId":"12AB"})" << "samId must be 32 hexadecimal digits";
        QTest::newRow("record not Base64") << R"({"module":"0501","record":"**"})" << "record must be Base64 text";
        QTest::newRow("record size") << R"({"record":"AAAA"})"
                                     << "record must hold 1280 bytes (256 of text, 1024 of portrait) or 2304 (and "
                                        "1024 of fingerprint data), not 3";
        QTest::newRow("present") << R"({"module":"0501","present":"yes"})"
                                 << R"(present must be "1" or "0" (1 puts the card on the reader, 0 takes it off))";
        QTest::newRow("attached") << R"({"attached":2})"
                                  << R"(attached must be "1" or "0" (0 unplugs the reader, 1 plugs it back))";
        QTest::newRow("unknown key") << R"({"module":"0501","modul":"0503"})"
                                     << "unknown key modul: SimIDCard takes reader, module, record, present, "
                                        "attached, samId and the holder's fields";
        QTest::newRow("both forms") << R"({"record":"AAAA","name":"王五"})"
                                    << "give the card as record or as the holder's fields, not both";
        QTest::newRow("field not on the card") << R"({"CardType":"J","nation":"汉"})"
                                               << "nation is not on a residence permit";
        QTest::newRow("field too long") << R"({"name":"一二三四五六七八九十一二三四五六"})"
                                        << "name holds at most 15 characters on a resident identity card";
        QTest::newRow("field not text") << R"({"name":7})" << "name must be a string";
    }
    void simulationScriptRefusals()
    {
        QFETCH(QString, request);
        QFETCH(QString, msg);
        const QByteArray record = sam().cardRecord();
        const QByteArray id = sam().samId();
        request.insert(1, R"("function":"SimIDCard","_tflag":"x",)");
        QCOMPARE(call(request), (QJsonObject{{"_tflag", "x"}, {"functionName", "SimIDCard"}, {"msg", msg},
                                             {"success", 0}}));
        QCOMPARE(sam().module(), Module::M0503);
        QCOMPARE(sam().cardRecord(), record);
        QCOMPARE(sam().samId(), id);
        QVERIFY(sam().cardPresent());
        QVERIFY(sam().plugged());
    }

    // Each key changes what it names, on the reader it names.
    void simulationScript()
    {
        QJsonObject reply = call(R"({"function":"SimIDCard","module":"0501","samId":"0123456789abcdef0123456789ABCDEF"})");
        QCOMPARE(reply.value("success").toInt(), 1);
        QCOMPARE(QJsonDocument::fromJson(reply.value("data").toString().toUtf8()).object(),
                 (QJsonObject{{"reader", "sam"}, {"module", "0501"}, {"samId", "0123456789ABCDEF0123456789ABCDEF"},
                              {"present", "1"}, {"attached", "1"}}));
        QCOMPARE(sam().module(), Module::M0501);
        // The 0501 transport is not tried: a 0501 answers with its reply's
        // head on 0x81, which holds no status and no id.
        const QJsonObject samNumber = call(R"({"function":"ZCGetSAMNum"})");
        QCOMPARE(samNumber.value("success").toInt(), 1);
        QVERIFY(!samNumber.contains("data"));

        reply = call(R"({"function":"SimIDCard","reader":"hid","CardType":"J","name":"王五","gender":"女"})");
        QCOMPARE(reply.value("data").toString(), QStringLiteral(R"({"attached":"1","present":"1","reader":"hid"})"));
        QJsonObject data = call(R"({"function":"ZCReadHIDIDCard"})").value("data").toObject();
        QCOMPARE(data.value("name").toString(), QStringLiteral("王五"));
        QCOMPARE(data.value("gender").toString(), QStringLiteral("女"));
        QCOMPARE(data.value("CardType").toString(), QStringLiteral("J"));
        // Fields not given stay blank on the card: a fixed-width one keeps its spaces.
        QCOMPARE(data.value("idNum").toString(), QString(18, ' '));
        QCOMPARE(data.value("address").toString(), QString(35, ' '));
        QCOMPARE(call(R"({"function":"ZCReadIDCard"})").value("data").toObject().value("name").toString(),
                 QStringLiteral("李晓明")); // the SAM reader's card is its own

        call(R"({"function":"SimIDCard","reader":"hid","present":"0"})");
        QVERIFY(!hid().cardPresent());
        call(R"({"function":"SimIDCard","reader":"hid","attached":0})");
        QVERIFY(!hid().plugged());
        call(R"({"function":"SimIDCard","reader":"hid","attached":true,"present":1})");
        QVERIFY(hid().plugged() && hid().cardPresent());

        // A card given is laid on the reader unless "present" says not.
        call(R"({"function":"SimIDCard","present":"0"})");
        QVERIFY(!sam().cardPresent());
        call(R"({"function":"SimIDCard","name":"赵六"})");
        QVERIFY(sam().cardPresent());
        call(R"({"function":"SimIDCard","name":"钱七","present":"0"})");
        QVERIFY(!sam().cardPresent());
        call(R"({"function":"SimIDCard","present":"1"})");
        QCOMPARE(call(R"({"function":"ZCReadIDCard"})").value("data").toObject().value("name").toString(),
                 QStringLiteral("钱七"));
    }
};

QTEST_MAIN(IdCardCommandsTest)
#include "test_idcard_commands.moc"
