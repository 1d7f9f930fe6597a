#include "StreamFit.h"

#include <algorithm>

#include "QmDecoderModel.h"
#include "QmEncoder.h"

namespace wltenc {

namespace {
constexpr uint8_t kMarker = 0x6F;  // "o"
constexpr int kCodeStart = 2;      // after the top plane byte and the marker
}  // namespace

std::vector<uint8_t> encodeColourSymbols(const ColourSymbols& coded, size_t count) {
    ContextSet sets[kColourSets];
    QmEncoder enc;
    for (size_t i = 0; i < count && i < coded.symbols.size(); ++i) {
        const CodedSymbol& s = coded.symbols[i];
        enc.encodeSymbol(sets[s.set], colourSetKind(s.set), s.value);
    }
    return enc.finish();
}

Replay replayColourStream(const std::vector<uint8_t>& stream, const ColourSymbols& coded) {
    ContextSet sets[kColourSets];
    QmDecoderModel dec(stream.data(), static_cast<int>(stream.size()), kCodeStart);
    Replay r;
    for (size_t i = 0; i < coded.symbols.size(); ++i) {
        const CodedSymbol& s = coded.symbols[i];
        const int v = dec.decodeSymbol(sets[s.set], colourSetKind(s.set));
        if (dec.ended()) {
            // Dropped, or (outside-shape symbols) applied without effect on any
            // coefficient; the next checked symbol stops the stream.
            r.applied = i;
            r.matches = true;
            return r;
        }
        if (v != s.value) {
            r.applied = i;
            return r;
        }
    }
    r.applied = coded.symbols.size();
    r.matches = true;
    return r;
}

namespace {
bool fits(const std::vector<uint8_t>& code, int length) {
    // Room at positions 2 .. length-2; the last byte is never consumed unless
    // it is the stuffed zero after a 0xFF.
    const int end = kCodeStart + static_cast<int>(code.size());
    if (end <= length - 1) return true;
    return end == length && code.size() >= 2 && code[code.size() - 2] == 0xFF && code.back() == 0;
}

std::vector<uint8_t> layout(int top, const std::vector<uint8_t>& code, int length) {
    std::vector<uint8_t> s(static_cast<size_t>(length), 0);
    s[0] = static_cast<uint8_t>(top);
    s[1] = kMarker;
    std::copy(code.begin(), code.end(), s.begin() + kCodeStart);
    return s;
}
}  // namespace

FittedStream fitColourStream(const ColourSymbols& coded, int length) {
    FittedStream out;
    const size_t total = coded.symbols.size();
    auto tryCount = [&](size_t count) {
        const std::vector<uint8_t> code = encodeColourSymbols(coded, count);
        if (!fits(code, length)) return false;
        std::vector<uint8_t> stream = layout(coded.top, code, length);
        const Replay r = replayColourStream(stream, coded);
        if (!r.matches) return false;
        out.bytes = std::move(stream);
        out.keptSymbols = r.applied;
        out.exact = true;
        return true;
    };
    out.longestFittingPrefix = total;
    if (tryCount(total)) return out;
    // Largest prefix whose termination fits (lengths grow with the prefix).
    size_t lo = 0, hi = total;
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (fits(encodeColourSymbols(coded, mid), length)) lo = mid;
        else hi = mid - 1;
    }
    out.longestFittingPrefix = lo;
    const size_t upper = std::min(total, lo + 16);
    const size_t lower = lo > 64 ? lo - 64 : 0;
    for (size_t count = upper + 1; count-- > lower;)
        if (tryCount(count)) return out;
    // No prefix ends cleanly (a costly symbol near the end lets the decoder
    // read on into zeros); the caller pads the symbols and tries again.
    out.bytes = layout(coded.top, {}, length);
    out.keptSymbols = replayColourStream(out.bytes, coded).applied;
    out.exact = false;
    return out;
}

}  // namespace wltenc
