#pragma once

namespace idcard {

// The decoded portrait of the card being read, in the working directory:
// written by the parser, read and rewritten by the front face, removed by
// the card command once its reply holds the portrait.
constexpr const char* kPortraitFile = "./simage_file.bmp";

} // namespace idcard
