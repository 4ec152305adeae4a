#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

class RuleTable;

// A web address as the browser hands it to FindProxyForURL: the URL, and its host in lower
// case without port, user info or the brackets of an IPv6 address. A text without a scheme is
// taken as "http://" + text.
struct TestAddress {
    std::string url;
    std::string host;
};
TestAddress ParseTestAddress(std::string_view text);

// What a name lookup of the host gave. Pending: not known yet, the tester stops and says so.
struct HostLookup {
    enum class State { Resolved, Unresolvable, Pending };
    State state = State::Pending;
    // The IPv4 address, first octet in the top byte, when resolved.
    std::uint32_t address = 0;
};

// Name resolution for the tester, asked only when a rule needs it (a subnet rule for a host
// that is no IPv4 literal, or an unresolvable-address rule).
class HostResolver {
public:
    virtual ~HostResolver() = default;
    virtual HostLookup Lookup(const std::string& host) = 0;
};

struct RuleVerdict {
    enum class Kind {
        Rule,        // row decides: "PROXY " + proxy
        Direct,      // no rule matches
        NeedsLookup, // a rule before any match needs the host's address, not known yet
        Undecided,   // row's pattern uses regular-expression syntax the tester cannot follow
    };
    Kind kind = Kind::Direct;
    int row = 0;
    std::string proxy;
};

// Evaluates the table for the address exactly as the script BuildPacScript writes for it:
// rows in order, the first whose condition holds wins. Throws the error BuildPacScript would
// throw for the table (an unknown type text, a malformed subnet value), wherever in the table
// the faulty row is.
RuleVerdict EvaluateRules(const RuleTable& table, const TestAddress& address,
                          HostResolver& resolver);

// shExpMatch(subject, pattern) of the browsers' PAC runtime, with the pattern as the script's
// literal holds it and the subject read byte by byte. Nothing when the pattern holds regular-
// expression syntax beyond what the runtime's translation of "*", "?" and "." produces and
// escapes of punctuation.
std::optional<bool> ScriptPatternMatches(std::string_view pattern, std::string_view subject);

} // namespace tarnwick
