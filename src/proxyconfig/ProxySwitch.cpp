#include "proxyconfig/ProxySwitch.h"

namespace tarnwick {

namespace {

void WriteRegistryValues(const RegistryFactory& registry, bool on, const std::string& pacFileUrl) {
    // The accessor closes its key and goes away on every way out, the error's included.
    const std::unique_ptr<RegistryAccessor> reg = registry();
    const std::int32_t cache = on ? 0 : 1;

    if (reg->openKey(InternetSettingsKey, true)) {
        reg->writeString("AutoConfigURL", on ? pacFileUrl : std::string());
        reg->closeKey();
    }
    if (reg->openKey(InternetSettingsKey, true)) {
        reg->writeInteger("EnableAutoProxyResultCache", cache);
        reg->closeKey();
    }
    if (reg->openKey(InternetSettingsPoliciesKey, true)) {
        reg->writeInteger("EnableAutoProxyResultCache", cache);
        reg->closeKey();
    }
}

} // namespace

void ApplyProxySwitch(const RegistryFactory& registry, bool on, const std::string& pacFileUrl,
                      std::span<const std::unique_ptr<DesktopProxyStore>> desktop) {
    DesktopProxySwitch desktopSwitch(registry, desktop);
    try {
        desktopSwitch.apply(on, DesktopProxyUrl(pacFileUrl));
        WriteRegistryValues(registry, on, pacFileUrl);
    } catch (...) {
        desktopSwitch.undo();
        throw;
    }
}

} // namespace tarnwick
