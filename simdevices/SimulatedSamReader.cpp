#include "SimulatedSamReader.h"

#include "PeriphdDevices.h"

#include <libusb.h>

#include <chrono>
#include <cstring>

namespace {

const QByteArray kPreamble = QByteArray::fromHex("AAAAAA9669");
constexpr int kHeadSize = 7; // preamble and length

QByteArray status(unsigned char sw3)
{
    return QByteArray::fromHex("0000") + char(sw3);
}

// The length field of a frame that holds at least its head.
int announcedLength(const QByteArray& frame)
{
    return (uchar(frame[5]) << 8) | uchar(frame[6]);
}

QByteArray bigEndian16(int value)
{
    QByteArray bytes(2, '\0');
    bytes[0] = char((value >> 8) & 0xFF);
    bytes[1] = char(value & 0xFF);
    return bytes;
}

} // namespace

SimulatedSamReader::SimulatedSamReader()
    : SimulatedCardReader(SimulatedInterface{}) // a vendor interface: no kernel driver binds to it
    , m_samId(QByteArray::fromHex("0D4A1E05202400A1B2C3D4E5F6071829"))
{
}

QByteArray SimulatedSamReader::frame(const QByteArray& body)
{
    QByteArray tail = bigEndian16(body.size() + 1) + body;
    unsigned char sum = 0;
    for (char byte : tail)
        sum ^= uchar(byte);
    return kPreamble + tail + char(sum);
}

void SimulatedSamReader::setModule(Module module)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_module = module;
    m_pendingRequest.clear();
    m_replies.clear();
}

SimulatedSamReader::Module SimulatedSamReader::module() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_module;
}

bool SimulatedSamReader::setSamId(const QByteArray& id)
{
    if (id.size() != 16)
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_samId = id;
    return true;
}

QByteArray SimulatedSamReader::samId() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_samId;
}

void SimulatedSamReader::plugChanged(bool plugged)
{
    if (!plugged) {
        m_pendingRequest.clear();
        m_replies.clear();
    }
}

void SimulatedSamReader::setStatus(Command command, const QByteArray& status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_status[command] = status;
}

void SimulatedSamReader::setReplyFault(Command command, ReplyFault fault, int amount)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults[command] = Fault{fault, amount};
}

void SimulatedSamReader::setRawReply(Command command, const QByteArray& reply)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rawReplies[command] = reply;
}

void SimulatedSamReader::failTransfers(unsigned char endpoint, int count, int error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures[endpoint] = Failure{count, error};
}

void SimulatedSamReader::resetFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_interface.claimError = 0;
    m_status.clear();
    m_faults.clear();
    m_rawReplies.clear();
    m_failures.clear();
}

QList<QByteArray> SimulatedSamReader::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

QList<SimulatedSamReader::Transfer> SimulatedSamReader::transfers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transfers;
}

void SimulatedSamReader::clearHistory()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
    m_transfers.clear();
}

QByteArray SimulatedSamReader::usbDescriptors(Module module)
{
    const QByteArray endpoints = module == Module::M0501
        ? QByteArray::fromHex("07050202400000" "07050602400000" "07058102400000" "07058502400000")
        : QByteArray::fromHex("07050102400000" "07050202400000" "07058102400000");
    const int count = endpoints.size() / 7;
    const int total = 9 + 9 + endpoints.size();
    QByteArray descriptors = QByteArray::fromHex(
        // device: USB 2.0, EP0 64 bytes, 0400:C35A, one configuration
        "12010002000000400004" "5AC3" "0001010200" "01");
    descriptors += QByteArray::fromHex("0902") + char(total) + char(0)
        + QByteArray::fromHex("010100" "80" "FA"); // one interface, bus powered, 500 mA
    descriptors += QByteArray::fromHex("09040000") + char(count)
        + QByteArray::fromHex("FF000000"); // vendor class
    return descriptors + endpoints;
}

uint16_t SimulatedSamReader::vendorId() const
{
    return devices::kSamCardReader.vendor;
}

uint16_t SimulatedSamReader::productId() const
{
    return devices::kSamCardReader.product;
}

bool SimulatedSamReader::hasEndpoint(unsigned char endpoint) const
{
    if (m_module == Module::M0501)
        return endpoint == 0x02 || endpoint == 0x06 || endpoint == 0x81 || endpoint == 0x85;
    return endpoint == 0x01 || endpoint == 0x02 || endpoint == 0x81;
}

int SimulatedSamReader::takeFailure(unsigned char endpoint)
{
    auto it = m_failures.find(endpoint);
    if (it == m_failures.end() || it->second.count == 0)
        return 0;
    if (it->second.count > 0)
        --it->second.count;
    return it->second.error;
}

void SimulatedSamReader::log(unsigned char endpoint, int length, int result, int waitMs)
{
    remember(m_transfers, Transfer{endpoint, length, result, waitMs});
}

int SimulatedSamReader::transfer(unsigned char endpoint, unsigned char* data, int length,
                                 int* transferred, int waitMs)
{
    if (transferred)
        *transferred = 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    if (!hasEndpoint(endpoint)) {
        log(endpoint, 0, LIBUSB_ERROR_PIPE, waitMs);
        return LIBUSB_ERROR_PIPE;
    }
    m_interface.claimForTransfer(); // no kernel driver to refuse it
    if (const int error = takeFailure(endpoint)) {
        log(endpoint, 0, error, waitMs);
        return error;
    }
    if (endpoint & LIBUSB_ENDPOINT_IN)
        return read(lock, endpoint, data, length, transferred, waitMs);
    const int result = write(endpoint, data, length);
    if (result == LIBUSB_SUCCESS && transferred)
        *transferred = length;
    log(endpoint, result == LIBUSB_SUCCESS ? length : 0, result, waitMs);
    lock.unlock();
    notify();
    return result;
}

int SimulatedSamReader::read(std::unique_lock<std::mutex>& lock, unsigned char endpoint,
                             unsigned char* data, int length, int* transferred, int waitMs)
{
    const uint64_t attachment = m_attachment;
    auto ready = [this, attachment, endpoint] {
        return m_attachment != attachment || !m_replies[endpoint].empty();
    };
    if (waitMs < 0)
        m_changed.wait(lock, ready);
    else
        m_changed.wait_for(lock, std::chrono::milliseconds(waitMs), ready);
    if (m_attachment != attachment)
        return LIBUSB_ERROR_NO_DEVICE;
    std::deque<QByteArray>& queue = m_replies[endpoint];
    if (queue.empty()) {
        if (waitMs != 0) // a poll of the usbdevfs emulation is no transfer of its own
            log(endpoint, 0, LIBUSB_ERROR_TIMEOUT, waitMs);
        return LIBUSB_ERROR_TIMEOUT;
    }
    const QByteArray reply = queue.front();
    queue.pop_front();
    if (reply.size() > length) {
        log(endpoint, 0, LIBUSB_ERROR_OVERFLOW, waitMs);
        return LIBUSB_ERROR_OVERFLOW; // more than the host asked for
    }
    std::memcpy(data, reply.constData(), size_t(reply.size()));
    if (transferred)
        *transferred = reply.size();
    log(endpoint, reply.size(), LIBUSB_SUCCESS, waitMs);
    return LIBUSB_SUCCESS;
}

int SimulatedSamReader::write(unsigned char endpoint, const unsigned char* data, int length)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), length);
    if (m_module == Module::M0503) {
        // One transfer, one request: a fragment is not a request.
        if (bytes.size() >= kHeadSize && bytes.startsWith(kPreamble)
            && bytes.size() >= kHeadSize + announcedLength(bytes))
            answer(bytes.left(kHeadSize + announcedLength(bytes)));
        return LIBUSB_SUCCESS;
    }
    // The 0501 starts a request with every write to 0x02 and completes it
    // with what follows on 0x06.
    if (endpoint == 0x02)
        m_pendingRequest = bytes;
    else
        m_pendingRequest += bytes;
    if (m_pendingRequest.size() >= kHeadSize && m_pendingRequest.startsWith(kPreamble)
        && m_pendingRequest.size() >= kHeadSize + announcedLength(m_pendingRequest)) {
        const QByteArray request = m_pendingRequest.left(kHeadSize + announcedLength(m_pendingRequest));
        m_pendingRequest.clear();
        answer(request);
    }
    return LIBUSB_SUCCESS;
}

void SimulatedSamReader::answer(const QByteArray& request)
{
    remember(m_requests, request);
    m_replies.clear(); // the module answers the latest request only
    Command command = Command::SamId;
    QByteArray reply = replyTo(request, &command);
    if (!reply.isEmpty() || m_rawReplies.count(command))
        queueReply(reply, command);
}

QByteArray SimulatedSamReader::replyTo(const QByteArray& request, Command* command) const
{
    unsigned char sum = 0;
    for (int i = 5; i < request.size() - 1; ++i)
        sum ^= uchar(request[i]);
    if (request.size() != 10 || sum != uchar(request[request.size() - 1]))
        return frame(status(0x10));
    const unsigned char code = uchar(request[7]);
    const unsigned char parameter = uchar(request[8]);
    if (code == 0x12 && parameter == 0xFF)
        *command = Command::SamId;
    else if (code == 0x20 && parameter == 0x01)
        *command = Command::Find;
    else if (code == 0x20 && parameter == 0x02)
        *command = Command::Select;
    else if (code == 0x30 && (parameter == 0x01 || parameter == 0x10))
        *command = Command::Read;
    else
        return frame(status(0x21));

    auto raw = m_rawReplies.find(*command);
    if (raw != m_rawReplies.end())
        return raw->second;
    QByteArray body = cardAnswer(*command, parameter);
    auto forced = m_status.find(*command);
    if (forced != m_status.end() && !forced->second.isEmpty())
        body = forced->second + body.mid(3);
    return frame(body);
}

QByteArray SimulatedSamReader::cardAnswer(Command command, unsigned char parameter) const
{
    switch (command) {
    case Command::SamId:
        return status(0x90) + m_samId;
    case Command::Find:
        return m_cardPresent ? status(0x9F) + QByteArray(4, '\0') : status(0x80);
    case Command::Select:
        return m_cardPresent ? status(0x90) + QByteArray(8, '\0') : status(0x81);
    case Command::Read: {
        if (!m_cardPresent)
            return status(0x41);
        const QByteArray text = m_record.left(kTextSize);
        const QByteArray photo = m_record.mid(kTextSize, kPhotoSize);
        QByteArray data = bigEndian16(kTextSize) + bigEndian16(kPhotoSize);
        if (parameter == 0x10) {
            const QByteArray fingerprint = m_record.mid(kTextSize + kPhotoSize);
            data += bigEndian16(fingerprint.size()) + text + photo + fingerprint;
        } else {
            data += text + photo;
        }
        return status(0x90) + data;
    }
    }
    return status(0x21);
}

void SimulatedSamReader::queueReply(QByteArray reply, Command command)
{
    auto faultIt = m_faults.find(command);
    const Fault fault = faultIt == m_faults.end() ? Fault{} : faultIt->second;
    switch (fault.kind) {
    case ReplyFault::None:
        break;
    case ReplyFault::Short:
        reply = reply.left(qMax(0, fault.amount));
        break;
    case ReplyFault::OverAnnounced:
        if (reply.size() >= kHeadSize) {
            const QByteArray length = bigEndian16(announcedLength(reply) + fault.amount);
            reply[5] = length[0];
            reply[6] = length[1];
        }
        break;
    case ReplyFault::Garbled: {
        uint32_t noise = 0x2545F491u + uint32_t(fault.amount);
        for (char& byte : reply) {
            noise = noise * 1103515245u + 12345u;
            byte = char(noise >> 23);
        }
        break;
    }
    case ReplyFault::Silent:
        return;
    }
    if (m_module == Module::M0501) {
        // Both parts always go out; a reply cut inside its head leaves an
        // empty second part.
        m_replies[0x81].push_back(reply.left(kHeadSize));
        m_replies[0x85].push_back(reply.mid(kHeadSize));
    } else {
        m_replies[0x81].push_back(reply);
    }
}

int SimulatedSamReader::controlTransfer(uint8_t, uint8_t, uint16_t, uint16_t, unsigned char*,
                                        uint16_t)
{
    return LIBUSB_ERROR_PIPE; // the readers' drivers never use the control pipe
}

