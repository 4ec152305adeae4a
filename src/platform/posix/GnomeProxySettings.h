#pragma once

#include "proxyconfig/DesktopProxy.h"

#include <string>

typedef struct _GSettingsBackend GSettingsBackend;
typedef struct _GSettingsSchema GSettingsSchema;

namespace tarnwick {

// The proxy settings that GNOME-like desktops keep in GSettings (org.gnome.system.proxy: mode
// and autoconfig-url), which Firefox reads on every desktop and Chromium on those desktops.
class GnomeProxySettings : public DesktopProxyStore {
public:
    // backend: null for the default one, which counts as absent when it keeps values only in
    // this process (memory, null): no browser would see them there.
    explicit GnomeProxySettings(std::string schemaId = "org.gnome.system.proxy",
                                GSettingsBackend* backend = nullptr);
    ~GnomeProxySettings() override;
    GnomeProxySettings(const GnomeProxySettings&) = delete;
    GnomeProxySettings& operator=(const GnomeProxySettings&) = delete;

    std::string recordName() const override { return "GnomeProxy"; }
    bool present() override;
    DesktopProxyState read() override;
    void write(const DesktopProxyState& state) override;
    DesktopProxyState pointingAt(const std::string& url) const override;
    bool pointsAt(const DesktopProxyState& state, const std::string& url) const override;

private:
    std::string schemaId_;
    GSettingsBackend* backend_;
    GSettingsSchema* schema_ = nullptr;
};

} // namespace tarnwick
