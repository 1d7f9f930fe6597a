// libFuzzer entry: AnalysisID on arbitrary records. The first input byte
// picks the layout (odd: with the SAM reader's header, in its 4096-byte
// buffer; even: the HID reader's, in its 1300-byte buffer); the rest is the
// record. Every field must come out terminated within its width, and the
// HID layout must leave figData zero.
#include "ReadIDCard.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

namespace {
char scratch[] = "/tmp/analysis_id_fuzzXXXXXX";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The parser writes "./simage_file.bmp": keep it out of the caller's folder.
    if (!mkdtemp(scratch) || chdir(scratch) != 0)
        std::abort();
    std::atexit([] {
        std::remove("simage_file.bmp");
        rmdir(scratch);
    });
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
    return 0;
}

namespace {

void requireTerminated(const char* field, std::size_t width)
{
    if (!std::memchr(field, '\0', width))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool withHeader = data[0] & 1;
    // Exact-size buffers, as the readers hand them over, so that a read
    // past the record hits a redzone.
    std::vector<unsigned char> record(withHeader ? 4096 : 1300, 0);
    std::memcpy(record.data(), data + 1, std::min(size - 1, record.size()));

    IDINFO info;
    std::memset(&info, 0xA5, sizeof(info));
    ReadIDCard reader;
    if (reader.AnalysisID(record.data(), &info, withHeader) != 0)
        std::abort();

#define TERMINATED(f) requireTerminated(info.f, sizeof(info.f))
    TERMINATED(name);
    TERMINATED(englishName);
    TERMINATED(gender);
    TERMINATED(nation);
    TERMINATED(address);
    TERMINATED(birthday);
    TERMINATED(effectDate);
    TERMINATED(expireDate);
    TERMINATED(idNum);
    TERMINATED(issueOrg);
    TERMINATED(nationCode);
    TERMINATED(passNum);
    TERMINATED(signCount);
    TERMINATED(CertVersion);
    TERMINATED(CardType);
#undef TERMINATED
    if (!withHeader)
        for (unsigned char b : info.figData)
            if (b)
                std::abort();
    return 0;
}
