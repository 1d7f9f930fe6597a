// Waits until pcscd (the one PCSCLITE_CSOCK_NAME names) reports a card
// present in, or absent from, a reader, for the demo page test, which runs in
// Python without a PC/SC binding.
//
//   wait_for_card READER present|absent
//
// Exit status 0 when the reader got there within ten seconds, 1 if not.
#include <winscard.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int waitMs = 10000;

bool waitForCard(const std::string& reader, bool present)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    SCARD_READERSTATE state{};
    state.szReader = reader.c_str();
    state.dwCurrentState = SCARD_STATE_UNAWARE;
    bool reached = false;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || SCardGetStatusChange(context, DWORD(left), &state, 1) != SCARD_S_SUCCESS)
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

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[2], "present") != 0 && std::strcmp(argv[2], "absent") != 0)) {
        std::fprintf(stderr, "usage: %s READER present|absent\n", argv[0]);
        return 2;
    }
    const bool present = std::strcmp(argv[2], "present") == 0;
    if (waitForCard(argv[1], present))
        return 0;
    std::fprintf(stderr, "wait_for_card: no card %s in '%s' within %d ms\n", present ? "present" : "absent", argv[1],
                 waitMs);
    return 1;
}
