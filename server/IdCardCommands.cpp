// "ZCGetSAMNum", "ZCReadIDCard" and "ZCReadHIDIDCard": the identity card
// readers' commands. The reader conversations, the parser and the faces are
// the identity card library's; these handlers run them in order and answer.
#include "TextMessageProcessor.h"

#include "PeriphdDevices.h"
#include "HidIDCard.h"
#include "IDINFO.h"
#include "IdCardReply.h"
#include "ReadIDCard.h"
#include "SamTransport.h"
#include "UsbBackend.h"

#include <QDebug>

namespace {

constexpr int kReadOk = 131001;
constexpr int kInterface = 0;
constexpr int kSamIdBytes = 16;
constexpr int kSamIdEnd = 10 + kSamIdBytes; // the id follows the 0503 reply's status

// The SAM id through the single-endpoint (0503) frame only. Returns the
// command's result (1, or -1 with the failing step in message).
int readSamNumber(QString& message, QString& samId)
{
    usb::Backend& usb = usb::backend();
    const auto fail = [&message](const char* text) {
        qWarning("%s", text);
        message = QString::fromLatin1(text);
        return -1;
    };
    if (usb.init(nullptr) < 0)
        return fail("init USB failed");
    libusb_device_handle* handle =
        usb.openDeviceWithVidPid(nullptr, devices::kSamCardReader.vendor, devices::kSamCardReader.product);
    if (!handle) {
        fail("libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed");
        usb.exit(nullptr);
        return -1;
    }
    if (usb.claimInterface(handle, kInterface) < 0) {
        fail("interface USB failed");
        usb.close(handle);
        usb.exit(nullptr);
        return -1;
    }
    const auto finish = [&] {
        usb.releaseInterface(handle, kInterface);
        usb.close(handle);
        usb.exit(nullptr);
    };

    sam::Reply reply;
    switch (sam::exchange0503(handle, sam::request(0x12, 0xFF), {1000, 1000}, reply)) {
    case 1:
        fail("libusb_bulk_transfer write failed");
        finish();
        return -1;
    case 2:
        fail("libusb_bulk_transfer read failed");
        finish();
        return -1;
    default:
        break;
    }
    // Another status, or a reply too short to hold the id, leaves it empty.
    char text[2 * kSamIdBytes + 1] = {};
    if (sam::hasStatus(reply.bytes + 7, 0x90)) {
        if (reply.length >= kSamIdEnd)
            sam::formatSamId(reply.bytes + 10, text);
        else
            qWarning("ZCGetSAMNum: SAM id reply of %d bytes is too short", reply.length);
    }
    qWarning("%s", text);
    finish();
    qWarning("close libusb");
    samId = QString::fromLatin1(text);
    qWarning("%s", text);
    message = QStringLiteral("获取SAM码成功");
    return 1;
}

} // namespace

void CTextMessageProcessor::ZCGetSAMNum(QString functionName, QWebSocket* client, QString)
{
    qWarning().noquote() << "ZCGetSAMNum";
    QString message;
    QString samId;
    const int result = readSamNumber(message, samId);
    qWarning().noquote() << "L_Error1";
    sendReply(client, CreateJson(functionName, result, message, samId, QString()));
}

void CTextMessageProcessor::ZCReadIDCard(QString functionName, QWebSocket* client, QString)
{
    qWarning().noquote() << "ZCReadIDCard2";
    ReadIDCard reader;
    IDINFO info{};
    char message[64] = {};
    // A card that is just being laid on the reader often fails the first
    // read; one more, at once, is all it gets.
    int result = reader.readCard(&info, message);
    if (result != kReadOk)
        result = reader.readCard(&info, message);
    if (result != kReadOk) {
        idcardreply::removePortrait();
        sendReply(client, CreateJson(functionName, result, QStringLiteral("读卡失败"), QString(), QString()));
        return;
    }
    // The photo is taken before the front face rewrites the portrait file.
    const QString photo = idcardreply::portraitText();
    reader.IDCardPicFront(&info);
    reader.IDCardPicBack(&info);
    idcardreply::removePortrait();
    sendReply(client, CreateJsonIDCard(functionName, 1, QStringLiteral("读卡成功"), &info, photo));
}

void CTextMessageProcessor::ZCReadHIDIDCard(QString functionName, QWebSocket* client, QString)
{
    ReadIDCard parser;
    IDINFO info{};
    HidIDCard reader;
    unsigned char record[HidIDCard::kRecordSize] = {};
    char port[] = "USB1";
    // A failed open gives no valid handle, which the request then refuses.
    const long handle = reader.ICC_Reader_Open(port);

    const char* failure = nullptr;
    int result = reader.PICC_Reader_ID_Request(handle);
    if (result != 0)
        failure = "寻卡失败";
    else if ((result = reader.PICC_Reader_ID_Select(handle)) != 0)
        failure = "选卡失败";
    else if ((result = reader.PICC_Reader_ID_Read(handle, record)) < 0)
        failure = "身份证读卡失败";
    if (failure) {
        reader.ICC_Reader_Close(handle);
        idcardreply::removePortrait();
        sendReply(client, CreateJson(functionName, result, QString::fromUtf8(failure), QString(), QString()));
        return;
    }

    parser.AnalysisID(record, &info, false);
    const QString photo = idcardreply::portraitText();
    idcardreply::removePortrait();
    sendReply(client, CreateJsonIDCard(functionName, 1, QStringLiteral("读卡成功"), &info, photo));
    reader.ICC_Reader_Close(handle);
}
