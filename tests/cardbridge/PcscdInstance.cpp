#include "PcscdInstance.h"

#include <winscard.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef PERIPHD_SOURCE_DIR
#error "PERIPHD_SOURCE_DIR must name the source tree (for the pcscd scripts)"
#endif

namespace {

std::string script(const char* name)
{
    return std::string(PERIPHD_SOURCE_DIR) + "/scripts/" + name;
}

bool bindable(uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return ok;
}

} // namespace

PcscdInstance::PcscdInstance()
{
    char pattern[] = "/tmp/periphd-pcscd-XXXXXX";
    if (::mkdtemp(pattern))
        m_runDir = pattern;
    ::setenv("PCSCLITE_CSOCK_NAME", socketPath().c_str(), 1);
}

PcscdInstance::~PcscdInstance()
{
    stop();
    if (!m_runDir.empty())
        std::system(("rm -rf '" + m_runDir + "'").c_str());
}

std::string PcscdInstance::missingPieces()
{
    std::string missing;
    if (std::system("command -v pcscd >/dev/null 2>&1") != 0)
        missing += "pcscd is not installed (Debian package pcscd); ";
    struct stat info {};
    if (::stat("/usr/lib/pcsc/drivers/serial/libifdvpcd.so", &info) != 0)
        missing += "the vpcd reader driver is not installed (Debian package vsmartcard-vpcd); ";
    return missing;
}

bool PcscdInstance::start(uint16_t vpcdPort, const std::string& readerName)
{
    if (m_running)
        stop();
    const std::string command = "PCSCD_VPCD_NAME='" + readerName + "' bash '" + script("pcscd-start.sh") + "' '" +
                                m_runDir + "' " + std::to_string(vpcdPort) + " >/dev/null";
    m_running = std::system(command.c_str()) == 0;
    return m_running;
}

bool PcscdInstance::stop()
{
    if (!m_running)
        return true;
    m_running = false;
    const std::string command = "bash '" + script("pcscd-stop.sh") + "' '" + m_runDir + "' >/dev/null";
    return std::system(command.c_str()) == 0;
}

std::string PcscdInstance::log() const
{
    std::ifstream in(m_runDir + "/pcscd.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

uint16_t PcscdInstance::freePortPair()
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_ANY);
        socklen_t length = sizeof(address);
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
        ::close(fd);
        const uint16_t port = ntohs(address.sin_port);
        if (port < 65535 && port != 12343 && port + 1 != 12343 && bindable(port) && bindable(uint16_t(port + 1)))
            return port;
    }
    return 0;
}

bool PcscdInstance::waitForCard(const std::string& reader, bool present, int timeoutMs)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    bool reached = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        const LONG rv = SCardGetStatusChange(context, DWORD(left), &state, 1);
        if (rv != SCARD_S_SUCCESS)
            break;
        const bool isPresent = (state.dwEventState & SCARD_STATE_PRESENT) != 0;
        if (isPresent == present && !(state.dwEventState & SCARD_STATE_UNKNOWN)) {
            reached = true;
            break;
        }
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    }
    SCardReleaseContext(context);
    return reached;
}

std::vector<std::string> PcscdInstance::readers() const
{
    std::vector<std::string> names;
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return names;
    char buffer[4096];
    DWORD length = sizeof(buffer);
    if (SCardListReaders(context, nullptr, buffer, &length) == SCARD_S_SUCCESS) {
        for (const char* name = buffer; *name; name += std::strlen(name) + 1)
            names.emplace_back(name);
    }
    SCardReleaseContext(context);
    return names;
}

int openSocketCount()
{
    int count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    while (dirent* entry = ::readdir(dir)) {
        char target[256];
        const std::string path = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t n = ::readlink(path.c_str(), target, sizeof(target) - 1);
        if (n > 0 && std::strncmp(target, "socket:", 7) == 0)
            ++count;
    }
    ::closedir(dir);
    return count;
}
