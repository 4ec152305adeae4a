// Generated scripts evaluated by a real PAC engine (pactester, from libpacparser). Hosts are IP
// literals or names under .invalid, which never resolve, so nothing goes to the network.
#include "TestFiles.h"

#include "rules/CodePage.h"
#include "rules/PacScript.h"
#include "rules/RuleTable.h"
#include "rules/TextFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>

using namespace tarnwick;

namespace {

const char* const PacTester = "/usr/bin/pactester";

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

class PacEngine : public testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(PacTester))
            GTEST_SKIP() << PacTester << " is missing (Debian package libpacparser1): "
                         << "generated scripts are not evaluated";
    }

    // Writes the table's script as the program does, and returns what the engine answers for
    // the URL (the host taken from the URL unless given), or "error: ..." when it fails.
    std::string Evaluate(const RuleTable& table, const std::string& url,
                         const std::string& host = {}) {
        const std::string path = folder_.file("IETarnwick.pac");
        WriteTextFile(path, BuildPacScript(table));
        std::string command =
            std::string(PacTester) + " -p " + ShellQuoted(path) + " -u " + ShellQuoted(url);
        if (!host.empty())
            command += " -h " + ShellQuoted(host);
        command += " 2>&1";
        FILE* pipe = ::popen(command.c_str(), "r");
        if (!pipe)
            return "error: cannot start pactester";
        std::string output;
        char buffer[512];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, n);
        const int status = ::pclose(pipe);
        while (!output.empty() && (output.back() == '\n' || output.back() == '\r'))
            output.pop_back();
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return "error: " + output;
        return output;
    }

    static RuleTable Table(const std::vector<std::tuple<int, std::string, std::string>>& rules) {
        RuleTable table;
        table.ensureRowCount(static_cast<int>(rules.size()) + 2);
        int row = 1;
        for (const auto& [type, value, proxy] : rules) {
            table.SetRuleType(row, type);
            if (type != 3)
                table.setCell(1, row, value);
            table.setCell(2, row, proxy);
            ++row;
        }
        return table;
    }

    test::TempFolder folder_;
};

} // namespace

TEST_F(PacEngine, EmptyTableGoesDirect) {
    EXPECT_EQ(Evaluate(RuleTable(), "http://10.0.0.1/"), "DIRECT");
}

TEST_F(PacEngine, UrlPatternRule) {
    const RuleTable table = Table({{0, "http://*.a.invalid/pub/*", "10.0.0.1:8080"}});
    EXPECT_EQ(Evaluate(table, "http://www.a.invalid/pub/file.txt"), "PROXY 10.0.0.1:8080");
    EXPECT_EQ(Evaluate(table, "http://www.a.invalid/private/"), "DIRECT");
    EXPECT_EQ(Evaluate(table, "https://www.a.invalid/pub/x"), "DIRECT");
    const RuleTable single = Table({{0, "http://10.0.0.?/*", "10.0.0.9:1"}});
    EXPECT_EQ(Evaluate(single, "http://10.0.0.7/x"), "PROXY 10.0.0.9:1");
    EXPECT_EQ(Evaluate(single, "http://10.0.0.77/x"), "DIRECT");
}

TEST_F(PacEngine, HostPatternRule) {
    const RuleTable table = Table({{1, "*.b.invalid", "10.0.0.2:3128"}});
    EXPECT_EQ(Evaluate(table, "http://deep.www.b.invalid/x"), "PROXY 10.0.0.2:3128");
    EXPECT_EQ(Evaluate(table, "http://b.invalid.c.invalid/x"), "DIRECT");
    // The host is what the engine is told, not the URL's text.
    EXPECT_EQ(Evaluate(table, "http://10.0.0.1/x.b.invalid", "10.0.0.1"), "DIRECT");
}

TEST_F(PacEngine, SubnetRule) {
    const RuleTable table = Table({{2, "10.1.2.3;255.255.0.0", "10.0.0.3:80"}});
    EXPECT_EQ(Evaluate(table, "http://10.1.200.7/"), "PROXY 10.0.0.3:80");
    EXPECT_EQ(Evaluate(table, "http://10.2.0.1/"), "DIRECT");
    // The default subnet value, whose address is not the network itself.
    const RuleTable fresh = Table({{2, "192.168.0.1;255.255.255.0", "10.0.0.4:80"}});
    EXPECT_EQ(Evaluate(fresh, "http://192.168.0.200/"), "PROXY 10.0.0.4:80");
    EXPECT_EQ(Evaluate(fresh, "http://192.168.1.1/"), "DIRECT");
}

TEST_F(PacEngine, UnresolvableRule) {
    const RuleTable table = Table({{3, "", "10.0.0.5:8000"}});
    EXPECT_EQ(Evaluate(table, "http://nothing-here.invalid/"), "PROXY 10.0.0.5:8000");
    EXPECT_EQ(Evaluate(table, "http://10.9.8.7/"), "DIRECT");
}

TEST_F(PacEngine, FirstMatchingRuleInTableOrderWins) {
    const RuleTable table = Table({{1, "*.c.invalid", "10.0.0.1:1"},
                                   {3, "", "10.0.0.2:2"},
                                   {2, "10.0.0.0;255.0.0.0", "10.0.0.3:3"},
                                   {0, "*", "10.0.0.4:4"}});
    EXPECT_EQ(Evaluate(table, "http://x.c.invalid/"), "PROXY 10.0.0.1:1");
    EXPECT_EQ(Evaluate(table, "http://x.d.invalid/"), "PROXY 10.0.0.2:2");
    EXPECT_EQ(Evaluate(table, "http://10.20.30.40/"), "PROXY 10.0.0.3:3");
    EXPECT_EQ(Evaluate(table, "http://192.0.2.1/"), "PROXY 10.0.0.4:4");
}

TEST_F(PacEngine, StrayQuoteOrBackslashCannotInjectCode) {
    // Unescaped, this proxy text would end the rule's block and answer the attacker's proxy for
    // every request that no rule matches.
    const std::string injected = "x\";}if(1){return \"PROXY 10.6.6.6:66";
    const RuleTable table = Table({{1, "*.never.invalid", injected}, {1, "a\\", "10.0.0.2:2"}});
    EXPECT_EQ(Evaluate(table, "http://10.0.0.1/"), "DIRECT");
    EXPECT_EQ(Evaluate(table, "http://w.never.invalid/"), "PROXY " + injected);

    // A quote in a pattern is part of the pattern, literally, and so is a backslash in a proxy.
    const RuleTable quoted = Table({{0, "http://q.invalid/\"x\"*", "10.0.0.3:3"},
                                    {2, "10.0.0.1;255.255.255.0", "10.0.0.4:4\";\\"}});
    EXPECT_EQ(Evaluate(quoted, "http://q.invalid/\"x\"/y"), "PROXY 10.0.0.3:3");
    EXPECT_EQ(Evaluate(quoted, "http://q.invalid/x/y"), "DIRECT");
    EXPECT_EQ(Evaluate(quoted, "http://10.0.0.9/"), "PROXY 10.0.0.4:4\";\\");
}

TEST_F(PacEngine, GbkTextsKeepTheScriptWhole) {
    // A character whose second byte is a backslash, a lead byte with nothing after it, a lead
    // byte before the closing quote, line breaks: the script still evaluates.
    const RuleTable table = Table({{1, "\x81\x5C", "10.0.0.1:1"},
                                   {1, "\x81", "10.0.0.2:2"},
                                   {0, "a\x81\"", "10.0.0.3:3"},
                                   {1, "x\r\ny", "10.0.0.4:4"},
                                   {1, GbkFromUtf8("*.网址.invalid"), "10.0.0.5:5"},
                                   {1, "*.e.invalid", "10.0.0.6:6"}});
    EXPECT_EQ(Evaluate(table, "http://w.e.invalid/"), "PROXY 10.0.0.6:6");
    EXPECT_EQ(Evaluate(table, "http://10.0.0.1/"), "DIRECT");
}
