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

std::optional<std::uint32_t> ReadIntegerSetting(const RegistryFactory& registry,
                                                const std::string& name) {
    const std::unique_ptr<RegistryAccessor> reg = registry();
    if (!reg->openKey(SettingsKey, false) || !reg->valueExists(name))
        return std::nullopt;
    const auto value = static_cast<std::uint32_t>(reg->readInteger(name));
    reg->closeKey();
    return value;
}

void WriteIntegerSetting(const RegistryFactory& registry, const std::string& name,
                         std::uint32_t value) {
    const std::unique_ptr<RegistryAccessor> reg = registry();
    if (!reg->openKey(SettingsKey, true))
        return;
    reg->writeInteger(name, static_cast<std::int32_t>(value));
    reg->closeKey();
}

} // namespace tarnwick
