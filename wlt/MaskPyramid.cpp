#include "MaskPyramid.h"

#include <cstring>

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

// The runs are found eight entries at a time: most words of a line lie
// wholly inside or wholly outside the shape. insideBytes marks with 0x01
// each byte of a word that is inside (1; the others are 0, 128 and 129).
constexpr uint64_t kLowBits = 0x0101010101010101;

inline uint64_t insideBytes(const uint8_t* p)
{
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word & kLowBits & ~(word >> 7);
}

inline void appendRun(InversePlan& plan, int start, int length)
{
    plan.segments[plan.segmentCount++] = Segment{static_cast<uint8_t>(start), static_cast<uint8_t>(length)};
}

// Appends the runs of 1 of a row of m entries to the plan.
void recordRowRuns(const uint8_t* line, int m, InversePlan& plan)
{
    bool inRun = false;
    int start = 0;
    int i = 0;
    while (i + 8 <= m) {
        // The first entry of these eight that is not in the current state,
        // if any, is where a run starts or ends.
        const uint64_t other = insideBytes(line + i) ^ (inRun ? kLowBits : 0);
        if (other == 0) {
            i += 8;
            continue;
        }
        i += __builtin_ctzll(other) / 8;
        if (inRun)
            appendRun(plan, start, i - start);
        else
            start = i;
        inRun = !inRun;
    }
    for (; i < m; ++i) {
        const bool inside = line[i] == 1;
        if (inside && !inRun)
            start = i;
        else if (!inside && inRun)
            appendRun(plan, start, i - start);
        inRun = inside;
    }
    if (inRun)
        appendRun(plan, start, m - start);
}

// Appends the runs of 1 of every column of the top-left h x w region of
// rows (with a row of zeros at h) to the plan, column by column. The rows
// are swept once, eight columns at a time; a run starts in a column where
// its entry becomes inside and ends where it stops being so. The runs come
// out by the row they end at and are then put in column order (within a
// column that is already their order).
void recordColumnRuns(const uint8_t (*rows)[kCols], int h, int w, InversePlan& plan, int level)
{
    struct Found {
        uint8_t col, start, length;
    };
    static constexpr uint8_t kZeros[kCols] = {};
    Found found[kRows / 2 * kCols];
    int count = 0;
    uint8_t start[kCols];
    for (int row = 0; row <= h; ++row) {
        const uint8_t* above = row > 0 ? rows[row - 1] : kZeros;
        for (int col0 = 0; col0 < w; col0 += 8) {
            uint64_t changed = insideBytes(rows[row] + col0) ^ insideBytes(above + col0);
            if (w - col0 < 8)
                changed &= (uint64_t{1} << 8 * (w - col0)) - 1;  // columns past the region
            for (; changed != 0; changed &= changed - 1) {
                const int col = col0 + __builtin_ctzll(changed) / 8;
                if (rows[row][col] == 1)
                    start[col] = static_cast<uint8_t>(row);
                else
                    found[count++] = Found{static_cast<uint8_t>(col), start[col], static_cast<uint8_t>(row - start[col])};
            }
        }
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
