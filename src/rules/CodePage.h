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
// UTF-16 bytes (without their byte-order mark) in GBK. A character that GBK cannot hold and a
// lone surrogate become "?"; an odd last byte is dropped, as the profile reader drops it.
std::string GbkFromUtf16(std::string_view utf16, bool bigEndian);

} // namespace tarnwick
