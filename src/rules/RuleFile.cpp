#include "rules/RuleFile.h"

#include "rules/FileSystem.h"
#include "rules/IniFile.h"
#include "rules/RuleTable.h"

namespace tarnwick {

std::string RuleFileText(const RuleTable& table) {
    std::string text;
    for (int row = 1; row < table.rowCount(); ++row) {
        if (table.cell(RuleTable::TypeColumn, row).empty())
            continue;
        text += "[row";
        text += std::to_string(row);
        text += "]\r\n";
        for (int column = 0; column < RuleTable::ColumnCount; ++column) {
            text += "col";
            text += static_cast<char>('0' + column);
            text += '=';
            text += table.cell(column, row);
            text += "\r\n";
        }
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
    const IniFile ini = IniFile::FromFileBytes(std::move(*text));
    const std::size_t sections = ini.sectionCount();
    table.ensureRowCount(static_cast<int>(sections) + 1);
    static const std::vector<std::string> keys = {"col0", "col1", "col2"};
    for (std::size_t i = 0; i < sections; ++i) {
        std::vector<std::string> row = ini.values(i, keys);
        for (int column = 0; column < RuleTable::ColumnCount; ++column)
            table.setCell(column, static_cast<int>(i) + 1, std::move(row[column]));
    }
}

} // namespace tarnwick
