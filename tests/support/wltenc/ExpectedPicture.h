#pragma once
// The picture a decoder must produce from an encoded portrait: inverse
// wavelet of the coefficients it holds, YCbCr to RGB, the background outside
// the shape and the 3 x 3 smoothing of the background along the outline.

#include "WltEncoder.h"

namespace wltenc {

Portrait expectedPicture(const EncodedWlt& encoded, Rgb background);

}  // namespace wltenc
