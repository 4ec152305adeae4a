#pragma once

#include "forms/FormViews.h"
#include "pacserver/PacService.h"
#include "proxyconfig/DesktopProxy.h"
#include "proxyconfig/Registry.h"

#include <memory>
#include <string>

namespace tarnwick {

class TMainForm;
class TrayPlatform;
class StartAtLogin;
class TsetParamForm;

// What the windows take from the machine. The program uses the real ones; tests give a fake
// notification area, a registry in a temporary folder and a folder of their own.
struct ApplicationServices {
    // The notification area, timers and window filters; owned by the front end (or the test).
    TrayPlatform* tray = nullptr;
    // Empty: the current user's registry.
    RegistryFactory registry;
    // Where the PAC file and the rule file are; ends with the path separator (GBK bytes).
    // Empty: beside the executable, or the configuration folder for an installed program.
    std::string executableFolder;
    // Where the help file is; empty: the folder above, or the install's share folder.
    std::string helpFolder;
    // Whether the desktop starts the program at login. Empty: the machine's record for the
    // running executable.
    std::shared_ptr<StartAtLogin> startAtLogin;
    // Makes the loopback server of the script. Empty: the platform's (MakePacServer).
    PacService::ServerFactory pacServer;
    // The desktop's own proxy settings that the switch moves beside the registry values.
    // Empty: this machine's (LocalDesktopProxyStores); tests give none of the real desktop.
    std::function<DesktopProxyStores()> desktopProxy;
};

// The application object: hints, the title, the two windows it creates at start and destroys
// at the end, the message loop, and the ways the program ends (Exit, end of the desktop
// session, termination signals).
class TApplication {
public:
    // view and services.tray must outlive the application object.
    TApplication(ApplicationView& view, ApplicationServices services);
    // Destroys the windows that are still there (see DestroyForms).
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    static TApplication* Instance();

    ApplicationView& View() { return view_; }
    const ApplicationServices& Services() const { return services_; }

    // Delay before a hint (tooltip) shows, in milliseconds, and hints on or off.
    void SetHintPause(int milliseconds) { hintPause_ = milliseconds; }
    int HintPause() const { return hintPause_; }
    void SetShowHint(bool on) { showHint_ = on; }
    bool ShowHint() const { return showHint_; }

    // Applies the hint settings, keeps the program running when no window is visible, and
    // turns the end of the desktop session and the termination signals into Terminate.
    void Initialize();

    // The taskbar text and the caption of message boxes (GBK).
    void SetTitle(const std::string& title);
    const std::string& Title() const { return title_; }

    // Whether Run shows the main window; the tray icon's start-up event may clear it.
    bool ShowMainForm() const;
    void SetShowMainForm(bool show);

    // The first window created is the main window; the rule editor is created hidden.
    TMainForm* CreateMainForm();
    TsetParamForm* CreateSetParamForm();
    TMainForm* MainForm() const { return mainForm_.get(); }
    TsetParamForm* SetParamForm() const { return setParamForm_.get(); }

    // Shows the main window (unless told not to) and runs the message loop until Terminate;
    // then ends an open editor as cancelled and destroys the windows. Returns the exit code.
    int Run();
    // What Run does before the loop: shows the main window unless the start-up event said
    // otherwise.
    void ShowMainFormAtStart();
    // Asks the program to end: an open rule editor ends as if cancelled, the message loop
    // ends. Safe to call more than once and before Run.
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Rule editor first, then the main window, whose destruction saves the preference and
    // takes the icon out of the notification area. Errors are shown and the rest goes on.
    void DestroyForms();

private:
    void closeEditorAsCancelled();

    ApplicationView& view_;
    ApplicationServices services_;
    int hintPause_ = 500;
    bool showHint_ = false;
    std::string title_;
    bool terminated_ = false;
    bool running_ = false;
    std::unique_ptr<TMainForm> mainForm_;
    std::unique_ptr<TsetParamForm> setParamForm_;
};

// The program entry's steps over a front end: hints, initialisation, title, the main window
// (NotifyIcon1Startup while it loads, then FormCreate), the hidden rule editor, the message
// loop. Returns the exit code.
int RunTarnwick(ApplicationView& view, ApplicationServices services);

// A later start of the program asked for the main window: it comes up as the tray menu's
// "主界面" brings it. Nothing happens before the main window exists.
void ShowRunningMainForm();

} // namespace tarnwick
