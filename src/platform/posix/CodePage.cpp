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

} // namespace tarnwick
