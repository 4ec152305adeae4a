#pragma once

#include "proxyconfig/DesktopProxy.h"
#include "proxyconfig/Registry.h"

#include <span>

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
//
// The desktop's own proxy settings (the stores in desktop) are changed first: a desktop that
// cannot take the change throws before the registry is touched, and a registry write that
// fails gives the desktop back what it had, so that the window's state display stays true
// either way.
void ApplyProxySwitch(const RegistryFactory& registry, bool on, const std::string& pacFileUrl,
                      std::span<const std::unique_ptr<DesktopProxyStore>> desktop);

// The same with this machine's desktop settings (LocalDesktopProxyStores). Defined beside
// them, in the platform library (src/platform/LocalProxySwitch.cpp).
void ApplyProxySwitch(const RegistryFactory& registry, bool on, const std::string& pacFileUrl);

} // namespace tarnwick
