#pragma once

#include "pacserver/PacServer.h"
#include "proxyconfig/Registry.h"

#include <functional>
#include <memory>
#include <string>

namespace tarnwick {

// Names of the preference and of the port in the program's settings key.
inline constexpr const char* ServePacSetting = "servePac";
inline constexpr const char* PacPortSetting = "pacPort";

// The preference of serving the script over loopback HTTP, and its server: decides which URL
// the proxy switch writes. Toolkit-free; the main window drives it.
class PacService {
public:
    using ServerFactory = std::function<std::unique_ptr<PacServer>(PacScriptSource)>;

    // script reads the PAC file; make gives the platform's server (MakePacServer).
    PacService(RegistryFactory registry, PacScriptSource script, ServerFactory make);
    ~PacService();

    // The stored preference: true for the text "true", and when nothing is stored, which then
    // stores "true" so that the user finds it; any other text is off.
    bool storedPreference() const;
    void storePreference(bool on) const;

    // Listens on 127.0.0.1 from the stored pacPort (DefaultPacPort when there is none, which
    // is then stored so that the user finds it) over PacPortRange ports. Throws
    // PacServerError when no port can be bound (the service is then not serving), and the
    // registry's error when pacPort is not a number.
    void start();
    // Stops listening and drops the clients.
    void stop();
    bool serving() const { return server_ && server_->isListening(); }
    std::uint16_t port() const { return serving() ? server_->port() : 0; }

    // What the switch points at: while serving, the script's http URL with the tag of its
    // current content; otherwise fileUrl.
    std::string switchUrl(const std::string& fileUrl) const;

private:
    RegistryFactory registry_;
    PacScriptSource script_;
    ServerFactory make_;
    std::unique_ptr<PacServer> server_;
};

} // namespace tarnwick
