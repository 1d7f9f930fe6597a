#pragma once

// The two code tables of the text block: gender codes and the nation
// codes of the resident identity card (1 to 56).

#include <string>

namespace idcard {

// "1" -> "男", "2" -> "女", anything else -> "其他".
const char* genderName(const std::string& code);
// 1..56 -> the nation's name; anything else -> "".
const char* nationName(int code);
// The inverse, for building records: 0 when the name is not in the table.
int nationCode(const std::string& name);

} // namespace idcard
