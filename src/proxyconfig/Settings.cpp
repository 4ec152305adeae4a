#include "proxyconfig/Settings.h"

namespace tarnwick {

std::string ReadSetting(const RegistryFactory& registry, const std::string& name) {
    const std::unique_ptr<RegistryAccessor> reg = registry();
    if (!reg->openKey(SettingsKey, false))
        return {};
    std::string result = reg->readString(name);
    reg->closeKey();
    return result;
}

void WriteSetting(const RegistryFactory& registry, const std::string& name,
                  const std::string& value) {
    const std::unique_ptr<RegistryAccessor> reg = registry();
    if (!reg->openKey(SettingsKey, true))
        return;
    reg->writeString(name, value);
    reg->closeKey();
}

} // namespace tarnwick
