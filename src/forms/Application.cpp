#include "forms/Application.h"

#include "forms/mainUnit.h"
#include "forms/setParamUnit.h"
#include "platform/CurrentUserRegistry.h"
#include "platform/ProgramFolders.h"
#include "platform/StartAtLogin.h"
#include "rules/FileSystem.h"
#include "trayicon/TrayPlatform.h"

namespace tarnwick {

namespace {

TApplication* instance = nullptr;

} // namespace

TApplication::TApplication(ApplicationView& view, ApplicationServices services)
    : view_(view), services_(std::move(services)) {
    instance = this;
    if (!services_.registry)
        services_.registry = CurrentUserRegistry();
    if (services_.executableFolder.empty()) {
        const ProgramFolders folders = MachineProgramFolders();
        services_.executableFolder = folders.files;
        if (services_.helpFolder.empty())
            services_.helpFolder = folders.help;
    }
    if (services_.helpFolder.empty())
        services_.helpFolder = services_.executableFolder;
    if (!services_.startAtLogin)
        services_.startAtLogin = MachineStartAtLogin();
    if (!services_.desktopProxy)
        services_.desktopProxy = LocalDesktopProxyStores;
    if (!services_.pacServer)
        services_.pacServer = [](PacScriptSource script) {
            return MakePacServer(std::move(script));
        };
}

TApplication::~TApplication() {
    DestroyForms();
    if (instance == this)
        instance = nullptr;
}

TApplication* TApplication::Instance() {
    return instance;
}

void TApplication::Initialize() {
    view_.ApplyHints(hintPause_, showHint_);
    // Closing the main window only hides it; the program ends through Terminate alone, which
    // the end of the desktop session and the termination signals call as Exit does.
    view_.WatchTheEnd([this] { Terminate(); });
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    view_.SetTitle(title);
}

bool TApplication::ShowMainForm() const {
    return services_.tray->ShowMainForm();
}

void TApplication::SetShowMainForm(bool show) {
    services_.tray->SetShowMainForm(show);
}

TMainForm* TApplication::CreateMainForm() {
    mainForm_ = std::make_unique<TMainForm>(*this);
    // Registered only now that it is whole, so nothing hides it while it is being loaded.
    mainForm_->View().RegisterAsMainForm();
    return mainForm_.get();
}

TsetParamForm* TApplication::CreateSetParamForm() {
    setParamForm_ = std::make_unique<TsetParamForm>(
        [this](TsetParamForm& form) { return view_.CreateSetParamFormView(form); });
    return setParamForm_.get();
}

int TApplication::Run() {
    int code = 0;
    if (!terminated_) {
        ShowMainFormAtStart();
        running_ = true;
        code = view_.RunMessageLoop();
        running_ = false;
    }
    closeEditorAsCancelled();
    DestroyForms();
    return code;
}

void TApplication::ShowMainFormAtStart() {
    if (mainForm_ && ShowMainForm())
        mainForm_->View().Show();
}

void TApplication::Terminate() {
    const bool first = !terminated_;
    terminated_ = true;
    closeEditorAsCancelled();
    // Only Run's loop is left this way, and once: leaving a loop that is not running (or no
    // longer) would end the next one at its start.
    if (running_ && first)
        view_.QuitMessageLoop();
}

void TApplication::closeEditorAsCancelled() {
    if (setParamForm_)
        setParamForm_->Cancel();
}

void TApplication::DestroyForms() {
    // Each destructor guards its own handlers; what is left here cannot fail.
    setParamForm_.reset();
    mainForm_.reset();
}

int RunTarnwick(ApplicationView& view, ApplicationServices services) {
    TApplication Application(view, std::move(services));
    Application.SetHintPause(100);
    Application.SetShowHint(true);
    Application.Initialize();
    Application.SetTitle("Tarnwick");
    Application.CreateMainForm();     // NotifyIcon1Startup while it loads, then FormCreate
    Application.CreateSetParamForm(); // hidden until opened
    return Application.Run();
}

void ShowRunningMainForm() {
    if (instance && instance->MainForm())
        instance->MainForm()->Handle(&TMainForm::MMainInterfaceClick);
}

} // namespace tarnwick
