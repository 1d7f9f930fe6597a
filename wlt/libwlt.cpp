#include "libwlt.h"

#include "CoefficientDecoder.h"
#include "InverseTransform.h"
#include "MaskPyramid.h"
#include "PictureOutput.h"
#include "ShapeDecoder.h"

#include <cstring>
#include <memory>
#include <new>

using namespace wlt;

namespace {

constexpr unsigned char kHeader[7] = {0x57, 0x4C, 0x66, 0x00, 0x7E, 0x00, 0x32};
constexpr unsigned char kPayloadMask = 0x6B;
constexpr unsigned char kStreamMarker = 0x6F;  // "o"
constexpr int kPayloadStart = 10;
constexpr int kShapeLengthAt = 11;
constexpr int kShapeStart = 15;

int32_t le32(const unsigned char* p)
{
    return static_cast<int32_t>(uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 |
                                uint32_t{p[3]} << 24);
}

// Everything one decode works on; one per call, so decodes can run at once.
struct Work {
    uint8_t FixNum[3] = {};
    Contour contour;
    Mask n;                    // shape mask
    Mask r;                    // its mask pyramid
    ScanPlan plan;
    InversePlan inversePlan;
    ColourWork colour;
    ColourCoefficients coefficients;  // of all three streams
    ReconstructionScratch scratch;
    Plane<uint8_t> planes[3];  // Y, Cb, Cr
    BgrImage bgr;
};

} // namespace

int libwlt::Unpack_Data(unsigned char* in, int inLen, unsigned char* out, int* outLen)
{
    if (in == nullptr || inLen < static_cast<int>(sizeof kHeader))
        return WLT_ERR_SHORT_INPUT;
    if (out == nullptr || outLen == nullptr)
        return WLT_ERR_NO_OUTPUT;
    if (std::memcmp(in, kHeader, sizeof kHeader) != 0)
        return WLT_ERR_HEADER;

    // The payload is scrambled; descramble a copy and leave the caller's input alone.
    std::unique_ptr<unsigned char[]> D(new (std::nothrow) unsigned char[static_cast<size_t>(inLen)]);
    if (!D)
        return WLT_ERR_NO_MEMORY;
    for (int i = 0; i < inLen; ++i)
        D[i] = i < kPayloadStart ? in[i] : static_cast<unsigned char>(in[i] ^ kPayloadMask);

    if (inLen < kShapeStart)
        return WLT_ERR_SHAPE_BOUNDS;
    const int64_t L1 = le32(&D[kShapeLengthAt]);
    if (L1 <= 0)
        return WLT_ERR_SHAPE_MARKER;
    if (kShapeStart + L1 > inLen)
        return WLT_ERR_SHAPE_BOUNDS;
    const NR shape{static_cast<int>(L1), &D[kShapeStart]};
    if (shape.data[0] != kStreamMarker)
        return WLT_ERR_SHAPE_MARKER;

    // Default-initialised: every plane is filled before it is read.
    std::unique_ptr<Work> w(new (std::nothrow) Work);
    if (!w)
        return WLT_ERR_NO_MEMORY;
    int rc = decodeShapeStream(shape, w->FixNum, w->contour);
    if (rc != WLT_OK)
        return rc;
    rc = outlineToMask(w->contour, w->n);
    if (rc != WLT_OK)
        return rc;
    // The inverse rebuilds from the pyramid of "n > 0"; n holds only 0 and 1,
    // so that pyramid is r itself, and its runs are recorded on the way.
    buildMaskPyramid(w->n, w->r, kLevels, &w->inversePlan);

    // Three colour streams follow, their lengths shared out from one total.
    const int64_t lengthAt = kShapeStart + L1;
    if (lengthAt + 4 > inLen)
        return WLT_ERR_COLOUR_BOUNDS;
    const int64_t T = int64_t{le32(&D[lengthAt])} - 4;
    int64_t len[3];
    len[0] = T * 85 / 100 + 10;
    len[1] = T * 8 / 100 + 10;
    len[2] = T - len[0] - len[1] + 30;
    NR colour[3];
    int64_t start = lengthAt + 4;
    for (int i = 0; i < 3; ++i) {
        if (len[i] <= 0)
            return WLT_ERR_COLOUR_LENGTH;
        if (start + len[i] > inLen)
            return WLT_ERR_COLOUR_BOUNDS;
        colour[i] = NR{static_cast<int>(len[i]), &D[start]};
        start += len[i];
    }
    for (const NR& c : colour)
        if (c.len < 2 || c.data[1] != kStreamMarker)
            return WLT_ERR_COLOUR_MARKER;

    buildScanPlan(w->r, w->plan);

    clearCoefficients(w->coefficients);
    for (int i = 0; i < 3; ++i) {
        rc = decodeColourStream(colour[i], w->r, w->plan, w->colour);
        if (rc != WLT_OK)
            return rc;
        addCoefficients(w->coefficients, i, w->colour.coefficient, w->colour.list.pairs, w->colour.list.count, w->r);
    }
    reconstructPlanes(w->coefficients, w->inversePlan, w->planes, w->scratch);

    composePicture(w->planes[0], w->planes[1], w->planes[2], w->n, w->FixNum, w->bgr);
    smoothEdges(w->n, w->bgr);
    writeBitmap(w->bgr, out);
    *outLen = WLT_BITMAP_SIZE;
    return WLT_OK;
}
