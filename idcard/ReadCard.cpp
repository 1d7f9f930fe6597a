// One complete card read through the SAM reader.
#include "ReadIDCard.h"

#include "PeriphdDevices.h"
#include "SamTransport.h"
#include "UsbBackend.h"

#include <QtDebug>

#include <cstdio>
#include <cstring>

namespace {

constexpr int kInterface = 0;
constexpr int kReadOk = 131001;
constexpr int kSetupFailed = 431003;
constexpr int kReadFailed = 431004;
constexpr int kNoModule = 0;
constexpr size_t kMessageSize = 64;

void say(char* message, const char* text)
{
    std::snprintf(message, kMessageSize, "%s", text);
}

} // namespace

int ReadIDCard::readCard(IDINFO* info, char* message)
{
    usb::Backend& usb = usb::backend();
    m_is0501 = true;
    if (usb.init(nullptr) < 0) {
        say(message, "init USB failed");
        return kSetupFailed;
    }
    m_handle = usb.openDeviceWithVidPid(nullptr, devices::kSamCardReader.vendor,
                                        devices::kSamCardReader.product);
    if (!m_handle) {
        say(message, "libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed \n");
        qWarning("libusb_open_device_with_vid_pid(0x0400, 0xC35A) failed \n");
        usb.exit(nullptr);
        return kSetupFailed;
    }
    if (usb.claimInterface(m_handle, kInterface) < 0) {
        say(message, "libusb_claim_interface(0) \n");
        qWarning("libusb_claim_interface(0) failed:[0] \n");
        usb.close(m_handle);
        m_handle = nullptr;
        usb.exit(nullptr);
        return kSetupFailed;
    }
    auto finish = [&](int result) {
        usb.releaseInterface(m_handle, kInterface);
        usb.close(m_handle);
        m_handle = nullptr;
        usb.exit(nullptr);
        return result;
    };

    // The module generation is told by which transport its SAM id answers on.
    qWarning("开始获取0501模块SAMOID");
    if (getIDSAM0501(m_handle, m_samId) == 0) {
        qWarning("获取0501模块SAMOID成功");
    } else {
        qWarning("获取0501模块SAMID失败，开始获取0503模块SAMOID");
        if (getIDSAM0503(m_handle, m_samId) != 0) {
            say(message, "获取0503模块SAMID失败");
            return finish(kNoModule);
        }
        m_is0501 = false;
    }
    say(message, "获取SAMID成功");
    qWarning("%s", m_is0501 ? "获取0501-SAMID成功" : "获取0503-SAMID成功");
    qWarning("%s", m_samId);

    // The record buffer is cleared so that whatever a reply does not fill
    // (the fingerprint area without fingerprint data) reads as zeros.
    unsigned char record[sam::kRecordSize] = {};
    int readResult;
    if (m_is0501) {
        // Only the read's own status decides; find and select may report
        // failure on a card that reads fine.
        findCard0501(m_handle);
        selectCard0501(m_handle);
        readResult = readCardData0501(m_handle, record);
    } else {
        qWarning("findCard0503");
        if (findCard0503(m_handle) == 0)
            qWarning("寻卡成功");
        qWarning("selectCard0503");
        if (selectCard0503(m_handle) == 0)
            qWarning("选卡成功");
        qWarning("readCardData0503");
        readResult = readCardData0503(m_handle, record);
        if (readResult == 0)
            qWarning("读卡成功");
    }
    if (readResult != 0) {
        say(message, "read card failed");
        qWarning("读卡失败");
        return finish(kReadFailed);
    }

    qWarning("读取二代证成功，并开始解析数据");
    AnalysisID(record, info, true);
    qWarning("退出并释放 libUSb 资源");
    return finish(kReadOk);
}
