#include "SimulatedHidCardReader.h"

#include "PeriphdDevices.h"

#include <libusb.h>

#include <cstring>

namespace {

constexpr uint8_t kSetReportType = 0x21; // class, interface, host to device
constexpr uint8_t kGetReportType = 0xA1; // class, interface, device to host
constexpr uint8_t kSetReport = 0x09;
constexpr uint8_t kGetReport = 0x01;
constexpr uint16_t kOutputValue = 0x0000;
constexpr uint16_t kInputValue = 0x3000;
constexpr char kMore = char(0x82);
constexpr char kLast = char(0x02);
constexpr unsigned char kNotReady = 0x16;
constexpr int kFirstData = 27; // data bytes in a first report
constexpr int kNextData = 31;  // in every further one

QByteArray report(char flag, unsigned char status = 0)
{
    QByteArray bytes(SimulatedHidCardReader::kReportSize, '\0');
    bytes[0] = flag;
    bytes[2] = char(status);
    return bytes;
}

} // namespace

SimulatedHidCardReader::SimulatedHidCardReader()
    : SimulatedCardReader(SimulatedInterface{0, false, true}) // usbhid binds at plug-in
{
}

QList<QByteArray> SimulatedHidCardReader::readReports(const QByteArray& data, int announcedLength)
{
    const int announced = announcedLength < 0 ? data.size() : announcedLength;
    QList<QByteArray> reports;
    if (data.size() <= kFirstData) {
        QByteArray only = report(kLast);
        only[3] = char(announced & 0xFF);
        only.replace(5, data.size(), data);
        reports << only;
        return reports;
    }
    QByteArray first = report(kMore);
    first[3] = char(announced & 0xFF);
    first[4] = char((announced >> 8) & 0xFF);
    first.replace(5, kFirstData, data.left(kFirstData));
    reports << first;
    for (int at = kFirstData; at < data.size(); at += kNextData) {
        const bool last = data.size() - at <= kNextData;
        QByteArray next = report(last ? kLast : kMore);
        const QByteArray part = data.mid(at, kNextData);
        next.replace(1, part.size(), part);
        reports << next;
    }
    return reports;
}

QByteArray SimulatedHidCardReader::usbDescriptors()
{
    // A vendor-page HID collection with a 32-byte feature report.
    const unsigned char reportDescriptorLength = 0x16;
    const unsigned char descriptors[] = {
        // device: USB 2.0, EP0 64 bytes, 072F:90D5, one configuration
        0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40, 0x2F, 0x07, 0xD5, 0x90, 0x00, 0x01,
        0x01, 0x02, 0x00, 0x01,
        // configuration 1: one interface, bus powered, 100 mA
        0x09, 0x02, 0x22, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,
        // interface 0: HID, one endpoint
        0x09, 0x04, 0x00, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00,
        // HID 1.11, one report descriptor
        0x09, 0x21, 0x11, 0x01, 0x00, 0x01, 0x22, reportDescriptorLength, 0x00,
        // endpoint 0x81: interrupt IN, 32 bytes, every 10 ms (unused by the host)
        0x07, 0x05, 0x81, 0x03, 0x20, 0x00, 0x0A,
    };
    return QByteArray(reinterpret_cast<const char*>(descriptors), sizeof descriptors);
}

void SimulatedHidCardReader::plugChanged(bool plugged)
{
    if (plugged) {
        m_interface.kernelDriverBound = true; // usbhid binds again
        return;
    }
    m_partial = false;
    m_partialMessage.clear();
    m_answer.clear();
    m_notReadyPending = 0;
}

void SimulatedHidCardReader::setKernelDriverBound(bool bound)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interface.kernelDriverBound = bound;
}

void SimulatedHidCardReader::setNotReadyPolls(int count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_notReadyPolls = count;
}

void SimulatedHidCardReader::setReadStatus(unsigned char status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_readStatus = status;
}

void SimulatedHidCardReader::setRequestAnswer(int byte3)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requestAnswer = byte3;
}

void SimulatedHidCardReader::setSelectAnswer(int byte3)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_selectAnswer = byte3;
}

void SimulatedHidCardReader::setAnnouncedLength(int length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_announcedLength = length;
}

void SimulatedHidCardReader::setRawReadReports(const QList<QByteArray>& reports)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rawReadReports = reports;
    m_rawRead = true;
}

void SimulatedHidCardReader::failInputReportsAfter(int after, int error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_goodReportsLeft = after;
    m_reportError = error;
}

void SimulatedHidCardReader::resetFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interface.claimError = 0;
    m_notReadyPolls = 0;
    m_readStatus = 0;
    m_requestAnswer = -1;
    m_selectAnswer = -1;
    m_announcedLength = -1;
    m_rawReadReports.clear();
    m_rawRead = false;
    m_goodReportsLeft = -1;
    m_reportError = 0;
}

QList<QByteArray> SimulatedHidCardReader::outputReports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_outputReports;
}

QList<QByteArray> SimulatedHidCardReader::messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

int SimulatedHidCardReader::inputReports() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_inputReports;
}

int SimulatedHidCardReader::notReadyAnswers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_notReadyAnswers;
}

void SimulatedHidCardReader::clearHistory()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_outputReports.clear();
    m_messages.clear();
    m_inputReports = 0;
    m_notReadyAnswers = 0;
}

bool SimulatedHidCardReader::kernelDriverBound() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interface.kernelDriverBound;
}

uint16_t SimulatedHidCardReader::vendorId() const
{
    return devices::kHidCardReader.vendor;
}

uint16_t SimulatedHidCardReader::productId() const
{
    return devices::kHidCardReader.product;
}

int SimulatedHidCardReader::transfer(unsigned char, unsigned char*, int, int* transferred, int)
{
    if (transferred)
        *transferred = 0;
    return LIBUSB_ERROR_PIPE; // the card reader's driver uses the control pipe only
}

int SimulatedHidCardReader::controlTransfer(uint8_t requestType, uint8_t request, uint16_t value,
                                            uint16_t index, unsigned char* data, uint16_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    if (index != m_interface.number || length != kReportSize || !data)
        return LIBUSB_ERROR_PIPE;
    const bool setting = requestType == kSetReportType && request == kSetReport
        && value == kOutputValue;
    const bool getting = requestType == kGetReportType && request == kGetReport
        && value == kInputValue;
    if (!setting && !getting)
        return LIBUSB_ERROR_PIPE;
    // A request to the interface needs it: usbfs claims it for the caller,
    // which fails while the HID driver holds it.
    if (const int claimed = m_interface.claimForTransfer())
        return claimed;
    return setting ? setReport(data) : getReport(data);
}

int SimulatedHidCardReader::setReport(const unsigned char* data)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), kReportSize);
    remember(m_outputReports, bytes);
    if (bytes[0] == kMore) {
        if (!m_partial)
            m_partialMessage = QByteArray(1, kLast);
        m_partial = true;
        m_partialMessage += bytes.mid(1);
        return kReportSize;
    }
    QByteArray message = bytes;
    if (m_partial)
        message = m_partialMessage + bytes.mid(1);
    m_partial = false;
    m_partialMessage.clear();
    remember(m_messages, message);
    answer(message);
    return kReportSize;
}

void SimulatedHidCardReader::answer(const QByteArray& message)
{
    m_answer.clear();
    m_notReadyPending = 0;
    unsigned char sum = 0;
    for (int i = 1; i <= 5; ++i)
        sum ^= uchar(message[i]);
    if (uchar(message[0]) != 0x02 || uchar(message[1]) != 0x08 || message[2] != 0
        || uchar(message[3]) != 0x01 || message[4] != 0 || uchar(message[6]) != sum) {
        m_answer.push_back(report(kLast, 0x10));
        return;
    }
    switch (uchar(message[5])) {
    case 0xB0:
    case 0xB1: {
        const int forced = uchar(message[5]) == 0xB0 ? m_requestAnswer : m_selectAnswer;
        QByteArray only = report(kLast);
        only[3] = char(forced >= 0 ? forced : (m_cardPresent ? 0x00 : 0x01));
        m_answer.push_back(only);
        return;
    }
    case 0xB4:
        m_notReadyPending = m_notReadyPolls;
        if (m_rawRead) {
            for (const QByteArray& raw : m_rawReadReports) {
                QByteArray padded = raw.left(kReportSize);
                padded += QByteArray(kReportSize - padded.size(), '\0');
                m_answer.push_back(padded);
            }
        } else if (m_readStatus != 0) {
            m_answer.push_back(report(kLast, m_readStatus));
        } else if (!m_cardPresent) {
            m_answer.push_back(report(kLast, 0x41));
        } else {
            for (const QByteArray& one :
                 readReports(m_record.left(kTextSize + kPhotoSize), m_announcedLength))
                m_answer.push_back(one);
        }
        return;
    default:
        m_answer.push_back(report(kLast, 0x21));
        return;
    }
}

int SimulatedHidCardReader::getReport(unsigned char* data)
{
    if (m_goodReportsLeft == 0)
        return m_reportError;
    QByteArray next;
    if (m_notReadyPending != 0) {
        if (m_notReadyPending > 0)
            --m_notReadyPending;
        next = report(kLast, kNotReady);
        ++m_notReadyAnswers;
    } else if (!m_answer.empty()) {
        next = m_answer.front();
        m_answer.pop_front();
    } else {
        return LIBUSB_ERROR_PIPE; // nothing to answer
    }
    if (m_goodReportsLeft > 0)
        --m_goodReportsLeft;
    ++m_inputReports;
    std::memcpy(data, next.constData(), kReportSize);
    return kReportSize;
}

