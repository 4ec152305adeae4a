#include "rules/PacScript.h"
#include "rules/CodePage.h"
#include "rules/Error.h"
#include "rules/RuleTable.h"

#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

const std::string Head = "function FindProxyForURL(url, host){\r\n";
const std::string Tail = "return \"DIRECT\";\r\n}";

std::string RuleLines(const std::string& condition, const std::string& proxy) {
    return "if(" + condition + "){\r\nreturn \"PROXY " + proxy + "\";\r\n}\r\n";
}

RuleTable OneRule(int type, const std::string& value, const std::string& proxy) {
    RuleTable table;
    table.SetRuleType(1, type);
    table.setCell(1, 1, value);
    table.setCell(2, 1, proxy);
    return table;
}

std::string ConvertMessage(const std::string& piece) {
    return "'" + piece + "' is not a valid integer value";
}

// The message of the error that fn throws, or "" when it throws none.
template <typename Fn> std::string ErrorOf(Fn fn) {
    try {
        fn();
    } catch (const ConvertError& e) {
        return std::string("convert: ") + e.what();
    } catch (const Error& e) {
        return e.what();
    }
    return "";
}

} // namespace

TEST(PacScript, EmptyTableIsThreeLines) {
    RuleTable table;
    table.setCell(1, 2, "value without type");
    table.setCell(2, 3, "10.0.0.1:1");
    table.ensureRowCount(40);
    EXPECT_EQ(BuildPacScript(table), "function FindProxyForURL(url, host){\r\n"
                                     "return \"DIRECT\";\r\n"
                                     "}");
}

TEST(PacScript, EachRuleTypeGivesItsCondition) {
    RuleTable table;
    table.SetRuleType(1, 0);
    table.setCell(1, 1, "http://*.a.invalid/*");
    table.setCell(2, 1, "10.0.0.1:80");
    table.SetRuleType(2, 1);
    table.setCell(1, 2, "*.b.invalid");
    table.setCell(2, 2, "10.0.0.2:81");
    table.SetRuleType(3, 2);
    table.setCell(2, 3, "10.0.0.3:82");
    table.SetRuleType(4, 3);
    table.setCell(1, 4, "anything at all \" \\"); // the value of this type is never used
    table.setCell(2, 4, "10.0.0.4:83");
    EXPECT_EQ(BuildPacScript(table),
              Head + RuleLines("shExpMatch(url,\"http://*.a.invalid/*\")", "10.0.0.1:80") +
                  RuleLines("shExpMatch(host,\"*.b.invalid\")", "10.0.0.2:81") +
                  RuleLines("isInNet(host, \"192.168.0.0\", \"255.255.255.0\")", "10.0.0.3:82") +
                  RuleLines("!isResolvable(host)", "10.0.0.4:83") + Tail);
}

TEST(PacScript, EmptyValueAndProxyStayEmpty) {
    EXPECT_EQ(BuildPacScript(OneRule(0, "", "")),
              Head + RuleLines("shExpMatch(url,\"\")", "") + Tail);
    EXPECT_EQ(BuildPacScript(OneRule(1, "", "")),
              Head + RuleLines("shExpMatch(host,\"\")", "") + Tail);
}

TEST(PacScript, TextsGoInUntrimmedAndGbkUnchanged) {
    const std::string gbk = GbkFromUtf8("*.网址.invalid ");
    EXPECT_EQ(BuildPacScript(OneRule(1, gbk, " 10.0.0.1:80 ")),
              Head + RuleLines("shExpMatch(host,\"" + gbk + "\")", " 10.0.0.1:80 ") + Tail);
}

TEST(PacScript, SubnetNetworkAndMaskTextAsWritten) {
    RuleTable table;
    table.SetRuleType(1, 2);
    table.setCell(1, 1, "10.1.2.3; 255.255.0.0");
    table.SetRuleType(2, 2);
    table.setCell(1, 2, "300.1.1.1;255.255.255.0");
    table.SetRuleType(3, 2);
    table.setCell(1, 3, "-1.0x10.$ff.7;255.255.x0F.0X7");
    EXPECT_EQ(BuildPacScript(table),
              Head + RuleLines("isInNet(host, \"10.1.0.0\", \" 255.255.0.0\")", "") +
                  RuleLines("isInNet(host, \"44.1.1.0\", \"255.255.255.0\")", "") +
                  RuleLines("isInNet(host, \"255.16.15.7\", \"255.255.x0F.0X7\")", "") + Tail);
}

TEST(PacScript, MalformedSubnetNamesThePiece) {
    const auto subnetError = [](const std::string& value) {
        return ErrorOf([&] { BuildPacScript(OneRule(2, value, "p")); });
    };
    EXPECT_EQ(subnetError("192.168.0.1"), "convert: " + ConvertMessage("")); // no ";"
    EXPECT_EQ(subnetError("192.168.0.1;"), "convert: " + ConvertMessage(""));
    EXPECT_EQ(subnetError("10.0.0.1;255.0.0.0;8"), "convert: " + ConvertMessage("0;8"));
    EXPECT_EQ(subnetError("10.0.0.1 ;255.0.0.0"), "convert: " + ConvertMessage("1 "));
    EXPECT_EQ(subnetError("a.b.c.d;e.f.g.h"), "convert: " + ConvertMessage("a")); // address first
    EXPECT_EQ(subnetError("1.2.3.4;255.255.255.256x"), "convert: " + ConvertMessage("256x"));
    EXPECT_EQ(subnetError(""), "convert: " + ConvertMessage(""));
}

TEST(PacScript, FirstFaultyRowDecidesTheError) {
    RuleTable table;
    table.setCell(0, 1, "hand-edited");
    table.SetRuleType(2, 2);
    table.setCell(1, 2, "bad");
    EXPECT_EQ(ErrorOf([&] { BuildPacScript(table); }), "unkown valTypes.");
    table.setCell(0, 1, "");
    EXPECT_EQ(ErrorOf([&] { BuildPacScript(table); }), "convert: " + ConvertMessage(""));
    // A type text that differs only in letter case or by a blank is unknown as well.
    table.setCell(0, 2, RuleTypeNames()[0] + " ");
    EXPECT_EQ(ErrorOf([&] { BuildPacScript(table); }), "unkown valTypes.");
    table.setCell(0, 2, "url");
    EXPECT_EQ(ErrorOf([&] { BuildPacScript(table); }), "unkown valTypes.");
}

TEST(PacScriptEscaping, QuoteBackslashAndLineBreaksAreEscaped) {
    EXPECT_EQ(BuildPacScript(OneRule(0, "a\"b\\c", "x\"y\\")),
              Head + RuleLines("shExpMatch(url,\"a\\\"b\\\\c\")", "x\\\"y\\\\") + Tail);
    EXPECT_EQ(BuildPacScript(OneRule(1, std::string("a\r\nb\0c", 6), "\t")),
              Head + RuleLines("shExpMatch(host,\"a\\r\\nb\\x00c\")", "\t") + Tail);
}

TEST(PacScriptEscaping, GbkCharactersStayUnlessTheirSecondByteIsBackslash) {
    // "子网": lead and trail bytes above 0x7F, written as they are.
    const std::string subnet = "\xD7\xD3\xCD\xF8";
    EXPECT_EQ(BuildPacScript(OneRule(0, subnet, subnet)),
              Head + RuleLines("shExpMatch(url,\"" + subnet + "\")", subnet) + Tail);
    // U+4E57 is GBK 81 5C: a reader that does not know GBK sees a '\' there.
    const std::string withBackslash = "\x81\x5C";
    ASSERT_EQ(Utf8FromGbk(withBackslash), "\xE4\xB9\x97");
    EXPECT_EQ(BuildPacScript(OneRule(0, withBackslash + "\"", "p")),
              Head + RuleLines("shExpMatch(url,\"\\u4E57\\\"\")", "p") + Tail);
}

TEST(PacScriptEscaping, LeadByteWithoutSecondByteCannotSwallowTheQuote) {
    // A lead byte at the end, or before a byte that cannot follow it, is written as \xHH.
    EXPECT_EQ(BuildPacScript(OneRule(0, "a\x81", "\xFE")),
              Head + RuleLines("shExpMatch(url,\"a\\x81\")", "\\xFE") + Tail);
    EXPECT_EQ(BuildPacScript(OneRule(0, "\x81\"x", "\x90\x7F")),
              Head + RuleLines("shExpMatch(url,\"\\x81\\\"x\")", "\\x90\x7F") + Tail);
    // Single bytes that lead nothing stay.
    EXPECT_EQ(BuildPacScript(OneRule(0, "\x80\xFF", "p")),
              Head + RuleLines("shExpMatch(url,\"\x80\xFF\")", "p") + Tail);
}

TEST(PacScript, BuildsNothingOfItsOwnBetweenCalls) {
    RuleTable first = OneRule(2, "10.9.9.9;255.0.0.0", "a");
    RuleTable second = OneRule(2, "172.16.5.4;255.255.0.0", "b");
    const std::string once = BuildPacScript(first);
    BuildPacScript(second);
    EXPECT_EQ(BuildPacScript(first), once);
    EXPECT_EQ(BuildPacScript(second),
              Head + RuleLines("isInNet(host, \"172.16.0.0\", \"255.255.0.0\")", "b") + Tail);
}

TEST(DottedQuad, PiecesAndWholeNumbers) {
    using Quad = std::array<std::int32_t, 4>;
    EXPECT_EQ(ParseDottedQuad("192.168.0.1"), (Quad{192, 168, 0, 1}));
    EXPECT_EQ(ParseDottedQuad("  1. +2.-3.0004"), (Quad{1, 2, -3, 4}));
    EXPECT_EQ(ParseDottedQuad("$ff.x1A.X1a.0xFFFFFFFF"), (Quad{255, 26, 26, -1}));
    EXPECT_EQ(ParseDottedQuad("0X80000000.2147483647.-2147483648.0"),
              (Quad{INT32_MIN, INT32_MAX, INT32_MIN, 0}));
    EXPECT_EQ(ParseDottedQuad("0.0.0.00000000000000000000000000000000007"), (Quad{0, 0, 0, 7}));
    EXPECT_EQ(ParseDottedQuad("1.1.1.0x00000000000000000000000000000000F"), (Quad{1, 1, 1, 15}));
}

TEST(DottedQuad, FirstBadPieceIsNamedAsCut) {
    const auto pieceError = [](const std::string& text) {
        return ErrorOf([&] { ParseDottedQuad(text); });
    };
    EXPECT_EQ(pieceError("1"), "convert: " + ConvertMessage(""));
    EXPECT_EQ(pieceError("1.2"), "convert: " + ConvertMessage(""));
    EXPECT_EQ(pieceError("1.2.3"), "convert: " + ConvertMessage(""));
    EXPECT_EQ(pieceError("1.2.3."), "convert: " + ConvertMessage(""));
    EXPECT_EQ(pieceError("1.2.3.4.5"), "convert: " + ConvertMessage("4.5"));
    EXPECT_EQ(pieceError(" 1 .2.3.4"), "convert: " + ConvertMessage(" 1 "));
    EXPECT_EQ(pieceError("1.2.3.4 "), "convert: " + ConvertMessage("4 "));
    EXPECT_EQ(pieceError("1.\t2.3.4"), "convert: " + ConvertMessage("\t2"));
    EXPECT_EQ(pieceError("1.2.x.y"), "convert: " + ConvertMessage("x"));
    EXPECT_EQ(pieceError("1.2.3.y"), "convert: " + ConvertMessage("y"));
    // A zero byte is part of the piece (and ends the message as the error box shows it).
    EXPECT_EQ(pieceError(std::string("1.2\0.3.4", 8)), "convert: '2");
}

TEST(WholeNumber, TheRuleOfTheOctets) {
    std::int32_t v = 0;
    const auto ok = [&](const char* text, std::int32_t expected) {
        v = 12345;
        return ParseWholeNumber(text, v) && v == expected;
    };
    const auto bad = [&](const char* text) { return !ParseWholeNumber(text, v); };
    EXPECT_TRUE(ok("0", 0));
    EXPECT_TRUE(ok("   +17", 17));
    EXPECT_TRUE(ok("-0", 0));
    EXPECT_TRUE(ok("2147483647", INT32_MAX));
    EXPECT_TRUE(ok("-2147483648", INT32_MIN));
    EXPECT_TRUE(ok("$7fffffff", INT32_MAX));
    EXPECT_TRUE(ok("xFFFFFFFE", -2));
    EXPECT_TRUE(ok("0x0", 0));
    EXPECT_TRUE(ok("0xaBc", 0xABC));
    EXPECT_TRUE(ok("007", 7));
    EXPECT_TRUE(bad(""));
    EXPECT_TRUE(bad("   "));
    EXPECT_TRUE(bad("+"));
    EXPECT_TRUE(bad("-"));
    EXPECT_TRUE(bad("$"));
    EXPECT_TRUE(bad("0x"));
    EXPECT_TRUE(bad("x"));
    EXPECT_TRUE(bad("2147483648"));
    EXPECT_TRUE(bad("-2147483649"));
    EXPECT_TRUE(bad("99999999999999999999"));
    EXPECT_TRUE(bad("$100000000"));
    EXPECT_TRUE(bad("0x1FFFFFFFF"));
    EXPECT_TRUE(bad("-$1"));
    EXPECT_TRUE(bad("+0x1"));
    EXPECT_TRUE(bad("1 "));
    EXPECT_TRUE(bad("\t1"));
    EXPECT_TRUE(bad("1e3"));
    EXPECT_TRUE(bad("0x1g"));
    EXPECT_TRUE(bad("--1"));
    EXPECT_TRUE(bad("0b1"));
    EXPECT_TRUE(bad("١")); // only ASCII digits
}

TEST(NetworkAddressTest, AndsOctetsAndWritesSignedDecimal) {
    EXPECT_EQ(NetworkAddress("192.168.0.1", "255.255.255.0"), "192.168.0.0");
    EXPECT_EQ(NetworkAddress("300.1.1.1", "255.255.255.0"), "44.1.1.0");
    EXPECT_EQ(NetworkAddress("-1.-1.-1.-1", "255.255.255.255"), "255.255.255.255");
    EXPECT_EQ(NetworkAddress("-1.-1.-1.-1", "-1.-2.0x80000000.007"), "-1.-2.-2147483648.7");
    EXPECT_EQ(ErrorOf([] { NetworkAddress("x.1.1.1", "y.1.1.1"); }),
              "convert: " + ConvertMessage("x"));
    EXPECT_EQ(ErrorOf([] { NetworkAddress("1.1.1.1", "1.1.1"); }),
              "convert: " + ConvertMessage(""));
}
