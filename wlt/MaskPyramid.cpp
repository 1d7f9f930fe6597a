#include "MaskPyramid.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace wlt {

void splitMaskLine(int* line, int stride, int m, int mode)
{
    int orig[kRows];
    for (int i = 0; i < m; ++i)
        orig[i] = line[i * stride];
    const int half = m / 2;
    for (int k = 0; k < half; ++k) {
        line[k * stride] = orig[2 * k];
        line[(half + k) * stride] = orig[2 * k + 1];
    }
    // A lone inside entry at an odd position would vanish from the low half;
    // move it there and leave a marker so the inverse can put it back.
    // (A lone entry at an even position is already in the low half.)
    const int marker = mode == 1 ? kRowMarker : kColumnMarker;
    for (int p = 1; p < m; p += 2) {
        if (orig[p] != 1 || orig[p - 1] == 1 || (p + 1 < m && orig[p + 1] == 1))
            continue;
        const int k = p >> 1;
        if (line[k * stride] == 0) {
            line[k * stride] = 1;
            line[(half + k) * stride] = marker;
        }
    }
}

namespace {

// The pyramid is built in bytes (its entries are 0, 1 and the markers), a
// quarter of the memory of the int plane it ends in. The splits are those of
// splitMaskLine, arranged for whole rows: a row is split in place, and the
// column split of a region moves whole rows (row k takes row 2k, row
// half + k row 2k + 1) and then moves lone entries for all columns at once.
using BytePlane = uint8_t[kRows][kCols];

// The lone-entry rule for one odd entry: inside, its even neighbour outside
// (0: not a marker) and its odd-side neighbour, if any, not inside.
inline bool lone(uint8_t prev, uint8_t here, uint8_t next) { return (here == 1) & (prev == 0) & (next != 1); }

// The runs are found from a bit per entry, set where the entry is inside
// (1; the others are 0, 128 and 129): a run starts and ends where the bit
// changes, and the changes are picked out a word at a time.
struct LineBits {
    uint64_t word[2];  // entries 0-63, 64-127
};
static_assert(kCols <= 128 && kRows <= 128, "a line's bits fit two words");

// The bits of the first m entries of a row (whose kCols entries may all be
// read); the bits past m are 0.
inline LineBits insideBits(const uint8_t* row, int m)
{
    LineBits b{};
#if defined(__SSE2__)
    const __m128i one = _mm_set1_epi8(1);
    for (int c = 0; c < kCols; c += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + c));
        const uint64_t bits = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, one)));
        b.word[c / 64] |= bits << (c % 64);  // 16-entry groups never straddle the words
    }
#else
    for (int c = 0; c < kCols; ++c)
        b.word[c / 64] |= uint64_t{row[c] == 1} << (c % 64);
#endif
    if (m < 64) {
        b.word[0] &= (uint64_t{1} << m) - 1;
        b.word[1] = 0;
    } else if (m < 128) {
        b.word[1] &= (uint64_t{1} << (m - 64)) - 1;
    }
    return b;
}

// Calls at(position) for every set bit, in increasing order.
template <typename At>
inline void forEachBit(const LineBits& b, At at)
{
    for (int w = 0; w < 2; ++w)
        for (uint64_t bits = b.word[w]; bits != 0; bits &= bits - 1)
            at(64 * w + __builtin_ctzll(bits));
}

inline void appendRun(InversePlan& plan, int start, int length)
{
    plan.segments[plan.segmentCount++] = Segment{static_cast<uint8_t>(start), static_cast<uint8_t>(length)};
}

// Appends the runs of 1 of a row of m entries to the plan: the changes of
// the bits, entry against entry before it (an entry before the first and one
// past the last are outside), alternately start and end runs.
void recordRowRuns(const uint8_t* line, int m, InversePlan& plan)
{
    const LineBits b = insideBits(line, m);
    const LineBits changes{{b.word[0] ^ (b.word[0] << 1), b.word[1] ^ (b.word[1] << 1 | b.word[0] >> 63)}};
    int start = -1;
    forEachBit(changes, [&](int i) {
        if (start < 0) {
            start = i;
        } else {
            appendRun(plan, start, i - start);
            start = -1;
        }
    });
}

// Appends the runs of 1 of every column of the top-left h x w region of
// rows (with a row of zeros at h) to the plan, column by column. The rows
// are swept once, each against the one above; a run starts in a column where
// its entry becomes inside and ends where it stops being so. The runs come
// out by the row they end at and are then put in column order (within a
// column that is already their order).
void recordColumnRuns(const uint8_t (*rows)[kCols], int h, int w, InversePlan& plan, int level)
{
    struct Found {
        uint8_t col, start, length;
    };
    Found found[kRows / 2 * kCols];
    int count = 0;
    uint8_t start[kCols];
    LineBits above{};
    for (int row = 0; row <= h; ++row) {
        const LineBits here = insideBits(rows[row], w);
        const LineBits changed{{here.word[0] ^ above.word[0], here.word[1] ^ above.word[1]}};
        forEachBit(changed, [&](int col) {
            if (rows[row][col] == 1)
                start[col] = static_cast<uint8_t>(row);
            else
                found[count++] = Found{static_cast<uint8_t>(col), start[col], static_cast<uint8_t>(row - start[col])};
        });
        above = here;
    }
    int* lineStart = plan.lineStart[level][0];
    std::memset(lineStart, 0, sizeof(int) * (w + 1));
    for (int i = 0; i < count; ++i)
        ++lineStart[found[i].col + 1];
    lineStart[0] = plan.segmentCount;
    for (int col = 0; col < w; ++col)
        lineStart[col + 1] += lineStart[col];
    int next[kCols];
    std::memcpy(next, lineStart, sizeof(int) * w);
    for (int i = 0; i < count; ++i)
        plan.segments[next[found[i].col]++] = Segment{found[i].start, found[i].length};
    plan.segmentCount += count;
}

void splitRow(uint8_t* line, int m)
{
    uint8_t orig[kCols + 1];
    std::memcpy(orig, line, kCols);  // a whole row (the region may be narrower): a fixed-size copy
    orig[m] = 0;  // past the end: not inside
    const int half = m / 2;
    for (int k = 0; k < half; ++k) {
        const bool moved = lone(orig[2 * k], orig[2 * k + 1], orig[2 * k + 2]);
        line[k] = moved ? 1 : orig[2 * k];
        line[half + k] = moved ? kRowMarker : orig[2 * k + 1];
    }
}

// Splits every column of the top-left h x w region; with a plan, records
// each column's runs first.
void splitColumns(BytePlane& mask, int h, int w, InversePlan* plan, int level)
{
    uint8_t orig[kRows + 1][kCols];
    std::memcpy(orig, mask, sizeof orig[0] * h);
    std::memset(orig[h], 0, sizeof orig[h]);  // past the end: not inside
    if (plan)
        recordColumnRuns(orig, h, w, *plan, level);
    const int half = h / 2;
    for (int k = 0; k < half; ++k) {
        const uint8_t* even = orig[2 * k];
        const uint8_t* odd = orig[2 * k + 1];
        const uint8_t* next = orig[2 * k + 2];
        uint8_t* low = mask[k];
        uint8_t* high = mask[half + k];
        for (int col = 0; col < w; ++col) {
            const bool moved = lone(even[col], odd[col], next[col]);
            low[col] = moved ? 1 : even[col];
            high[col] = moved ? kColumnMarker : odd[col];
        }
    }
}

} // namespace

void buildMaskPyramid(const Mask& src, Mask& dst, int levels, InversePlan* plan)
{
    BytePlane mask;
    std::memcpy(mask, src.data(), sizeof mask);
    if (plan)
        plan->segmentCount = 0;
    for (int level = 1; level <= levels; ++level) {
        const int h = kRows >> (level - 1);
        const int w = kCols >> (level - 1);
        for (int row = 0; row < h; ++row) {
            if (plan) {
                plan->lineStart[level][1][row] = plan->segmentCount;
                recordRowRuns(mask[row], w, *plan);
            }
            splitRow(mask[row], w);
        }
        if (plan)
            plan->lineStart[level][1][h] = plan->segmentCount;
        splitColumns(mask, h, w, plan, level);
    }
    std::memcpy(dst.data(), mask, sizeof mask);
}

} // namespace wlt
