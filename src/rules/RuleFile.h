#pragma once

#include <string>

namespace tarnwick {

class FileSystem;
class RuleTable;

// The rule file's text for the table: "[rowN]" and col0..col2 for each row with a type, CR LF
// after every line; empty when no row has a type.
std::string RuleFileText(const RuleTable& table);

// Replaces the rule file with the table's rules. Throws IoError.
void SaveRules(const RuleTable& table, const std::string& path);
void SaveRules(FileSystem& files, const RuleTable& table, const std::string& path);

// Empties the data rows and fills them from the rule file, the i-th section into row i + 1;
// the table grows when the file holds more rules than it has rows. A missing or unreadable
// file reads as one without sections. Never throws.
void LoadRules(RuleTable& table, const std::string& path);
void LoadRules(FileSystem& files, RuleTable& table, const std::string& path);

} // namespace tarnwick
