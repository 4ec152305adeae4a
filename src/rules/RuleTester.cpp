#include "rules/RuleTester.h"

#include "rules/Error.h"
#include "rules/Hex.h"
#include "rules/PacScript.h"
#include "rules/RuleTable.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

namespace tarnwick {

namespace {

bool IsAsciiAlnum(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The string a JavaScript engine reading the script byte by byte makes of the literal that
// the script builder writes for text: one unit per byte, except the escapes it wrote.
std::u32string ScriptStringUnits(std::string_view text) {
    const std::string literal = ScriptStringLiteral(text);
    std::u32string units;
    units.reserve(literal.size());
    for (std::size_t i = 0; i < literal.size(); ++i) {
        const auto byte = static_cast<unsigned char>(literal[i]);
        if (byte != '\\' || i + 1 == literal.size()) {
            units += byte;
            continue;
        }
        const char kind = literal[++i];
        const int digits = kind == 'x' ? 2 : kind == 'u' ? 4 : 0;
        if (digits == 0) {
            units += kind == 'r' ? U'\r' : kind == 'n' ? U'\n' : static_cast<unsigned char>(kind);
            continue;
        }
        char32_t code = 0;
        for (int k = 0; k < digits; ++k)
            code = code * 16 + static_cast<char32_t>(HexDigit(literal[++i]));
        units += code;
    }
    return units;
}

bool IsLineTerminator(char32_t c) {
    return c == '\n' || c == '\r' || c == 0x2028 || c == 0x2029;
}

// Plain wildcard matching, for patterns whose translation holds nothing but literals, ".*"
// and "." (and a subject without line breaks, which "." would not match).
bool GlobMatches(std::string_view pattern, std::string_view subject) {
    // The text after the last star must end the subject: most patterns fail there at once.
    const std::size_t lastStar = pattern.rfind('*');
    if (lastStar != std::string_view::npos) {
        const std::size_t tail = pattern.size() - lastStar - 1;
        if (tail > subject.size())
            return false;
        for (std::size_t k = 0; k < tail; ++k) {
            const char p = pattern[lastStar + 1 + k];
            if (p != '?' && p != subject[subject.size() - tail + k])
                return false;
        }
    }
    std::size_t p = 0, s = 0;
    std::size_t star = std::string_view::npos, mark = 0;
    while (s < subject.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            mark = s;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == subject[s])) {
            ++p;
            ++s;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            s = ++mark;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

// Whether a pattern byte makes the runtime's regular expression more than a wildcard match.
bool NeedsRegexMatcher(std::string_view pattern) {
    static const auto special = [] {
        std::array<bool, 256> table{};
        for (unsigned char c : std::string_view("\\^$+()[]{}|"))
            table[c] = true;
        return table;
    }();
    for (char c : pattern)
        if (special[static_cast<unsigned char>(c)])
            return true;
    return false;
}

// One step of the regular expression the runtime builds: an anchor or an atom repeated
// min..max times.
struct RegexStep {
    enum class Kind { Start, End, Any, Unit } kind;
    char32_t unit = 0;
    unsigned min = 1;
    unsigned max = 1; // Unbounded: no upper limit
};
constexpr unsigned Unbounded = std::numeric_limits<unsigned>::max();

// Parses '^' + translated pattern + '$' as JavaScript does, for the syntax the tester follows.
std::optional<std::vector<RegexStep>> ParseRegex(const std::u32string& source) {
    std::vector<RegexStep> steps;
    bool quantifiable = false; // the last step is an atom without a quantifier yet
    for (std::size_t i = 0; i < source.size(); ++i) {
        const char32_t c = source[i];
        switch (c) {
        case '^':
            steps.push_back({RegexStep::Kind::Start});
            quantifiable = false;
            break;
        case '$':
            steps.push_back({RegexStep::Kind::End});
            quantifiable = false;
            break;
        case '.':
            steps.push_back({RegexStep::Kind::Any});
            quantifiable = true;
            break;
        case '*':
        case '+':
        case '?': {
            if (!quantifiable)
                return std::nullopt; // nothing to repeat: the runtime throws
            auto& step = steps.back();
            step.min = c == '+' ? 1 : 0;
            step.max = c == '?' ? 1 : Unbounded;
            if (i + 1 < source.size() && source[i + 1] == '?')
                ++i; // lazy: the same strings match
            quantifiable = false;
            break;
        }
        case '\\':
            // Only escapes of punctuation stand for themselves in every engine.
            if (i + 1 == source.size() || IsAsciiAlnum(source[i + 1]))
                return std::nullopt;
            steps.push_back({RegexStep::Kind::Unit, source[++i]});
            quantifiable = true;
            break;
        case '(':
        case ')':
        case '[':
        case ']':
        case '{':
        case '}':
        case '|':
            return std::nullopt;
        default:
            steps.push_back({RegexStep::Kind::Unit, c});
            quantifiable = true;
        }
    }
    return steps;
}

// RegExp.test: a match starting anywhere. The positions reachable after each step are
// followed as a set, so the cost is steps x length whatever the pattern.
bool RegexFinds(const std::vector<RegexStep>& steps, std::string_view subject) {
    const std::size_t n = subject.size();
    std::vector<char> reach(n + 1, 1), next(n + 1);
    const auto unitAt = [&](std::size_t p) {
        return static_cast<char32_t>(static_cast<unsigned char>(subject[p]));
    };
    for (const auto& step : steps) {
        std::fill(next.begin(), next.end(), 0);
        if (step.kind == RegexStep::Kind::Start) {
            next[0] = reach[0];
        } else if (step.kind == RegexStep::Kind::End) {
            next[n] = reach[n];
        } else {
            const auto matches = [&](std::size_t p) {
                const char32_t u = unitAt(p);
                return step.kind == RegexStep::Kind::Any ? !IsLineTerminator(u) : u == step.unit;
            };
            for (std::size_t p = 0; p <= n; ++p) {
                if (!reach[p])
                    continue;
                if (step.min == 0)
                    next[p] = 1;
                if (p < n && matches(p))
                    next[p + 1] = 1;
            }
            if (step.max == Unbounded)
                for (std::size_t p = 0; p < n; ++p)
                    if (next[p] && matches(p))
                        next[p + 1] = 1;
        }
        reach.swap(next);
    }
    for (char r : reach)
        if (r)
            return true;
    return false;
}

// The host as an IPv4 literal the script's isInNet takes without a lookup: four groups of one
// to three digits. Sets *valid to whether every group is at most 255.
bool HostIsIpv4Literal(std::string_view host, std::uint32_t& address, bool& valid) {
    std::array<unsigned, 4> octets{};
    std::size_t i = 0;
    for (int k = 0; k < 4; ++k) {
        if (k > 0) {
            if (i >= host.size() || host[i] != '.')
                return false;
            ++i;
        }
        int digits = 0;
        unsigned value = 0;
        while (i < host.size() && host[i] >= '0' && host[i] <= '9' && digits < 4) {
            value = value * 10 + static_cast<unsigned>(host[i] - '0');
            ++i;
            ++digits;
        }
        if (digits == 0 || digits > 3)
            return false;
        octets[k] = value;
    }
    if (i != host.size())
        return false;
    valid = true;
    address = 0;
    for (unsigned octet : octets) {
        valid = valid && octet <= 255;
        address = address << 8 | (octet & 0xFF);
    }
    return true;
}

// One mask octet as the script's convert_addr reads the piece: the number JavaScript makes of
// the text, its low byte. The pieces reach here only in the forms ParseWholeNumber accepts
// (parsed as value); JavaScript reads "$", "x" and "X" hexadecimal as no number, which counts
// as 0.
std::uint32_t ScriptOctet(std::string_view piece, std::int32_t value) {
    const std::size_t first = piece.find_first_not_of(' ');
    if (first == std::string_view::npos || piece[first] == '$' || piece[first] == 'x' ||
        piece[first] == 'X')
        return 0;
    return static_cast<std::uint32_t>(value) & 0xFF;
}

// A subnet rule ready to test: the network octets the script holds and the mask as the
// script reads its text.
struct Subnet {
    std::uint32_t network = 0;
    std::uint32_t mask = 0;
};

Subnet ParseSubnet(std::string_view value) {
    const std::size_t semicolon = value.find(';');
    const std::string_view address =
        semicolon == std::string_view::npos ? std::string_view() : value.substr(0, semicolon);
    const std::string_view mask =
        semicolon == std::string_view::npos ? value : value.substr(semicolon + 1);
    // Throws the conversion error the script builder throws, address first.
    const auto a = ParseDottedQuad(address);
    const auto m = ParseDottedQuad(mask);
    Subnet subnet;
    std::size_t start = 0;
    for (int k = 0; k < 4; ++k) {
        // The mask parsed, so its fourth piece holds no further dot.
        const std::size_t dot = k < 3 ? mask.find('.', start) : mask.size();
        subnet.network = subnet.network << 8 | (static_cast<std::uint32_t>(a[k] & m[k]) & 0xFF);
        subnet.mask = subnet.mask << 8 | ScriptOctet(mask.substr(start, dot - start), m[k]);
        start = dot + 1;
    }
    return subnet;
}

bool HasLineBreak(std::string_view text) {
    return text.find('\n') != std::string_view::npos || text.find('\r') != std::string_view::npos;
}

std::optional<bool> PatternMatches(std::string_view pattern, std::string_view subject,
                                   bool subjectHasLineBreak);

} // namespace

TestAddress ParseTestAddress(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && blank(text.back()))
        text.remove_suffix(1);

    TestAddress address;
    std::size_t schemeEnd = text.find("://");
    bool hasScheme = schemeEnd != std::string_view::npos && schemeEnd > 0 &&
                     ((text[0] | 0x20) >= 'a' && (text[0] | 0x20) <= 'z');
    for (std::size_t i = 0; hasScheme && i < schemeEnd; ++i)
        hasScheme = IsAsciiAlnum(text[i]) || text[i] == '+' || text[i] == '-' || text[i] == '.';
    if (hasScheme) {
        address.url = std::string(text);
    } else {
        address.url = "http://" + std::string(text);
        schemeEnd = 4;
    }

    // The browser lowers the scheme and the host in the URL it passes, too.
    const auto lower = [](char& c) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    };
    std::for_each(address.url.begin(), address.url.begin() + schemeEnd, lower);
    const std::size_t authorityStart = schemeEnd + 3;
    const std::size_t authorityEnd =
        std::min(address.url.find_first_of("/?#", authorityStart), address.url.size());
    std::size_t hostStart = authorityStart;
    if (const std::size_t at = address.url.rfind('@', authorityEnd);
        at != std::string::npos && at >= authorityStart)
        hostStart = at + 1;
    std::size_t hostEnd;
    if (hostStart < authorityEnd && address.url[hostStart] == '[') {
        ++hostStart;
        hostEnd = std::min(address.url.find(']', hostStart), authorityEnd);
    } else {
        hostEnd = std::min(address.url.find(':', hostStart), authorityEnd);
    }
    std::for_each(address.url.begin() + hostStart, address.url.begin() + hostEnd, lower);
    address.host = address.url.substr(hostStart, hostEnd - hostStart);
    return address;
}

std::optional<bool> ScriptPatternMatches(std::string_view pattern, std::string_view subject) {
    return PatternMatches(pattern, subject, HasLineBreak(subject));
}

namespace {

std::optional<bool> PatternMatches(std::string_view pattern, std::string_view subject,
                                   bool subjectHasLineBreak) {
    if (!subjectHasLineBreak && !NeedsRegexMatcher(pattern))
        return GlobMatches(pattern, subject);

    // new RegExp('^' + pattern with "." -> "\.", "*" -> ".*", "?" -> "." + '$')
    std::u32string source = U"^";
    for (char32_t unit : ScriptStringUnits(pattern)) {
        if (unit == '.')
            source += U"\\.";
        else if (unit == '*')
            source += U".*";
        else if (unit == '?')
            source += U'.';
        else
            source += unit;
    }
    source += U'$';
    const auto steps = ParseRegex(source);
    if (!steps)
        return std::nullopt;
    return RegexFinds(*steps, subject);
}

} // namespace

RuleVerdict EvaluateRules(const RuleTable& table, const TestAddress& address,
                          HostResolver& resolver) {
    std::optional<HostLookup> lookup;
    const auto lookUp = [&]() -> const HostLookup& {
        if (!lookup)
            lookup = resolver.Lookup(address.host);
        return *lookup;
    };

    // Every row is checked as the script builder checks it, also after the deciding one: OK
    // would fail on a later faulty row all the same.
    const bool urlHasLineBreak = HasLineBreak(address.url);
    const bool hostHasLineBreak = HasLineBreak(address.host);
    std::optional<RuleVerdict> verdict;
    for (int row = 1; row < table.rowCount(); ++row) {
        const std::string& type = table.cell(RuleTable::TypeColumn, row);
        if (type.empty())
            continue;
        const auto index = RuleTypeIndex(type);
        if (!index)
            throw Error("unkown valTypes.");
        const std::string& value = table.cell(RuleTable::ValueColumn, row);
        std::optional<Subnet> subnet;
        if (*index == 2)
            subnet = ParseSubnet(value);
        if (verdict)
            continue;

        bool holds = false;
        if (*index == 0 || *index == 1) {
            const auto matches = *index == 0
                                     ? PatternMatches(value, address.url, urlHasLineBreak)
                                     : PatternMatches(value, address.host, hostHasLineBreak);
            if (!matches) {
                verdict = RuleVerdict{RuleVerdict::Kind::Undecided, row, {}};
                continue;
            }
            holds = *matches;
        } else {
            std::uint32_t host = 0;
            bool valid = false;
            if (subnet && HostIsIpv4Literal(address.host, host, valid)) {
                holds = valid && (host & subnet->mask) == (subnet->network & subnet->mask);
            } else {
                const HostLookup& found = lookUp();
                if (found.state == HostLookup::State::Pending) {
                    verdict = RuleVerdict{RuleVerdict::Kind::NeedsLookup, row, {}};
                    continue;
                }
                if (subnet)
                    holds = found.state == HostLookup::State::Resolved &&
                            (found.address & subnet->mask) == (subnet->network & subnet->mask);
                else
                    holds = found.state == HostLookup::State::Unresolvable;
            }
        }
        if (holds)
            verdict =
                RuleVerdict{RuleVerdict::Kind::Rule, row, table.cell(RuleTable::ProxyColumn, row)};
    }
    return verdict.value_or(RuleVerdict{RuleVerdict::Kind::Direct, 0, {}});
}

} // namespace tarnwick
