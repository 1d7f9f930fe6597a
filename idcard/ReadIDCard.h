#pragma once

#include "IDINFO.h"

#include <QPixmap>
#include <QString>

struct libusb_device_handle;

// The SAM identity card reader (USB 0400:C35A) for one request: its
// transport and command layer (two module generations, told apart by asking
// for the SAM id), the parser of the card record it delivers, and the
// renderer of the card's two faces. Created on the caller's stack and
// discarded afterwards; nothing survives between requests.
class ReadIDCard {
public:
    enum ConversionFlags { strictConversion = 0, lenientConversion };

    ReadIDCard() = default;

    // One complete read: open, detect the module, find, select, read,
    // parse, close. Returns 131001 on success, 431003 (library, device or
    // interface), 431004 (the read exchange) or 0 (no module answered the
    // SAM id request); leaves a short status text in message (>= 64 bytes).
    int readCard(IDINFO* info, char* message);

    // The exchanges. 0 when every transfer went through, a negative code
    // otherwise.
    int getIDSAM0501(libusb_device_handle* handle, char* samId);
    int getIDSAM0503(libusb_device_handle* handle, char* samId);
    int findCard0501(libusb_device_handle* handle);
    int selectCard0501(libusb_device_handle* handle);
    int findCard0503(libusb_device_handle* handle);
    int selectCard0503(libusb_device_handle* handle);
    int readCardData0501(libusb_device_handle* handle, unsigned char* record);
    int readCardData0503(libusb_device_handle* handle, unsigned char* record);

    // Parses a raw card record (text block, portrait, fingerprint) into
    // info and writes the decoded portrait to "./simage_file.bmp", which it
    // removes first: a portrait that does not decode leaves no file. With
    // withHeader the text starts at offset 6 and the record holds 2310
    // bytes (SAM reader: text, portrait, fingerprint area); without it the
    // text starts at 0 and the record holds 1280 bytes (HID reader: text
    // and portrait, no fingerprint area, figData stays zero). Always 0.
    int AnalysisID(unsigned char* record, IDINFO* info, bool withHeader);

    // Strict UTF-16 to UTF-8 up to the first zero unit, into a cleared
    // target of capacity bytes; writes no terminator. 0 done, 1 source ends
    // inside a surrogate pair, 2 target full, 3 unpaired surrogate, 4 null
    // pointer.
    int Utf16_To_Utf8(const unsigned short* source, unsigned char* target, unsigned long capacity,
                      ConversionFlags flags);

    // Card faces: "./front.jpg" -> "./frontNew.jpg", "./back.jpg" ->
    // "./backNew.jpg".
    void IDCardPicFront(IDINFO* info);
    void IDCardPicBack(IDINFO* info);
    void addMaskByPath(QString& source, QString& target, IDINFO* info);
    void addMaskByPathBack(QString& source, QString& target, IDINFO* info);
    void addMask(QPixmap& face, IDINFO* info);
    void addMaskBack(QPixmap& face, IDINFO* info);

private:
    bool m_is0501 = true;                       // module flag
    libusb_device_handle* m_handle = nullptr;   // valid inside one readCard
    char m_samId[128] = {};                     // 32 upper-case hex digits once read
};
