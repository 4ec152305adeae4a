#include "rules/CodePage.h"

#include <cerrno>
#include <iconv.h>

namespace tarnwick {

namespace {

// Converts with iconv; a character that cannot be converted, or an invalid byte sequence,
// becomes one "?" and the conversion goes on after it.
std::string Convert(std::string_view text, const char* to, const char* from, std::size_t skipBad) {
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
        out += '?';
        std::size_t step = 1;
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

} // namespace

std::string GbkFromUtf8(std::string_view utf8) {
    return Convert(utf8, "GBK", "UTF-8", 4);
}

std::string Utf8FromGbk(std::string_view gbk) {
    return Convert(gbk, "UTF-8", "GBK", 1);
}

std::string GbkFromUtf16(std::string_view utf16, bool bigEndian) {
    // Decoded by hand into UTF-8 first, so that a lone surrogate is one "?" as on Windows
    // (iconv would stop at it).
    const auto unit = [&](std::size_t i) {
        const auto first = static_cast<unsigned char>(utf16[i]);
        const auto second = static_cast<unsigned char>(utf16[i + 1]);
        return static_cast<char32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
    };
    const std::size_t units = utf16.size() / 2;
    std::string utf8;
    utf8.reserve(units * 3);
    for (std::size_t u = 0; u < units; ++u) {
        char32_t c = unit(2 * u);
        if (c >= 0xD800 && c <= 0xDBFF && u + 1 < units && unit(2 * u + 2) >= 0xDC00 &&
            unit(2 * u + 2) <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(2 * u + 2) - 0xDC00);
            ++u;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            utf8 += '?';
            continue;
        }
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | (c >> 6));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            utf8 += static_cast<char>(0xE0 | (c >> 12));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xF0 | (c >> 18));
            utf8 += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            utf8 += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    // A zero character is a zero byte, as in an ANSI file; iconv keeps it.
    return GbkFromUtf8(utf8);
}

} // namespace tarnwick
