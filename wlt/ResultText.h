#pragma once

#include <vector>

namespace wlt {

// Human-readable meaning of a result code of libwlt::Unpack_Data.
const char* resultMeaning(int code);

// Every code Unpack_Data can return, in ascending order.
const std::vector<int>& allResultCodes();

} // namespace wlt
