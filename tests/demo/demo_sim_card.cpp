// Puts the project's virtual SIM card into a vpcd reader for the demo page
// test, which runs in Python and cannot host the card itself.
//
//   demo_sim_card VPCD_PORT READER ICCID
//
// Prints "ready" once pcscd (PCSCLITE_CSOCK_NAME) reports the card present
// in READER, then keeps the card inserted until standard input closes.
#include "VirtualSimCard.h"

#include <winscard.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int waitMs = 10000;

bool waitForCardPresent(const std::string& reader)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    bool present = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || SCardGetStatusChange(context, DWORD(left), &state, 1) != SCARD_S_SUCCESS)
            break;
        if ((state.dwEventState & SCARD_STATE_PRESENT) && !(state.dwEventState & SCARD_STATE_UNKNOWN)) {
            present = true;
            break;
        }
        state.dwCurrentState = state.dwEventState & ~SCARD_STATE_CHANGED;
    }
    SCardReleaseContext(context);
    return present;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s VPCD_PORT READER ICCID\n", argv[0]);
        return 2;
    }
    const long port = std::strtol(argv[1], nullptr, 10);
    if (port <= 0 || port > 65535) {
        std::fprintf(stderr, "demo_sim_card: bad port '%s'\n", argv[1]);
        return 2;
    }
    simdevices::VirtualSimCard card(static_cast<uint16_t>(port));
    card.setIccid(argv[3]);
    card.start();
    if (!card.waitUntilConnected(waitMs)) {
        std::fprintf(stderr, "demo_sim_card: vpcd on port %ld never took the card\n", port);
        return 1;
    }
    if (!waitForCardPresent(argv[2])) {
        std::fprintf(stderr, "demo_sim_card: pcscd never reported the card in '%s'\n", argv[2]);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    card.stop();
    return 0;
}
