#include "VirtualSimCard.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simdevices {

namespace {

constexpr uint16_t masterFile = 0x3F00;
constexpr uint16_t iccidFile = 0x2FE2;
constexpr int iccidLength = 10;
// How often the card looks at its script while waiting for vpcd.
constexpr std::chrono::milliseconds pollInterval(50);

enum Control : uint8_t { PowerOff = 0, PowerOn = 1, Reset = 2, GetAtr = 4 };

std::vector<uint8_t> statusWord(uint16_t sw)
{
    return {uint8_t(sw >> 8), uint8_t(sw & 0xFF)};
}

bool readExactly(int fd, uint8_t* data, size_t size)
{
    while (size) {
        // vpcd writes a frame's length and its payload separately; an ACK
        // held back would stall the payload behind Nagle's algorithm.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &one, sizeof(one));
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool writeFrame(int fd, const std::vector<uint8_t>& payload)
{
    std::vector<uint8_t> frame{uint8_t(payload.size() >> 8), uint8_t(payload.size() & 0xFF)};
    frame.insert(frame.end(), payload.begin(), payload.end());
    const uint8_t* data = frame.data();
    size_t size = frame.size();
    while (size) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return 0xF;
}

} // namespace

VirtualSimCard::VirtualSimCard(uint16_t vpcdPort, std::string host)
    : m_port(vpcdPort)
    , m_host(std::move(host))
{
}

VirtualSimCard::~VirtualSimCard()
{
    stop();
}

void VirtualSimCard::start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_running)
        return;
    m_running = true;
    m_thread = std::thread(&VirtualSimCard::run, this);
}

void VirtualSimCard::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void VirtualSimCard::setScript(const SimCardScript& script)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_script = script;
    }
    m_changed.notify_all();
}

SimCardScript VirtualSimCard::script() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_script;
}

void VirtualSimCard::setIccid(const std::string& iccid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_script.iccid = iccid;
}

void VirtualSimCard::setInserted(bool inserted)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_script.inserted = inserted;
    }
    m_changed.notify_all();
}

bool VirtualSimCard::waitUntilConnected(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_connected; });
}

bool VirtualSimCard::waitUntilDisconnected(int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !m_connected; });
}

bool VirtualSimCard::connected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected;
}

std::vector<std::vector<uint8_t>> VirtualSimCard::commands() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_commands;
}

void VirtualSimCard::clearCommands()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.clear();
}

const std::vector<uint8_t>& VirtualSimCard::atr()
{
    // T=0 only, two historical bytes: what a plain GSM SIM announces.
    // Never destroyed: a card's thread may still answer vpcd while the
    // process exits and runs the destructors of statics.
    static const auto* bytes = new std::vector<uint8_t>{0x3B, 0x02, 0x14, 0x50};
    return *bytes;
}

std::vector<uint8_t> VirtualSimCard::iccidBytes(const std::string& iccid)
{
    std::string digits = iccid.substr(0, 2 * iccidLength);
    digits.resize(2 * iccidLength, 'F');
    std::vector<uint8_t> bytes;
    for (int i = 0; i < iccidLength; ++i)
        bytes.push_back(uint8_t(hexDigit(digits[2 * i + 1]) << 4 | hexDigit(digits[2 * i])));
    return bytes;
}

std::vector<uint8_t> VirtualSimCard::respond(const std::vector<uint8_t>& apdu)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_commands.push_back(apdu);
    if (apdu.size() < 4)
        return statusWord(0x6700);
    if (apdu[0] != 0xA0)
        return statusWord(0x6E00);

    const uint8_t ins = apdu[1];
    if (ins == 0xA4) {
        if (apdu.size() != 7 || apdu[4] != 2)
            return statusWord(0x6700);
        const uint16_t file = uint16_t(apdu[5] << 8 | apdu[6]);
        if (file == masterFile) {
            if (m_script.selectMasterFileStatus)
                return statusWord(*m_script.selectMasterFileStatus);
            m_selectedFile = file;
            return statusWord(0x9F1A);
        }
        if (file == iccidFile) {
            if (m_script.selectIccidFileStatus)
                return statusWord(*m_script.selectIccidFileStatus);
            m_selectedFile = file;
            return statusWord(0x9F0F);
        }
        return statusWord(0x9404); // file not found
    }
    if (ins == 0xB0) {
        if (m_script.readBinaryStatus)
            return statusWord(*m_script.readBinaryStatus);
        if (m_selectedFile != iccidFile)
            return statusWord(0x9400); // no EF selected
        const size_t offset = size_t(apdu[2] << 8 | apdu[3]);
        const size_t wanted = apdu.size() > 4 ? apdu[4] : 0;
        const std::vector<uint8_t> content = iccidBytes(m_script.iccid);
        if (offset + wanted > content.size())
            return statusWord(0x6B00); // beyond the end of the file
        size_t count = wanted;
        if (m_script.readBinaryBytes >= 0 && size_t(m_script.readBinaryBytes) < count)
            count = size_t(m_script.readBinaryBytes);
        std::vector<uint8_t> answer(content.begin() + long(offset), content.begin() + long(offset + count));
        answer.push_back(0x90);
        answer.push_back(0x00);
        return answer;
    }
    return statusWord(0x6D00);
}

void VirtualSimCard::setConnected(bool value)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = value;
    }
    m_changed.notify_all();
}

void VirtualSimCard::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_running) {
        if (!m_script.inserted) {
            m_changed.wait(lock, [this] { return !m_running || m_script.inserted; });
            continue;
        }
        lock.unlock();
        bool attached = false;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_port = htons(m_port);
            ::inet_pton(AF_INET, m_host.c_str(), &address.sin_addr);
            if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
                const int one = 1;
                ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
                attached = true;
                setConnected(true);
                serve(fd);
                setConnected(false);
            }
            ::close(fd);
        }
        lock.lock();
        // vpcd not listening yet, or it dropped us: try again shortly.
        if (m_running && (!attached || m_script.inserted))
            m_changed.wait_for(lock, pollInterval, [this] { return !m_running; });
    }
}

bool VirtualSimCard::serve(int fd)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (!m_running || !m_script.inserted)
                return true; // card pulled out
        }
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, int(pollInterval.count()));
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready <= 0)
            continue;

        uint8_t header[2];
        if (!readExactly(fd, header, sizeof(header)))
            return false;
        std::vector<uint8_t> payload(size_t(header[0] << 8 | header[1]));
        if (!payload.empty() && !readExactly(fd, payload.data(), payload.size()))
            return false;

        if (payload.size() == 1) {
            switch (payload[0]) {
            case GetAtr:
                if (!writeFrame(fd, atr()))
                    return false;
                break;
            case PowerOff:
            case PowerOn:
            case Reset: {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_selectedFile = 0;
                break;
            }
            default:
                break;
            }
            continue;
        }
        if (!writeFrame(fd, respond(payload)))
            return false;
    }
}

namespace {
std::atomic<VirtualSimCard*> s_simulatedCard{nullptr};
}

VirtualSimCard& startVirtualSimCard()
{
    static VirtualSimCard* card = [] {
        uint16_t port = 35963;
        if (const char* text = std::getenv("PERIPHD_VPCD_PORT")) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(text, &end, 10);
            if (end != text && *end == '\0' && value > 0 && value < 65535)
                port = uint16_t(value);
        }
        // Lives as long as the process, like the other simulated devices.
        auto* created = new VirtualSimCard(port);
        created->start();
        s_simulatedCard = created;
        return created;
    }();
    return *card;
}

VirtualSimCard* simulatedSimCard()
{
    return s_simulatedCard;
}

} // namespace simdevices
