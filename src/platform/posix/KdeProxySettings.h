#pragma once

#include "proxyconfig/DesktopProxy.h"

#include <string>

namespace tarnwick {

// KDE's proxy settings: [Proxy Settings] ProxyType and "Proxy Config Script" in kioslaverc,
// which KDE programs and Chromium on KDE read. The file is edited line by line: every other
// line and group stays byte for byte. The state's texts are the whole lines, so that off puts
// back exactly what was there.
class KdeProxySettings : public DesktopProxyStore {
public:
    // path: "" for $XDG_CONFIG_HOME/kioslaverc. kdeSession: whether the settings count as
    // present when the file does not exist yet (the desktop session is KDE).
    KdeProxySettings(std::string path, bool kdeSession);
    // This session's file and desktop.
    KdeProxySettings();

    std::string recordName() const override { return "KdeProxy"; }
    bool present() override;
    DesktopProxyState read() override;
    void write(const DesktopProxyState& state) override;
    DesktopProxyState pointingAt(const std::string& url) const override;
    bool pointsAt(const DesktopProxyState& state, const std::string& url) const override;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    bool kdeSession_;
};

// kioslaverc's text with the two lines set (a line given as nothing is removed); every other
// byte stays. A [Proxy Settings] group is added at the end when the file has none, and removed
// again when it is left empty.
std::string SetKdeProxyLines(const std::string& text, const DesktopProxyState& lines);
// The two lines as the text has them.
DesktopProxyState KdeProxyLines(const std::string& text);

} // namespace tarnwick
