#pragma once

#include "proxyconfig/Registry.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QIcon;
class QUrl;
class QWidget;

namespace tarnwick {

class TMainForm;
class TrayIconImage;
class TrayImageList;
class TrayPlatform;
class TsetParamForm;

// How the windows' Qt parts reach the notification-area component's platform: the Qt
// backend on a desktop, the fake one in tests.
struct TrayBinding {
    TrayPlatform* platform = nullptr;
    // The platform's handle of a window.
    std::function<std::uintptr_t(QWidget*)> window;
    // An image list and an icon object the platform can show.
    std::function<std::unique_ptr<TrayImageList>(const std::vector<QIcon>&)> imageList;
    std::function<std::unique_ptr<TrayIconImage>(const QIcon&)> iconImage;
    // Registers the application's main window once it is created.
    std::function<void(QWidget*)> registerMainForm;
};

// What the windows take from the machine. The program uses the real ones; tests give a fake
// notification area, a registry in a temporary folder, a folder of their own and a recorder
// instead of the desktop's URL handler.
struct ApplicationServices {
    // The notification area, timers and window filters; owned by whoever made the services.
    // Empty: the desktop's own, through Qt.
    TrayBinding tray;
    RegistryFactory registry;
    // Where the PAC file and the rule file are: ends with "/" (GBK bytes). Empty: beside the
    // executable, or the configuration folder for an installed program.
    std::string executableFolder;
    // Where the help file is; empty: the folder above, or the install's share folder.
    std::string helpFolder;
    // Opens a document or URL with the desktop's default action; its result is ignored.
    std::function<void(const QUrl&)> openUrl;
};

// The application object: hints, the title, the two windows it creates at start and destroys
// at the end, the message loop, and the ways the program ends (Exit, end of the desktop
// session, SIGTERM/SIGINT/SIGHUP). A QApplication must exist first.
class TApplication : public QObject {
    Q_OBJECT
public:
    // The machine's services: the Qt notification area, the current user's registry, the
    // executable's folder and QDesktopServices.
    TApplication();
    explicit TApplication(ApplicationServices services);
    // Destroys the windows that are still there (see DestroyForms).
    ~TApplication() override;

    static TApplication* Instance();

    // Delay before a hint (tooltip) shows, in milliseconds, and hints on or off.
    void SetHintPause(int milliseconds);
    int HintPause() const { return hintPause_; }
    void SetShowHint(bool on);
    bool ShowHint() const { return showHint_; }

    // Applies the hint settings, keeps the program running when no window is visible, and
    // turns the end of the desktop session and SIGTERM, SIGINT, SIGHUP into Terminate.
    void Initialize();

    // The taskbar text and the caption of message boxes.
    void SetTitle(const QString& title);
    const QString& Title() const { return title_; }

    // Whether Run shows the main window; the tray icon's start-up event may clear it.
    bool ShowMainForm() const;
    void SetShowMainForm(bool show);

    // The first window created is the main window; the rule editor is created hidden.
    TMainForm* CreateMainForm();
    TsetParamForm* CreateSetParamForm();
    TMainForm* MainForm() const { return mainForm_.get(); }
    TsetParamForm* SetParamForm() const { return setParamForm_.get(); }

    const ApplicationServices& Services() const { return services_; }

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installSignalHandlers();
    void closeEditorAsCancelled();

    ApplicationServices services_;
    // The machine's notification area when the services were not given.
    std::unique_ptr<QObject> ownTray_;
    int hintPause_ = 500;
    bool showHint_ = false;
    QString title_;
    bool terminated_ = false;
    bool running_ = false;
    std::unique_ptr<TMainForm> mainForm_;
    std::unique_ptr<TsetParamForm> setParamForm_;
};

} // namespace tarnwick
