// Our ini reader against the platform's GetPrivateProfileStringA on the same fixture files: the
// same sections in the same order, and the same value for every section and key asked.
// Deliberate difference: the platform reader is given buffers large enough for everything,
// since ours cuts nothing (the program's old 2047-character and 16384-byte limits are gone).
#include "TestFiles.h"

#include "rules/IniFile.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace tarnwick;

namespace {

const char* const Fixtures[] = {
    "ordinary.ini",   "blanks.ini", "quotes.ini",  "case.ini",    "before-section.ini",
    "duplicates.ini", "equals.ini", "cr-only.ini", "lf-only.ini", "mixed-ends.ini",
    "empty.ini",      "blank.ini",  "bom.ini",     "gbk.ini",     "long.ini",
    "garbage.ini",    "nul.ini",    "utf16le.ini", "utf16be.ini",
};

// The zero-separated list the profile functions return, as texts.
std::vector<std::string> SplitZeroList(const std::vector<char>& buffer, DWORD length) {
    std::vector<std::string> items;
    std::size_t start = 0;
    for (std::size_t i = 0; i < length; ++i) {
        if (buffer[i] == '\0') {
            items.emplace_back(buffer.data() + start, i - start);
            start = i + 1;
        }
    }
    return items;
}

std::vector<std::string> PlatformSections(const std::string& path) {
    std::vector<char> buffer(1 << 20);
    const DWORD n = GetPrivateProfileStringA(nullptr, nullptr, "", buffer.data(),
                                             static_cast<DWORD>(buffer.size()), path.c_str());
    return SplitZeroList(buffer, n);
}

std::string PlatformValue(const std::string& path, const std::string& section,
                          const std::string& key) {
    std::vector<char> buffer(1 << 16);
    const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                             static_cast<DWORD>(buffer.size()), path.c_str());
    return std::string(buffer.data(), n);
}

class ProfileReader : public testing::TestWithParam<const char*> {};

} // namespace

TEST_P(ProfileReader, SameSectionsAndValuesAsThePlatform) {
    const std::string path = test::DataPath(std::string("ini/") + GetParam());
    const IniFile ours = IniFile::FromFileBytes(test::ReadBytes(path));

    const std::vector<std::string> sections = PlatformSections(path);
    ASSERT_EQ(ours.sectionNames(), sections);

    // Every listed section, trimmed and case-changed variants, the nameless one, a missing one.
    std::vector<std::string> asked = sections;
    for (const char* extra : {"", " ", "a", " a ", "ROW1", "q", "missing", "b", "c]d"})
        asked.push_back(extra);
    const std::vector<std::string> keys = {"col0", "col1", "col2", "COL0",           " col1 ",
                                           "Col2", "col",  "col3", "no equals here", "just words"};
    for (const std::string& section : asked)
        for (const std::string& key : keys)
            EXPECT_EQ(ours.value(section, key), PlatformValue(path, section, key))
                << "section [" << section << "] key " << key;
}

TEST_P(ProfileReader, LoadRulesAgreesWithALoaderOnThePlatformReader) {
    const std::string path = test::DataPath(std::string("ini/") + GetParam());
    RuleTable table;
    LoadRules(table, path);
    const std::vector<std::string> sections = PlatformSections(path);
    ASSERT_GE(table.rowCount(), static_cast<int>(sections.size()) + 1);
    for (std::size_t i = 0; i < sections.size(); ++i)
        for (int column = 0; column < 3; ++column)
            EXPECT_EQ(table.cell(column, static_cast<int>(i) + 1),
                      PlatformValue(path, sections[i], "col" + std::to_string(column)))
                << "row " << i + 1 << " column " << column;
    for (int row = static_cast<int>(sections.size()) + 1; row < table.rowCount(); ++row)
        EXPECT_EQ(table.cell(0, row), "");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, ProfileReader, testing::ValuesIn(Fixtures),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name;
                             for (const char* p = info.param; *p && *p != '.'; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });
