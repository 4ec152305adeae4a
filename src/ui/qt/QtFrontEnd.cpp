#include "ui/qt/QtFrontEnd.h"

#include "forms/mainUnit.h"
#include "forms/setParamUnit.h"
#include "platform/qt/QtTray.h"
#include "trayicon/TrayPlatform.h"
#include "ui/qt/GbkText.h"
#include "ui/qt/Pictures.h"
#include "ui/qt/QtErrorBox.h"
#include "ui/qt/QtMainForm.h"
#include "ui/qt/QtSetParamForm.h"
#include "ui/qt/TerminationSignals.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFont>
#include <QMessageBox>
#include <QProxyStyle>
#include <QTimer>
#include <QUrl>

namespace tarnwick {

namespace {

// The hint delay, as the style answers it to every widget.
class HintStyle : public QProxyStyle {
public:
    explicit HintStyle(int pause) : pause_(pause) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_ToolTip_WakeUpDelay)
            return pause_;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option,
                       const QWidget* widget) const override {
        // The toolbars' overflow arrow, which every toolbar makes at once: the style names its
        // file, and finding that file's format out loads every image-format plugin.
        const QString arrow = QStringLiteral(":/qt-project.org/styles/commonstyle/images/right");
        if (icon == SP_ToolBarHorizontalExtensionButton &&
            QGuiApplication::layoutDirection() == Qt::LeftToRight &&
            QFile::exists(arrow + QStringLiteral("-16.png")))
            return Picture(arrow, {16, 32, 128});
        return QProxyStyle::standardIcon(icon, option, widget);
    }

private:
    int pause_;
};

// Swallows tooltip requests while hints are off.
class NoHints : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::ToolTip; }
};

} // namespace

QtFrontEnd::QtFrontEnd(QtServices services) : services_(std::move(services)) {
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
    if (!services_.openUrl)
        services_.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    InstallQtErrorBox();
}

QtFrontEnd::~QtFrontEnd() = default;

void QtFrontEnd::ApplyHints(int pauseMilliseconds, bool show) {
    QApplication::setStyle(new HintStyle(pauseMilliseconds));
    // The program's texts are Chinese and Latin, which need no shaping; skipping it spares
    // loading the CJK face's layout tables, megabytes that every start would otherwise read.
    QFont font = QApplication::font();
    font.setStyleStrategy(QFont::PreferNoShaping);
    QApplication::setFont(font);
    if (!show)
        qApp->installEventFilter(new NoHints(this));
}

void QtFrontEnd::SetTitle(const std::string& title) {
    QCoreApplication::setApplicationName(FromGbk(title));
}

void QtFrontEnd::WatchTheEnd(std::function<void()> onEnd) {
    onEnd_ = std::move(onEnd);
    // Closing the main window only hides it; the program ends through onEnd alone.
    QApplication::setQuitOnLastWindowClosed(false);
    // The end of the desktop session reaches the program as the platform's request to quit.
    qApp->installEventFilter(this);
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] { EndRequested(); });
    WatchTerminationSignals(this, [this] { EndRequested(); });
}

void QtFrontEnd::EndRequested() {
    // The end first (an open rule editor ends as cancelled, the loop is asked to end), then
    // whatever modal run the request came into gives way: otherwise it would hold the end
    // until a person answered it, and a session manager kills a program that waits.
    onEnd_();
    EndModalRuns();
}

void QtFrontEnd::EndModalRuns() {
    // Innermost first; one round each, a popup opened by a closing one included.
    for (int round = 0; round < 16; ++round) {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
            continue;
        }
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            break;
        box->done(QMessageBox::Ok);
    }
}

bool QtFrontEnd::eventFilter(QObject* watched, QEvent* event) {
    if (watched == qApp && event->type() == QEvent::Quit && onEnd_) {
        EndRequested();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

std::unique_ptr<MainFormView> QtFrontEnd::CreateMainFormView(TMainForm& form) {
    return std::make_unique<QtMainForm>(form, services_);
}

std::unique_ptr<SetParamFormView> QtFrontEnd::CreateSetParamFormView(TsetParamForm& form) {
    return std::make_unique<QtSetParamForm>(form);
}

int QtFrontEnd::RunMessageLoop() {
    return QApplication::exec();
}

void QtFrontEnd::QuitMessageLoop() {
    // Straight out of every running loop: quit() would first ask each window to close, and
    // the main window's close only hides it, which would call the quit off.
    QCoreApplication::exit(0);
}

void QtFrontEnd::Post(std::function<void()> task) {
    QTimer::singleShot(0, this, std::move(task));
}

} // namespace tarnwick
