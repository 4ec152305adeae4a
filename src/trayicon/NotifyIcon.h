#pragma once

#include "trayicon/TickTimer.h"
#include "trayicon/TrayPlatform.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tarnwick {

class TNotifyIcon;

// Told to a component when another one it may refer to comes or goes.
enum class TOperation : std::uint8_t { opInsert, opRemove };

using TNotifyEvent = std::function<void(TNotifyIcon* Sender)>;
using TMouseEvent = std::function<void(TNotifyIcon* Sender, TMouseButton Button, TShiftState Shift,
                                       std::int32_t X, std::int32_t Y)>;
using TMouseMoveEvent =
    std::function<void(TNotifyIcon* Sender, TShiftState Shift, std::int32_t X, std::int32_t Y)>;
using TCycleEvent = std::function<void(TNotifyIcon* Sender, std::int32_t NextIndex)>;
using TStartupEvent = std::function<void(TNotifyIcon* Sender, bool& ShowMainForm)>;

// The notification area's shared hidden window: created with the first icon of a platform,
// freed with its last one. A notification finds its icon through the icon's identifier,
// an index into its slots.
class TTrayIconHandler final : public TrayNotificationSink {
public:
    static TTrayIconHandler& Acquire(TrayPlatform& platform);
    void Release();

    WindowHandle Window() const { return window_; }
    std::uint32_t TaskbarCreatedMessage() const { return taskbarCreatedMessage_; }
    std::uint32_t Register(TNotifyIcon* icon);
    void Unregister(std::uint32_t id);
    void TrayNotification(std::uint32_t iconId, std::uint32_t kind) override;

    ~TTrayIconHandler() override;

private:
    explicit TTrayIconHandler(TrayPlatform& platform);
    friend class TrayPlatform;

    TrayPlatform& platform_;
    WindowHandle window_ = NoWindow;
    std::uint32_t taskbarCreatedMessage_ = 0;
    std::uint32_t refCount_ = 0;
    std::vector<TNotifyIcon*> slots_;
    std::vector<std::uint32_t> freeIds_;
};

// The notification-area icon component. Owner is the window that owns it (NoWindow when the
// owner is not a window). Property setters act at once, also before Loaded.
class TNotifyIcon {
public:
    TNotifyIcon(TrayPlatform& platform, WindowHandle owner);
    virtual ~TNotifyIcon();
    TNotifyIcon(const TNotifyIcon&) = delete;
    TNotifyIcon& operator=(const TNotifyIcon&) = delete;

    // End of the owner's loading: raises OnStartup and applies the stored state again.
    virtual void Loaded();
    // A component this one may refer to (image list, popup menu) is going away.
    virtual void Notification(const void* component, TOperation operation);

    // --- properties ---
    bool DesignPreview() const { return designPreview_; }
    void SetDesignPreview(bool value);
    TrayImageList* IconList() const { return iconList_; }
    void SetIconList(TrayImageList* value);
    bool CycleIcons() const { return cycleIcons_; }
    void SetCycleIcons(bool value);
    std::uint32_t CycleInterval() const { return cycleInterval_; }
    void SetCycleInterval(std::uint32_t value);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    // GBK bytes, at most 255.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value);
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value);
    TrayIconImage& Icon() const { return *icon_; }
    void SetIcon(const TrayIconImage& value);
    bool IconVisible() const { return iconVisible_; }
    void SetIconVisible(bool value);
    std::int32_t IconIndex() const { return iconIndex_; }
    void SetIconIndex(std::int32_t value);
    TrayPopupMenu* PopupMenu() const { return popupMenu_; }
    // Also handed to a notification area that draws the icon's menu itself.
    void SetPopupMenu(TrayPopupMenu* value);
    bool LeftPopup() const { return leftPopup_; }
    void SetLeftPopup(bool value) { leftPopup_ = value; }
    bool WantEnterExitEvents() const { return wantEnterExitEvents_; }
    void SetWantEnterExitEvents(bool value);
    bool MinimizeToTray() const { return minimizeToTray_; }
    void SetMinimizeToTray(bool value) { minimizeToTray_ = value; }

    // --- events, called only when assigned ---
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseExit;
    TCycleEvent OnCycle;
    TNotifyEvent OnBalloonHintClick;
    TNotifyEvent OnBalloonHintHide;
    TNotifyEvent OnBalloonHintTimeout;
    TStartupEvent OnStartup;

    // --- requests to the notification area; true when it accepted them ---
    virtual bool UseStockDesignIcon() { return true; }
    virtual bool AddTrayIcon();
    virtual bool RemoveTrayIcon();
    virtual bool UpdateTrayIcon();

    // Opens the popup menu at the cursor (when there is one and it pops up automatically).
    void ShowPopupAtCursor();

    // Identifier under which the icon is registered with the notification area.
    std::uint32_t IconId() const { return iconId_; }
    // The record as last prepared for a request.
    const TrayIconRecord& IconRecord() const { return iconRecord_; }
    WindowHandle Owner() const { return owner_; }

    // Called by the shared handler window for each notification of this icon.
    void HandleNotification(std::uint32_t kind);

protected:
    virtual void DoClick();
    virtual void DoDblClick();
    virtual void DoCycle();
    virtual void DoMouseDown(TMouseButton Button, TShiftState Shift, std::int32_t X,
                             std::int32_t Y);
    virtual void DoMouseUp(TMouseButton Button, TShiftState Shift, std::int32_t X, std::int32_t Y);
    virtual void DoMouseMove(TShiftState Shift, std::int32_t X, std::int32_t Y);
    virtual void DoMouseEnter();
    virtual void DoMouseExit();
    virtual void DoMinimize();

    // True only inside a form designer; this program has none.
    virtual bool Designing() const { return false; }
    TrayPlatform& Platform() const { return platform_; }

private:
    bool PrepareIconRecord();
    void HideMainWindow();
    void ApplicationFilter(const WindowMessage& m);
    void OwnerFilter(const WindowMessage& m);
    void MouseButtonRow(std::uint32_t kind);
    void DefaultMenuItemClick();
    static void CycleTick(void* data);
    static void ClickTick(void* data);
    static void ExitTick(void* data);

    TrayPlatform& platform_;
    WindowHandle owner_;
    TTrayIconHandler& handler_;
    std::uint32_t iconId_ = 0;
    TrayIconRecord iconRecord_{};
    std::unique_ptr<TrayIconImage> icon_;

    bool designPreview_ = false;
    TrayImageList* iconList_ = nullptr;
    bool cycleIcons_ = false;
    std::uint32_t cycleInterval_ = 0;
    bool enabled_ = true;
    std::string hint_;
    bool showHint_ = true;
    bool iconVisible_ = false;
    std::int32_t iconIndex_ = 0;
    TrayPopupMenu* popupMenu_ = nullptr;
    bool leftPopup_ = false;
    bool wantEnterExitEvents_ = false;
    bool minimizeToTray_ = false;

    bool leftButtonDown_ = false;
    bool clickPending_ = false;
    bool dblClickSeen_ = false;
    bool cursorOutside_ = true;
    TrayPoint lastCursorPos_{};
    bool startupPending_ = true;
    bool previewChange_ = false;

    std::unique_ptr<TTickTimer> cycleTimer_;
    std::unique_ptr<TTickTimer> clickTimer_;
    std::unique_ptr<TTickTimer> exitTimer_;
    std::unique_ptr<WindowFilter> applicationFilter_;
    std::unique_ptr<WindowFilter> ownerFilter_;
};

} // namespace tarnwick
