#include "rules/CodePage.h"

#include <windows.h>

namespace tarnwick {

namespace {

constexpr UINT Gbk = 936;

std::wstring Wide(std::string_view text, UINT codePage) {
    if (text.empty())
        return {};
    const int n =
        MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
    if (wide.empty())
        return {};
    const char* fallback = codePage == CP_UTF8 ? nullptr : "?";
    const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, fallback, nullptr);
    std::string narrow(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), n,
                        fallback, nullptr);
    return narrow;
}

} // namespace

std::string GbkFromUtf8(std::string_view utf8) {
    return Narrow(Wide(utf8, CP_UTF8), Gbk);
}

std::string Utf8FromGbk(std::string_view gbk) {
    return Narrow(Wide(gbk, Gbk), CP_UTF8);
}

std::string GbkFromUtf16(std::string_view utf16, bool bigEndian) {
    std::wstring wide(utf16.size() / 2, L'\0');
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto first = static_cast<unsigned char>(utf16[2 * i]);
        const auto second = static_cast<unsigned char>(utf16[2 * i + 1]);
        wide[i] = static_cast<wchar_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    }
    return Narrow(wide, Gbk);
}

} // namespace tarnwick
