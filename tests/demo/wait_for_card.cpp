// Waits until pcscd (the one PCSCLITE_CSOCK_NAME names) reports a card
// present in, or absent from, a reader, for the demo page test, which runs in
// Python without a PC/SC binding.
//
//   wait_for_card READER present|absent
//
// Exit status 0 when the reader got there within ten seconds, 1 if not.
#include "PcscdInstance.h"

#include <cstdio>
#include <cstring>

namespace {
constexpr int waitMs = 10000;
}

int main(int argc, char** argv)
{
    if (argc != 3 || (std::strcmp(argv[2], "present") != 0 && std::strcmp(argv[2], "absent") != 0)) {
        std::fprintf(stderr, "usage: %s READER present|absent\n", argv[0]);
        return 2;
    }
    const bool present = std::strcmp(argv[2], "present") == 0;
    if (PcscdInstance::waitForCard(argv[1], present, waitMs))
        return 0;
    std::fprintf(stderr, "wait_for_card: no card %s in '%s' within %d ms\n", present ? "present" : "absent", argv[1],
                 waitMs);
    return 1;
}
