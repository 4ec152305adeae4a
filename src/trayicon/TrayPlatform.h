#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace tarnwick {

class TTrayIconHandler;
class TTickTimerHandler;

// A window of the platform, opaque to the component (an HWND on Windows, a widget on Qt,
// a number in the test backend). 0 is "no window".
using WindowHandle = std::uintptr_t;
constexpr WindowHandle NoWindow = 0;

// An icon image of the platform (an HICON on Windows). 0 is "no image".
using IconHandle = std::uintptr_t;

struct TrayPoint {
    std::int32_t x = 0;
    std::int32_t y = 0;
    friend bool operator==(const TrayPoint&, const TrayPoint&) = default;
};

enum class TMouseButton : std::uint8_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };

// Modifier keys and buttons, one bit each in this order.
using TShiftState = std::uint8_t;
constexpr TShiftState ssShift = 1 << 0;
constexpr TShiftState ssAlt = 1 << 1;
constexpr TShiftState ssCtrl = 1 << 2;
constexpr TShiftState ssLeft = 1 << 3;
constexpr TShiftState ssRight = 1 << 4;
constexpr TShiftState ssMiddle = 1 << 5;

// The three requests to the notification area, numbered as the shell numbers them.
enum class TrayRequest : std::uint32_t { Add = 0, Modify = 1, Delete = 2 };

// Window messages the component reacts to. The Windows backend passes its own messages
// through; other backends translate their events into these.
namespace msg {
constexpr std::uint32_t Size = 0x0005;
constexpr std::uint32_t Activate = 0x0006;
constexpr std::uint32_t ShowWindow = 0x0018;
constexpr std::uint32_t WindowPosChanged = 0x0047;
constexpr std::uint32_t MouseMove = 0x0200;
constexpr std::uint32_t LButtonDown = 0x0201;
constexpr std::uint32_t LButtonUp = 0x0202;
constexpr std::uint32_t LButtonDblClk = 0x0203;
constexpr std::uint32_t RButtonDown = 0x0204;
constexpr std::uint32_t RButtonUp = 0x0205;
constexpr std::uint32_t RButtonDblClk = 0x0206;
constexpr std::uint32_t MButtonDown = 0x0207;
constexpr std::uint32_t MButtonUp = 0x0208;
constexpr std::uint32_t MButtonDblClk = 0x0209;
constexpr std::uint32_t BalloonHide = 0x0403;
constexpr std::uint32_t BalloonTimeout = 0x0404;
constexpr std::uint32_t BalloonUserClick = 0x0405;
// The callback message the notification area sends to the handler window.
constexpr std::uint32_t TrayCallback = 0x0800;

constexpr std::uintptr_t SizeMinimized = 1; // WM_SIZE first parameter
constexpr std::uintptr_t ActiveByClick = 2; // WM_ACTIVATE low word
constexpr std::uintptr_t Active = 1;
} // namespace msg

struct WindowMessage {
    std::uint32_t message = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// The record that goes with every request. It mirrors the ANSI notify-icon record of the
// shell, the version with the balloon fields; the fields the component never writes stay zero
// and are left out here. The Windows backend copies it into the shell's own layout.
struct TrayIconRecord {
    static constexpr std::uint32_t AnsiRecordSize = 488;
    static constexpr std::uint32_t FlagMessage = 1;
    static constexpr std::uint32_t FlagIcon = 2;
    static constexpr std::uint32_t FlagTip = 4;
    static constexpr std::size_t TipSize = 128;

    std::uint32_t cbSize = 0;
    WindowHandle hWnd = NoWindow;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    IconHandle hIcon = 0;
    char szTip[TipSize] = {};
};

// The component's own icon object. Every change of its image is reported through OnChange.
class TrayIconImage {
public:
    virtual ~TrayIconImage() = default;
    // The image's handle for a request; 0 when it is empty or cannot be read.
    virtual IconHandle Handle() const = 0;
    virtual bool Empty() const = 0;
    // Copies the other object's image into this one (reports a change).
    virtual void Assign(const TrayIconImage& other) = 0;
    // Drops the image (reports a change).
    virtual void Clear() = 0;

    std::function<void()> OnChange;

protected:
    void Changed() {
        if (OnChange)
            OnChange();
    }
};

// An image list as the component sees it.
class TrayImageList {
public:
    virtual ~TrayImageList() = default;
    virtual int Count() const = 0;
    // Copies the image at index (0 <= index < Count()) into icon.
    virtual void GetIcon(int index, TrayIconImage& icon) const = 0;
};

// A popup menu as the component sees it: auto-popup flag, top-level items with their
// default flag and click operation, and a modal show at a screen position.
class TrayPopupMenu {
public:
    virtual ~TrayPopupMenu() = default;
    virtual bool AutoPopup() const = 0;
    // The component the menu was opened for (the tray icon), for the items' handlers.
    virtual void SetPopupComponent(void* component) = 0;
    virtual int ItemCount() const = 0;
    virtual bool ItemIsDefault(int index) const = 0;
    // Runs the item's click operation as if it had been chosen from the menu.
    virtual void ClickItem(int index) = 0;
    // Shows the menu at the screen position and returns when it has closed.
    virtual void Popup(TrayPoint at) = 0;
};

// A message filter put in front of a window's own handling. Destroying it takes it out
// again (the window's previous handling is put back).
class WindowFilter {
public:
    virtual ~WindowFilter() = default;
};
// Sees a message before the window does; the message always goes on unchanged.
using WindowFilterProc = std::function<void(const WindowMessage&)>;

// What the platform delivers to the component's shared hidden windows.
class TrayNotificationSink {
public:
    virtual ~TrayNotificationSink() = default;
    // The callback message of the notification area: icon identifier and notification kind.
    virtual void TrayNotification(std::uint32_t iconId, std::uint32_t kind) = 0;
};
class TimerSink {
public:
    virtual ~TimerSink() = default;
    virtual void TimerTick(std::uintptr_t timerId) = 0;
};

enum class ShowCommand : std::uint8_t { Hide = 0, Restore = 9 };

// Everything the tray icon component needs from the platform. One object per process
// (or per test); it also anchors the component's shared hidden windows.
class TrayPlatform {
public:
    TrayPlatform() = default;
    TrayPlatform(const TrayPlatform&) = delete;
    TrayPlatform& operator=(const TrayPlatform&) = delete;
    // Frees shared handler windows still alive.
    virtual ~TrayPlatform();

    // --- notification area ---
    // One add/modify/delete request; true when the notification area accepted it.
    virtual bool NotifyIcon(TrayRequest request, const TrayIconRecord& record) = 0;
    // Identifier of the "TaskbarCreated" broadcast, 0 when the platform has none.
    virtual std::uint32_t RegisterTaskbarCreatedMessage() = 0;
    // The popup menu of the icon (handler window, identifier), or null. A notification area
    // that draws an icon's menu itself (a StatusNotifierItem host) is handed it; where the
    // program opens the menu on the right button (the shell, XEmbed trays), nothing happens.
    virtual void SetTrayMenu(WindowHandle, std::uint32_t, TrayPopupMenu*) {}

    // --- hidden windows and timers ---
    virtual WindowHandle CreateTrayHandlerWindow(TrayNotificationSink& sink) = 0;
    virtual WindowHandle CreateTimerWindow(TimerSink& sink) = 0;
    virtual void DestroyHiddenWindow(WindowHandle window) = 0;
    // A periodic timer on a timer window; setting an existing id again restarts it.
    virtual bool SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t interval) = 0;
    virtual bool KillTimer(WindowHandle window, std::uintptr_t id) = 0;

    // --- input ---
    virtual std::optional<TrayPoint> CursorPos() = 0;
    // Shift, Alt and Ctrl as they are now.
    virtual TShiftState KeyState() = 0;
    virtual std::uint32_t DoubleClickTime() = 0;

    // --- windows ---
    // The application window: it carries the taskbar entry and sees minimising.
    virtual WindowHandle ApplicationWindow() = 0;
    // The application's registered main window; NoWindow while none is registered.
    virtual WindowHandle MainFormWindow() = 0;
    virtual bool MainFormIsMdiFrame() { return false; }
    // The application's show-main-window-at-start flag.
    virtual void SetShowMainForm(bool show) = 0;
    virtual bool ShowMainForm() const = 0;
    virtual void ProcessMessages() = 0;
    virtual void SetWindowVisible(WindowHandle window, bool visible) = 0;
    virtual void ShowWindow(WindowHandle window, ShowCommand command) = 0;
    virtual bool SetForegroundWindow(WindowHandle window) = 0;
    virtual void PostNullMessage(WindowHandle window) = 0;
    // The active control's window and its parent (NoWindow when it has none).
    struct ActiveControlWindows {
        WindowHandle control = NoWindow;
        WindowHandle parent = NoWindow;
    };
    virtual std::optional<ActiveControlWindows> ActiveControl() { return std::nullopt; }
    virtual void SetFocus(WindowHandle) {}
    virtual std::unique_ptr<WindowFilter> InstallFilter(WindowHandle window,
                                                        WindowFilterProc filter) = 0;

    // --- images ---
    virtual std::unique_ptr<TrayIconImage> CreateIconImage() = 0;
    // The platform's stock logo icon for design-time preview; false where there is none.
    virtual bool LoadStockLogoIcon(TrayIconImage&) { return false; }

private:
    friend class TTrayIconHandler;
    friend class TTickTimerHandler;
    TTrayIconHandler* trayIconHandler_ = nullptr;
    TTickTimerHandler* tickTimerHandler_ = nullptr;
};

} // namespace tarnwick
