#include "SamTransport.h"

#include "UsbBackend.h"

#include <cstdio>
#include <cstring>

namespace sam {
namespace {

constexpr int kHeadSize = 7; // preamble and length: the 0501's first write

int send(libusb_device_handle* handle, unsigned char endpoint, const unsigned char* bytes,
         int length, unsigned int timeoutMs)
{
    unsigned char copy[kRequestSize];
    std::memcpy(copy, bytes, size_t(length));
    int sent = 0;
    return usb::backend().bulkTransfer(handle, endpoint, copy, length, &sent, timeoutMs);
}

int receive(libusb_device_handle* handle, unsigned char endpoint, Reply& reply,
            unsigned int timeoutMs)
{
    std::memset(reply.bytes, 0, sizeof reply.bytes);
    reply.length = 0;
    int got = 0;
    const int result = usb::backend().bulkTransfer(handle, endpoint, reply.bytes, kTransferSize,
                                                   &got, timeoutMs);
    reply.length = got < 0 ? 0 : (got > kTransferSize ? kTransferSize : got);
    return result;
}

} // namespace

Request request(unsigned char command, unsigned char parameter)
{
    Request r{{0xAA, 0xAA, 0xAA, 0x96, 0x69, 0x00, 0x03, command, parameter, 0}};
    r.bytes[9] = r.bytes[5] ^ r.bytes[6] ^ command ^ parameter;
    return r;
}

int exchange0501(libusb_device_handle* handle, const Request& request, Timeouts timeouts,
                 Reply& head, Reply& rest)
{
    std::memset(rest.bytes, 0, sizeof rest.bytes);
    rest.length = 0;
    if (send(handle, 0x02, request.bytes, kHeadSize, timeouts.outMs) < 0)
        return 1;
    if (send(handle, 0x06, request.bytes + kHeadSize, kRequestSize - kHeadSize, timeouts.outMs) < 0)
        return 2;
    if (receive(handle, 0x81, head, timeouts.inMs) < 0)
        return 3;
    if (receive(handle, 0x85, rest, timeouts.inMs) < 0)
        return 4;
    return 0;
}

int exchange0503(libusb_device_handle* handle, const Request& request, Timeouts timeouts,
                 Reply& reply)
{
    std::memset(reply.bytes, 0, sizeof reply.bytes);
    reply.length = 0;
    if (send(handle, 0x01, request.bytes, kRequestSize, timeouts.outMs) < 0
        && send(handle, 0x02, request.bytes, kRequestSize, timeouts.outMs) < 0)
        return 1;
    if (receive(handle, 0x81, reply, timeouts.inMs) < 0)
        return 2;
    return 0;
}

bool hasStatus(const unsigned char* status, unsigned char sw3)
{
    return status[0] == 0x00 && status[1] == 0x00 && status[2] == sw3;
}

int announcedLength(const unsigned char* head)
{
    return (head[5] << 8) | head[6];
}

void formatSamId(const unsigned char* id, char* text)
{
    for (int i = 0; i < 16; ++i)
        std::snprintf(text + 2 * i, 3, "%02X", id[i]);
}

} // namespace sam
