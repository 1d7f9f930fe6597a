#include "HidIDCard.h"

#include "PeriphdDevices.h"
#include "UsbBackend.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kInterface = 0;
constexpr int kDebugLevel = 3;
constexpr unsigned int kTimeoutMs = 1000;
// SET_REPORT and GET_REPORT to interface 0; the reader wants 0x3000 as the
// input report's wValue.
constexpr uint8_t kOutType = 0x21;
constexpr uint8_t kSetReport = 0x09;
constexpr uint16_t kOutValue = 0x0000;
constexpr uint8_t kInType = 0xA1;
constexpr uint8_t kGetReport = 0x01;
constexpr uint16_t kInValue = 0x3000;

constexpr unsigned char kMore = 0x82; // more reports of this message follow
constexpr unsigned char kLast = 0x02;
constexpr unsigned char kBusy = 0x16; // the reader is still reading the card
constexpr int kFirstData = 27;        // data bytes 5..31 of a first report
constexpr int kNextData = 31;         // data bytes 1..31 of every further one

constexpr int kInvalidHandle = -12;
constexpr int kNoCard = -2;
constexpr int kTransferFailed = -15;
constexpr int kBadAnswer = -20;

constexpr unsigned char kRequestCard = 0xB0;
constexpr unsigned char kSelectCard = 0xB1;
constexpr unsigned char kReadCard = 0xB4;
constexpr int kCommandSize = 8;

// 02 08 00 01 00 code xor 00, xor over bytes 1 to 5.
void commandMessage(unsigned char code, unsigned char* message)
{
    const unsigned char bytes[kCommandSize] = {kLast, 0x08, 0x00, 0x01, 0x00, code, 0, 0x00};
    std::memcpy(message, bytes, sizeof bytes);
    message[6] = bytes[1] ^ bytes[2] ^ bytes[3] ^ bytes[4] ^ bytes[5];
}

} // namespace

HidIDCard::~HidIDCard()
{
    ICC_Reader_Close(1);
}

long HidIDCard::ICC_Reader_Open(char*)
{
    ICC_Reader_Close(1); // a second open starts afresh
    m_usb = &usb::backend();
    const int init = m_usb->init(&m_ctx);
    if (init < 0) {
        std::perror("libusb_init");
        m_ctx = nullptr;
        return init;
    }
    std::printf("libusb_init ok %d\n", 1);
    m_usb->setDebugLevel(m_ctx, kDebugLevel);
    libusb_device** devices = nullptr;
    if (m_usb->getDeviceList(m_ctx, &devices) < 0) {
        std::printf("libusb_get_device_list %d\n", 2);
        devices = nullptr;
    }
    m_handle = m_usb->openDeviceWithVidPid(m_ctx, devices::kHidCardReader.vendor,
                                           devices::kHidCardReader.product);
    if (!m_handle) {
        std::perror("libusb_open_device_with_pid_vid");
        std::printf("libusb_open_device_with_pid_vid err %d\n", 3);
        if (devices)
            m_usb->freeDeviceList(devices, 1);
        m_usb->exit(m_ctx);
        m_ctx = nullptr;
        return -1;
    }
    std::printf("4 ok %d\n", 4);
    if (devices)
        m_usb->freeDeviceList(devices, 1);
    if (m_usb->kernelDriverActive(m_handle, kInterface) == 1) {
        std::printf("Kernel Driver Active %d\n", 5);
        if (m_usb->detachKernelDriver(m_handle, kInterface) == 0)
            std::printf("Kernel Driver Detached %d\n", 5);
    }
    const int claim = m_usb->claimInterface(m_handle, kInterface);
    if (claim < 0) {
        std::perror("libusb_claim_interface");
        m_usb->close(m_handle);
        m_handle = nullptr;
        std::printf("libusb_claim_interface err %d\n", 6);
        return claim;
    }
    std::printf("libusb_claim_interface ok %d\n", 6);
    const long handle = reinterpret_cast<long>(m_handle);
    std::printf("ReaderHandle:%ld %d\n", handle, 7);
    std::fflush(stdout);
    return handle;
}

int HidIDCard::ICC_Reader_Close(long)
{
    if (m_handle)
        m_usb->close(m_handle);
    m_handle = nullptr;
    if (m_ctx)
        m_usb->exit(m_ctx);
    m_ctx = nullptr;
    return 0;
}

bool HidIDCard::valid(long handle) const
{
    return handle >= 1 && m_handle;
}

int HidIDCard::HidD_SetFeature(long, unsigned char* report, int)
{
    if (!m_handle)
        return LIBUSB_ERROR_NO_DEVICE;
    return m_usb->controlTransfer(m_handle, kOutType, kSetReport, kOutValue, kInterface, report,
                                  kReportSize, kTimeoutMs);
}

int HidIDCard::HidD_GetFeature(long, unsigned char* report, int)
{
    std::memset(report, 0, kReportSize);
    if (!m_handle)
        return LIBUSB_ERROR_NO_DEVICE;
    return m_usb->controlTransfer(m_handle, kInType, kGetReport, kInValue, kInterface, report,
                                  kReportSize, kTimeoutMs);
}

int HidIDCard::SetUsbMsg(long handle, unsigned char* message, int length)
{
    unsigned char report[kReportSize] = {};
    auto sendReport = [&] { return HidD_SetFeature(handle, report, kReportSize) > 0; };
    if (length <= kReportSize) {
        std::memcpy(report, message, size_t(length > 0 ? length : 0));
        return sendReport() ? 0 : kTransferFailed;
    }
    std::memcpy(report, message, kReportSize);
    report[0] = kMore;
    if (!sendReport())
        return kTransferFailed;
    int at = kReportSize;
    while (length - at > kNextData) {
        report[0] = kMore;
        std::memcpy(report + 1, message + at, kNextData);
        at += kNextData;
        if (!sendReport())
            return kTransferFailed;
    }
    // The last report keeps the previous report's bytes past the message.
    report[0] = kLast;
    std::memcpy(report + 1, message + at, size_t(length - at));
    return sendReport() ? 0 : kTransferFailed;
}

int HidIDCard::GetUsbMsg(long handle, unsigned char* data, unsigned int* length)
{
    const unsigned int room = *length;
    unsigned char report[kReportSize];
    auto receive = [&] { return HidD_GetFeature(handle, report, kReportSize) > 0; };

    // A busy reader is asked again at once, but not for ever: a reader
    // that never finishes must not hold the service.
    const auto giveUp = std::chrono::steady_clock::now() + m_busyLimit;
    if (!receive())
        return kTransferFailed;
    while (report[2] == kBusy) {
        if (std::chrono::steady_clock::now() >= giveUp) {
            std::printf("GetUsbMsg: reader still busy after %lld ms\n",
                        static_cast<long long>(m_busyLimit.count()));
            return kTransferFailed;
        }
        if (!receive())
            return kTransferFailed;
    }
    if (report[2] != 0x00)
        return kBadAnswer;

    if (report[0] == kLast) {
        const unsigned int count = report[3];
        *length = count;
        if (count > kFirstData || count > room) {
            std::printf("GetUsbMsg: one report cannot carry %u bytes\n", count);
            return kBadAnswer;
        }
        std::memcpy(data, report + 5, count);
        return 0;
    }
    const unsigned int total = report[3] | (report[4] << 8);
    *length = total;
    if (report[0] != kMore)
        return 0;
    if (total > room) {
        std::printf("GetUsbMsg: answer of %u bytes does not fit %u\n", total, room);
        return kBadAnswer;
    }
    unsigned int copied = total < unsigned(kFirstData) ? total : unsigned(kFirstData);
    std::memcpy(data, report + 5, copied);
    while (total - copied > unsigned(kNextData)) {
        if (!receive())
            return kTransferFailed;
        if (report[0] == kLast) {
            std::printf("GetUsbMsg: answer ends after %u of %u bytes\n", copied, total);
            return kBadAnswer;
        }
        std::memcpy(data + copied, report + 1, kNextData);
        copied += kNextData;
    }
    if (!receive())
        return kTransferFailed;
    std::memcpy(data + copied, report + 1, total - copied);
    return 0;
}

int HidIDCard::command(long handle, unsigned char code, unsigned char* answer)
{
    unsigned char report[kReportSize] = {};
    commandMessage(code, report);
    // The answer is judged by its content alone: a report that did not
    // arrive reads as zeros.
    HidD_SetFeature(handle, report, kReportSize);
    return HidD_GetFeature(handle, answer, kReportSize);
}

int HidIDCard::PICC_Reader_ID_Request(long handle)
{
    if (!valid(handle))
        return kInvalidHandle;
    unsigned char answer[kReportSize];
    command(handle, kRequestCard, answer);
    return answer[3] == 0x00 ? 0 : kNoCard;
}

int HidIDCard::PICC_Reader_ID_Select(long handle)
{
    if (!valid(handle))
        return kInvalidHandle;
    unsigned char answer[kReportSize];
    command(handle, kSelectCard, answer);
    return answer[3] == 0x01 ? kNoCard : 0;
}

int HidIDCard::PICC_Reader_ID_Read(long handle, unsigned char* record)
{
    if (!valid(handle))
        return kInvalidHandle;
    unsigned char message[kCommandSize];
    commandMessage(kReadCard, message);
    if (const int sent = SetUsbMsg(handle, message, kCommandSize))
        return sent;
    unsigned int length = kRecordSize;
    const int received = GetUsbMsg(handle, record, &length);
    return received < 0 ? received : 0;
}
