#pragma once

#include "forms/FormViews.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tarnwick {

class PacService;
class TApplication;
class TNotifyIcon;

// Set once by the main window's creation (GBK bytes): where the PAC file is and its URL, and
// the tray menu's two captions of the switch item.
extern std::string PacFilePath;
extern std::string PacFileUrl;
extern std::string DisableCaption;
extern std::string EnableCaption;

// The main window's behaviour: the switch, the start-hidden preference, the rule editor, help,
// feedback and exit commands. It owns its view and the notification-area icon NotifyIcon1,
// lives as long as the program, and its close button only hides it.
//
// The handlers may throw; a front end calls them through Handle (or RunGuarded), never bare.
class TMainForm {
public:
    // Builds the view through the application's front end, loads NotifyIcon1 (which raises
    // NotifyIcon1Startup) and runs FormCreate; a failure of either is shown and the window
    // is created all the same.
    explicit TMainForm(TApplication& application);
    // Runs FormDestroy (a failure is shown), then takes the icon out of the notification area
    // before the view, whose menu and images it uses, goes.
    ~TMainForm();
    TMainForm(const TMainForm&) = delete;
    TMainForm& operator=(const TMainForm&) = delete;

    MainFormView& View() { return *view_; }
    const MainFormView& View() const { return *view_; }
    TNotifyIcon& NotifyIcon() { return *NotifyIcon1; }

    // Runs a handler through the guard: a failure is shown in the error box over this window.
    void Handle(void (TMainForm::*handler)()) noexcept;

    // --- event handlers, named after their component and event ---
    void FormActivate();
    // The close action is always "none": the window hides (or, without a notification area
    // to come back from, minimises to the taskbar).
    void FormClose();
    void ToolButtonSetClick();
    void MSettingClick();
    void ToolButtonSwitchClick();
    void MSwitchClick();
    void ToolButtonHelpClick();
    void ToolButtonExitClick();
    void MExitClick();
    void MMainInterfaceClick();
    void Label1Click();
    void Label1MouseEnter();
    void Label1MouseLeave();
    // The user toggled a check box (its new state is in the view already).
    void CheckBoxClick(MainCheckBox box);

    // The help file (GBK bytes), set at creation.
    std::string HelpFile;
    // The window's record of the switch: 1 while it is on, 0 while it is off.
    std::uint8_t ProxyEnabled = 0;

    // False while the desktop has refused the icon: there is no notification area to hide
    // into, so the window stays reachable in the taskbar.
    bool NotificationAreaAvailable() const { return trayAccepted_; }

private:
    class MainNotifyIcon;

    void FormCreate();
    void FormDestroy();
    void NotifyIcon1Startup(bool& ShowMainForm);

    void ShowSwitchState(bool on);
    void ApplyProxySwitch(bool on);
    // The switch on, pointing at url; notes what the switch points at.
    void applySwitch(bool on, const std::string& url);
    // With the stored preference on, serves the script; a failure is shown and unticks the box.
    void startServingAsStored();
    void servePacClick();
    void startAtLoginClick();
    // While the switch is on and the script is served, a script changed by the editor gets
    // its new URL.
    void followServedScript();
    // The program's end while the script is served: the switch back at the file's URL, then
    // the server closed.
    void leaveServedScript() noexcept;
    std::string ReadSetting(const std::string& name);
    void WriteSetting(const std::string& name, const std::string& value);

    void loadNotifyIcon();

    TApplication& application_;
    std::unique_ptr<MainFormView> view_;
    std::unique_ptr<TNotifyIcon> NotifyIcon1;
    std::unique_ptr<PacService> pacService_;
    // The URL the switch was last turned on with ("" while it is off).
    std::string switchUrl_;
    std::string ruleFilePath_;
    bool trayAccepted_ = false;
    bool activatedBefore_ = false;
    // The user chose Exit: a failure at the end is shown then, and only then.
    bool exitChosen_ = false;
};

} // namespace tarnwick
