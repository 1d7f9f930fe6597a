#include "ResultText.h"

#include "libwlt.h"

namespace wlt {

const char* resultMeaning(int code)
{
    switch (code) {
    case WLT_OK: return "success: the 38862-byte bitmap was written";
    case WLT_ERR_HEADER: return "bytes 0-6 are not the WLT header (W L 0x66 0x00 0x7E 0x00 0x32)";
    case WLT_ERR_SHAPE_BOUNDS: return "the shape stream's length field or bytes lie beyond the input";
    case WLT_ERR_SHAPE_MARKER: return "the shape stream does not start with \"o\" (or its length is 0 or less)";
    case WLT_ERR_SHAPE_FLAG: return "the shape stream's leading flag bit is not 0";
    case WLT_ERR_SHAPE_ABSENT: return "the shape stream's shape-present value is not 1";
    case WLT_ERR_OUTLINE_FLAG: return "the flag bit after the outline is not 0";
    case WLT_ERR_COLOUR_BOUNDS: return "a colour stream or its length field lies beyond the input";
    case WLT_ERR_COLOUR_MARKER: return "a colour stream's second byte is not \"o\"";
    case WLT_ERR_SORT_OVERFLOW: return "the holding list of the magnitude sort overflowed";
    case WLT_ERR_SHORT_INPUT: return "no input, or the input is shorter than the 7-byte header";
    case WLT_ERR_OUTLINE_TOO_LONG: return "the outline has more than 2000 direction codes";
    case WLT_ERR_OUTLINE_OUTSIDE: return "the outline's box is larger than 102 x 126 or reaches outside the picture";
    case WLT_ERR_COLOUR_LENGTH: return "a colour stream's length works out at 0 or less";
    case WLT_ERR_TOP_PLANE: return "a colour stream's top bit plane is above 30";
    case WLT_ERR_NO_OUTPUT: return "no output buffer or output length was given";
    case WLT_ERR_NO_MEMORY: return "the decoder's working storage could not be allocated";
    default: return "unknown result code";
    }
}

const std::vector<int>& allResultCodes()
{
    static const std::vector<int> codes = {
        WLT_OK, WLT_ERR_HEADER, WLT_ERR_SHAPE_BOUNDS, WLT_ERR_SHAPE_MARKER, WLT_ERR_SHAPE_FLAG,
        WLT_ERR_SHAPE_ABSENT, WLT_ERR_OUTLINE_FLAG, WLT_ERR_COLOUR_BOUNDS, WLT_ERR_COLOUR_MARKER,
        WLT_ERR_SORT_OVERFLOW, WLT_ERR_SHORT_INPUT, WLT_ERR_OUTLINE_TOO_LONG,
        WLT_ERR_OUTLINE_OUTSIDE, WLT_ERR_COLOUR_LENGTH, WLT_ERR_TOP_PLANE, WLT_ERR_NO_OUTPUT, WLT_ERR_NO_MEMORY,
    };
    return codes;
}

} // namespace wlt
