#pragma once

// The input of the reader reply fuzzer, shared with its seed writer.
//
//   byte 0   reader: 0 SAM reader with a 0501 module, 1 with a 0503, 2 HID
//            reader (taken modulo 3)
//   SAM:     byte 1 transfer failures: bit 0 OUT 0x01 refuses every
//            transfer, bits 1 to 4 the next transfer on 0x02, 0x06, 0x81,
//            0x85 fails; then up to four replies, for the SAM id, find,
//            select and read requests in that order, each a big-endian
//            16-bit length and that many bytes (the whole reply frame).
//            Requests past the last reply get the model's own answer.
//   HID:     byte 1 and 2 byte 3 of the request and select answers, byte 3
//            "still reading" polls before the read's answer (modulo 4),
//            then the read's input reports, 32 bytes each (the last one
//            padded with zeros).
namespace readerfuzz {

enum Reader : unsigned char { Sam0501 = 0, Sam0503 = 1, Hid = 2 };
constexpr int kReaders = 3;
constexpr unsigned char kRefuse01 = 0x01;
constexpr unsigned char kFailOnce02 = 0x02;
constexpr unsigned char kFailOnce06 = 0x04;
constexpr unsigned char kFailOnce81 = 0x08;
constexpr unsigned char kFailOnce85 = 0x10;
constexpr int kReportSize = 32;

} // namespace readerfuzz
