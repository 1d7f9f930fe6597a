#pragma once
// Fits a colour stream's symbols into the fixed number of bytes the container
// gives it. The decoder keeps decoding until a fetch passes the stream's
// second-to-last byte and drops the symbol during which that happens, so a
// truncated stream must hold a code value that decodes every symbol before
// that point correctly.

#include <cstdint>
#include <vector>

#include "BitPlaneCoder.h"

namespace wltenc {

struct FittedStream {
    std::vector<uint8_t> bytes;  // the whole stream: top plane, "o", code, padding
    size_t keptSymbols = 0;      // symbols the decoder applies
    bool exact = false;          // every kept symbol was checked to decode as coded
    size_t longestFittingPrefix = 0;  // most symbols whose terminated code fits
};

// Code bytes for the first `count` symbols, terminated.
std::vector<uint8_t> encodeColourSymbols(const ColourSymbols& coded, size_t count);

// Replays `stream` (length = its size) through the decoder model: how many
// symbols the decoder applies, and whether all of them decode as coded.
struct Replay {
    size_t applied = 0;
    bool matches = false;
};
Replay replayColourStream(const std::vector<uint8_t>& stream, const ColourSymbols& coded);

FittedStream fitColourStream(const ColourSymbols& coded, int length);

}  // namespace wltenc
