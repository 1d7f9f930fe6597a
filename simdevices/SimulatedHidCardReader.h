#pragma once

#include "SimulatedCardReader.h"

#include <deque>

// The HID-class identity card reader, USB 072F:90D5, as seen on USB: one HID
// interface (0), held by the kernel's HID driver until detached, spoken to
// with 32-byte feature reports on the control pipe: SET_REPORT (0x21, 0x09,
// wValue 0x0000) carries the host's message, GET_REPORT (0xA1, 0x01, wValue
// 0x3000) fetches the reader's answer one report at a time.
//
// Framing: byte 0 of a report is 0x82 while more reports of the message
// follow and 0x02 on the last; a host message of more than 32 bytes goes as
// 0x82 + 31 bytes, ..., 0x02 + the rest. Commands are 8-byte messages
// 02 08 00 01 00 cmd xor 00 (xor over bytes 1..5): B0 request the card, B1
// select it, B4 read it. Answers:
// - request, select: one report 02 00 00 r, r = 0x00 (card there) or 0x01;
// - read: status 0x16 (still reading) for as many polls as scripted, then
//   82 00 00 lenLo lenHi + 27 data bytes, 82 + 31 bytes ..., 02 + the rest;
//   a reply of up to 27 bytes is one report 02 00 00 n 00 + data;
// - an error status in byte 2 (no data) when the card cannot be read, 0x10
//   for a malformed message, 0x21 for an unknown command.
// A GET_REPORT with no answer pending stalls. The fingerprint data a card
// may hold is not delivered by this reader.
class SimulatedHidCardReader final : public SimulatedCardReader {
public:
    static constexpr int kReportSize = 32;

    SimulatedHidCardReader();

    // Plugging in again rebinds the kernel driver.
    void setKernelDriverBound(bool bound);

    // Failure knobs, until resetFaults().
    // The read answers "still reading" (0x16) this many times first
    // (negative: for ever).
    void setNotReadyPolls(int count);
    // A non-zero status answers the read with that error status.
    void setReadStatus(unsigned char status);
    // Byte 3 of the request or select answer (negative: the card's own).
    void setRequestAnswer(int byte3);
    void setSelectAnswer(int byte3);
    // The length the read answer announces (negative: the true one); the
    // reports still carry the true data.
    void setAnnouncedLength(int length);
    // The read is answered with these input reports, byte for byte (each
    // padded or cut to 32 bytes), after any "still reading" polls.
    void setRawReadReports(const QList<QByteArray>& reports);
    // After `after` more answered GET_REPORTs, every one fails with `error`.
    void failInputReportsAfter(int after, int error);
    void resetFaults();

    // What the host did.
    QList<QByteArray> outputReports() const; // every SET_REPORT, as sent
    QList<QByteArray> messages() const;      // host messages reassembled
    int inputReports() const;                // answered GET_REPORTs
    int notReadyAnswers() const;             // of which "still reading"
    void clearHistory();
    bool kernelDriverBound() const;

    // The input reports a read of this record is answered with.
    static QList<QByteArray> readReports(const QByteArray& data, int announcedLength = -1);
    static QByteArray usbDescriptors();

    uint16_t vendorId() const override;
    uint16_t productId() const override;
    int transfer(unsigned char endpoint, unsigned char* data, int length, int* transferred,
                 int waitMs) override;
    int controlTransfer(uint8_t requestType, uint8_t request, uint16_t value, uint16_t index,
                        unsigned char* data, uint16_t length) override;

private:
    int setReport(const unsigned char* report);
    int getReport(unsigned char* report);
    void answer(const QByteArray& message);
    void plugChanged(bool plugged) override;

    QByteArray m_partialMessage; // reports of a message whose last has not come
    bool m_partial = false;
    int m_notReadyPending = 0;   // "still reading" answers before the data
    std::deque<QByteArray> m_answer;

    int m_notReadyPolls = 0;
    unsigned char m_readStatus = 0;
    int m_requestAnswer = -1;
    int m_selectAnswer = -1;
    int m_announcedLength = -1;
    QList<QByteArray> m_rawReadReports;
    bool m_rawRead = false;
    int m_goodReportsLeft = -1; // negative: no failure scripted
    int m_reportError = 0;

    QList<QByteArray> m_outputReports;
    QList<QByteArray> m_messages;
    int m_inputReports = 0;
    int m_notReadyAnswers = 0;
};
