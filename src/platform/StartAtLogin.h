#pragma once

#include <memory>
#include <string>

namespace tarnwick {

// Whether the desktop starts the program when the user logs in. The state is kept by the
// system itself, not in the program's settings, so that the desktop's own start-up settings
// and the program always agree.
class StartAtLogin {
public:
    virtual ~StartAtLogin() = default;
    virtual bool IsOn() = 0;
    // Throws Error when the system's record cannot be changed; the state is then as before.
    virtual void SetOn(bool on) = 0;
};

#ifdef _WIN32
// The value "Tarnwick" under HKCU\Software\Microsoft\Windows\CurrentVersion\Run, holding the
// executable's path in quotes; its presence is the state.
std::unique_ptr<StartAtLogin> RunKeyValue(std::string executable);
#else
// The XDG autostart entry <configHome>/autostart/tarnwick.desktop that starts executable.
// Present is on, unless the desktop turned it off inside (Hidden=true, or GNOME's
// X-GNOME-Autostart-enabled=false); turning it on writes the entry afresh.
std::unique_ptr<StartAtLogin> AutostartEntry(std::string configHome, std::string executable);

// The entry's Exec value for a program path: quoted and escaped as desktop entries require.
std::string DesktopExecQuoted(const std::string& executable);
#endif

// The machine's record for the running executable.
std::unique_ptr<StartAtLogin> MachineStartAtLogin();

} // namespace tarnwick
