#include "rules/RuleFile.h"

#include "rules/CodePage.h"
#include "rules/FileSystem.h"
#include "rules/IniFile.h"
#include "rules/RuleTable.h"

namespace tarnwick {

namespace {

// An editor may have saved the file as UTF-8 with a byte-order mark; the Windows reader then
// reads it as UTF-8 and hands the texts over in the ANSI code page. Without the mark the bytes
// are the table's GBK bytes as they stand.
std::string AnsiText(std::string text) {
    static constexpr std::string_view Utf8Mark = "\xEF\xBB\xBF";
    if (text.starts_with(Utf8Mark))
        return GbkFromUtf8(std::string_view(text).substr(Utf8Mark.size()));
    return text;
}

} // namespace

std::string RuleFileText(const RuleTable& table) {
    std::string text;
    for (int row = 1; row < table.rowCount(); ++row) {
        if (table.cell(RuleTable::TypeColumn, row).empty())
            continue;
        text += "[row" + std::to_string(row) + "]\r\n";
        for (int column = 0; column < RuleTable::ColumnCount; ++column)
            text += "col" + std::to_string(column) + "=" + table.cell(column, row) + "\r\n";
    }
    return text;
}

void SaveRules(const RuleTable& table, const std::string& path) {
    SaveRules(LocalFileSystem(), table, path);
}

void SaveRules(FileSystem& files, const RuleTable& table, const std::string& path) {
    files.replaceFile(path, RuleFileText(table));
}

void LoadRules(RuleTable& table, const std::string& path) {
    LoadRules(LocalFileSystem(), table, path);
}

void LoadRules(FileSystem& files, RuleTable& table, const std::string& path) {
    for (int row = 1; row < table.rowCount(); ++row)
        for (int column = 0; column < RuleTable::ColumnCount; ++column)
            table.setCell(column, row, std::string());

    const std::optional<std::string> text = files.readFile(path);
    if (!text)
        return;
    const IniFile ini(AnsiText(std::move(*text)));
    const std::vector<std::string> sections = ini.sectionNames();
    table.ensureRowCount(static_cast<int>(sections.size()) + 1);
    for (std::size_t i = 0; i < sections.size(); ++i)
        for (int column = 0; column < RuleTable::ColumnCount; ++column)
            table.setCell(column, static_cast<int>(i) + 1,
                          ini.value(sections[i], "col" + std::to_string(column)));
}

} // namespace tarnwick
