#pragma once

// The 10,000-rule table the rule benchmarks work on: the four rule types in turn, with values
// and proxies of realistic length.
#include "rules/RuleTable.h"

#include <string>

namespace tarnwick::bench {

constexpr int RuleCount = 10000;

inline RuleTable LargeTable() {
    RuleTable table;
    table.ensureRowCount(RuleCount + 1);
    for (int i = 0; i < RuleCount; ++i) {
        const int row = i + 1;
        const int type = i % 4;
        table.SetRuleType(row, type);
        const std::string n = std::to_string(i);
        if (type == 0)
            table.setCell(1, row, "http://*.site" + n + ".example.invalid/path/*");
        else if (type == 1)
            table.setCell(1, row, "*.host" + n + ".example.invalid");
        else if (type == 2)
            table.setCell(1, row,
                          "10." + std::to_string(i / 256 % 256) + "." + std::to_string(i % 256) +
                              ".1;255.255.255.0");
        table.setCell(2, row, "10.0." + std::to_string(i % 256) + ".1:8080");
    }
    return table;
}

} // namespace tarnwick::bench
