#include "rules/PacScript.h"

#include "rules/Error.h"
#include "rules/RuleTable.h"

#include <cstddef>

namespace tarnwick {

namespace {

const char* const Crlf = "\r\n";

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Escapes '\' and '"' for a JavaScript string literal. The text is GBK: the second byte of a
// double-byte character may be 0x5C and belongs to its character, so it is left alone.
std::string JsString(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x81 && byte <= 0xFE && i + 1 < text.size()) {
            out += text[i];
            out += text[++i];
            continue;
        }
        if (text[i] == '\\' || text[i] == '"')
            out += '\\';
        out += text[i];
    }
    return out;
}

} // namespace

bool ParseWholeNumber(const std::string& text, std::int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    if (i == text.size())
        return false;

    bool hex = false;
    if (text[i] == '$' || text[i] == 'x' || text[i] == 'X') {
        hex = true;
        ++i;
    } else if (text[i] == '0' && i + 1 < text.size() && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
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

std::array<std::int32_t, 4> ParseDottedQuad(const std::string& text) {
    // Where the dots run out, the remaining pieces are empty (and the first of them fails).
    std::array<std::string, 4> pieces;
    std::size_t start = 0;
    bool dotsLeft = true;
    for (int k = 0; k < 3 && dotsLeft; ++k) {
        const std::size_t dot = text.find('.', start);
        if (dot == std::string::npos) {
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
        if (!ParseWholeNumber(pieces[k], quad[k]))
            throw ConvertError(pieces[k]);
    return quad;
}

std::string NetworkAddress(const std::string& address, const std::string& mask) {
    const auto a = ParseDottedQuad(address);
    const auto m = ParseDottedQuad(mask);
    std::string network;
    for (int k = 0; k < 4; ++k) {
        if (k > 0)
            network += '.';
        network += std::to_string(a[k] & m[k]);
    }
    return network;
}

std::string BuildPacScript(const RuleTable& table) {
    std::string script = "function FindProxyForURL(url, host){";
    script += Crlf;
    for (int row = 1; row < table.rowCount(); ++row) {
        const std::string& type = table.cell(RuleTable::TypeColumn, row);
        if (type.empty())
            continue;
        const std::string& value = table.cell(RuleTable::ValueColumn, row);
        const std::string& proxy = table.cell(RuleTable::ProxyColumn, row);

        std::string condition;
        switch (RuleTypeIndex(type).value_or(-1)) {
        case 0:
            condition = "shExpMatch(url,\"" + JsString(value) + "\")";
            break;
        case 1:
            condition = "shExpMatch(host,\"" + JsString(value) + "\")";
            break;
        case 2: {
            const std::size_t semicolon = value.find(';');
            const std::string address =
                semicolon == std::string::npos ? std::string() : value.substr(0, semicolon);
            const std::string mask =
                semicolon == std::string::npos ? value : value.substr(semicolon + 1);
            condition = "isInNet(host, \"" + NetworkAddress(address, mask) + "\", \"" +
                        JsString(mask) + "\")";
            break;
        }
        case 3:
            condition = "!isResolvable(host)";
            break;
        default:
            throw Error("unkown valTypes.");
        }
        script += "if(" + condition + "){" + Crlf;
        script += "return \"PROXY " + JsString(proxy) + "\";" + Crlf;
        script += std::string("}") + Crlf;
    }
    script += "return \"DIRECT\";";
    script += Crlf;
    script += "}";
    return script;
}

} // namespace tarnwick
