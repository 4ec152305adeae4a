// The rule tester against a real PAC engine on seeded random tables and addresses: patterns
// with wildcards, dots, escapes and GBK bytes, subnets with odd masks, literal IPv4 hosts,
// names under .invalid (never resolvable) and localhost. Nothing goes beyond this machine:
// localhost is in the hosts file, and the .invalid names are ones the resolver refuses before
// asking a name server (which may drop a query and keep the test waiting for seconds).
#include "PacparserCompare.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace tarnwick;

namespace {

class RandomCases {
public:
    explicit RandomCases(unsigned seed) : random_(seed) {}

    int Pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(random_); }
    bool Chance(int percent) { return Pick(100) < percent; }
    template <typename T, std::size_t N> const T& OneOf(const T (&items)[N]) {
        return items[Pick(static_cast<int>(N))];
    }

    std::string Octet() {
        if (Chance(5))
            return std::to_string(256 + Pick(744)); // no address: more than 255
        std::string octet = std::to_string(Pick(4) == 0 ? Pick(256) : OneOf({0, 1, 10, 127, 255}));
        return Chance(5) ? "0" + octet : octet;
    }

    std::string Host() {
        switch (Pick(8)) {
        case 0:
        case 1:
        case 2:
            return Octet() + "." + Octet() + "." + Octet() + "." + Octet();
        case 3:
            return OneOf({"localhost", "LocalHost", "127.0.0.1", "1.2.3"});
        case 4:
            return "[" + std::string(OneOf({"::1", "fe80::1"})) + "]";
        default:
            return OneOf({"a..invalid", "-www.Example.invalid", "x y.test.invalid",
                          "\xD6\xD0.invalid", "ab.\xB2\xE2.invalid"});
        }
    }

    // No backslash and no quote: pacparser hands the URL to its engine inside quotes.
    std::string PathText() {
        static const char* const pieces[] = {
            "a", "b", "x",   ".", "/", "-",        "_",        "=",          "?",  "&",
            "*", "+", "%20", "~", "$", "\xD6\xD0", "\x95\x40", "index.html", "q=1"};
        std::string text;
        for (int n = Pick(8); n > 0; --n)
            text += OneOf(pieces);
        return text;
    }

    TestAddress Address() {
        std::string url = OneOf({"http://", "https://", "ftp://", "HTTP://", ""});
        if (Chance(10))
            url += "user:pw@";
        url += Host();
        if (Chance(20))
            url += ":" + std::to_string(Pick(65536));
        if (Chance(80))
            url += "/" + PathText();
        return ParseTestAddress(url);
    }

    // A pattern made from the subject, so that some match and most nearly do.
    std::string Pattern(const std::string& subject) {
        std::string pattern;
        if (Chance(10)) {
            pattern = PathText();
        } else {
            for (std::size_t i = 0; i < subject.size(); ++i) {
                const int roll = Pick(100);
                if (roll < 6) {
                    pattern += '*';
                    i += Pick(6); // the star swallows a run
                } else if (roll < 10) {
                    pattern += '?';
                } else if (roll < 12) {
                    pattern += "\\" + std::string(1, OneOf({'.', '*', '?', '-', '/', '\\', '"'}));
                } else if (roll < 13) {
                    pattern += OneOf({"\xD6\xD0", "\x95\x5C", "\x81", "\"", "+"});
                } else if (roll < 14) {
                    pattern += subject[i];
                    pattern += '+';
                } else {
                    pattern += subject[i];
                }
            }
        }
        if (Chance(5))
            pattern += '\\';
        if (Chance(5))
            pattern = "*" + pattern;
        return pattern;
    }

    std::string Subnet(const std::string& host) {
        std::string address =
            Chance(40) && host.find_first_not_of("0123456789.") == std::string::npos
                ? host
                : (Chance(30) ? "127.0.0.1"
                              : Octet() + "." + Octet() + "." + Octet() + "." + Octet());
        const std::string mask =
            OneOf({"255.255.255.0", "255.0.0.0", "255.255.240.0", "0.0.0.0", "255.254.255.0",
                   " 255.255.0.0", "0xff.0XFF.0.0", "$ff.x0.0.0", "-1.-1.0.0", "255.255.255.255",
                   "255.255.252.0", "254.0.0.0", "4294967295.0.0.0", "255.255.0", "0x7f.0.0.1"});
        if (Chance(2))
            return address; // no ";": a conversion error, as OK reports it
        return address + ";" + mask;
    }

    RuleTable Table(const TestAddress& address) {
        RuleTable table;
        const int rules = 1 + Pick(5);
        table.ensureRowCount(rules + 2);
        for (int row = 1; row <= rules; ++row) {
            const int roll = Pick(100);
            if (roll < 3) {
                table.setCell(0, row, Chance(50) ? "URL" : "");
            } else {
                const int type = roll < 35 ? 0 : roll < 65 ? 1 : roll < 90 ? 2 : 3;
                table.SetRuleType(row, type);
                if (type == 0)
                    table.setCell(1, row, Pattern(address.url));
                else if (type == 1)
                    table.setCell(1, row, Pattern(address.host));
                else if (type == 2)
                    table.setCell(1, row, Subnet(address.host));
            }
            table.setCell(2, row, "p" + std::to_string(row) + ":80");
        }
        return table;
    }

private:
    std::mt19937 random_;
};

std::string Cell(const RuleTable& table, int column, int row) {
    return table.cell(column, row);
}

TEST(RuleTesterPacparser, EqualToThePacEngineOnRandomTables) {
    constexpr unsigned Seed = 19;
    constexpr int Cases = 11000;
    RandomCases random(Seed);
    test::SystemResolver resolver;
    int matched = 0, errors = 0, undecided = 0;
    for (int n = 0; n < Cases; ++n) {
        const TestAddress address = random.Address();
        const RuleTable table = random.Table(address);
        const test::Answers answers = test::Compare(table, address, resolver);
        if (answers.tester == "undecided") {
            ++undecided;
            continue;
        }
        matched += answers.engine.rfind("PROXY", 0) == 0;
        errors += answers.engine.rfind("error", 0) == 0;
        if (answers.engine != answers.tester) {
            std::string rows;
            for (int row = 1; row < table.rowCount(); ++row)
                rows += "\n  [" + Cell(table, 0, row) + "] [" + Cell(table, 1, row) + "] [" +
                        Cell(table, 2, row) + "]";
            ADD_FAILURE() << "case " << n << " (seed " << Seed << "): url " << address.url
                          << " host " << address.host << "\n engine: " << answers.engine
                          << "\n tester: " << answers.tester << rows;
        }
    }
    std::printf("%d cases: %d proxied, %d errors, %d not followed\n", Cases, matched, errors,
                undecided);
    // The cases must reach every outcome, not only the easy one.
    EXPECT_GT(matched, Cases / 4);
    EXPECT_GT(errors, 0);
    EXPECT_LT(errors, Cases / 5);
    EXPECT_GE(Cases - undecided, 10000); // compared
}

} // namespace
