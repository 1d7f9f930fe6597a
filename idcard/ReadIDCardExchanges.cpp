// The SAM reader's five exchanges on both module generations.
#include "ReadIDCard.h"

#include "SamTransport.h"

#include <QtDebug>

#include <cstdio>
#include <cstring>

namespace {

using sam::Reply;
using sam::Timeouts;

const sam::Request kSamIdRequest = sam::request(0x12, 0xFF);
const sam::Request kFindRequest = sam::request(0x20, 0x01);
const sam::Request kSelectRequest = sam::request(0x20, 0x02);
const sam::Request kRead0501Request = sam::request(0x30, 0x01); // text and photo
const sam::Request kRead0503Request = sam::request(0x30, 0x10); // and fingerprint

// Finding a card lets the module search the field for a while; reading
// through a 0501 takes the module longer before it answers.
constexpr Timeouts kSamIdTimeouts{1000, 1000};
constexpr Timeouts kFindTimeouts{3000, 1000};
constexpr Timeouts kSelectTimeouts{1000, 1000};
constexpr Timeouts kRead0501Timeouts{1000, 3000};
constexpr Timeouts kRead0503Timeouts{1000, 1000};

constexpr unsigned char kSuccess = 0x90;
constexpr unsigned char kFindFailed = 0x80;
constexpr unsigned char kSelectFailed = 0x81;

constexpr int kSamIdSize = 16;
constexpr int kHeadSize = 7;

// A failed transfer of a 0501 exchange gives the code of its position.
int failureCode(int step, int firstCode)
{
    return firstCode - (step - 1);
}

} // namespace

int ReadIDCard::getIDSAM0501(libusb_device_handle* handle, char* samId)
{
    Reply head;
    Reply rest;
    const int step = sam::exchange0501(handle, kSamIdRequest, kSamIdTimeouts, head, rest);
    switch (step) {
    case 1:
        qWarning("getIDSAM0501-libusb_bulk_transfer(0x01) write failed:[0] \n");
        return -2;
    case 2:
        qWarning("getIDSAM0501-libusb_bulk_transfer(0x01) write failed:[1] \n");
        return -3;
    case 3:
        qWarning("getIDSAM0501-libusb_bulk_transfer(0x81) read failed:[2] \n");
        return -4;
    default:
        break;
    }
    // Trace of the frame head, for diagnosing a module that answers oddly.
    for (int i = 0; i < head.length; ++i)
        std::printf("%02X ", head.bytes[i]);
    std::fflush(stdout);
    if (step == 4) {
        qWarning("libusb_bulk_transfer(0x81) read failed:[3] \n");
        return -5;
    }
    if (sam::hasStatus(rest.bytes, kSuccess)) {
        if (rest.length >= 3 + kSamIdSize)
            sam::formatSamId(rest.bytes + 3, samId);
        else
            qWarning("getIDSAM0501: SAM id reply of %d bytes is too short", rest.length);
    }
    return 0;
}

int ReadIDCard::getIDSAM0503(libusb_device_handle* handle, char* samId)
{
    Reply reply;
    switch (sam::exchange0503(handle, kSamIdRequest, kSamIdTimeouts, reply)) {
    case 1:
        qWarning("libusb_bulk_transfer(0x01) write failed:[0] \n");
        return -31;
    case 2:
        qWarning("libusb_bulk_transfer(0x81) read failed:[1] \n");
        return -32;
    default:
        break;
    }
    if (sam::hasStatus(reply.bytes + 7, kSuccess)) {
        if (reply.length >= 10 + kSamIdSize)
            sam::formatSamId(reply.bytes + 10, samId);
        else
            qWarning("getIDSAM0503: SAM id reply of %d bytes is too short", reply.length);
    }
    return 0;
}

int ReadIDCard::findCard0501(libusb_device_handle* handle)
{
    Reply head;
    Reply rest;
    if (const int step = sam::exchange0501(handle, kFindRequest, kFindTimeouts, head, rest))
        return failureCode(step, -100);
    return sam::hasStatus(rest.bytes, kFindFailed) ? -104 : 0;
}

int ReadIDCard::selectCard0501(libusb_device_handle* handle)
{
    Reply head;
    Reply rest;
    if (const int step = sam::exchange0501(handle, kSelectRequest, kSelectTimeouts, head, rest))
        return failureCode(step, -110);
    return sam::hasStatus(rest.bytes, kSelectFailed) ? -114 : 0;
}

int ReadIDCard::findCard0503(libusb_device_handle* handle)
{
    Reply reply;
    switch (sam::exchange0503(handle, kFindRequest, kFindTimeouts, reply)) {
    case 1: return -310;
    case 2: return -311;
    default: break;
    }
    return sam::hasStatus(reply.bytes + 7, kFindFailed) ? -312 : 0;
}

int ReadIDCard::selectCard0503(libusb_device_handle* handle)
{
    Reply reply;
    switch (sam::exchange0503(handle, kSelectRequest, kSelectTimeouts, reply)) {
    case 1: return -300;
    case 2: return -301;
    default: break;
    }
    return sam::hasStatus(reply.bytes + 7, kSelectFailed) ? -302 : 0;
}

// The record keeps the module's last two status bytes (00 90) ahead of the
// length words, so that text and photo sit at 6 and 262 as on a 0503.
int ReadIDCard::readCardData0501(libusb_device_handle* handle, unsigned char* record)
{
    Reply head;
    Reply rest;
    if (const int step = sam::exchange0501(handle, kRead0501Request, kRead0501Timeouts, head, rest))
        return failureCode(step, -120);
    if (!sam::hasStatus(rest.bytes, kSuccess))
        return -124;
    if (head.length < kHeadSize) {
        qWarning("readCardData0501: reply head of %d bytes has no length", head.length);
        return -125;
    }
    // The rest carries the L bytes that follow the length field: status,
    // data and checksum.
    const int announced = sam::announcedLength(head.bytes);
    if (rest.length < announced) {
        qWarning("readCardData0501: reply announces %d bytes but carries %d", announced,
                 rest.length);
        return -125;
    }
    const int count = announced - 2; // status bytes 2 and 3, then the data
    if (count > 0)
        std::memcpy(record, rest.bytes + 1, size_t(qMin(count, sam::kRecordSize)));
    return 0;
}

int ReadIDCard::readCardData0503(libusb_device_handle* handle, unsigned char* record)
{
    Reply reply;
    const int failed = sam::exchange0503(handle, kRead0503Request, kRead0503Timeouts, reply);
    if (failed == 1)
        return -320;
    qWarning("readCardData0503 write");
    if (failed == 2)
        return -321;
    qWarning("readCardData0503 read");
    const unsigned char* status = reply.bytes + 7;
    if (!sam::hasStatus(status, kSuccess)) {
        qWarning("%02X %02X %02X Hello World", status[0], status[1], status[2]);
        return -322;
    }
    qWarning("readCardData0503 判断");
    // The frame is the head, then L bytes: status, data and checksum.
    const int announced = sam::announcedLength(reply.bytes);
    if (reply.length < kHeadSize + announced) {
        qWarning("readCardData0503: reply announces %d bytes but carries %d", announced,
                 reply.length - kHeadSize);
        return -323;
    }
    const int count = announced - 4;
    if (count > 0)
        std::memcpy(record, reply.bytes + 10, size_t(qMin(count, sam::kRecordSize)));

    qWarning("测试断点0503-3");
    qDebug("%02X %02X", record[0], record[1]);
    for (int i = 0; i < 4; ++i)
        qWarning("%02X Hello World", record[i]);
    for (int i = 0; i < 4; ++i)
        qWarning("%02X Hello World", reply.bytes[i]);
    qWarning("测试断点0503-4");
    return 0;
}
