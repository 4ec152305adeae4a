#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnwick {

class RuleTable;

// The PAC script for the table's rules, without a final line break. Throws Error
// ("unkown valTypes.") on a type text that is none of the rule types, and ConvertError on a
// malformed subnet value.
std::string BuildPacScript(const RuleTable& table);

// The network address of address under mask, in dotted signed decimal. Throws ConvertError.
std::string NetworkAddress(const std::string& address, const std::string& mask);

// Four 32-bit octets of a dotted text; the fourth piece runs to the end of the text.
// Throws ConvertError naming the first piece that is not a whole number.
std::array<std::int32_t, 4> ParseDottedQuad(std::string_view text);

// A whole number as the octets accept it: leading spaces, then a signed decimal in the 32-bit
// range or "$", "x", "X", "0x", "0X" and up to 32 bits of hexadecimal; nothing after it.
bool ParseWholeNumber(std::string_view text, std::int32_t& value);

// The text as the script writes it between the quotes of a string literal (escaped).
std::string ScriptStringLiteral(std::string_view text);

} // namespace tarnwick
