#pragma once

// One table and address, answered by the rule tester and by a real PAC engine (libpacparser)
// running the script OK would write. Both resolve names through the system's resolver (IPv4),
// as pacparser's dnsResolve does.
#include "rules/Error.h"
#include "rules/PacScript.h"
#include "rules/RuleTable.h"
#include "rules/RuleTester.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <pacparser.h>

#include <cstdarg>
#include <cstdlib>
#include <map>
#include <string>

namespace tarnwick::test {

class SystemResolver : public HostResolver {
public:
    HostLookup Lookup(const std::string& host) override {
        const auto cached = cache_.find(host);
        if (cached != cache_.end())
            return cached->second;
        addrinfo hints{};
        hints.ai_family = AF_INET;
        addrinfo* found = nullptr;
        HostLookup lookup{HostLookup::State::Unresolvable};
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0 && found) {
            const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
            lookup = {HostLookup::State::Resolved, ntohl(in->sin_addr.s_addr)};
            ::freeaddrinfo(found);
        }
        return cache_[host] = lookup;
    }

private:
    std::map<std::string, HostLookup> cache_;
};

inline int QuietPacparser(const char*, va_list) {
    return 0;
}

// pacparser keeps one engine per process.
inline void StartPacparser() {
    static const bool started = [] {
        pacparser_set_error_printer(QuietPacparser);
        return pacparser_init() != 0;
    }();
    if (!started)
        std::abort();
}

struct Answers {
    std::string engine; // what FindProxyForURL returned, or "error: ..."
    std::string tester; // the same form from the tester; "undecided" where it cannot follow
};

inline Answers Compare(const RuleTable& table, const TestAddress& address,
                       SystemResolver& resolver) {
    StartPacparser();
    Answers answers;
    std::string script;
    try {
        script = BuildPacScript(table);
    } catch (const Error& e) {
        answers.engine = std::string("error: ") + e.what();
    }
    if (answers.engine.empty()) {
        if (!pacparser_parse_pac_string(script.c_str())) {
            answers.engine = "error: script";
        } else if (char* proxy = pacparser_find_proxy(address.url.c_str(), address.host.c_str())) {
            answers.engine = proxy;
        } else {
            answers.engine = "error: FindProxyForURL";
        }
    }
    try {
        const RuleVerdict verdict = EvaluateRules(table, address, resolver);
        switch (verdict.kind) {
        case RuleVerdict::Kind::Rule:
            answers.tester = "PROXY " + verdict.proxy;
            break;
        case RuleVerdict::Kind::Direct:
            answers.tester = "DIRECT";
            break;
        case RuleVerdict::Kind::NeedsLookup:
            answers.tester = "needs lookup";
            break;
        case RuleVerdict::Kind::Undecided:
            answers.tester = "undecided";
            break;
        }
    } catch (const Error& e) {
        answers.tester = std::string("error: ") + e.what();
    }
    return answers;
}

} // namespace tarnwick::test
