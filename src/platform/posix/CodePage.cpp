#include "rules/CodePage.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>

namespace tarnwick {

namespace {

// Converts with iconv; a character that cannot be converted, or an invalid byte sequence,
// becomes one replacement and the conversion goes on after it. unit is the size of the source's
// code units (1 for UTF-8 and GBK, sizeof(wchar_t) for WCHAR_T); skipBad > 1 steps over a whole
// UTF-8 character that cannot be converted.
std::string Convert(std::string_view text, const char* to, const char* from, std::size_t skipBad,
                    std::string_view replacement = "?", std::size_t unit = 1) {
    std::string out;
    if (text.empty())
        return out;
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return std::string(text);
    out.reserve(text.size() * 2);
    char* in = const_cast<char*>(text.data());
    std::size_t inLeft = text.size();
    char buffer[4096];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (r != static_cast<std::size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // EILSEQ or EINVAL (truncated sequence at the end): replace and step over it.
        out += replacement;
        std::size_t step = unit;
        if (errno == EILSEQ && skipBad > 1) {
            // An unconvertible UTF-8 character: step over its lead byte and the continuation
            // bytes that follow it, but never over a byte that starts something else.
            const auto lead = static_cast<unsigned char>(*in);
            const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
            while (step < length && step < inLeft &&
                   (static_cast<unsigned char>(in[step]) & 0xC0) == 0x80)
                ++step;
        }
        if (step > inLeft)
            step = inLeft;
        in += step;
        inLeft -= step;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    ::iconv_close(cd);
    return out;
}

// glibc converts UTF-8 to GBK in two steps, through its internal form, and a character that the
// second step cannot take costs a restart of tens of microseconds; from WCHAR_T it is one step.
// So texts go to GBK through wide characters: a file full of characters GBK lacks still loads
// in milliseconds.
std::string GbkFromWide(std::wstring_view wide) {
    return Convert(
        std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * sizeof(wchar_t)),
        "GBK", "WCHAR_T", 1, "?", sizeof(wchar_t));
}

std::wstring WideFromUtf8(std::string_view utf8) {
    static constexpr wchar_t Question = L'?';
    const std::string bytes =
        Convert(utf8, "WCHAR_T", "UTF-8", 4,
                std::string_view(reinterpret_cast<const char*>(&Question), sizeof Question));
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
    return wide;
}

} // namespace

std::string GbkFromUtf8(std::string_view utf8) {
    return GbkFromWide(WideFromUtf8(utf8));
}

std::string Utf8FromGbk(std::string_view gbk) {
    return Convert(gbk, "UTF-8", "GBK", 1);
}

std::string GbkFromUtf16(std::string_view utf16, bool bigEndian) {
    const auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(utf16[2 * i]);
        const auto second = static_cast<unsigned char>(utf16[2 * i + 1]);
        return static_cast<char32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    const std::size_t units = utf16.size() / 2;
    std::wstring wide;
    wide.reserve(units);
    for (std::size_t u = 0; u < units; ++u) {
        const char32_t c = unit(u);
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        if (high && u + 1 < units && unit(u + 1) >= 0xDC00 && unit(u + 1) <= 0xDFFF) {
            wide += static_cast<wchar_t>(0x10000 + ((c - 0xD800) << 10) + (unit(u + 1) - 0xDC00));
            ++u;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            wide += L'?'; // a lone surrogate, as Windows converts it
        } else {
            wide += static_cast<wchar_t>(c);
        }
    }
    // A zero character is a zero byte, as in an ANSI file.
    return GbkFromWide(wide);
}

} // namespace tarnwick
