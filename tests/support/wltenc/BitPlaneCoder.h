#pragma once
// Turns one plane of wavelet coefficients into the symbols the decoder's
// bit-plane loop asks for: zerotree significance passes, refinement bits and
// the magnitude-ordered significance list, from the top plane down to 0.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "QmTables.h"
#include "Shape.h"

namespace wltenc {

// Context sets of a colour stream, in the order the decoder resets them.
enum ColourSet : uint8_t { CoarseSet = 0, DetailSet = 1, FineSet = 2, OutsideSet = 3, RefineSet = 4 };
constexpr int kColourSets = 5;
TreeKind colourSetKind(int set);

struct CodedSymbol {
    uint8_t set;
    uint8_t value;
    bool endTested;       // the decoder checks for the end of data after it
    int32_t position;     // coefficient this symbol sets, or -1
    int32_t newValue;     // the coefficient's value once the symbol is applied
};

struct ColourSymbols {
    int top = 0;  // index of the top bit plane
    std::vector<CodedSymbol> symbols;
};

// `coefficients` in pyramid layout; only positions where `pyramid` is 1 count.
// Symbols from index `harmlessFrom` on are zero, zerotree or refinement 0
// whatever the coefficients: padding the decoder applies without effect.
ColourSymbols codeBitPlanes(const Plane& coefficients, const Plane& pyramid, size_t harmlessFrom = SIZE_MAX);

// The coefficients the decoder holds after applying the first `count` symbols.
Plane appliedCoefficients(const ColourSymbols& coded, size_t count);

}  // namespace wltenc
