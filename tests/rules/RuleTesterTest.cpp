// The rule tester: addresses as the browser hands them over, shExpMatch as the runtime does
// it, and the first matching row of the table.
#include "rules/RuleTester.h"
#include "rules/CodePage.h"
#include "rules/Error.h"
#include "rules/RuleTable.h"

#include <gtest/gtest.h>

#include <map>
#include <tuple>
#include <vector>

using namespace tarnwick;

namespace {

TEST(RuleTesterAddress, HostAsTheBrowserPassesIt) {
    const struct {
        const char* text;
        const char* url;
        const char* host;
    } cases[] = {
        {"Example.COM/Path", "http://example.com/Path", "example.com"},
        {"  HTTPS://User:PW@Host.Test:8443/X?Y#Z  ", "https://User:PW@host.test:8443/X?Y#Z",
         "host.test"},
        {"http://[::FFFF]:8080/", "http://[::ffff]:8080/", "::ffff"},
        {"a.test:8080@b", "http://a.test:8080@b", "b"},
        {"http://a.test/x@y:1", "http://a.test/x@y:1", "a.test"},
        {"http://[::1]:8080/", "http://[::1]:8080/", "::1"},
        {"localhost:3128", "http://localhost:3128", "localhost"},
        {"a@b@c.d/x@y", "http://a@b@c.d/x@y", "c.d"},
        {"ftp://10.0.0.1?q=1", "ftp://10.0.0.1?q=1", "10.0.0.1"},
        {"1http://x", "http://1http://x", "1http"}, // no scheme begins with a digit
    };
    for (const auto& c : cases) {
        const TestAddress address = ParseTestAddress(c.text);
        EXPECT_EQ(address.url, c.url) << c.text;
        EXPECT_EQ(address.host, c.host) << c.text;
    }
}

TEST(RuleTesterPattern, WildcardsAndWhatTheRuntimeMakesOfTheRest) {
    const std::string zhong = GbkFromUtf8("中");
    const struct {
        std::string pattern;
        std::string subject;
        std::optional<bool> matches;
    } cases[] = {
        {"*.example.com", "www.example.com", true},
        {"*.example.com", "example.com", false},
        {"a.c", "abc", false}, // a dot is a dot
        {"a?c", "abc", true},
        {"a?c", "ac", false},
        {"", "", true},
        {"", "x", false},
        {"a*b*c", "axxbyyc", true},
        {"a*b*c", "axxbyy", false},
        {"*.test", "*a.test", true}, // a "*" in the subject is no wildcard
        // The runtime builds a regular expression: "+" repeats, "^" and "$" anchor.
        {"a+", "aaa", true},
        {"xa+", "xa+", false},
        {"^a*", "abc", true},
        {"a$b", "a$b", false},
        // A trailing backslash escapes the closing "$": a literal "$", no end anchor.
        {"ab\\", "ab$tail", true},
        {"ab\\", "ab", false},
        // "\*" becomes "\.*": any number of dots.
        {"x\\*", "x...", true},
        {"x\\*", "x*", false},
        // "\." becomes "\\.": a backslash, then any character.
        {"x\\.", "x\\y", true},
        {"a\\-b", "a-b", true},
        {zhong + "*", zhong + GbkFromUtf8("文"), true},
        {"?", zhong, false}, // the subject is read byte by byte
        {"??", zhong, true},
        // Syntax the tester does not follow.
        {"a(b", "a(b", std::nullopt},
        {"[ab]", "a", std::nullopt},
        {"a|b", "a", std::nullopt},
        {"\\d", "1", std::nullopt},
        {"+a", "a", std::nullopt},
        {"a{2}", "aa", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ScriptPatternMatches(c.pattern, c.subject), c.matches)
            << "'" << c.pattern << "' on '" << c.subject << "'";
}

// Answers from a table of hosts; counts the questions.
class FakeResolver : public HostResolver {
public:
    HostLookup Lookup(const std::string& host) override {
        ++asked;
        const auto found = answers.find(host);
        return found == answers.end() ? HostLookup{HostLookup::State::Unresolvable} : found->second;
    }
    std::map<std::string, HostLookup> answers;
    int asked = 0;
};

HostLookup Resolved(std::uint32_t address) {
    return {HostLookup::State::Resolved, address};
}

// type -1 leaves the row's type empty; a type of 4 writes a text that is no type.
RuleTable Table(const std::vector<std::tuple<int, std::string, std::string>>& rules) {
    RuleTable table;
    table.ensureRowCount(static_cast<int>(rules.size()) + 2);
    int row = 1;
    for (const auto& [type, value, proxy] : rules) {
        if (type == 4)
            table.setCell(0, row, "URL");
        else if (type >= 0)
            table.SetRuleType(row, type);
        table.setCell(1, row, value);
        table.setCell(2, row, proxy);
        ++row;
    }
    return table;
}

RuleVerdict Evaluate(const RuleTable& table, const std::string& text, HostResolver& resolver) {
    return EvaluateRules(table, ParseTestAddress(text), resolver);
}

TEST(RuleTesterTable, FirstMatchingRowWins) {
    FakeResolver resolver;
    const RuleTable table = Table({{1, "*.other.test", "p1:1"},
                                   {-1, "*", "ignored:1"},
                                   {0, "http://www.site.test/*", "p3:3"},
                                   {1, "*.site.test", "p4:4"}});
    const RuleVerdict verdict = Evaluate(table, "www.site.test/index", resolver);
    EXPECT_EQ(verdict.kind, RuleVerdict::Kind::Rule);
    EXPECT_EQ(verdict.row, 3);
    EXPECT_EQ(verdict.proxy, "p3:3");

    EXPECT_EQ(Evaluate(table, "https://www.site.test/", resolver).row, 4);
    EXPECT_EQ(Evaluate(table, "nothing.test", resolver).kind, RuleVerdict::Kind::Direct);
    EXPECT_EQ(resolver.asked, 0);
}

TEST(RuleTesterTable, ErrorsOfTheScriptBuilderWhereverTheFaultyRowIs) {
    FakeResolver resolver;
    // The matching row comes first; OK would still fail on the later row.
    const auto message = [&](const RuleTable& table) {
        try {
            Evaluate(table, "a.test", resolver);
        } catch (const Error& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(message(Table({{1, "a.test", "p:1"}, {4, "", "p:2"}})), "unkown valTypes.");
    EXPECT_EQ(message(Table({{1, "a.test", "p:1"}, {2, "10.0.0.1;255.0.0.0;8", "p:2"}})),
              "'0;8' is not a valid integer value");
    EXPECT_EQ(message(Table({{2, "10.0.0.1", "p:1"}, {4, "", "p:2"}})),
              "'' is not a valid integer value");
}

TEST(RuleTesterTable, SubnetsAsTheScriptTestsThem) {
    FakeResolver resolver;
    resolver.answers["named.test"] = Resolved(0x0A010203);
    const struct {
        std::string value;
        std::string address;
        bool inNet;
    } cases[] = {
        {"192.168.0.1;255.255.255.0", "192.168.0.77", true},
        {"192.168.0.1;255.255.255.0", "192.168.1.77", false},
        {"10.1.2.3;255.255.240.0", "10.1.15.1", true},
        {"10.1.2.3;255.255.240.0", "10.1.16.1", false},
        {"10.0.0.1;255.0.0.0", "named.test", true},
        {"10.0.0.1;255.0.0.0", "unknown.invalid", false},
        {"300.1.1.1;255.255.255.0", "44.1.1.9", true}, // octets are not range-checked
        {"10.0.0.1;255.0.0.0", "010.9.9.9", true},     // digits, leading zeros included
        {"10.0.0.1;255.0.0.0", "10.9.9.256", false},   // a literal beyond 255 is no address
        {"10.0.0.1; 255.0xFF.0.0", "10.0.9.9", true},
        {"10.0.0.1; 255.0xFF.0.0", "10.1.9.9", false},
        // "$ff" is no number to the script: that octet of the mask is 0.
        {"10.0.0.1;$ff.0.0.0", "99.1.1.1", true},
        {"10.0.0.1;-1.0.0.0", "10.200.1.1", true},
    };
    for (const auto& c : cases) {
        const RuleVerdict verdict =
            Evaluate(Table({{2, c.value, "p:1"}}), "http://" + c.address + "/", resolver);
        EXPECT_EQ(verdict.kind == RuleVerdict::Kind::Rule, c.inNet) << c.value << " " << c.address;
    }
}

TEST(RuleTesterTable, LookupsOnlyWhereARuleNeedsThem) {
    FakeResolver resolver;
    resolver.answers["pending.test"] = HostLookup{HostLookup::State::Pending};
    resolver.answers["named.test"] = Resolved(0x7F000001);
    const RuleTable table =
        Table({{1, "*.site.test", "p1:1"}, {2, "10.0.0.1;255.0.0.0", "p2:2"}, {3, "", "p3:3"}});

    // A literal IPv4 host is used as it is; the unresolvable-address rule still asks.
    EXPECT_EQ(Evaluate(table, "10.1.1.1", resolver).row, 2);
    EXPECT_EQ(resolver.asked, 0);
    EXPECT_EQ(Evaluate(table, "www.site.test", resolver).row, 1);
    EXPECT_EQ(resolver.asked, 0);

    const RuleVerdict pending = Evaluate(table, "pending.test", resolver);
    EXPECT_EQ(pending.kind, RuleVerdict::Kind::NeedsLookup);
    EXPECT_EQ(pending.row, 2);

    EXPECT_EQ(Evaluate(table, "named.test", resolver).kind, RuleVerdict::Kind::Direct);
    EXPECT_EQ(Evaluate(table, "gone.invalid", resolver).row, 3);
    // One question per evaluation, even with two rules that need the answer.
    resolver.asked = 0;
    Evaluate(table, "gone.invalid", resolver);
    EXPECT_EQ(resolver.asked, 1);
}

TEST(RuleTesterTable, PatternTheTesterCannotFollowIsReportedNotGuessed) {
    FakeResolver resolver;
    const RuleVerdict verdict = Evaluate(
        Table({{1, "x.test", "p1:1"}, {0, "http://(a|b).test/*", "p2:2"}}), "a.test", resolver);
    EXPECT_EQ(verdict.kind, RuleVerdict::Kind::Undecided);
    EXPECT_EQ(verdict.row, 2);
}

} // namespace
