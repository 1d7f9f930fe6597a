#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A private pcscd with vpcd readers, started and stopped through the
// project's scripts, for tests that exercise the real PC/SC path. Its socket
// is announced to this process's pcsclite through PCSCLITE_CSOCK_NAME,
// which pcsclite reads once: one instance (one socket path) per process,
// restartable any number of times.
class PcscdInstance {
public:
    PcscdInstance();
    ~PcscdInstance();

    // Empty when pcscd and the vpcd driver are installed, else why not.
    static std::string missingPieces();

    // Starts pcscd with a vpcd reader entry on `vpcdPort`, which shows as
    // two readers "<name> 00 00" and "<name> 00 01", on the port and the
    // next one.
    bool start(uint16_t vpcdPort, const std::string& readerName = "Virtual PCD");
    bool stop();
    bool running() const { return m_running; }

    const std::string& runDirectory() const { return m_runDir; }
    std::string socketPath() const { return m_runDir + "/pcscd.comm"; }
    std::string log() const;

    // A port p with p and p + 1 free (one vpcd entry uses both).
    static uint16_t freePortPair();

    // Bounded wait until pcscd reports the card in `reader` present (or
    // absent), through SCardGetStatusChange, on the pcscd that
    // PCSCLITE_CSOCK_NAME names.
    static bool waitForCard(const std::string& reader, bool present, int timeoutMs);
    // The reader names pcscd lists now.
    std::vector<std::string> readers() const;

private:
    std::string m_runDir;
    bool m_running = false;
};

// Number of this process's open socket descriptors: every PC/SC context
// holds one connection to pcscd.
int openSocketCount();
