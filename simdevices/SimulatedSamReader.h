#pragma once

#include "SimulatedCardReader.h"

#include <deque>
#include <map>

// The identity card reader with a security module (SAM), USB 0400:C35A, as
// seen on USB: one vendor interface (0) with bulk endpoints, and a module of
// one of two generations behind it.
// - "0501": a request arrives in two writes, its head (preamble and length)
//   on OUT 0x02 and the rest on OUT 0x06; the reply leaves in two parts, its
//   head on IN 0x81 and the rest (status, data, checksum) on IN 0x85.
// - "0503": every write to OUT 0x01 or OUT 0x02 is one whole request (a
//   write that is not a complete frame is dropped); the whole reply leaves
//   on IN 0x81.
// Frames are AA AA AA 96 69, a big-endian length, then command and
// parameter (request) or three status bytes and data (reply), and an XOR
// checksum of everything after the preamble. A new request drops any reply
// not yet collected. Replies: SAM id 00 00 90 + 16 bytes; find 00 00 9F
// (card) or 00 00 80; select 00 00 90 or 00 00 81; read 00 00 90 with the
// record (30 01: text and photo; 30 10: text, photo and fingerprint) or
// 00 00 41; a bad checksum 00 00 10, an unknown command 00 00 21.
//
// IN transfers wait for a reply up to their timeout, like the device.
class SimulatedSamReader final : public SimulatedCardReader {
public:
    enum class Module { M0501, M0503 };
    enum class Command { SamId, Find, Select, Read };
    enum class ReplyFault {
        None,
        Short,         // the reply stops after `amount` bytes (length field kept)
        OverAnnounced, // the length field announces `amount` bytes more than sent
        Garbled,       // every byte of the reply replaced by noise
        Silent,        // no reply at all: the IN transfer times out
    };
    struct Transfer {
        unsigned char endpoint;
        int length; // bytes moved
        int result; // libusb code
        int waitMs; // how long the host let it take (usbdevfs polls: 0)
    };

    SimulatedSamReader();

    void setModule(Module module);
    Module module() const;
    // 16 bytes; refused otherwise.
    bool setSamId(const QByteArray& id);
    QByteArray samId() const;

    // Failure knobs, until resetFaults().
    // The status a command answers with instead of the card's own.
    void setStatus(Command command, const QByteArray& status);
    void setReplyFault(Command command, ReplyFault fault, int amount = 0);
    // The whole reply frame of a command, byte for byte (the 0501 still
    // splits it after its 7th byte; either part may be empty).
    void setRawReply(Command command, const QByteArray& reply);
    // The next `count` transfers on an endpoint fail with `error` (count < 0:
    // every one), e.g. an 0x01 that refuses transfers.
    void failTransfers(unsigned char endpoint, int count, int error);
    void resetFaults();

    // What the host did.
    QList<QByteArray> requests() const; // complete request frames, in order
    QList<Transfer> transfers() const;  // every transfer that ended
    void clearHistory();

    // Device and configuration descriptors as usbfs presents them.
    static QByteArray usbDescriptors(Module module);
    // The frame of a reply (or request) with its length and checksum.
    static QByteArray frame(const QByteArray& body);

    uint16_t vendorId() const override;
    uint16_t productId() const override;
    int transfer(unsigned char endpoint, unsigned char* data, int length, int* transferred,
                 int waitMs) override;
    int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                        unsigned char* data, uint16_t length) override;

private:
    struct Fault {
        ReplyFault kind = ReplyFault::None;
        int amount = 0;
    };
    struct Failure {
        int count = 0;
        int error = 0;
    };

    bool hasEndpoint(unsigned char endpoint) const;
    int write(unsigned char endpoint, const unsigned char* data, int length);
    int read(std::unique_lock<std::mutex>& lock, unsigned char endpoint, unsigned char* data,
             int length, int* transferred, int waitMs);
    void answer(const QByteArray& request);
    QByteArray replyTo(const QByteArray& request, Command* command) const;
    QByteArray cardAnswer(Command command, unsigned char parameter) const;
    void queueReply(QByteArray reply, Command command);
    int takeFailure(unsigned char endpoint);
    void log(unsigned char endpoint, int length, int result, int waitMs);
    void plugChanged(bool plugged) override;

    Module m_module = Module::M0503;
    QByteArray m_samId;
    QByteArray m_pendingRequest; // a 0501 request whose rest has not come yet
    std::map<unsigned char, std::deque<QByteArray>> m_replies; // per IN endpoint
    std::map<Command, QByteArray> m_status;
    std::map<Command, Fault> m_faults;
    std::map<Command, QByteArray> m_rawReplies;
    std::map<unsigned char, Failure> m_failures;
    QList<QByteArray> m_requests;
    QList<Transfer> m_transfers;
};
