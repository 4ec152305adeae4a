#pragma once

#include "rules/RuleTable.h"

#include <QString>

#include <string>
#include <vector>

namespace tarnwick::testing {

// One rule as the user sees it (UTF-8).
struct SampleRule {
    QString type;
    QString value;
    QString proxy;
};

// The display text of rule type index, as the grid shows it.
QString TypeName(int index);

// A table holding these rules in rows 1, 2, ...
RuleTable TableOf(const std::vector<SampleRule>& rules);

// The rules the screenshot and the tests start from.
std::vector<SampleRule> SampleRules();

// The whole content of a file, or an empty string when it cannot be read.
std::string ReadWholeFile(const QString& path);

} // namespace tarnwick::testing
