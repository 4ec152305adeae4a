#include "forms/Application.h"

#include "forms/ErrorBox.h"
#include "forms/TerminationSignals.h"
#include "forms/mainUnit.h"
#include "forms/setParamUnit.h"
#include "platform/CurrentUserRegistry.h"
#include "platform/ProgramFolders.h"
#include "platform/qt/QtTray.h"
#include "rules/FileSystem.h"
#include "trayicon/TrayPlatform.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFont>
#include <QProxyStyle>
#include <QUrl>

namespace tarnwick {

namespace {

TApplication* instance = nullptr;

// The hint delay and the hints switch, as the style answers them to every widget.
class HintStyle : public QProxyStyle {
public:
    HintStyle(int pause, bool show) : pause_(pause), show_(show) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return pause_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    bool show() const { return show_; }

private:
    int pause_;
    bool show_;
};

// Swallows tooltip requests while hints are off.
class NoHints : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

} // namespace

TApplication::TApplication() : TApplication(ApplicationServices{}) {}

TApplication::TApplication(ApplicationServices services) : services_(std::move(services)) {
    instance = this;
    if (!services_.tray.platform) {
        auto tray = std::make_unique<QtTrayPlatform>();
        QtTrayPlatform* platform = tray.get();
        services_.tray.platform = platform;
        services_.tray.window = [](QWidget* widget) { return QtTrayPlatform::Handle(widget); };
        services_.tray.imageList = [](const std::vector<QIcon>& icons) {
            return std::make_unique<QtImageList>(QList<QIcon>(icons.begin(), icons.end()));
        };
        services_.tray.iconImage = [](const QIcon& icon) {
            return std::make_unique<QtIconImage>(icon);
        };
        services_.tray.registerMainForm = [platform](QWidget* form) {
            platform->SetMainForm(form);
        };
        ownTray_ = std::move(tray);
    }
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
    if (!services_.openUrl)
        services_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
}

TApplication::~TApplication() {
    DestroyForms();
    if (instance == this)
        instance = nullptr;
}

TApplication* TApplication::Instance() {
    return instance;
}

void TApplication::SetHintPause(int milliseconds) {
    hintPause_ = milliseconds;
}

void TApplication::SetShowHint(bool on) {
    showHint_ = on;
}

void TApplication::Initialize() {
    QApplication::setStyle(new HintStyle(hintPause_, showHint_));
    // The program's texts are Chinese and Latin, which need no shaping; skipping it spares
    // loading the CJK face's layout tables, megabytes that every start would otherwise read.
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    QApplication::setFont(font);
    if (!showHint_)
        qApp->installEventFilter(new NoHints(this));
    // Closing the main window only hides it; the program ends through Terminate alone.
    QApplication::setQuitOnLastWindowClosed(false);
    // The end of the desktop session reaches the program as the platform's request to quit;
    // it ends the program the way Exit does.
    qApp->installEventFilter(this);
    connect(qApp, &QCoreApplication::aboutToQuit, this, &TApplication::closeEditorAsCancelled);
    installSignalHandlers();
}

bool TApplication::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::Quit) {
        Terminate();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void TApplication::SetTitle(const QString& title) {
    title_ = title;
    QCoreApplication::setApplicationName(title);
}

bool TApplication::ShowMainForm() const {
    return services_.tray.platform->ShowMainForm();
}

void TApplication::SetShowMainForm(bool show) {
    services_.tray.platform->SetShowMainForm(show);
}

TMainForm* TApplication::CreateMainForm() {
    mainForm_ = std::make_unique<TMainForm>(*this);
    // Registered only now that it is whole, so nothing hides it while it is being loaded.
    if (services_.tray.registerMainForm)
        services_.tray.registerMainForm(mainForm_.get());
    return mainForm_.get();
}

TsetParamForm* TApplication::CreateSetParamForm() {
    setParamForm_ = std::make_unique<TsetParamForm>();
    return setParamForm_.get();
}

int TApplication::Run() {
    int code = 0;
    if (!terminated_) {
        ShowMainFormAtStart();
        running_ = true;
        code = QApplication::exec();
        running_ = false;
    }
    closeEditorAsCancelled();
    DestroyForms();
    return code;
}

void TApplication::ShowMainFormAtStart() {
    if (mainForm_ && ShowMainForm())
        mainForm_->show();
}

void TApplication::Terminate() {
    terminated_ = true;
    closeEditorAsCancelled();
    // Straight out of every running loop: quit() would first ask each window to close, and
    // the main window's close only hides it, which would call the quit off.
    // Only Run's loop is left this way: leaving a loop that is not running would end the
    // next one at its start.
    if (running_)
        QCoreApplication::exit(0);
}

void TApplication::closeEditorAsCancelled() {
    if (setParamForm_ && setParamForm_->isVisible())
        setParamForm_->cancel();
}

void TApplication::DestroyForms() {
    // Each destructor guards its own handlers; what is left here cannot fail.
    setParamForm_.reset();
    mainForm_.reset();
}

void TApplication::installSignalHandlers() {
    WatchTerminationSignals(this, [this] { Terminate(); });
}

} // namespace tarnwick
