#pragma once

// Checks that a generated script keeps the shape of its rules whatever the cell texts held:
// one line per piece, and every string literal closed on its own line, whether a reader takes
// the bytes one by one or as GBK double-byte characters.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace tarnwick::fuzz {

inline void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "script check failed: %s\n", what);
        std::abort();
    }
}

inline std::vector<std::string> Lines(const std::string& script) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = script.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(script.substr(start));
            return lines;
        }
        lines.push_back(script.substr(start, end - start));
        start = end + 2;
    }
}

// True when every literal of the line is closed at its end.
inline bool LiteralsClosed(const std::string& line, bool gbk) {
    bool inString = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const auto byte = static_cast<unsigned char>(line[i]);
        if (byte == '\r' || byte == '\n' || byte == 0)
            return false;
        if (gbk && byte >= 0x81 && byte <= 0xFE && i + 1 < line.size()) {
            ++i; // a GBK reader takes the next byte into the character, whatever it is
            continue;
        }
        if (!inString) {
            inString = byte == '"';
        } else if (byte == '\\') {
            ++i;
        } else if (byte == '"') {
            inString = false;
        }
    }
    return !inString;
}

inline void CheckScript(const std::string& script, int rules) {
    const std::vector<std::string> lines = Lines(script);
    Require(lines.size() == static_cast<std::size_t>(3 + 3 * rules), "line count");
    Require(lines.front() == "function FindProxyForURL(url, host){", "first line");
    Require(lines[lines.size() - 2] == "return \"DIRECT\";", "direct line");
    Require(lines.back() == "}", "last line");
    for (int r = 0; r < rules; ++r) {
        const std::string& condition = lines[1 + 3 * r];
        const std::string& proxy = lines[2 + 3 * r];
        Require(condition.starts_with("if(") && condition.ends_with("){"), "condition line");
        Require(proxy.starts_with("return \"PROXY ") && proxy.ends_with("\";"), "proxy line");
        Require(lines[3 + 3 * r] == "}", "closing line");
        for (const std::string* line : {&condition, &proxy}) {
            Require(LiteralsClosed(*line, false), "literal closed, byte by byte");
            Require(LiteralsClosed(*line, true), "literal closed, as GBK");
        }
    }
}

} // namespace tarnwick::fuzz
