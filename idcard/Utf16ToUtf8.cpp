#include "ReadIDCard.h"

#include <cstdint>
#include <cstdio>

namespace {

enum ConversionResult { conversionOk = 0, sourceExhausted = 1, targetExhausted = 2, sourceIllegal = 3, nullPointer = 4 };

constexpr uint32_t highFirst = 0xD800, highLast = 0xDBFF, lowFirst = 0xDC00, lowLast = 0xDFFF;

bool isHigh(uint32_t u) { return u >= highFirst && u <= highLast; }
bool isLow(uint32_t u) { return u >= lowFirst && u <= lowLast; }

int utf8Length(uint32_t c)
{
    return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
}

} // namespace

// The text ends at the first zero unit. What was converted before a
// failure stays in the target, so a damaged field keeps its sound part.
int ReadIDCard::Utf16_To_Utf8(const unsigned short* source, unsigned char* target, unsigned long capacity,
                              ConversionFlags flags)
{
    if (!source || !target) {
        printf("ERR, Utf16_To_Utf8: source=%p, targetStart=%p\n", static_cast<const void*>(source),
               static_cast<void*>(target));
        return nullPointer;
    }
    unsigned long written = 0;
    const unsigned short* s = source;
    while (*s) {
        uint32_t c = *s++;
        if (isHigh(c)) {
            if (*s == 0)
                return sourceExhausted;
            if (isLow(*s))
                c = ((c - highFirst) << 10) + (*s++ - lowFirst) + 0x10000;
            else if (flags == strictConversion)
                return sourceIllegal;
        } else if (isLow(c) && flags == strictConversion) {
            return sourceIllegal;
        }
        const int n = utf8Length(c);
        if (written + n > capacity)
            return targetExhausted;
        unsigned char* out = target + written;
        switch (n) {
        case 1:
            out[0] = static_cast<unsigned char>(c);
            break;
        case 2:
            out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
            out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            break;
        case 3:
            out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
            out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            break;
        default:
            out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
            out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
            out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
            out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
            break;
        }
        written += n;
    }
    return conversionOk;
}
