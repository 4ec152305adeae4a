#pragma once

#include "proxyconfig/Registry.h"

#include <cstdint>
#include <optional>
#include <string>

namespace tarnwick {

// The program's own key, relative to the root; the trailing backslash goes to the registry
// as written.
inline constexpr const char* SettingsKey = "Software\\IETarnwick\\";

// The named string value of the settings key, "" when the key or the value is missing or the
// value is empty. Never creates the key. A value of a non-string type throws
// "Invalid data type for '<name>'".
std::string ReadSetting(const RegistryFactory& registry, const std::string& name);

// Writes the named value as REG_SZ, creating the key if needed; does nothing when the key can
// be neither opened nor created. A failed write throws "Failed to set data for '<name>'".
void WriteSetting(const RegistryFactory& registry, const std::string& name,
                  const std::string& value);

// The named REG_DWORD value of the settings key; nothing when the key or the value is missing.
// Never creates the key. A value of another type throws "Invalid data type for '<name>'".
std::optional<std::uint32_t> ReadIntegerSetting(const RegistryFactory& registry,
                                                const std::string& name);

// Writes the named value as REG_DWORD, creating the key if needed; does nothing when the key can
// be neither opened nor created. A failed write throws "Failed to set data for '<name>'".
void WriteIntegerSetting(const RegistryFactory& registry, const std::string& name,
                         std::uint32_t value);

} // namespace tarnwick
