#pragma once

// Decoder of the identity card's compressed portrait ("WLT", 1024 bytes) into
// a complete 24-bit Windows bitmap file image of 102 x 126 pixels.

// Result codes of libwlt::Unpack_Data. 1 is success, everything else a failure;
// on failure neither the output buffer nor *outLen is written.
constexpr int WLT_OK = 1;                     // out holds the 38862-byte bitmap
constexpr int WLT_ERR_HEADER = 3;             // bytes 0-6 are not the WLT header
constexpr int WLT_ERR_SHAPE_BOUNDS = 4;       // shape stream length field or bytes beyond the input
constexpr int WLT_ERR_SHAPE_MARKER = 5;       // shape stream does not start with "o" (or length <= 0)
constexpr int WLT_ERR_SHAPE_FLAG = 6;         // leading flag bit of the shape stream is not 0
constexpr int WLT_ERR_SHAPE_ABSENT = 7;       // shape-present value is not 1
constexpr int WLT_ERR_OUTLINE_FLAG = 8;       // flag bit after the outline is not 0
constexpr int WLT_ERR_COLOUR_BOUNDS = 9;      // a colour stream (or its length field) lies beyond the input
constexpr int WLT_ERR_COLOUR_MARKER = 10;     // a colour stream's second byte is not "o"
constexpr int WLT_ERR_SORT_OVERFLOW = 11;     // holding list of the magnitude sort overflowed
// Input the format cannot carry; rejected before anything is read out of bounds.
constexpr int WLT_ERR_SHORT_INPUT = 12;       // no input, or input shorter than the 7-byte header
constexpr int WLT_ERR_OUTLINE_TOO_LONG = 13;  // outline count above the contour's capacity of 2000
constexpr int WLT_ERR_OUTLINE_OUTSIDE = 14;   // outline box larger than 102 x 126 or outside the raster
constexpr int WLT_ERR_COLOUR_LENGTH = 15;     // a colour stream length of 0 or less
constexpr int WLT_ERR_TOP_PLANE = 16;         // a colour stream's top bit plane is above 30
constexpr int WLT_ERR_NO_OUTPUT = 17;         // out or outLen is a null pointer
constexpr int WLT_ERR_NO_MEMORY = 18;         // the working storage could not be allocated

constexpr int WLT_BITMAP_SIZE = 38862;

class libwlt {
public:
    int Unpack_Data(unsigned char* in, int inLen, unsigned char* out, int* outLen);
};
