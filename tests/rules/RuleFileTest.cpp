#include "TestFiles.h"

#include "rules/CodePage.h"
#include "rules/IniFile.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tarnwick;
using namespace std::string_literals;
using test::MemoryFileSystem;

namespace {

const std::string Path = "configData.ini";

struct Rule {
    std::string type, value, proxy;
    bool operator==(const Rule&) const = default;
};

std::vector<Rule> Rules(const RuleTable& table) {
    std::vector<Rule> rules;
    for (int row = 1; row < table.rowCount(); ++row)
        rules.push_back({table.cell(0, row), table.cell(1, row), table.cell(2, row)});
    return rules;
}

RuleTable Loaded(MemoryFileSystem& files, RuleTable table = RuleTable()) {
    LoadRules(files, table, Path);
    return table;
}

RuleTable LoadedText(const std::string& text) {
    MemoryFileSystem files;
    files.files[Path] = text;
    return Loaded(files);
}

} // namespace

TEST(RuleFileSave, EmptyTableSavesAnEmptyFile) {
    MemoryFileSystem files;
    files.files[Path] = "old";
    RuleTable table;
    table.setCell(1, 1, "value but no type");
    table.setCell(2, 1, "proxy");
    SaveRules(files, table, Path);
    EXPECT_EQ(files.files[Path], "");
    EXPECT_EQ(files.writes, 1);
}

TEST(RuleFileSave, GapsKeepRowNumbersAndEveryKeyIsWritten) {
    MemoryFileSystem files;
    RuleTable table;
    table.ensureRowCount(13);
    table.SetRuleType(2, 0);
    table.SetRuleType(12, 1);
    table.setCell(1, 12, "a=b \"q\" ");
    SaveRules(files, table, Path);
    EXPECT_EQ(files.files[Path], "[row2]\r\ncol0=" + RuleTypeNames()[0] +
                                     "\r\ncol1=\r\ncol2=\r\n"
                                     "[row12]\r\ncol0=" +
                                     RuleTypeNames()[1] + "\r\ncol1=a=b \"q\" \r\ncol2=\r\n");
}

TEST(RuleFileRoundTrip, CompactsRowsAndKeepsEveryTypeTextByteForByte) {
    MemoryFileSystem files;
    RuleTable table;
    table.ensureRowCount(9);
    table.SetRuleType(1, 0);
    table.setCell(1, 1, "http://*.a.invalid/*?x=1&y==2");
    table.setCell(2, 1, "10.0.0.1:80");
    table.setCell(1, 2, "dropped: no type");
    table.SetRuleType(3, 1);
    table.setCell(1, 3, "*.b.invalid");
    table.SetRuleType(5, 2);
    table.setCell(2, 5, "");
    table.SetRuleType(8, 3);
    table.setCell(2, 8, GbkFromUtf8("代理:8080"));
    SaveRules(files, table, Path);

    RuleTable loaded;
    loaded.setCell(1, 4, "stale text from before");
    LoadRules(files, loaded, Path);
    const std::vector<Rule> expected = {
        {RuleTypeNames()[0], "http://*.a.invalid/*?x=1&y==2", "10.0.0.1:80"},
        {RuleTypeNames()[1], "*.b.invalid", ""},
        {RuleTypeNames()[2], "192.168.0.1;255.255.255.0", ""},
        {RuleTypeNames()[3], RuleTypeNames()[2], GbkFromUtf8("代理:8080")},
    };
    EXPECT_EQ(Rules(loaded), expected);
    EXPECT_EQ(loaded.rowCount(), 5);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(loaded.cell(c, 0), ColumnTitles()[c]);

    // Saving what was loaded gives the compacted file, and it is stable from there on.
    SaveRules(files, loaded, Path);
    const std::string once = files.files[Path];
    SaveRules(files, Loaded(files), Path);
    EXPECT_EQ(files.files[Path], once);
}

TEST(RuleFileLoad, MissingFileEmptiesTheRulesAndKeepsTheTitles) {
    MemoryFileSystem files;
    RuleTable table;
    table.SetRuleType(1, 2);
    table.setCell(2, 3, "p");
    table.ensureRowCount(7);
    LoadRules(files, table, Path);
    EXPECT_EQ(table.rowCount(), 7); // the row count carries over
    for (int row = 1; row < 7; ++row)
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(table.cell(c, row), "");
    EXPECT_EQ(table.cell(0, 0), ColumnTitles()[0]);
}

TEST(RuleFileLoad, SectionsByPositionWhateverTheirNames) {
    const RuleTable table = LoadedText("; a comment line\r\n"
                                       "[rule b]\r\ncol0=B\r\ncol2=pb\r\n"
                                       "[anything]\r\n"
                                       "[row1]\r\nCOL1 = value a \r\ncol0=A\r\n");
    EXPECT_EQ(
        Rules(table),
        (std::vector<Rule>{{"B", "", "pb"}, {"", "", ""}, {"A", "value a", ""}, {"", "", ""}}));
}

TEST(RuleFileLoad, QuotesAroundValuesAndTypeTextsEndingInAQuote) {
    const RuleTable table = LoadedText("[row1]\ncol0=" + RuleTypeNames()[0] +
                                       "\ncol1=\"quoted\"\ncol2=' 10.0.0.1:80 '\n"
                                       "[row2]\ncol0=" +
                                       RuleTypeNames()[1] + "\ncol1=\"half\ncol2=\"\n");
    EXPECT_EQ(Rules(table)[0], (Rule{RuleTypeNames()[0], "quoted", " 10.0.0.1:80 "}));
    EXPECT_EQ(Rules(table)[1], (Rule{RuleTypeNames()[1], "\"half", "\""}));
}

TEST(RuleFileLoad, TableGrowsSoThatNoRuleIsLost) {
    std::string text;
    for (int i = 1; i <= 10000; ++i)
        text += "[row" + std::to_string(i) + "]\r\ncol0=T" + std::to_string(i) + "\r\ncol1=v\r\n";
    RuleTable table = LoadedText(text);
    EXPECT_EQ(table.rowCount(), 10001);
    EXPECT_EQ(table.cell(0, 1), "T1");
    EXPECT_EQ(table.cell(0, 10000), "T10000");

    // Every loaded rule is saved again.
    MemoryFileSystem files;
    SaveRules(files, table, Path);
    EXPECT_EQ(files.files[Path].size(), text.size() + 10000 * "col2=\r\n"s.size());
}

TEST(RuleFileLoad, VeryLongValuesAreNotCut) {
    const std::string longValue(1 << 20, 'x');
    const RuleTable table =
        LoadedText("[row1]\ncol0=T\ncol1=" + longValue + "\ncol2=" + std::string(2048, 'p'));
    EXPECT_EQ(table.cell(1, 1), longValue);
    EXPECT_EQ(table.cell(2, 1).size(), 2048u);
}

TEST(RuleFileLoad, GarbageNulBytesAndInvalidGbkDoNoHarm) {
    // Not a byte-order mark: "\xFF\xFE" at the start would make it a UTF-16 file.
    std::string text = "\xFE\x81\xFF\r\n[ro\0w1]\r\ncol0=\x81\x20\xFF\r\ncol1=a\0b\r\n"s;
    for (int i = 0; i < 256; ++i)
        text += static_cast<char>(i);
    text += "\n[row2]\ncol0=\x81\ncol2=\x80\xFE\n";
    const RuleTable table = LoadedText(text);
    EXPECT_EQ(Rules(table)[0], (Rule{"\x81\x20\xFF", "a", ""}));
    EXPECT_EQ(Rules(table)[1], (Rule{"\x81", "", "\x80\xFE"}));

    // Any bytes at all, also behind a UTF-16 mark, load without a crash: a row for every
    // section, and no cell holding a line break or a zero byte.
    std::string noise;
    unsigned seed = 12345;
    for (int i = 0; i < 200000; ++i) {
        seed = seed * 1103515245u + 12345u;
        const char pick[] = {'[', ']', '=', '\r', '\n', '\0', '"', ' ', 'c', 'o', 'l', '0'};
        noise += (seed >> 16) % 3 ? pick[(seed >> 8) % sizeof pick] : static_cast<char>(seed >> 24);
    }
    EXPECT_GT(IniFile(noise).sectionCount(), 300u);
    for (const std::string& bytes : {"x" + noise, "\xFF\xFE"s + noise, "\xFE\xFF"s + noise}) {
        const RuleTable loaded = LoadedText(bytes);
        const std::size_t sections = IniFile::FromFileBytes(bytes).sectionCount();
        EXPECT_EQ(loaded.rowCount(), static_cast<int>(std::max<std::size_t>(sections + 1, 5)));
        for (const Rule& rule : Rules(loaded))
            for (const std::string& cell : {rule.type, rule.value, rule.proxy})
                ASSERT_EQ(cell.find_first_of("\r\n\0"s), std::string::npos) << cell;
    }
}

// The text in UTF-16 with its byte-order mark, as an editor saves it.
std::string Utf16(const std::u16string& text, bool bigEndian) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t c : text) {
        const char high = static_cast<char>(c >> 8), low = static_cast<char>(c & 0xFF);
        bytes += bigEndian ? high : low;
        bytes += bigEndian ? low : high;
    }
    return bytes;
}

TEST(RuleFileLoad, FilesWithAByteOrderMarkAreReadAsGbk) {
    // UTF-8 and UTF-16 as the platform reader reads them; then OK writes GBK. A character GBK
    // cannot hold and a lone surrogate become "?"; an odd last byte is dropped.
    const std::u16string text = u"[row1]\r\ncol0=子网\r\ncol1=1.2.3.4;255.0.0.0\r\n"
                                u"[row2]\ncol0=\u0E01\xD800x\ncol2=代理:80";
    const std::string files[] = {
        "\xEF\xBB\xBF[row1]\r\ncol0=子网\r\ncol1=1.2.3.4;255.0.0.0\r\n"
        "[row2]\ncol0=\xE0\xB8\x81?x\ncol2=代理:80",
        Utf16(text, false),
        Utf16(text, true),
        Utf16(text, false) + "\x41",
    };
    for (const std::string& file : files) {
        SCOPED_TRACE(file.substr(0, 3));
        const RuleTable table = LoadedText(file);
        EXPECT_EQ(Rules(table)[0], (Rule{RuleTypeNames()[2], "1.2.3.4;255.0.0.0", ""}));
        EXPECT_EQ(Rules(table)[1], (Rule{"??x", "", GbkFromUtf8("代理:80")}));
        EXPECT_EQ(RuleFileText(table), "[row1]\r\ncol0=" + RuleTypeNames()[2] +
                                           "\r\ncol1=1.2.3.4;255.0.0.0\r\ncol2=\r\n"
                                           "[row2]\r\ncol0=??x\r\ncol1=\r\ncol2=" +
                                           GbkFromUtf8("代理:80") + "\r\n");
    }
}

TEST(RuleFileLoad, Utf16FixturesLoadTheirSections) {
    for (const char* name : {"ini/utf16le.ini", "ini/utf16be.ini"}) {
        SCOPED_TRACE(name);
        MemoryFileSystem files;
        files.files[Path] = test::ReadBytes(test::DataPath(name));
        const std::vector<Rule> rules = Rules(Loaded(files));
        ASSERT_GE(rules.size(), 5u);
        EXPECT_EQ(rules[0].value, "quoted value");
        EXPECT_EQ(rules[0].proxy, "10.0.0.1:8080");
        EXPECT_EQ(rules[1], (Rule{"second", "single", ""}));
        EXPECT_EQ(rules[2], rules[0]) << "a repeated name reads the first section";
        EXPECT_EQ(rules[4], (Rule{"upper", "", "a=b=c"}));
    }
}

TEST(RuleFileLoad, HandEditedTypeTextLoadsUnchanged) {
    const RuleTable table = LoadedText("[row1]\ncol0=Url\ncol1=x\n");
    EXPECT_EQ(table.cell(0, 1), "Url");
}

TEST(RuleFileLoad, RepeatedSectionNameReadsTheFirstSectionOfThatName) {
    // As the platform reader does: every section gets its row, and a name finds its first section.
    const RuleTable table =
        LoadedText("[row1]\ncol0=A\n[row2]\ncol0=B\n[ROW1]\ncol0=C\ncol1=c\n[ row2 ]\ncol2=d\n");
    EXPECT_EQ(Rules(table),
              (std::vector<Rule>{{"A", "", ""}, {"B", "", ""}, {"A", "", ""}, {"B", "", ""}}));
}
