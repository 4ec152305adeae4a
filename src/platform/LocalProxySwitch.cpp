#include "proxyconfig/ProxySwitch.h"

namespace tarnwick {

// This machine's desktop settings beside the registry values, for the program's windows.
void ApplyProxySwitch(const RegistryFactory& registry, bool on, const std::string& pacFileUrl) {
    const DesktopProxyStores desktop = LocalDesktopProxyStores();
    ApplyProxySwitch(registry, on, pacFileUrl, desktop);
}

} // namespace tarnwick
