// libFuzzer entry: Unpack_Data on arbitrary bytes must return a code without
// reading or writing outside its buffers.

#include "libwlt.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > (1u << 16))
        return 0;  // the format's streams are a few kilobytes at most
    // Exact-size copies so that any overrun hits a redzone.
    std::vector<unsigned char> in(data, data + size);
    std::vector<unsigned char> out(WLT_BITMAP_SIZE, 0xA5);
    int outLen = -1;
    libwlt decoder;
    const int rc = decoder.Unpack_Data(in.empty() ? nullptr : in.data(), static_cast<int>(in.size()),
                                       out.data(), &outLen);
    if (rc == WLT_OK) {
        if (outLen != WLT_BITMAP_SIZE || out[0] != 'B' || out[1] != 'M')
            std::abort();
    } else {
        // A failure leaves the output alone.
        if (outLen != -1)
            std::abort();
        for (unsigned char b : out)
            if (b != 0xA5)
                std::abort();
    }
    if (size > 0 && std::memcmp(in.data(), data, size) != 0)
        std::abort();  // the input is not modified
    return 0;
}
