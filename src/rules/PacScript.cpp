#include "rules/PacScript.h"

#include "rules/CodePage.h"
#include "rules/Error.h"
#include "rules/Hex.h"
#include "rules/RuleTable.h"

#include <charconv>
#include <cstddef>
#include <optional>
#include <string_view>

namespace tarnwick {

namespace {

bool IsGbkLead(unsigned char byte) {
    return byte >= 0x81 && byte <= 0xFE;
}

bool IsGbkTrail(unsigned char byte) {
    return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

void AppendHexEscape(std::string& out, const char* prefix, unsigned value, int digits) {
    static const char Hex[] = "0123456789ABCDEF";
    out += prefix;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4)
        out += Hex[(value >> shift) & 0xF];
}

// The UTF-16 code of one GBK double-byte character, or nothing when it has none.
std::optional<unsigned> GbkCharCode(char lead, char trail) {
    const std::string utf8 = Utf8FromGbk(std::string{lead, trail});
    if (utf8.size() != 3)
        return std::nullopt; // "?" for an unmapped pair; GBK holds only 3-byte UTF-8 above ASCII
    const auto b = [&](int i) { return static_cast<unsigned char>(utf8[i]) & 0x3Fu; };
    return ((static_cast<unsigned char>(utf8[0]) & 0x0Fu) << 12) | (b(1) << 6) | b(2);
}

// Places a GBK text into a JavaScript string literal so that, whether the script is read as GBK
// or byte by byte, the literal ends where it should: '\' and '"' are escaped, and so are line
// breaks and zero bytes, which would end or cut the script. A double-byte character is left as
// it is, unless its second byte is 0x5C: a reader that does not know GBK would take that byte
// for a '\', so such a character is written as \uXXXX. A lead byte without a valid second byte
// is written as \xHH, so that no GBK reader can pair it with the quote that follows.
void AppendJsString(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (IsGbkLead(byte)) {
            const bool paired =
                i + 1 < text.size() && IsGbkTrail(static_cast<unsigned char>(text[i + 1]));
            if (!paired) {
                AppendHexEscape(out, "\\x", byte, 2);
                continue;
            }
            if (text[i + 1] != '\\') {
                out += text[i];
                out += text[++i];
                continue;
            }
            if (const auto code = GbkCharCode(text[i], text[i + 1])) {
                AppendHexEscape(out, "\\u", *code, 4);
                ++i;
            } else {
                AppendHexEscape(out, "\\x", byte, 2); // the '\' follows as a '\'
            }
            continue;
        }
        switch (text[i]) {
        case '\\':
        case '"':
            out += '\\';
            out += text[i];
            break;
        case '\r':
            out += "\\r";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\0':
            out += "\\x00";
            break;
        default:
            out += text[i];
        }
    }
}

bool ParseWholeNumberView(std::string_view text, std::int32_t& value);

// The four pieces of a dotted text; where the dots run out, the remaining pieces are empty (and
// the first of them fails).
std::array<std::int32_t, 4> ParseDottedQuadView(std::string_view text) {
    std::array<std::string_view, 4> pieces;
    std::size_t start = 0;
    bool dotsLeft = true;
    for (int k = 0; k < 3 && dotsLeft; ++k) {
        const std::size_t dot = text.find('.', start);
        if (dot == std::string_view::npos) {
            dotsLeft = false;
        } else {
            pieces[k] = text.substr(start, dot - start);
            start = dot + 1;
        }
    }
    if (dotsLeft)
        pieces[3] = text.substr(start);

    std::array<std::int32_t, 4> quad{};
    for (int k = 0; k < 4; ++k)
        if (!ParseWholeNumberView(pieces[k], quad[k]))
            throw ConvertError(std::string(pieces[k]));
    return quad;
}

void AppendNetworkAddress(std::string& out, std::string_view address, std::string_view mask) {
    const auto a = ParseDottedQuadView(address);
    const auto m = ParseDottedQuadView(mask);
    for (int k = 0; k < 4; ++k) {
        if (k > 0)
            out += '.';
        char digits[16];
        const auto end = std::to_chars(digits, digits + sizeof digits, a[k] & m[k]).ptr;
        out.append(digits, end);
    }
}

} // namespace

namespace {

bool ParseWholeNumberView(std::string_view text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return false;

    bool hex = false;
    if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
        hex = true;
        ++i;
    } else if (text[i] == '0' && i + 1 < text.size() &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }

    if (hex) {
        if (i == text.size())
            return false;
        std::uint64_t n = 0;
        for (; i < text.size(); ++i) {
            const int d = HexDigit(text[i]);
            if (d < 0)
                return false;
            n = n * 16 + static_cast<unsigned>(d);
            if (n > 0xFFFFFFFFu)
                return false;
        }
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(n));
        return true;
    }

    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        return false;
    std::int64_t n = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        n = n * 10 + (text[i] - '0');
        if (n > 2147483648LL)
            return false;
    }
    if (negative)
        n = -n;
    if (n > 2147483647LL)
        return false;
    value = static_cast<std::int32_t>(n);
    return true;
}

} // namespace

bool ParseWholeNumber(std::string_view text, std::int32_t& value) {
    return ParseWholeNumberView(text, value);
}

std::array<std::int32_t, 4> ParseDottedQuad(std::string_view text) {
    return ParseDottedQuadView(text);
}

std::string ScriptStringLiteral(std::string_view text) {
    std::string literal;
    AppendJsString(literal, text);
    return literal;
}

std::string NetworkAddress(const std::string& address, const std::string& mask) {
    std::string network;
    AppendNetworkAddress(network, address, mask);
    return network;
}

std::string BuildPacScript(const RuleTable& table) {
    std::string script = "function FindProxyForURL(url, host){\r\n";
    for (int row = 1; row < table.rowCount(); ++row) {
        const std::string& type = table.cell(RuleTable::TypeColumn, row);
        if (type.empty())
            continue;
        const std::string_view value = table.cell(RuleTable::ValueColumn, row);
        const std::string& proxy = table.cell(RuleTable::ProxyColumn, row);

        script += "if(";
        switch (RuleTypeIndex(type).value_or(-1)) {
        case 0:
            script += "shExpMatch(url,\"";
            AppendJsString(script, value);
            script += "\")";
            break;
        case 1:
            script += "shExpMatch(host,\"";
            AppendJsString(script, value);
            script += "\")";
            break;
        case 2: {
            const std::size_t semicolon = value.find(';');
            const std::string_view address = semicolon == std::string_view::npos
                                                 ? std::string_view()
                                                 : value.substr(0, semicolon);
            const std::string_view mask =
                semicolon == std::string_view::npos ? value : value.substr(semicolon + 1);
            script += "isInNet(host, \"";
            AppendNetworkAddress(script, address, mask);
            script += "\", \"";
            AppendJsString(script, mask);
            script += "\")";
            break;
        }
        case 3:
            script += "!isResolvable(host)";
            break;
        default:
            throw Error("unkown valTypes.");
        }
        script += "){\r\nreturn \"PROXY ";
        AppendJsString(script, proxy);
        script += "\";\r\n}\r\n";
    }
    script += "return \"DIRECT\";\r\n}";
    return script;
}

} // namespace tarnwick
