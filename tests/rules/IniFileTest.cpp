#include "rules/IniFile.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace std::string_literals;

using Names = std::vector<std::string>;

TEST(IniReading, SectionsInFileOrderWithDuplicatesAndOddLines) {
    const IniFile ini("garbage line\r\n"
                      "key=before any section\r\n"
                      "[one]\r\n"
                      "  [ two ]  \r\n"
                      "[three]trailing words\r\n"
                      "[a]b]\r\n"
                      "[no closing bracket\r\n"
                      "[]\r\n"
                      "[one]\r\n"
                      "[ONE]\r\n");
    EXPECT_EQ(ini.sectionNames(), (Names{"one", "two", "three", "a]b", "one", "ONE"}));
}

TEST(IniReading, ValuesAreTrimmedAndLoseOnePairOfQuotes) {
    const IniFile ini("[s]\n"
                      "  plain  =  some value \t \n"
                      "dq=\"quoted\"\n"
                      "sq='quoted'\n"
                      "inner=\" kept \"\n"
                      "one=\"\n"
                      "pair=\"\"\n"
                      "mixed=\"x'\n"
                      "twice=\"\"x\"\"\n"
                      "opening=\"only\n"
                      "closing=only\"\n"
                      "ctrlz=\x1avalue\x1a\n");
    EXPECT_EQ(ini.value("s", "plain"), "some value");
    EXPECT_EQ(ini.value("s", "dq"), "quoted");
    EXPECT_EQ(ini.value("s", "sq"), "quoted");
    EXPECT_EQ(ini.value("s", "inner"), " kept ");
    EXPECT_EQ(ini.value("s", "one"), "\"");
    EXPECT_EQ(ini.value("s", "pair"), "");
    EXPECT_EQ(ini.value("s", "mixed"), "\"x'");
    EXPECT_EQ(ini.value("s", "twice"), "\"x\"");
    EXPECT_EQ(ini.value("s", "opening"), "\"only");
    EXPECT_EQ(ini.value("s", "closing"), "only\"");
    EXPECT_EQ(ini.value("s", "ctrlz"), "value");
}

TEST(IniReading, KeyEndsAtTheFirstEquals) {
    const IniFile ini("[s]\r\ncol1 = a=b==c \r\n==x\r\nnovalue\r\ncol2=\r\n");
    EXPECT_EQ(ini.value("s", "col1"), "a=b==c");
    EXPECT_EQ(ini.value("s", ""), "=x");
    EXPECT_EQ(ini.value("s", "novalue"), "");
    EXPECT_EQ(ini.value("s", "col2"), "");
}

TEST(IniReading, NamesMatchWithoutAsciiCaseAndAroundBlanks) {
    const IniFile ini("[Row1]\nCOL0=a\ncol0=second\n[ROW1]\ncol0=other\n[ x ]\ncol0=spaced\n"
                      "[\xC4\xE3]\ncol0=gbk\n");
    EXPECT_EQ(ini.value("row1", "col0"), "a"); // first section, first key of the name
    EXPECT_EQ(ini.value("  rOW1 ", " Col0\t"), "a");
    // Blanks inside the brackets go, as around the asked name.
    EXPECT_EQ(ini.value(" x ", "col0"), "spaced");
    EXPECT_EQ(ini.value("x", "col0"), "spaced");
    // Only ASCII letters fold: 0xC4 and 0xE4 are different GBK bytes.
    EXPECT_EQ(ini.value("\xC4\xE3", "col0"), "gbk");
    EXPECT_EQ(ini.value("\xE4\xE3", "col0"), "");
    EXPECT_EQ(ini.value("missing", "col0"), "");
    EXPECT_EQ(ini.value("row1", "col9"), "");
}

TEST(IniReading, KeysBeforeAnySectionBelongToTheNamelessOne) {
    const IniFile ini("col0=early\n[]\ncol0=bracketed\n[s]\ncol0=late\n");
    EXPECT_EQ(ini.sectionNames(), (Names{"s"}));
    EXPECT_EQ(ini.value("", "col0"), "early");
    EXPECT_EQ(ini.value("s", "col0"), "late");
}

TEST(IniReading, LineEndsOfEveryKind) {
    for (const char* end : {"\r\n", "\n", "\r", "\n\r", "\r\r\n"}) {
        const std::string e = end;
        const IniFile ini("[a]" + e + "col0=1" + e + e + "[b]" + e + "col0=2" + e + "col1=x");
        EXPECT_EQ(ini.sectionNames(), (Names{"a", "b"})) << testing::PrintToString(e);
        EXPECT_EQ(ini.value("a", "col0"), "1");
        EXPECT_EQ(ini.value("b", "col0"), "2");
        EXPECT_EQ(ini.value("b", "col1"), "x"); // the last line needs no line end
    }
}

TEST(IniReading, ZeroBytesEndNamesAndValues) {
    const std::string text = "[ro\0w]\ncol0=ab \0cd\ncol\0x=y\n[\0hidden]\ncol0=z\n"s;
    const IniFile ini(text);
    EXPECT_EQ(ini.sectionNames(), (Names{"ro"}));
    EXPECT_EQ(ini.value("ro", "col0"), "ab ");
    EXPECT_EQ(ini.value("ro", "col"), "y");
}

TEST(IniReading, NothingIsCut) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "[section number " + std::to_string(i) + "]\n";
    const std::string longValue(100000, 'v');
    text += "[last]\ncol1=" + longValue + "\n";
    const IniFile ini(text);
    const Names names = ini.sectionNames();
    ASSERT_EQ(names.size(), 3001u);
    EXPECT_EQ(names[2999], "section number 2999");
    EXPECT_EQ(ini.value("last", "col1"), longValue);
}

TEST(IniReading, EmptyAndBlankTexts) {
    EXPECT_TRUE(IniFile("").sectionNames().empty());
    EXPECT_TRUE(IniFile(" \r\n\t\n\x1a").sectionNames().empty());
    EXPECT_EQ(IniFile("[").sectionNames(), Names{});
    EXPECT_EQ(IniFile("[]]").sectionNames(), Names{"]"});
}
