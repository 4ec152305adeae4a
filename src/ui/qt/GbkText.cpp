#include "ui/qt/GbkText.h"

#include "rules/CodePage.h"

#include <algorithm>

namespace tarnwick {

namespace {

constexpr char16_t EscapeBase = 0xDC00;

bool IsEscape(QChar c) {
    return c.unicode() >= EscapeBase + 0x80 && c.unicode() <= EscapeBase + 0xFF;
}

bool Ascii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Whether bytes convert to Unicode and back unchanged.
bool RoundTrips(const std::string& bytes, const std::string& utf8) {
    return GbkFromUtf8(utf8) == bytes;
}

} // namespace

QString FromGbk(const std::string& gbk) {
    if (gbk.empty())
        return QString();
    if (Ascii(gbk))
        return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
    const std::string whole = Utf8FromGbk(gbk);
    if (RoundTrips(gbk, whole))
        return QString::fromStdString(whole);
    // Character by character: a single byte or a lead and trail byte that convert and come
    // back unchanged are text; any other byte is kept as its escape.
    QString text;
    std::size_t i = 0;
    while (i < gbk.size()) {
        const auto byte = static_cast<unsigned char>(gbk[i]);
        if (byte < 0x80) {
            text += QChar(byte);
            ++i;
            continue;
        }
        bool done = false;
        for (std::size_t length : {std::size_t{2}, std::size_t{1}}) {
            if (i + length > gbk.size())
                continue;
            const std::string character = gbk.substr(i, length);
            const std::string utf8 = Utf8FromGbk(character);
            if (utf8 != "?" && RoundTrips(character, utf8)) {
                text += QString::fromStdString(utf8);
                i += length;
                done = true;
                break;
            }
        }
        if (!done) {
            text += QChar(static_cast<char16_t>(EscapeBase + byte));
            ++i;
        }
    }
    return text;
}

std::string ToGbk(const QString& text) {
    if (std::none_of(text.begin(), text.end(), IsEscape))
        return GbkFromUtf8(text.toStdString());
    std::string gbk;
    qsizetype start = 0;
    for (qsizetype i = 0; i <= text.size(); ++i) {
        if (i < text.size() && !IsEscape(text[i]))
            continue;
        gbk += GbkFromUtf8(text.mid(start, i - start).toStdString());
        if (i < text.size())
            gbk += static_cast<char>(text[i].unicode() - EscapeBase);
        start = i + 1;
    }
    return gbk;
}

} // namespace tarnwick
