#pragma once

#include <string>
#include <string_view>

namespace tarnwick {

// Conversion between UTF-8 and code page 936 (GBK), the program's byte texts.
// A character that GBK cannot hold becomes "?", as the ANSI interfaces do; bytes that
// are not valid in the source encoding become "?" too (never a failure).
// Defined by the platform library (iconv on Linux, MultiByteToWideChar on Windows).
std::string GbkFromUtf8(std::string_view utf8);
std::string Utf8FromGbk(std::string_view gbk);

} // namespace tarnwick
