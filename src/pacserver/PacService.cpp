#include "pacserver/PacService.h"

#include "proxyconfig/Settings.h"

namespace tarnwick {

PacService::PacService(RegistryFactory registry, PacScriptSource script, ServerFactory make)
    : registry_(std::move(registry)), script_(std::move(script)), make_(std::move(make)) {}

PacService::~PacService() {
    stop();
}

bool PacService::storedPreference() const {
    // Serving is the default: Chromium, Edge and WinHTTP refuse a file:// script, so without it
    // the switch would say on while those browsers go direct. Only a stored "false" (the
    // user's untick) or another word the user put there turns it off.
    const std::string stored = ReadSetting(registry_, ServePacSetting);
    if (stored.empty()) {
        WriteSetting(registry_, ServePacSetting, "true");
        return true;
    }
    return stored == "true";
}

void PacService::storePreference(bool on) const {
    WriteSetting(registry_, ServePacSetting, on ? "true" : "false");
}

void PacService::start() {
    const std::optional<std::uint32_t> stored = ReadIntegerSetting(registry_, PacPortSetting);
    if (!server_)
        server_ = make_(script_);
    ListenInRange(*server_, FirstPacPort(stored));
    if (!stored)
        WriteIntegerSetting(registry_, PacPortSetting, DefaultPacPort);
}

void PacService::stop() {
    if (server_)
        server_->close();
}

std::string PacService::switchUrl(const std::string& fileUrl) const {
    if (!serving())
        return fileUrl;
    const std::optional<std::string> script = script_ ? script_() : std::nullopt;
    return PacHttpUrl(server_->port(), script.value_or(std::string()));
}

} // namespace tarnwick
