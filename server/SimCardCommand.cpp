// "ZCSIMCard": reads the ICCID of the SIM card in the PC/SC reader through
// libCardBridge and answers with it.
#include "TextMessageProcessor.h"

#include "CardBridge.h"

#include <QDebug>
#include <QWebSocket>

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

const char* const selectMasterFile = "A0A40000023F00";
const char* const selectIccidFile = "A0A40000022FE2";
const char* const readIccid = "A0B000000A";
constexpr int iccidBytes = 10;

enum class Answer { Select, ReadBinary };

// GSM SELECT answers 9F xx (response waiting); 90 00 and 61 xx are the
// ISO forms of the same success. READ BINARY must bring all ten bytes and
// 90 00. Anything else (6E 00 wrong class, 6A 82 no such file, a short
// read...) means the card did not do what was asked, and the bytes before
// the status word are no ICCID.
bool answerAccepted(Answer kind, const QByteArray& response)
{
    if (response.size() < 4)
        return false;
    const QByteArray sw = response.right(4);
    if (kind == Answer::ReadBinary)
        return response.size() == 2 * (iccidBytes + 2) && sw == "9000";
    return sw == "9000" || sw.startsWith("9F") || sw.startsWith("61");
}

// The card keeps each ICCID byte with its two decimal digits in swapped
// nibbles: "98" holds the digits 8 and 9.
QString iccidFromResponse(const QByteArray& response)
{
    QByteArray digits = response.left(response.size() - 4);
    char* d = digits.data();
    for (int i = 0; i + 1 < digits.size(); i += 2)
        std::swap(d[i], d[i + 1]);
    return QString::fromLatin1(digits);
}

// One APDU step; returns false (after the console line) when the library or
// the card failed it.
bool exchange(const char* command, Answer kind, int& length, QByteArray& response)
{
    char text[1024];
    std::memset(text, 0, sizeof(text));
    const int result = SendApduCommand(int(std::strlen(command)), const_cast<char*>(command), &length, text);
    if (result != 0) {
        std::printf("设备APDU通讯失败,返回:t_nRe = %08X\n", unsigned(result));
        return false;
    }
    std::printf("发送APDU:%s\n", command);
    std::printf("n返回APDU:%s\n", text);
    response = QByteArray(text);
    if (!answerAccepted(kind, response)) {
        std::printf("设备APDU通讯失败,状态字:%s\n", response.right(4).constData());
        return false;
    }
    return true;
}

// The fixed conversation with the card. Returns the failure message, or an
// empty text with the ICCID in `iccid`. Closes the reader on every path
// that opened it.
QString readIccidFromCard(QString& iccid)
{
    char readers[CARDBRIDGE_READERS_SIZE];
    char scratch[CARDBRIDGE_READERS_SIZE];
    std::memset(readers, 0, sizeof(readers));
    std::memset(scratch, 0, sizeof(scratch));
    std::strcpy(readers, "Generic EMV Smartcard Reader 0");

    int result = OpenCardReader(1, readers, scratch);
    if (result != 0) {
        std::printf("打开设备端口失败,返回:t_nRe = %08X\n", unsigned(result));
        return QStringLiteral("打开设备端口失败");
    }
    std::printf("打开设备端口成功\n");

    const auto failAfterOpen = [](const QString& message) {
        CloseCardReader();
        return message;
    };

    unsigned char atr[64];
    std::memset(atr, 0, sizeof(atr));
    result = CardPowerOn(reinterpret_cast<char*>(atr));
    if (result != 0) {
        std::printf("设备上电失败,返回:t_nRe = %08X\n", unsigned(result));
        return failAfterOpen(QStringLiteral("设备上电失败"));
    }
    std::printf("设备上电成功,ATR:\n");
    for (int i = 0; i < 32; ++i)
        std::printf("%02X ", atr[i]);
    std::printf("\n");

    int length = 0;
    QByteArray response;
    if (!exchange(selectMasterFile, Answer::Select, length, response))
        return failAfterOpen(QStringLiteral("设备APDU(A0A40000023F00)通讯失败"));
    if (!exchange(selectIccidFile, Answer::Select, length, response))
        return failAfterOpen(QStringLiteral("设备APDU(A0A40000022FE2)通讯失败"));
    if (!exchange(readIccid, Answer::ReadBinary, length, response))
        return failAfterOpen(QStringLiteral("设备APDU(A0B000000A)通讯失败"));

    if (CardPowerOff() != 0) {
        std::printf("设备下电失败\n");
        return failAfterOpen(QStringLiteral("设备下电失败"));
    }
    std::printf("设备下电成功\n");
    if (CloseCardReader() != 0) {
        std::printf("设备关闭失败");
        return failAfterOpen(QStringLiteral("设备关闭失败"));
    }
    std::printf("设备关闭成功\n");

    iccid = iccidFromResponse(response);
    return QString();
}

} // namespace

void CTextMessageProcessor::ZCSIMCard(QString functionName, QWebSocket* client, QString)
{
    QString iccid;
    const QString failure = readIccidFromCard(iccid);
    // The console lines go out before the log line and the reply.
    std::fflush(stdout);
    if (!failure.isEmpty()) {
        qWarning().noquote() << "L_Error1";
        sendReply(client, CreateJson(functionName, 0, failure, QString(), QString()));
        return;
    }
    sendReply(client, CreateJson(functionName, 1, QStringLiteral("获取SIM卡ICCID成功"), iccid, QString()));
}
