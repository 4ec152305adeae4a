#pragma once

#include "trayicon/TrayPlatform.h"

#include <QIcon>
#include <QList>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace tarnwick {

// The component's icon object over a QIcon.
class QtIconImage : public TrayIconImage {
public:
    explicit QtIconImage(QIcon icon = {}) : icon_(std::move(icon)) {}
    IconHandle Handle() const override;
    bool Empty() const override { return icon_.isNull(); }
    void Assign(const TrayIconImage& other) override;
    void Clear() override;

    const QIcon& icon() const { return icon_; }
    void setIcon(const QIcon& icon);

private:
    QIcon icon_;
};

// An image list over a list of QIcons.
class QtImageList : public TrayImageList {
public:
    explicit QtImageList(QList<QIcon> icons = {}) : icons_(std::move(icons)) {}
    int Count() const override { return static_cast<int>(icons_.size()); }
    void GetIcon(int index, TrayIconImage& icon) const override;

    QList<QIcon>& icons() { return icons_; }

private:
    QList<QIcon> icons_;
};

// The popup menu over a QMenu: its top-level actions are the items (separators included),
// the menu's default action is the default item. The menu may be destroyed first; the
// adapter then has no items and shows nothing.
class QtPopupMenu : public TrayPopupMenu {
public:
    explicit QtPopupMenu(QMenu* menu) : menu_(menu) {}
    bool AutoPopup() const override { return autoPopup_; }
    void SetAutoPopup(bool value) { autoPopup_ = value; }
    void SetPopupComponent(void* component) override { popupComponent_ = component; }
    void* PopupComponent() const { return popupComponent_; }
    int ItemCount() const override;
    bool ItemIsDefault(int index) const override;
    void ClickItem(int index) override;
    // Runs the menu modally at the position (QMenu::exec).
    void Popup(TrayPoint at) override;

    QMenu* menu() const { return menu_; }

private:
    QPointer<QMenu> menu_;
    bool autoPopup_ = true;
    void* popupComponent_ = nullptr;
};

// The tray component's platform on Qt: QSystemTrayIcon for the notification area, QTimer for
// the timers, event filters for the owner's window and the application. Qt has no separate
// application window: the application's taskbar entry is the main window's own.
class QtTrayPlatform : public QObject, public TrayPlatform {
    Q_OBJECT
public:
    explicit QtTrayPlatform(QObject* parent = nullptr);
    ~QtTrayPlatform() override;

    static WindowHandle Handle(QWidget* widget);
    QWidget* Widget(WindowHandle window) const;

    // Registers the application's main window (the first window the program shows).
    void SetMainForm(QWidget* mainForm);
    QWidget* MainForm() const { return mainForm_; }

    // Whether the desktop has a notification area now.
    static bool TrayAvailable();
    // True once an add request failed because the desktop has no notification area.
    bool AddRefused() const { return addRefused_; }
    // The icon shown for the component's identifier, or null.
    QSystemTrayIcon* TrayIcon(std::uint32_t iconId) const;

    // The taskbar-restart broadcast of this backend. Qt docks shown icons into a restarted tray
    // by itself; the broadcast goes to the application's filters when a notification area
    // appears after an add request found none, so that a visible icon is added then.
    static constexpr std::uint32_t TaskbarCreatedMessage = 0xC0DE;
    // How often a missing notification area is looked for again, in milliseconds.
    static constexpr int TrayWatchInterval = 1000;
    // Replaces the desktop's answer to "is there a notification area" (for tests).
    void SetTrayProbe(std::function<bool()> probe) { trayProbe_ = std::move(probe); }

    // Whether the session bus has a StatusNotifierItem host: Qt's icons then register as
    // items whose host draws their menu, else they dock into an XEmbed tray. Qt asks once, when
    // its first icon is made; so does this platform.
    static bool StatusNotifierHostRegistered();
    // Replaces the session bus's answer (for tests).
    void SetMenuHostProbe(std::function<bool()> probe) { menuHostProbe_ = std::move(probe); }
    // The menu a StatusNotifierItem host was handed for the icon, or null: it holds the popup
    // menu's own actions, so a choice there runs the same handler and captions follow.
    QMenu* HostMenu(std::uint32_t iconId) const;

    bool NotifyIcon(TrayRequest request, const TrayIconRecord& record) override;
    std::uint32_t RegisterTaskbarCreatedMessage() override { return TaskbarCreatedMessage; }
    void SetTrayMenu(WindowHandle handlerWindow, std::uint32_t iconId,
                     TrayPopupMenu* menu) override;
    WindowHandle CreateTrayHandlerWindow(TrayNotificationSink& sink) override;
    WindowHandle CreateTimerWindow(TimerSink& sink) override;
    void DestroyHiddenWindow(WindowHandle window) override;
    bool SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t interval) override;
    bool KillTimer(WindowHandle window, std::uintptr_t id) override;
    std::optional<TrayPoint> CursorPos() override;
    TShiftState KeyState() override;
    std::uint32_t DoubleClickTime() override;
    WindowHandle ApplicationWindow() override;
    WindowHandle MainFormWindow() override { return Handle(mainForm_); }
    void SetShowMainForm(bool show) override { showMainForm_ = show; }
    bool ShowMainForm() const override { return showMainForm_; }
    void ProcessMessages() override;
    void SetWindowVisible(WindowHandle window, bool visible) override;
    void ShowWindow(WindowHandle window, ShowCommand command) override;
    bool SetForegroundWindow(WindowHandle window) override;
    void PostNullMessage(WindowHandle window) override;
    std::unique_ptr<WindowFilter> InstallFilter(WindowHandle window,
                                                WindowFilterProc filter) override;
    std::unique_ptr<TrayIconImage> CreateIconImage() override;

signals:
    // An add request found no notification area on the desktop.
    void trayUnavailable();

protected:
    // The application's filter: sees the main window's events before it does.
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    friend class QtApplicationFilter;
    void Deliver(WindowHandle handlerWindow, std::uint32_t iconId, int reason);
    bool TrayPresent() const;
    void WatchTray();
    void SendToApplication(const WindowMessage& message);
    void RemoveApplicationFilter(int key);
    using IconKey = std::pair<WindowHandle, std::uint32_t>;
    bool HostDrawsMenus();
    void HandMenuToHost(const IconKey& key);

    QPointer<QWidget> mainForm_;
    bool showMainForm_ = true;
    bool addRefused_ = false;
    std::function<bool()> trayProbe_;
    QTimer* trayWatch_ = nullptr;
    std::map<int, WindowFilterProc> applicationFilters_;
    int nextFilterKey_ = 1;
    std::map<IconKey, QPointer<QSystemTrayIcon>> icons_;
    std::function<bool()> menuHostProbe_;
    std::optional<bool> hostDrawsMenus_;
    // The popup menu of each icon, and the menu its host was handed (owned here).
    std::map<IconKey, QPointer<QMenu>> trayMenus_;
    std::map<IconKey, std::unique_ptr<QMenu>> hostMenus_;
};

} // namespace tarnwick
