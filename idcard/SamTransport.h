#pragma once

#include <libusb.h>

// The SAM reader's frames and its two transports, shared by the exchanges
// of ReadIDCard. Every call goes through the USB seam.
namespace sam {

constexpr int kTransferSize = 4096; // every IN transfer asks for this much
constexpr int kRecordSize = 4096;   // the caller's record buffer
constexpr int kRequestSize = 10;

// A request: preamble, length 00 03, command, parameter, checksum.
struct Request {
    unsigned char bytes[kRequestSize];
};
Request request(unsigned char command, unsigned char parameter);

struct Timeouts {
    unsigned int outMs;
    unsigned int inMs;
};

// What the IN transfers delivered, in zero-filled buffers.
struct Reply {
    unsigned char bytes[kTransferSize];
    int length; // bytes received
};

// 0501: head (7 bytes) to OUT 0x02, the rest to OUT 0x06, the reply's head
// from IN 0x81 and its rest from IN 0x85. Returns 0, or the position (1 to
// 4) of the transfer that failed; the exchange stops there.
int exchange0501(libusb_device_handle* handle, const Request& request, Timeouts timeouts,
                 Reply& head, Reply& rest);

// 0503: the whole request to OUT 0x01, once more to OUT 0x02 if 0x01
// refused it, the whole reply from IN 0x81. Returns 0, 1 (neither OUT
// endpoint took it) or 2 (no reply).
int exchange0503(libusb_device_handle* handle, const Request& request, Timeouts timeouts,
                 Reply& reply);

// True when the three status bytes are 00 00 sw3.
bool hasStatus(const unsigned char* status, unsigned char sw3);

// The big-endian length field at bytes 5 and 6 of a frame head.
int announcedLength(const unsigned char* head);

// 16 bytes as 32 upper-case hexadecimal digits and a NUL.
void formatSamId(const unsigned char* id, char* text);

} // namespace sam
