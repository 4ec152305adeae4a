#include "forms/mainUnit.h"

#include "forms/Application.h"
#include "forms/ErrorBox.h"
#include "forms/setParamUnit.h"
#include "pacserver/PacService.h"
#include "platform/StartAtLogin.h"
#include "proxyconfig/ProxySwitch.h"
#include "proxyconfig/Settings.h"
#include "rules/CodePage.h"
#include "rules/FileSystem.h"
#include "trayicon/NotifyIcon.h"

#include <exception>

namespace tarnwick {

std::string PacFilePath;
std::string PacFileUrl;
std::string DisableCaption;
std::string EnableCaption;

namespace {

const char* const StartHidden = "startHidden";
const char* const FeedbackAddress = "mailto:feedback@tarnwick.invalid";
#ifdef _WIN32
const char* const HelpFileName = "Help\\help.chm";
#else
const char* const HelpFileName = "Help/help.chm";
#endif

} // namespace

// NotifyIcon1, which also notes whether the desktop ever accepted the icon.
class TMainForm::MainNotifyIcon : public TNotifyIcon {
public:
    MainNotifyIcon(TMainForm& form, TrayPlatform& platform, WindowHandle owner)
        : TNotifyIcon(platform, owner), form_(form) {}

    bool AddTrayIcon() override {
        const bool added = TNotifyIcon::AddTrayIcon();
        if (added && !form_.trayAccepted_) {
            // A notification area that appears after the start is one to hide into.
            form_.trayAccepted_ = true;
            SetMinimizeToTray(true);
        }
        return added;
    }

private:
    TMainForm& form_;
};

TMainForm::TMainForm(TApplication& application) : application_(application) {
    view_ = application_.View().CreateMainFormView(*this);
    loadNotifyIcon();
    // The creation handler runs once the whole layout is loaded; its failure is shown and
    // the window is created all the same.
    Handle(&TMainForm::FormCreate);
}

TMainForm::~TMainForm() {
    Handle(&TMainForm::FormDestroy);
    leaveServedScript();
    pacService_.reset();
    // The icon leaves the notification area before the menu and the images it refers to go.
    NotifyIcon1.reset();
    view_.reset();
}

void TMainForm::Handle(void (TMainForm::*handler)()) noexcept {
    RunGuarded(view_.get(), [this, handler] { (this->*handler)(); });
}

void TMainForm::loadNotifyIcon() {
    TrayPlatform& platform = *application_.Services().tray;
    NotifyIcon1 = std::make_unique<MainNotifyIcon>(*this, platform, view_->TrayWindow());
    // The stored properties, in the order of the component's property list; the stored
    // IconVisible adds the icon with the stored image.
    NotifyIcon1->SetCycleInterval(0);
    NotifyIcon1->SetIcon(*view_->StoredIcon());
    NotifyIcon1->SetIconVisible(true);
    NotifyIcon1->SetIconIndex(0);
    NotifyIcon1->SetMinimizeToTray(true);
    NotifyIcon1->OnStartup = [this](TNotifyIcon*, bool& ShowMainForm) {
        try {
            NotifyIcon1Startup(ShowMainForm);
        } catch (...) {
            // The window is shown, and the failure with it once the message loop runs. The
            // first activation would only read the same failure again: the user hears it once.
            ShowMainForm = true;
            activatedBefore_ = true;
            application_.View().Post([this, failure = std::current_exception()] {
                RunGuarded(view_.get(), [&] { std::rethrow_exception(failure); });
            });
        }
    };
    // References to other components are resolved at the end of loading.
    NotifyIcon1->SetIconList(&view_->TrayIconList());
    NotifyIcon1->SetPopupMenu(&view_->TrayMenu());
    NotifyIcon1->Loaded();
    // Without a notification area, minimising must not hide the window into nothing.
    if (!trayAccepted_)
        NotifyIcon1->SetMinimizeToTray(false);
    view_->NotifyIconLoaded();
}

// ---------------------------------------------------------------------------------------
// Handlers

void TMainForm::NotifyIcon1Startup(bool& ShowMainForm) {
    const bool hidden = ReadSetting(StartHidden) == "true";
    // The box shows the stored preference from the start, so that a run in which the window
    // is never shown saves it unchanged.
    if (hidden)
        view_->SetChecked(MainCheckBox::StartHidden, true);
    // Hidden only where there is a notification area to come back from.
    if (hidden && trayAccepted_)
        ShowMainForm = false;
}

void TMainForm::FormCreate() {
    // The desktop's record is the state, whatever the last run saw; read first, so that a
    // failing switch below does not leave the box wrong.
    view_->SetChecked(MainCheckBox::StartAtLogin, application_.Services().startAtLogin->IsOn());
    const std::string& folder = application_.Services().executableFolder;
    PacFilePath = folder + "IETarnwick.pac";
    PacFileUrl = "file://" + PacFilePath;
    ruleFilePath_ = folder + "configData.ini";
    HelpFile = application_.Services().helpFolder + HelpFileName;
    DisableCaption = GbkFromUtf8("禁用");
    EnableCaption = GbkFromUtf8("启用");
    ProxyEnabled = 1;
    pacService_ = std::make_unique<PacService>(
        application_.Services().registry, [] { return LocalFileSystem().readFile(PacFilePath); },
        application_.Services().pacServer);
    startServingAsStored();
    ApplyProxySwitch(true);
    ShowSwitchState(true);
}

void TMainForm::FormActivate() {
    view_->SetSwitchItemCaption(ProxyEnabled == 1 ? DisableCaption : EnableCaption);
    // Only the first activation reads the stored value; later ones leave the box as the
    // user set it.
    if (activatedBefore_)
        return;
    activatedBefore_ = true;
    if (ReadSetting(StartHidden) == "true")
        view_->SetChecked(MainCheckBox::StartHidden, true);
}

void TMainForm::FormClose() {
    if (trayAccepted_)
        view_->Hide();
    else
        view_->ShowMinimized(); // no notification area to come back from: stay in the taskbar
}

void TMainForm::FormDestroy() {
    WriteSetting(StartHidden, view_->Checked(MainCheckBox::StartHidden) ? "true" : "false");
}

void TMainForm::ToolButtonSetClick() {
    TsetParamForm* editor = application_.SetParamForm();
    if (!editor)
        return;
    editor->setPacFilePath(PacFilePath);
    editor->setRuleFilePath(ruleFilePath_);
    // Modal to the windows that are visible now, as the editor's modal run has always been:
    // the notification area's icon and a main window shown later from its menu stay usable.
    editor->Execute(view_->Visible() ? view_.get() : nullptr);
    followServedScript();
}

void TMainForm::MSettingClick() {
    ToolButtonSetClick();
}

void TMainForm::ToolButtonSwitchClick() {
    // The click has toggled the button already: pressed means off.
    const bool on = !view_->SwitchButtonDown();
    try {
        ApplyProxySwitch(on);
    } catch (...) {
        // The switch did not move: the button goes back to the state it really is in.
        view_->SetSwitchButtonDown(ProxyEnabled == 0);
        throw;
    }
    ShowSwitchState(on);
}

void TMainForm::MSwitchClick() {
    const std::string caption = view_->SwitchItemCaption();
    const bool turnOff = caption.compare(0, DisableCaption.size(), DisableCaption) == 0;
    ApplyProxySwitch(!turnOff);
    ShowSwitchState(!turnOff);
}

void TMainForm::ToolButtonHelpClick() {
    view_->OpenWithShell(HelpFile, ShellTarget::Document);
}

void TMainForm::ToolButtonExitClick() {
    exitChosen_ = true;
    application_.Terminate();
}

void TMainForm::MExitClick() {
    exitChosen_ = true;
    application_.Terminate();
}

void TMainForm::MMainInterfaceClick() {
    if (view_->Minimized())
        view_->ShowNormal();
    else
        view_->Show();
    view_->BringToFront();
}

void TMainForm::Label1Click() {
    view_->OpenWithShell(FeedbackAddress, ShellTarget::Url);
}

void TMainForm::Label1MouseEnter() {
    view_->SetLinkUnderlined(true);
}

void TMainForm::Label1MouseLeave() {
    view_->SetLinkUnderlined(false);
}

void TMainForm::CheckBoxClick(MainCheckBox box) {
    // The start-hidden preference is read from the box at exit; its click does nothing more.
    if (box == MainCheckBox::ServePac)
        servePacClick();
    if (box == MainCheckBox::StartAtLogin)
        startAtLoginClick();
}

void TMainForm::startAtLoginClick() {
    StartAtLogin& startAtLogin = *application_.Services().startAtLogin;
    try {
        startAtLogin.SetOn(view_->Checked(MainCheckBox::StartAtLogin));
    } catch (...) {
        // The desktop's record did not change: the box shows what it holds.
        view_->SetChecked(MainCheckBox::StartAtLogin, startAtLogin.IsOn());
        throw;
    }
}

void TMainForm::servePacClick() {
    const bool on = view_->Checked(MainCheckBox::ServePac);
    try {
        if (on) {
            pacService_->start();
            if (ProxyEnabled == 1)
                applySwitch(true, pacService_->switchUrl(PacFileUrl));
        } else {
            // The switch leaves the server before the server goes, so that a failure leaves
            // both as they were.
            if (ProxyEnabled == 1)
                applySwitch(true, PacFileUrl);
            pacService_->stop();
        }
    } catch (...) {
        if (on) {
            pacService_->stop();
            view_->SetChecked(MainCheckBox::ServePac, false);
            pacService_->storePreference(false);
        } else {
            view_->SetChecked(MainCheckBox::ServePac, true);
        }
        throw;
    }
    if (ProxyEnabled == 1)
        ShowSwitchState(true);
    pacService_->storePreference(on);
}

void TMainForm::startServingAsStored() {
    // Shown here, so that the creation goes on and the switch takes the file's URL.
    RunGuarded(view_.get(), [this] {
        if (!pacService_->storedPreference())
            return;
        view_->SetChecked(MainCheckBox::ServePac, true);
        try {
            pacService_->start();
        } catch (...) {
            // The stored preference stays: the port may well be free at the next start.
            view_->SetChecked(MainCheckBox::ServePac, false);
            throw;
        }
    });
}

void TMainForm::leaveServedScript() noexcept {
    if (!pacService_)
        return;
    // The switch leaves the port before the port is freed: a port freed while the switch still
    // names it could be bound by another local user's process, whose script this user's
    // browsers would then follow. The switch stays on; the next start serves again.
    if (ProxyEnabled == 1 && pacService_->serving()) {
        try {
            applySwitch(true, PacFileUrl);
        } catch (...) {
            // Exit chosen by the user shows it as any other failure at exit; the end of the
            // session or a termination request has nobody to show it to.
            if (exitChosen_)
                ShowCurrentException(view_.get());
        }
    }
    pacService_->stop();
}

void TMainForm::followServedScript() {
    if (ProxyEnabled != 1 || !pacService_ || !pacService_->serving())
        return;
    if (pacService_->switchUrl(PacFileUrl) == switchUrl_)
        return;
    ApplyProxySwitch(true);
    ShowSwitchState(true);
}

// ---------------------------------------------------------------------------------------
// Private operations

void TMainForm::ShowSwitchState(bool on) {
    view_->SetSwitchButtonDown(!on);
    view_->SetSwitchItemCaption(on ? DisableCaption : EnableCaption);
    NotifyIcon1->SetIconIndex(on ? 0 : 1);
    ProxyEnabled = on ? 1 : 0;
}

void TMainForm::ApplyProxySwitch(bool on) {
    // Off writes no URL: the script is not read for it.
    applySwitch(on, on && pacService_ ? pacService_->switchUrl(PacFileUrl) : PacFileUrl);
}

void TMainForm::applySwitch(bool on, const std::string& url) {
    const ApplicationServices& services = application_.Services();
    tarnwick::ApplyProxySwitch(services.registry, on, url, services.desktopProxy());
    switchUrl_ = on ? url : std::string();
}

std::string TMainForm::ReadSetting(const std::string& name) {
    return tarnwick::ReadSetting(application_.Services().registry, name);
}

void TMainForm::WriteSetting(const std::string& name, const std::string& value) {
    tarnwick::WriteSetting(application_.Services().registry, name, value);
}

} // namespace tarnwick
