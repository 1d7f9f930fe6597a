#pragma once

// The pad's 16-byte input report: x, y and pressure as unsigned 16-bit
// little-endian values at offsets 2, 4 and 6; the other bytes are not used.
namespace penreport {

constexpr int kSize = 16;

inline int u16le(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}

inline void decode(const unsigned char* report, int& x, int& y, int& pressure)
{
    x = u16le(report + 2);
    y = u16le(report + 4);
    pressure = u16le(report + 6);
}

} // namespace penreport
