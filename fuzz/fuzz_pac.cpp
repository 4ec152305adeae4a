// Script generation on any texts: ParseDottedQuad, NetworkAddress and BuildPacScript.
#include "ScriptCheck.h"

#include "rules/Error.h"
#include "rules/PacScript.h"
#include "rules/RuleTable.h"

#include <cstddef>
#include <cstdint>

using namespace tarnwick;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    try {
        const auto quad = ParseDottedQuad(bytes);
        (void)quad;
    } catch (const ConvertError&) {
    }
    const std::size_t semicolon = bytes.find(';');
    try {
        const std::string network =
            NetworkAddress(bytes.substr(0, semicolon),
                           semicolon == std::string::npos ? bytes : bytes.substr(semicolon + 1));
        fuzz::Require(network.size() <= 4 * 11 + 3, "network text length");
    } catch (const ConvertError&) {
    }

    // A table from the input: records separated by 0xFF, cells by 0xFE; the first byte of a
    // record picks the type (0..3, or a raw type text otherwise).
    RuleTable table;
    int row = 1;
    int rules = 0;
    std::size_t start = 0;
    while (start < bytes.size() && row < 64) {
        std::size_t end = bytes.find('\xFF', start);
        if (end == std::string::npos)
            end = bytes.size();
        const std::string record = bytes.substr(start, end - start);
        start = end + 1;
        if (record.empty())
            continue;
        table.ensureRowCount(row + 1);
        const unsigned pick = static_cast<unsigned char>(record[0]);
        std::string rest = record.substr(1);
        const std::size_t split = rest.find('\xFE');
        const std::string value = rest.substr(0, split);
        const std::string proxy = split == std::string::npos ? "" : rest.substr(split + 1);
        if (pick < 4 * 60) {
            table.SetRuleType(row, static_cast<int>(pick % 4));
            ++rules;
        } else {
            table.setCell(0, row, value); // empty, or a text that is no type
            rules += value.empty() ? 0 : 1;
        }
        table.setCell(1, row, value);
        table.setCell(2, row, proxy);
        ++row;
    }
    try {
        fuzz::CheckScript(BuildPacScript(table), rules);
    } catch (const Error&) {
    }
    return 0;
}
