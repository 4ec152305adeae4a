// The rule file reader on any bytes: IniFile, LoadRules, and what follows from a loaded table.
#include "ScriptCheck.h"

#include "rules/Error.h"
#include "rules/FileSystem.h"
#include "rules/IniFile.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"

#include <cstddef>
#include <cstdint>
#include <map>

namespace {

using namespace tarnwick;

class MemoryFiles : public FileSystem {
public:
    void replaceFile(const std::string& path, std::string_view bytes) override {
        files[path] = std::string(bytes);
    }
    std::optional<std::string> readFile(const std::string& path) override {
        const auto found = files.find(path);
        return found == files.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
    std::map<std::string, std::string> files;
};

// A text that the file gives back as it was written: no blanks at its ends, and not enclosed in
// a pair of quotes (the reader drops those).
bool ReadsBackUnchanged(const std::string& text) {
    const auto blank = [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' ||
               c == 0x1a;
    };
    if (text.empty() || blank(text.front()) || blank(text.back()))
        return false;
    return !(text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
             text.back() == text.front());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const IniFile ini = IniFile::FromFileBytes(bytes);
    const std::vector<std::string> sections = ini.sectionNames();
    for (const std::string& section : sections) {
        fuzz::Require(!section.empty(), "listed section has a name");
        ini.value(section, "col0");
    }
    ini.value("", "");

    MemoryFiles files;
    files.files["configData.ini"] = bytes;
    RuleTable table;
    LoadRules(files, table, "configData.ini");
    // No rule is lost: every section has its row.
    fuzz::Require(table.rowCount() >= static_cast<int>(sections.size()) + 1, "a row per section");

    int rules = 0;
    for (int row = 1; row < table.rowCount(); ++row)
        rules += table.cell(0, row).empty() ? 0 : 1;
    try {
        fuzz::CheckScript(BuildPacScript(table), rules);
    } catch (const Error&) {
        // A hand-made type text or subnet value: reported to the user, nothing else to check.
    }

    // Saving what was loaded and loading it again keeps the rules in order.
    SaveRules(files, table, "configData.ini");
    RuleTable again;
    LoadRules(files, again, "configData.ini");
    int row = 1;
    for (int from = 1; from < table.rowCount(); ++from) {
        if (table.cell(0, from).empty())
            continue;
        // The file keeps texts verbatim, so outer blanks and enclosing quotes do not come back.
        if (ReadsBackUnchanged(table.cell(0, from)))
            fuzz::Require(again.cell(0, row) == table.cell(0, from), "type text survives a save");
        ++row;
    }
    return 0;
}
