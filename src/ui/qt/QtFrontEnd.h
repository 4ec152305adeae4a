#pragma once

#include "forms/FormViews.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QIcon;
class QUrl;
class QWidget;

namespace tarnwick {

class QtMainForm;
class QtSetParamForm;
class TrayIconImage;
class TrayImageList;
class TrayPlatform;

// How the Qt windows reach the notification-area component's platform: the Qt backend on a
// desktop, the fake one in tests.
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

// What the Qt windows take from the desktop; tests give a fake notification area and a
// recorder instead of the desktop's URL handler.
struct QtServices {
    // Empty: the desktop's own notification area, through Qt.
    TrayBinding tray;
    // Opens a document or URL with the desktop's default action; its result is ignored.
    // Empty: QDesktopServices.
    std::function<void(const QUrl&)> openUrl;
};

// The Qt front end of the application object: hints and font, the title, the end of the
// desktop session and the termination signals, the message loop, and the two windows'
// widgets. A QApplication must exist first. Installs the Qt error box.
class QtFrontEnd : public QObject, public ApplicationView {
    Q_OBJECT
public:
    explicit QtFrontEnd(QtServices services = {});
    ~QtFrontEnd() override;

    // The notification area the windows use (for ApplicationServices::tray).
    TrayPlatform& Tray() const { return *services_.tray.platform; }
    const QtServices& Services() const { return services_; }

    void ApplyHints(int pauseMilliseconds, bool show) override;
    void SetTitle(const std::string& title) override;
    void WatchTheEnd(std::function<void()> onEnd) override;
    std::unique_ptr<MainFormView> CreateMainFormView(TMainForm& form) override;
    std::unique_ptr<SetParamFormView> CreateSetParamFormView(TsetParamForm& form) override;
    int RunMessageLoop() override;
    void QuitMessageLoop() override;
    void Post(std::function<void()> task) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The end of the desktop session or a termination signal: the program ends as after Exit,
    // also from inside a modal run (an error box, the tray menu), before the loop runs too.
    void EndRequested();
    // Closes the popups and error boxes open now; their modal runs return (a box as if OK).
    static void EndModalRuns();

    QtServices services_;
    // The desktop's notification area when none was given.
    std::unique_ptr<QObject> ownTray_;
    std::function<void()> onEnd_;
};

} // namespace tarnwick
