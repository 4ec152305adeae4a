#pragma once

#include "proxyconfig/Registry.h"

#include <string>

namespace tarnwick {

// Where the browser's automatic configuration is kept (absolute paths from the root).
inline constexpr const char* InternetSettingsKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr const char* InternetSettingsPoliciesKey =
    "\\Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

// Points the browser's automatic configuration at pacFileUrl (on) or clears it (off).
// Writes, in this order: AutoConfigURL (REG_SZ, the URL or "", never deleted), then
// EnableAutoProxyResultCache (REG_DWORD, 0 when on, 1 when off) in the Internet Settings key,
// then the same in the Policies key. A key that cannot be opened is skipped without a word;
// a write that fails throws RegistryError and the later writes do not happen.
void ApplyProxySwitch(const RegistryFactory& registry, bool on, const std::string& pacFileUrl);

} // namespace tarnwick
