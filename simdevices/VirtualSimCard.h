#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace simdevices {

// How the virtual SIM card behaves; every field can be changed while the
// card is attached.
struct SimCardScript {
    // ICCID digits as printed on the card (up to 20; padded with F).
    std::string iccid = "89860123456789012345";
    // Status words that replace the normal answer of each command (the
    // answer is then the status word alone).
    std::optional<uint16_t> selectMasterFileStatus;
    std::optional<uint16_t> selectIccidFileStatus;
    std::optional<uint16_t> readBinaryStatus;
    // Data bytes a READ BINARY of the ICCID file returns (a short answer
    // when below the requested length).
    int readBinaryBytes = 10;
    // False: the card is out of the reader (not connected to vpcd).
    bool inserted = true;
};

// A GSM SIM card that plugs into the vpcd virtual reader driver of pcscd.
// vpcd listens on a TCP port; the card connects to it and answers its
// frames: a two-byte big-endian length and a payload, where a one-byte
// payload is a control code (0 power off, 1 power on, 2 reset, 4 ATR) and
// anything longer is a command APDU answered with the response APDU.
class VirtualSimCard {
public:
    explicit VirtualSimCard(uint16_t vpcdPort = 35963, std::string host = "127.0.0.1");
    ~VirtualSimCard();
    VirtualSimCard(const VirtualSimCard&) = delete;
    VirtualSimCard& operator=(const VirtualSimCard&) = delete;

    // Starts the card's thread, which keeps (re)connecting to vpcd while
    // the card is inserted.
    void start();
    void stop();

    void setScript(const SimCardScript& script);
    SimCardScript script() const;
    void setIccid(const std::string& iccid);
    void setInserted(bool inserted);

    // Bounded waits on the card's own state.
    bool waitUntilConnected(int timeoutMs) const;
    bool waitUntilDisconnected(int timeoutMs) const;
    bool connected() const;
    uint16_t port() const { return m_port; }

    // Every command APDU received since start (or the last clear).
    std::vector<std::vector<uint8_t>> commands() const;
    void clearCommands();

    // The card's answer to one command APDU, without any transport.
    std::vector<uint8_t> respond(const std::vector<uint8_t>& apdu);

    static const std::vector<uint8_t>& atr();
    // ICCID digits to the ten bytes stored on the card (nibbles swapped).
    static std::vector<uint8_t> iccidBytes(const std::string& iccid);

private:
    void run();
    bool serve(int fd);
    void setConnected(bool value);

    const uint16_t m_port;
    const std::string m_host;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    SimCardScript m_script;
    std::vector<std::vector<uint8_t>> m_commands;
    bool m_connected = false;
    bool m_running = false;
    uint16_t m_selectedFile = 0;
    std::thread m_thread;
};

// The card of `periphd --simulate`, process-wide: started on the first call
// and plugged into the vpcd reader on port PERIPHD_VPCD_PORT (environment;
// default 35963, the port of the system's vpcd). Without pcscd it keeps
// waiting for the reader, and the SIM command fails as with no reader.
VirtualSimCard& startVirtualSimCard();
// The card above, or null while it has not been started.
VirtualSimCard* simulatedSimCard();

} // namespace simdevices
