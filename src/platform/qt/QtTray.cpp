#include "platform/qt/QtTray.h"

#include "rules/CodePage.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QEvent>
#include <QMenu>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <cstring>

namespace tarnwick {

namespace {

// What the shell does with a timer interval below its minimum.
constexpr int MinimumTimerInterval = 10;
// Second parameter of the show message when the window system, not the program, shows it.
constexpr std::intptr_t ShownBySystem = 3;

// The shared hidden window for notifications: a plain object that knows its sink.
class TrayHandlerObject : public QObject {
public:
    explicit TrayHandlerObject(TrayNotificationSink& sink) : sink(sink) {}
    TrayNotificationSink& sink;
};

// The shared hidden window for timers; its QTimers are its children.
class TimerHandlerObject : public QObject {
public:
    explicit TimerHandlerObject(TimerSink& sink) : sink(sink) {}
    TimerSink& sink;
    std::map<std::uintptr_t, QPointer<QTimer>> timers;
};

// The owner's filter: an event filter on its window that turns an explicit show into the
// message the component understands and lets every event go on.
class QtOwnerFilter : public QObject, public WindowFilter {
public:
    QtOwnerFilter(QWidget* window, WindowFilterProc proc)
        : window_(window), proc_(std::move(proc)) {
        window_->installEventFilter(this);
    }
    ~QtOwnerFilter() override {
        if (window_)
            window_->removeEventFilter(this);
    }

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object != window_ || event->type() != QEvent::Show)
            return false;
        // Nothing may cross Qt's event loop; the program's handlers guard themselves.
        try {
            proc_(WindowMessage{msg::ShowWindow, 1, event->spontaneous() ? ShownBySystem : 0});
        } catch (...) {
        }
        return false;
    }

private:
    QPointer<QWidget> window_;
    WindowFilterProc proc_;
};

} // namespace

// One filter on the application; the platform itself watches the application's events.
class QtApplicationFilter : public WindowFilter {
public:
    QtApplicationFilter(QtTrayPlatform& platform, int key) : platform_(&platform), key_(key) {}
    ~QtApplicationFilter() override {
        if (platform_)
            platform_->RemoveApplicationFilter(key_);
    }

private:
    QPointer<QtTrayPlatform> platform_;
    int key_;
};

// ---------------------------------------------------------------------------------------
// Images and menu

IconHandle QtIconImage::Handle() const {
    return icon_.isNull() ? 0 : reinterpret_cast<IconHandle>(this);
}

void QtIconImage::Assign(const TrayIconImage& other) {
    const auto* qt = dynamic_cast<const QtIconImage*>(&other);
    icon_ = qt ? qt->icon_ : QIcon();
    Changed();
}

void QtIconImage::Clear() {
    icon_ = QIcon();
    Changed();
}

void QtIconImage::setIcon(const QIcon& icon) {
    icon_ = icon;
    Changed();
}

void QtImageList::GetIcon(int index, TrayIconImage& icon) const {
    if (index < 0 || index >= icons_.size()) {
        icon.Clear();
        return;
    }
    icon.Assign(QtIconImage(icons_.at(index)));
}

int QtPopupMenu::ItemCount() const {
    return menu_ ? static_cast<int>(menu_->actions().size()) : 0;
}

bool QtPopupMenu::ItemIsDefault(int index) const {
    if (!menu_ || index < 0 || index >= menu_->actions().size())
        return false;
    return menu_->defaultAction() == menu_->actions().at(index);
}

void QtPopupMenu::ClickItem(int index) {
    if (!menu_ || index < 0 || index >= menu_->actions().size())
        return;
    menu_->actions().at(index)->trigger();
}

void QtPopupMenu::Popup(TrayPoint at) {
    if (menu_)
        menu_->exec(QPoint(at.x, at.y));
}

// ---------------------------------------------------------------------------------------
// Platform

QtTrayPlatform::QtTrayPlatform(QObject* parent) : QObject(parent) {}

QtTrayPlatform::~QtTrayPlatform() {
    for (auto& [key, icon] : icons_)
        delete icon.data();
    hostMenus_.clear();
}

WindowHandle QtTrayPlatform::Handle(QWidget* widget) {
    return reinterpret_cast<WindowHandle>(widget);
}

QWidget* QtTrayPlatform::Widget(WindowHandle window) const {
    if (window == NoWindow || window == reinterpret_cast<WindowHandle>(this))
        return nullptr;
    return reinterpret_cast<QWidget*>(window);
}

void QtTrayPlatform::SetMainForm(QWidget* mainForm) {
    mainForm_ = mainForm;
}

bool QtTrayPlatform::TrayAvailable() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool QtTrayPlatform::StatusNotifierHostRegistered() {
    // The question Qt's own D-Bus tray asks before it registers an item.
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() ||
        !bus.interface()->isServiceRegistered(watcher).value())
        return false;
    QDBusInterface host(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
    return host.property("IsStatusNotifierHostRegistered").toBool();
}

bool QtTrayPlatform::HostDrawsMenus() {
    if (!hostDrawsMenus_)
        hostDrawsMenus_ = menuHostProbe_ ? menuHostProbe_() : StatusNotifierHostRegistered();
    return *hostDrawsMenus_;
}

QMenu* QtTrayPlatform::HostMenu(std::uint32_t iconId) const {
    for (const auto& [key, menu] : hostMenus_)
        if (key.second == iconId)
            return menu.get();
    return nullptr;
}

void QtTrayPlatform::SetTrayMenu(WindowHandle handlerWindow, std::uint32_t iconId,
                                 TrayPopupMenu* menu) {
    const auto* qtMenu = dynamic_cast<QtPopupMenu*>(menu);
    trayMenus_[{handlerWindow, iconId}] = qtMenu ? qtMenu->menu() : nullptr;
    HandMenuToHost({handlerWindow, iconId});
}

void QtTrayPlatform::HandMenuToHost(const IconKey& key) {
    const auto icon = icons_.find(key);
    if (icon == icons_.end() || !icon->second || !HostDrawsMenus())
        return;
    // A menu of its own that shows the popup menu's actions: the popup menu stays the
    // program's own for the host's other request (ContextMenu) and for XEmbed trays, and a
    // caption set on an action reaches the host.
    std::unique_ptr<QMenu>& hostMenu = hostMenus_[key];
    if (!hostMenu)
        hostMenu = std::make_unique<QMenu>();
    hostMenu->clear();
    const auto source = trayMenus_.find(key);
    if (source != trayMenus_.end() && source->second)
        hostMenu->addActions(source->second->actions());
    icon->second->setContextMenu(hostMenu.get());
}

QSystemTrayIcon* QtTrayPlatform::TrayIcon(std::uint32_t iconId) const {
    for (const auto& [key, icon] : icons_)
        if (key.second == iconId)
            return icon.data();
    return nullptr;
}

bool QtTrayPlatform::NotifyIcon(TrayRequest request, const TrayIconRecord& record) {
    const auto key = std::make_pair(record.hWnd, record.uID);
    auto found = icons_.find(key);
    if (found != icons_.end() && !found->second)
        icons_.erase(found), found = icons_.end();

    if (request == TrayRequest::Delete) {
        if (found == icons_.end())
            return false;
        QSystemTrayIcon* icon = found->second.data();
        icons_.erase(found);
        icon->hide();
        // Deleted later: the request may come from inside the icon's own activation signal,
        // or from the host's choice in its menu.
        icon->deleteLater();
        if (auto hostMenu = hostMenus_.find(key); hostMenu != hostMenus_.end()) {
            hostMenu->second.release()->deleteLater();
            hostMenus_.erase(hostMenu);
        }
        return true;
    }

    QSystemTrayIcon* icon = nullptr;
    if (request == TrayRequest::Add) {
        if (found != icons_.end())
            return false;
        if (!TrayPresent()) {
            addRefused_ = true;
            WatchTray();
            emit trayUnavailable();
            return false;
        }
        icon = new QSystemTrayIcon(this);
        const WindowHandle handler = record.hWnd;
        const std::uint32_t id = record.uID;
        connect(icon, &QSystemTrayIcon::activated, this,
                [this, handler, id](QSystemTrayIcon::ActivationReason reason) {
                    Deliver(handler, id, static_cast<int>(reason));
                });
        icons_[key] = icon;
        HandMenuToHost(key);
    } else {
        if (found == icons_.end())
            return false;
        icon = found->second.data();
    }

    QIcon image;
    if (record.hIcon != 0)
        image = reinterpret_cast<const QtIconImage*>(record.hIcon)->icon();
    icon->setIcon(image);
    const std::size_t tipLength = strnlen(record.szTip, sizeof record.szTip);
    icon->setToolTip(
        QString::fromStdString(Utf8FromGbk(std::string_view(record.szTip, tipLength))));
    // Qt shows no icon without an image; it appears with the first image it is given.
    if (!image.isNull())
        icon->show();
    return true;
}

void QtTrayPlatform::Deliver(WindowHandle handlerWindow, std::uint32_t iconId, int reason) {
    std::vector<std::uint32_t> kinds;
    switch (static_cast<QSystemTrayIcon::ActivationReason>(reason)) {
    case QSystemTrayIcon::Trigger:
        kinds = {msg::LButtonDown, msg::LButtonUp};
        break;
    case QSystemTrayIcon::DoubleClick:
        kinds = {msg::LButtonDblClk};
        break;
    case QSystemTrayIcon::Context:
        // The press opens the menu (modally); the release follows when it has closed.
        kinds = {msg::RButtonDown, msg::RButtonUp};
        break;
    case QSystemTrayIcon::MiddleClick:
        kinds = {msg::MButtonDown, msg::MButtonUp};
        break;
    default:
        return;
    }
    QPointer<QObject> handler = reinterpret_cast<QObject*>(handlerWindow);
    for (std::uint32_t kind : kinds) {
        // The menu may end the program's last icon, and with it the handler window.
        if (!handler)
            return;
        // Nothing may cross Qt's event loop; the program's handlers guard themselves.
        try {
            static_cast<TrayHandlerObject*>(handler.data())->sink.TrayNotification(iconId, kind);
        } catch (...) {
        }
    }
}

WindowHandle QtTrayPlatform::CreateTrayHandlerWindow(TrayNotificationSink& sink) {
    auto* handler = new TrayHandlerObject(sink);
    handler->setParent(this);
    return reinterpret_cast<WindowHandle>(static_cast<QObject*>(handler));
}

WindowHandle QtTrayPlatform::CreateTimerWindow(TimerSink& sink) {
    auto* handler = new TimerHandlerObject(sink);
    handler->setParent(this);
    return reinterpret_cast<WindowHandle>(static_cast<QObject*>(handler));
}

void QtTrayPlatform::DestroyHiddenWindow(WindowHandle window) {
    delete reinterpret_cast<QObject*>(window);
}

bool QtTrayPlatform::SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t interval) {
    auto* handler = dynamic_cast<TimerHandlerObject*>(reinterpret_cast<QObject*>(window));
    if (!handler)
        return false;
    QPointer<QTimer>& timer = handler->timers[id];
    if (!timer) {
        timer = new QTimer(handler);
        QObject::connect(timer, &QTimer::timeout, handler,
                         [handler, id] { handler->sink.TimerTick(id); });
    }
    const int ms =
        interval > static_cast<std::uint32_t>(INT32_MAX) ? INT32_MAX : static_cast<int>(interval);
    timer->start(std::max(ms, MinimumTimerInterval));
    return true;
}

bool QtTrayPlatform::KillTimer(WindowHandle window, std::uintptr_t id) {
    auto* handler = dynamic_cast<TimerHandlerObject*>(reinterpret_cast<QObject*>(window));
    if (!handler)
        return false;
    auto it = handler->timers.find(id);
    if (it == handler->timers.end() || !it->second || !it->second->isActive())
        return false;
    it->second->stop();
    return true;
}

std::optional<TrayPoint> QtTrayPlatform::CursorPos() {
    const QPoint p = QCursor::pos();
    return TrayPoint{p.x(), p.y()};
}

TShiftState QtTrayPlatform::KeyState() {
    const Qt::KeyboardModifiers m = QGuiApplication::queryKeyboardModifiers();
    TShiftState s = 0;
    if (m & Qt::ShiftModifier)
        s |= ssShift;
    if (m & Qt::AltModifier)
        s |= ssAlt;
    if (m & Qt::ControlModifier)
        s |= ssCtrl;
    return s;
}

std::uint32_t QtTrayPlatform::DoubleClickTime() {
    return static_cast<std::uint32_t>(QGuiApplication::styleHints()->mouseDoubleClickInterval());
}

WindowHandle QtTrayPlatform::ApplicationWindow() {
    return reinterpret_cast<WindowHandle>(this);
}

void QtTrayPlatform::ProcessMessages() {
    QCoreApplication::processEvents();
}

void QtTrayPlatform::SetWindowVisible(WindowHandle window, bool visible) {
    if (QWidget* w = Widget(window))
        w->setVisible(visible);
}

void QtTrayPlatform::ShowWindow(WindowHandle window, ShowCommand command) {
    // The application's taskbar entry is its main window's.
    QWidget* w = window == ApplicationWindow() ? mainForm_.data() : Widget(window);
    if (!w)
        return;
    if (command == ShowCommand::Hide)
        w->hide();
    else
        w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
}

bool QtTrayPlatform::SetForegroundWindow(WindowHandle window) {
    // The application window has no widget of its own here: bringing the application forward
    // is for the tray menu, and a Qt popup grabs the pointer and keyboard by itself. Raising
    // the main window instead would pull it over whatever the user was working in.
    if (window == ApplicationWindow())
        return true;
    QWidget* w = Widget(window);
    if (!w)
        return false;
    if (w->isVisible()) {
        w->raise();
        w->activateWindow();
    }
    return true;
}

void QtTrayPlatform::PostNullMessage(WindowHandle) {
    // Needed only by the shell's own menus; a Qt menu closes on its own.
}

std::unique_ptr<WindowFilter> QtTrayPlatform::InstallFilter(WindowHandle window,
                                                            WindowFilterProc filter) {
    if (window == ApplicationWindow()) {
        if (applicationFilters_.empty())
            QCoreApplication::instance()->installEventFilter(this);
        const int key = nextFilterKey_++;
        applicationFilters_[key] = std::move(filter);
        return std::make_unique<QtApplicationFilter>(*this, key);
    }
    QWidget* w = Widget(window);
    if (!w)
        return nullptr;
    return std::make_unique<QtOwnerFilter>(w, std::move(filter));
}

void QtTrayPlatform::RemoveApplicationFilter(int key) {
    applicationFilters_.erase(key);
    if (applicationFilters_.empty() && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool QtTrayPlatform::eventFilter(QObject* object, QEvent* event) {
    // Minimising the main window minimises the application.
    if (!mainForm_ || object != mainForm_.data())
        return false;
    if (event->type() == QEvent::WindowStateChange && mainForm_->isMinimized())
        SendToApplication(WindowMessage{msg::Size, msg::SizeMinimized, 0});
    else if (event->type() == QEvent::Move || event->type() == QEvent::Resize)
        SendToApplication(WindowMessage{msg::WindowPosChanged, 0, 0});
    return false;
}

void QtTrayPlatform::SendToApplication(const WindowMessage& message) {
    // Newest first, as with chained window procedures; a filter may take itself or others
    // out while it runs.
    std::vector<int> keys;
    for (const auto& [key, proc] : applicationFilters_)
        keys.insert(keys.begin(), key);
    for (int key : keys) {
        auto it = applicationFilters_.find(key);
        if (it == applicationFilters_.end())
            continue;
        WindowFilterProc proc = it->second;
        // Nothing may cross Qt's event loop; the program's handlers guard themselves.
        try {
            proc(message);
        } catch (...) {
        }
    }
}

bool QtTrayPlatform::TrayPresent() const {
    return trayProbe_ ? trayProbe_() : TrayAvailable();
}

void QtTrayPlatform::WatchTray() {
    if (!trayWatch_) {
        trayWatch_ = new QTimer(this);
        connect(trayWatch_, &QTimer::timeout, this, [this] {
            if (!TrayPresent())
                return;
            trayWatch_->stop();
            SendToApplication(WindowMessage{TaskbarCreatedMessage, 0, 0});
        });
    }
    if (!trayWatch_->isActive())
        trayWatch_->start(TrayWatchInterval);
}

std::unique_ptr<TrayIconImage> QtTrayPlatform::CreateIconImage() {
    return std::make_unique<QtIconImage>();
}

} // namespace tarnwick
