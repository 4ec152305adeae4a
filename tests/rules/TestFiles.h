#pragma once

#include "rules/FileSystem.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarnwick {
class RuleTable;
}

namespace tarnwick::test {

// The documented example: a subnet rule in row 1, an empty row 2 and an
// address-that-cannot-be-resolved rule in row 3, with the script and rule file it gives.
RuleTable ExampleTable();
extern const char* const ExamplePacScript; // without the final CR LF
std::string ExampleRuleFile();

// Files in memory: what was replaced, and how often.
class MemoryFileSystem : public FileSystem {
public:
    void replaceFile(const std::string& path, std::string_view bytes) override {
        files[path] = std::string(bytes);
        ++writes;
    }
    std::optional<std::string> readFile(const std::string& path) override {
        const auto found = files.find(path);
        if (found == files.end())
            return std::nullopt;
        return found->second;
    }

    std::map<std::string, std::string> files;
    int writes = 0;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The path of name in the folder, as the program's file functions take it.
    std::string file(const std::string& name) const;
    // The names of the entries in the folder (or in one of its subfolders), sorted.
    std::vector<std::string> entries(const std::string& subfolder = {}) const;

private:
    std::filesystem::path path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// The folder of the test fixtures, as the program's file functions take it.
std::string DataPath(const std::string& relative);

} // namespace tarnwick::test
