#include "InverseTransform.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wlt {

namespace {

inline bool isZero(int64_t v) { return v == 0; }
inline bool isZero(Lanes v) { return (v[0] | v[1] | v[2] | v[3]) == 0; }

// Inverse lifting of one run s .. s+L-1 (L >= 2) of a line: low and high are
// the run's low- and high-band samples in order; x receives the run. V is
// int64_t or Lanes: the same steps for one plane or three. kHighZero: every
// high sample is 0, which is common (fine detail is what a 1024-byte portrait
// keeps least of); then the odd positions start at 0 (d2i(0) = 0) and the
// even step subtracts (0 + 0 + 2) >> 2 = 0, so both are left out.
template <bool kHighZero, int kStride, typename V>
void inverseLiftSegment(int s, int L, const V* low, const V* high, V* x)
{
    const int e = s + L - 1;
    const int firstEven = s + (s & 1);
    const int firstOdd = s + 1 - (s & 1);
    if (L > 2) {  // a pair is lifted unscaled
        V* even = x + firstEven;
        for (int i = 0, evens = (e - firstEven) / 2 + 1; i < evens; ++i)
            even[2 * i] = d2i(low[i * kStride], 2);
        V* odd = x + firstOdd;
        const int odds = (e - firstOdd) / 2 + 1;
        int i = 0;
        if (!kHighZero) {
            // Even where the high half is not all 0 most of it is: four at a
            // time, zeros are not converted to double and back (d2i(0) = 0).
            for (; i + 4 <= odds; i += 4) {
                const V* h = high + i * kStride;
                if (isZero(h[0] | h[kStride] | h[2 * kStride] | h[3 * kStride])) {
                    for (int j = 0; j < 4; ++j)
                        odd[2 * (i + j)] = V{};
                    continue;
                }
                for (int j = 0; j < 4; ++j)
                    odd[2 * (i + j)] = d2i(h[j * kStride], 1);
            }
        }
        for (; i < odds; ++i)
            odd[2 * i] = kHighZero ? V{} : d2i(high[i * kStride], 1);
    } else {
        x[firstEven] = low[0];
        x[firstOdd] = kHighZero ? V{} : high[0];
    }

    // Even positions first, from the high samples around them (the odd
    // positions still hold them); at an end of the run the missing neighbour
    // is the other one. Right shifts of negative values round towards minus
    // infinity. The ends are taken out of the loops to keep them branch-free.
    int p = firstEven;
    if (!kHighZero) {
        if (p == s) {
            x[p] -= (x[p + 1] + x[p + 1] + 2) >> 2;
            p += 2;
        }
        for (; p < e; p += 2)
            x[p] -= (x[p - 1] + x[p + 1] + 2) >> 2;
        if (p == e)
            x[p] -= (x[p - 1] + x[p - 1] + 2) >> 2;
    }

    // Then the odd ones from the rebuilt even neighbours.
    p = firstOdd;
    if (p == s) {
        x[p] += (x[p + 1] + x[p + 1]) >> 1;
        p += 2;
    }
    for (; p < e; p += 2)
        x[p] += (x[p - 1] + x[p + 1]) >> 1;
    if (p == e)
        x[p] += (x[p - 1] + x[p - 1]) >> 1;
}

// What is known of a line's inputs before it is inverted.
enum class LineInput { kAllZero, kHighZero, kAny };

// The coefficient line of m entries over the given runs; with kZeroGaps 0
// outside them, else only the runs are written. A line whose input is all 0
// stays so and is not written (the return value says whether coefficientOut
// was written), and the lifting knows when the high half is all 0.
template <int kStride, bool kZeroGaps, typename V>
bool inverseSegments(const Segment* segments, int count, int m, const V* coefficient, V* coefficientOut,
                     LineInput input)
{
    if (input == LineInput::kAllZero)
        return false;
    const bool highZero = input == LineInput::kHighZero;
    const int half = m / 2;
    int end = 0;  // of the runs so far; the gaps between them are 0
    for (int i = 0; i < count; ++i) {
        const int s = segments[i].start;
        const int L = segments[i].length;
        if (kZeroGaps)
            std::fill(coefficientOut + end, coefficientOut + s, V{});
        end = s + L;
        const V* low = coefficient + ((s + 1) >> 1) * kStride;
        const V* high = coefficient + (half + (s >> 1)) * kStride;
        if (L == 1)
            coefficientOut[s] = d2i(coefficient[(s >> 1) * kStride], 2);
        else if (highZero)
            inverseLiftSegment<true, kStride>(s, L, low, high, coefficientOut);
        else
            inverseLiftSegment<false, kStride>(s, L, low, high, coefficientOut);
    }
    if (kZeroGaps)
        std::fill(coefficientOut + end, coefficientOut + m, V{});
    return true;
}

// Sets the runs of a line to 0.
template <typename V>
void zeroRuns(const Segment* segments, int count, V* line)
{
    for (int i = 0; i < count; ++i)
        std::fill(line + segments[i].start, line + segments[i].start + segments[i].length, V{});
}

// Whether any of rows [from, to) is set in a column's bits.
inline bool anyRow(const uint64_t* bits, int from, int to)
{
    auto word = [&](int base) {
        const int lo = std::max(from - base, 0), hi = std::min(to - base, 64);
        if (lo >= hi)
            return uint64_t{0};
        const uint64_t upTo = hi == 64 ? ~uint64_t{0} : (uint64_t{1} << hi) - 1;
        return bits[base / 64] & upTo & ~((uint64_t{1} << lo) - 1);
    };
    return (word(0) | word(64)) != 0;
}

// Mask rebuild of one line; appends its runs to segments (room for m / 2
// more is the caller's to provide) and returns how many there were.
int rebuildMaskLine(int mode, int m, const int* mask, int* maskOut, Segment* segments)
{
    int count = 0;
    const int half = m / 2;
    const int marker = mode == 1 ? kRowMarker : kColumnMarker;
    for (int k = 0; k < half; ++k) {
        const int hm = mask[half + k];
        if (hm == marker) {
            maskOut[2 * k] = 0;
            maskOut[2 * k + 1] = 1;
        } else {
            maskOut[2 * k] = mask[k];
            maskOut[2 * k + 1] = hm;
        }
    }
    for (int s = 0; s < m;) {
        if (maskOut[s] != 1) {
            ++s;
            continue;
        }
        int L = 1;
        while (s + L < m && maskOut[s + L] == 1)
            ++L;
        segments[count++] = Segment{static_cast<uint8_t>(s), static_cast<uint8_t>(L)};
        s += L;
    }
    return count;
}

// All four levels along the plan. Only the values at the positions inside
// (1) in the current mask count: the masked copy holds the coefficients
// there, and each step writes exactly the runs of its lines. A step reads
// only such positions too: a line's runs split into positions that are
// inside in the lines they are read from, and the pixels stored at the end
// are the finest rows' runs. So nothing outside the runs is written or read;
// a line without runs needs no work, and one whose inputs are all 0 gives 0
// over its runs.
//
// Each column of a level is inverted into its own contiguous line of
// columns (a transposed copy, column col at col * kColumnStride), and each
// row is then inverted from there back into values. Every result is written
// once, where it is next read, rather than into a buffer and copied back.
//
// A column's inputs are the level's own coefficients, as added, except the
// low half of the columns of the coarser level's region, which that level
// has just rebuilt: the added rows tell at once which halves of the others
// are all 0. A row's inputs are the columns' results, 0 outside the runs of
// the columns inverted: the columns mark the rows their runs cross, in the
// low or the high half, and so tell which halves of each row are all 0.
template <typename V>
void inverseAlongPlan(const InversePlan& plan, Plane<V>& values, ColumnPlane<V>& columns,
                      const uint64_t (*addedRows)[kRows / 64])
{
    for (int level = kLevels; level >= 1; --level) {
        const int h = kRows >> (level - 1);
        const int w = kCols >> (level - 1);
        // Columns read in place, every kCols-th value; going column by
        // column, the rows they cross stay in the cache.
        const int* columnRuns = plan.lineStart[level][0];
        enum : uint8_t { kLowHalf = 1, kHighHalf = 2 };
        uint8_t rowHalves[kRows] = {};  // of the rows' inputs, those that may not be 0
        for (int col = 0; col < w; ++col) {
            const int first = columnRuns[col], count = columnRuns[col + 1] - first;
            if (count == 0)
                continue;
            V* out = &columns[col * kColumnStride];
            const bool rebuiltLow = level < kLevels && col < w / 2;
            const LineInput input = anyRow(addedRows[col], h / 2, h) ? LineInput::kAny
                                    : rebuiltLow || anyRow(addedRows[col], 0, h / 2) ? LineInput::kHighZero
                                                                                      : LineInput::kAllZero;
            if (!inverseSegments<kCols, false>(&plan.segments[first], count, h, &values[at(0, col)], out, input)) {
                zeroRuns(&plan.segments[first], count, out);
                continue;
            }
            const uint8_t half = col < w / 2 ? kLowHalf : kHighHalf;
            for (int i = first; i < first + count; ++i)
                for (int row = plan.segments[i].start, end = row + plan.segments[i].length; row < end; ++row)
                    rowHalves[row] |= half;
        }
        // Rows read across the columns, every kColumnStride-th value.
        const int* rowRuns = plan.lineStart[level][1];
        for (int row = 0; row < h; ++row) {
            const int first = rowRuns[row], count = rowRuns[row + 1] - first;
            if (count == 0)
                continue;
            V* line = &values[at(row, 0)];
            const LineInput input = rowHalves[row] & kHighHalf ? LineInput::kAny
                                    : rowHalves[row] & kLowHalf ? LineInput::kHighZero
                                                                : LineInput::kAllZero;
            if (!inverseSegments<kColumnStride, false>(&plan.segments[first], count, w, &columns[row], line, input))
                zeroRuns(&plan.segments[first], count, line);
        }
    }
}

uint8_t toByte(int64_t v) { return static_cast<uint8_t>(std::clamp<int64_t>(v, 0, 255)); }

} // namespace

void inverseLine(int mode, int m, const int64_t* coefficient, const int* mask,
                 int64_t* coefficientOut, int* maskOut)
{
    Segment segments[kRows / 2];
    const int count = rebuildMaskLine(mode, m, mask, maskOut, segments);
    inverseSegments<1, true>(segments, count, m, coefficient, coefficientOut, LineInput::kAny);  // the plain steps
}

void inverseLevel(Plane<int>& mask, Plane<int64_t>& coefficient, int level)
{
    const int h = kRows >> (level - 1);
    const int w = kCols >> (level - 1);
    int64_t cIn[kRows], cOut[kRows];
    int mIn[kRows], mOut[kRows];
    for (int col = 0; col < w; ++col) {
        for (int row = 0; row < h; ++row) {
            cIn[row] = coefficient[at(row, col)];
            mIn[row] = mask[at(row, col)];
        }
        inverseLine(2, h, cIn, mIn, cOut, mOut);
        for (int row = 0; row < h; ++row) {
            coefficient[at(row, col)] = cOut[row];
            mask[at(row, col)] = mOut[row];
        }
    }
    for (int row = 0; row < h; ++row) {
        inverseLine(1, w, &coefficient[at(row, 0)], &mask[at(row, 0)], cOut, mOut);
        std::copy(cOut, cOut + w, &coefficient[at(row, 0)]);
        std::copy(mOut, mOut + w, &mask[at(row, 0)]);
    }
}

void clearCoefficients(ColourCoefficients& c)
{
    std::memset(static_cast<void*>(c.lanes.data()), 0, sizeof c.lanes);
    std::memset(c.addedRows, 0, sizeof c.addedRows);
    c.maxMagnitude = 0;
}

void addCoefficients(ColourCoefficients& c, int plane, const Plane<int>& coefficient, const Cell* cells, int count,
                     const Mask& maskPyramid)
{
    for (int i = 0; i < count; ++i) {
        const int idx = at(cells[i].row, cells[i].col);
        if (maskPyramid[idx] == 0)
            continue;
        const int v = coefficient[idx];
        c.lanes[idx][plane] = v;
        c.addedRows[cells[i].col][cells[i].row / 64] |= uint64_t{1} << (cells[i].row % 64);
        c.maxMagnitude = std::max(c.maxMagnitude, std::abs(int64_t{v}));
    }
}

namespace {

// The lanes clamped to 0..255, as the bytes of a word (lane 0 lowest).
inline uint32_t clampedBytes(Lanes v)
{
#if defined(__SSE2__)
    // Two saturating packs, to 16 bits and then to unsigned 8, clamp exactly.
    const __m128i words = _mm_packs_epi32(reinterpret_cast<__m128i>(v), _mm_setzero_si128());
    return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_packus_epi16(words, _mm_setzero_si128())));
#else
    uint32_t bytes = 0;
    for (int k = 0; k < 4; ++k)
        bytes |= uint32_t{toByte(v[k])} << 8 * k;
    return bytes;
#endif
}

// Calls store(idx, n) for every run of pixels inside the shape (n of them
// from idx on): the finest level's row runs are the runs of the shape's own
// rows (they are split first).
template <typename Store>
void forEachInsideRun(const InversePlan& plan, Store store)
{
    const int* rows = plan.lineStart[1][1];
    for (int row = 0; row < kHeight; ++row)
        for (int i = rows[row]; i < rows[row + 1]; ++i)
            store(at(row, plan.segments[i].start), int{plan.segments[i].length});
}

// Clamps n lanes from idx on to 0..255 and stores their first three into
// the three planes.
void storeClamped(const Plane<Lanes>& lanes, int idx, int n, Plane<uint8_t> out[3])
{
    int i = 0;
#if defined(__SSE2__)
    // Four pixels at a time: packed to sixteen bytes, four per pixel, then
    // transposed to four per lane (two interleaving steps).
    for (; i + 4 <= n; i += 4) {
        const __m128i* v = reinterpret_cast<const __m128i*>(&lanes[idx + i]);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v[0], v[1]), _mm_packs_epi32(v[2], v[3]));
        const __m128i half = _mm_unpacklo_epi8(bytes, _mm_srli_si128(bytes, 8));
        const __m128i byLane = _mm_unpacklo_epi8(half, _mm_srli_si128(half, 8));
        const uint32_t y = static_cast<uint32_t>(_mm_cvtsi128_si32(byLane));
        const uint32_t cb = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(byLane, 4)));
        const uint32_t cr = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(byLane, 8)));
        std::memcpy(&out[0][idx + i], &y, 4);
        std::memcpy(&out[1][idx + i], &cb, 4);
        std::memcpy(&out[2][idx + i], &cr, 4);
    }
#endif
    for (; i < n; ++i) {
        const uint32_t bytes = clampedBytes(lanes[idx + i]);
        for (int k = 0; k < 3; ++k)
            out[k][idx + i] = static_cast<uint8_t>(bytes >> 8 * k);
    }
}

} // namespace

void reconstructPlanes(ColourCoefficients& c, const InversePlan& plan, Plane<uint8_t> out[3],
                       ReconstructionScratch& scratch)
{
    for (Plane<uint8_t>* p = out; p != out + 3; ++p)
        p->fill(0);
    if (c.maxMagnitude < kLanesMagnitudeLimit) {
        inverseAlongPlan(plan, c.lanes, scratch.laneColumns, c.addedRows);
        forEachInsideRun(plan, [&](int idx, int n) { storeClamped(c.lanes, idx, n, out); });
        return;
    }
    Plane<int64_t>& values = scratch.values;
    for (int k = 0; k < 3; ++k) {
        for (int idx = 0; idx < kCells; ++idx)
            values[idx] = c.lanes[idx][k];
        inverseAlongPlan(plan, values, scratch.columns, c.addedRows);
        forEachInsideRun(plan, [&](int idx, int n) {
            for (int i = idx; i < idx + n; ++i)
                out[k][i] = toByte(values[i]);
        });
    }
}

} // namespace wlt
