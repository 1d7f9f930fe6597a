// The card record -> IDINFO and the portrait file.
#include "CardCodes.h"
#include "CardLayout.h"
#include "PortraitFile.h"
#include "ReadIDCard.h"
#include "libwlt.h"

#include <QtGlobal>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace idcard;

namespace {

constexpr int wltWorkBytes = 1056;
constexpr int bitmapBufferBytes = 40960;

// One field's units, copied into a zeroed buffer one unit longer than the
// longest field, so the conversion ends at the field's end or at a zero
// unit inside it. Units are assembled from their bytes: the record is
// little-endian whatever the host, and need not be aligned.
std::string convertField(ReadIDCard& reader, const unsigned char* text, int offset, int length,
                         unsigned long capacity)
{
    unsigned short units[kTextBlockBytes / 2 + 1] = {};
    for (int i = 0; i < length / 2; ++i)
        units[i] = static_cast<unsigned short>(text[offset + 2 * i] | text[offset + 2 * i + 1] << 8);
    std::vector<unsigned char> utf8(capacity + 1, 0);
    reader.Utf16_To_Utf8(units, utf8.data(), capacity, ReadIDCard::strictConversion);
    return std::string(reinterpret_cast<const char*>(utf8.data()));
}

// The value of the leading decimal digits; 0 when there are none.
int leadingNumber(const std::string& text)
{
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || value > 1000)
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

// Stores text into a NUL-terminated field of width bytes. Text that does
// not fit (a 15-character resident name is 45 bytes, the field 40) is cut
// before the first character that would reach the terminator, never inside
// one.
void store(char* field, std::size_t width, const std::string& text)
{
    std::size_t n = text.size();
    if (n > width - 1) {
        n = width - 1;
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

std::string finished(Finish rule, const std::string& utf8)
{
    switch (rule) {
    case Finish::CutAtSpace:
        return utf8.substr(0, utf8.find(' '));
    case Finish::Fixed8:
        return utf8.substr(0, 8);
    case Finish::Fixed18:
        return utf8.substr(0, 18);
    case Finish::Gender:
        return genderName(utf8);
    case Finish::Nation:
        return nationName(leadingNumber(utf8));
    case Finish::Whole:
        break;
    }
    return utf8;
}

// The resident card's progress lines, logged after the field they name.
const char* residentProgressAfter(const char* key)
{
    static const struct {
        const char* key;
        const char* line;
    } lines[] = {
        {"name", "居民二代证1\n"},      {"nation", "居民二代证2\n"},     {"birthday", "居民二代证2.1\n"},
        {"address", "居民二代证2.2\n"}, {"idNum", "居民二代证2.3\n"},    {"issueOrg", "居民二代证2.4\n"},
        {"expireDate", "居民二代证2.5\n"},
    };
    for (const auto& l : lines)
        if (std::strcmp(l.key, key) == 0)
            return l.line;
    return nullptr;
}

void decodePortrait(const unsigned char* wltWork)
{
    std::vector<unsigned char> bitmap(bitmapBufferBytes, 0);
    int length = 0;
    libwlt decoder;
    const int result = decoder.Unpack_Data(const_cast<unsigned char*>(wltWork), kPortraitBytes, bitmap.data(), &length);
    if (result != WLT_OK || length <= 0 || length > bitmapBufferBytes) {
        printf("ret = %d\n", result);
        return;
    }
    FILE* file = std::fopen(kPortraitFile, "wb");
    if (!file) {
        printf("创建文件失败");
        return;
    }
    const bool written = std::fwrite(bitmap.data(), 1, std::size_t(length), file) == std::size_t(length);
    if (std::fclose(file) != 0 || !written) {
        // Half a bitmap would pass for a portrait: leave none instead.
        std::remove(kPortraitFile);
        printf("创建文件失败");
    }
}

} // namespace

// The record must hold the whole layout it is read with: with the header
// (SAM reader) the text at 6, the portrait at 262 and the fingerprint area
// at 1286, 2310 bytes, inside the reader's 4096-byte record buffer; without
// it (HID reader) the text at 0 and the portrait at 256, 1280 bytes. The
// HID reader delivers no fingerprint data and its record buffer (1300
// bytes) ends long before where a fingerprint area would, so without the
// header nothing is read past the portrait and figData stays zero.
int ReadIDCard::AnalysisID(unsigned char* record, IDINFO* info, bool withHeader)
{
    // A portrait that does not decode must not leave an earlier card's
    // portrait to be answered as this one's.
    std::remove(kPortraitFile);

    std::memset(info, 0, sizeof(*info));
    qWarning("读卡4  \n");
    const unsigned char* text = record + (withHeader ? kSamHeaderBytes : 0);
    const unsigned char* portrait = text + kTextBlockBytes;
    const unsigned char* fingerprint = withHeader ? portrait + kPortraitBytes : nullptr;

    const std::string cardType = convertField(*this, text, kCardTypeOffset, 2, 4);
    info->CardType[0] = cardType.empty() ? '\0' : cardType[0];

    const CardLayout& layout = cardLayout(cardKindOf(info->CardType[0]));
    const bool resident = layout.kind == CardKind::Resident;
    if (resident)
        qWarning("居民二代证\n");
    char* const base = reinterpret_cast<char*>(info);
    for (std::size_t i = 0; i < layout.count; ++i) {
        const FieldPlace& f = layout.fields[i];
        const std::string utf8 = convertField(*this, text, f.offset, f.length, f.capacity);
        store(base + f.infoOffset, f.infoWidth, finished(f.finish, utf8));
        if (resident)
            if (const char* line = residentProgressAfter(f.key))
                qWarning("%s", line);
    }

    if (resident)
        qWarning("居民二代证2.6\n");
    unsigned char wltWork[wltWorkBytes] = {};
    std::memcpy(wltWork, portrait, kPortraitBytes);
    if (resident) {
        qWarning("居民二代证2.7\n");
        qWarning("居民二代证3\n");
    }

    std::memset(info->figData, 0, sizeof(info->figData));
    if (fingerprint)
        std::memcpy(info->figData, fingerprint, kFingerprintBytes);
    if (resident)
        qWarning("居民二代证--\n");

    decodePortrait(wltWork);
    return 0;
}
