#pragma once

#include <libusb.h>

#include <chrono>

namespace usb {
class Backend;
}

// The HID-class identity card reader (USB 072F:90D5), driven with 32-byte
// feature reports on the control pipe (no operating-system HID driver: a
// kernel driver bound to the interface is detached). Calling order: open,
// request, select, read, close. Created by the card command for one request.
//
// The reader handle is the device handle as a number; the card operations
// accept any value of 1 or more (they always talk to the device opened
// here) and answer -12 for anything else or when no reader is open.
class HidIDCard {
public:
    static constexpr int kReportSize = 32;
    // The record a read fills: 256 bytes of text, then the 1024-byte
    // portrait; a reply longer than this is refused.
    static constexpr unsigned int kRecordSize = 1300;

    HidIDCard() = default;
    ~HidIDCard(); // closes a reader left open
    HidIDCard(const HidIDCard&) = delete;
    HidIDCard& operator=(const HidIDCard&) = delete;

    // The handle (>= 1); -1 when no reader is attached; the library's
    // error when it or the interface fails. port is not used.
    long ICC_Reader_Open(char* port);
    // Closes the device and ends the library context. Always 0.
    int ICC_Reader_Close(long handle);

    // One output or input report of 32 bytes (report must hold 32); the
    // libusb result. length is not used.
    int HidD_SetFeature(long handle, unsigned char* report, int length);
    int HidD_GetFeature(long handle, unsigned char* report, int length);

    // A message in as many reports as it takes (0x82 while more follow,
    // 0x02 on the last). 0, or -15 when a report did not go out.
    int SetUsbMsg(long handle, unsigned char* message, int length);
    // The reader's answer: *length is the room in data on entry and the
    // answer's length on return. 0; -15 when a report did not arrive or the
    // reader stayed busy too long; -20 for an error status or an answer
    // that does not fit data or ends before its announced length.
    int GetUsbMsg(long handle, unsigned char* data, unsigned int* length);

    // 0 card present, -2 none, -12 invalid handle.
    int PICC_Reader_ID_Request(long handle);
    // 0 selected, -2 not selected, -12 invalid handle.
    int PICC_Reader_ID_Select(long handle);
    // 0 with the card's record (kRecordSize bytes of room), -12 invalid
    // handle, else the result of SetUsbMsg or GetUsbMsg.
    int PICC_Reader_ID_Read(long handle, unsigned char* record);

    // How long a read waits while the reader answers "still reading".
    static constexpr std::chrono::milliseconds kDefaultBusyLimit{5000};
    void setBusyLimit(std::chrono::milliseconds limit) { m_busyLimit = limit; }

private:
    bool valid(long handle) const;
    int command(long handle, unsigned char code, unsigned char* answer);

    libusb_device_handle* m_handle = nullptr; // null when closed
    libusb_context* m_ctx = nullptr;          // this reader's own
    usb::Backend* m_usb = nullptr;            // bound at open
    std::chrono::milliseconds m_busyLimit = kDefaultBusyLimit;
};
