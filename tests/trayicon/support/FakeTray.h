#pragma once

#include "trayicon/TrayPlatform.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tarnwick::fake {

// An icon object whose image is a number ("picture"); 0 is no image.
class FakeIconImage : public TrayIconImage {
public:
    explicit FakeIconImage(IconHandle picture = 0) : picture_(picture) {}
    IconHandle Handle() const override { return readable ? picture_ : 0; }
    bool Empty() const override { return picture_ == 0; }
    void Assign(const TrayIconImage& other) override;
    void Clear() override;

    IconHandle Picture() const { return picture_; }
    void SetPicture(IconHandle picture);
    // False: the stored image cannot be read (Handle() gives 0).
    bool readable = true;
    int changes = 0;

private:
    IconHandle picture_;
};

// Count images with the pictures firstPicture, firstPicture + 1, ...
class FakeImageList : public TrayImageList {
public:
    explicit FakeImageList(int count, IconHandle firstPicture = 100)
        : count_(count), firstPicture_(firstPicture) {}
    int Count() const override { return count_; }
    void GetIcon(int index, TrayIconImage& icon) const override;
    IconHandle Picture(int index) const { return firstPicture_ + static_cast<IconHandle>(index); }

private:
    int count_;
    IconHandle firstPicture_;
};

class FakePopupMenu : public TrayPopupMenu {
public:
    struct Item {
        std::string caption;
        bool isDefault = false;
        int clicks = 0;
        std::function<void()> onClick;
    };

    Item& AddItem(std::string caption, bool isDefault = false);

    bool AutoPopup() const override { return autoPopup; }
    void SetPopupComponent(void* component) override { popupComponent = component; }
    int ItemCount() const override { return static_cast<int>(items.size()); }
    bool ItemIsDefault(int index) const override;
    void ClickItem(int index) override;
    void Popup(TrayPoint at) override;

    std::vector<Item> items;
    bool autoPopup = true;
    void* popupComponent = nullptr;
    // Where the menu was shown, one entry per show.
    std::vector<TrayPoint> popups;
    // Runs while the menu is "open" (inside its modal loop).
    std::function<void()> whileOpen;
};

// A fake notification area, fake windows, fake timers on a fake clock, a fake cursor and
// keyboard. Records every request; the test delivers notifications and broadcasts.
class FakeTrayPlatform : public TrayPlatform {
public:
    FakeTrayPlatform();
    ~FakeTrayPlatform() override;

    struct Request {
        TrayRequest request;
        TrayIconRecord record;
        bool accepted;
    };
    struct Timer {
        WindowHandle window = NoWindow;
        std::uintptr_t id = 0;
        std::uint32_t interval = 0;
        std::uint64_t due = 0;
    };

    // --- TrayPlatform ---
    bool NotifyIcon(TrayRequest request, const TrayIconRecord& record) override;
    std::uint32_t RegisterTaskbarCreatedMessage() override { return taskbarCreatedMessage; }
    void SetTrayMenu(WindowHandle window, std::uint32_t iconId, TrayPopupMenu* menu) override {
        trayMenus[{window, iconId}] = menu;
    }
    WindowHandle CreateTrayHandlerWindow(TrayNotificationSink& sink) override;
    WindowHandle CreateTimerWindow(TimerSink& sink) override;
    void DestroyHiddenWindow(WindowHandle window) override;
    bool SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t interval) override;
    bool KillTimer(WindowHandle window, std::uintptr_t id) override;
    std::optional<TrayPoint> CursorPos() override { return cursor; }
    TShiftState KeyState() override { return keys; }
    std::uint32_t DoubleClickTime() override { return doubleClickTime; }
    WindowHandle ApplicationWindow() override { return applicationWindow; }
    WindowHandle MainFormWindow() override { return mainForm; }
    bool MainFormIsMdiFrame() override { return mainFormIsMdiFrame; }
    void SetShowMainForm(bool show) override { showMainForm = show; }
    bool ShowMainForm() const override { return showMainForm; }
    void ProcessMessages() override;
    void SetWindowVisible(WindowHandle window, bool visible) override;
    void ShowWindow(WindowHandle window, ShowCommand command) override;
    bool SetForegroundWindow(WindowHandle window) override;
    void PostNullMessage(WindowHandle window) override;
    std::optional<ActiveControlWindows> ActiveControl() override { return activeControl; }
    void SetFocus(WindowHandle window) override;
    std::unique_ptr<WindowFilter> InstallFilter(WindowHandle window,
                                                WindowFilterProc filter) override;
    std::unique_ptr<TrayIconImage> CreateIconImage() override;

    // --- driving it ---
    // A new top-level window (visible).
    WindowHandle CreateWindow();
    // Sends a message to a window: its filters see it, newest first.
    void SendMessage(WindowHandle window, WindowMessage message);
    // The notification area's callback message for an icon.
    void Notify(std::uint32_t iconId, std::uint32_t kind);
    // The taskbar restarted: every icon is gone, the broadcast goes to the application window.
    void BroadcastTaskbarCreated();
    // Moves the clock on, firing due timers in order.
    void Advance(std::uint32_t milliseconds);

    // --- reading it ---
    std::vector<TrayRequest> RequestKinds() const;
    std::size_t IconCount() const { return icons.size(); }
    const TrayIconRecord* ShownIcon(std::uint32_t iconId) const;
    std::vector<Timer> RunningTimers() const;
    std::size_t FilterCount(WindowHandle window) const;
    std::size_t HiddenWindowCount() const { return hiddenWindows.size(); }
    bool Visible(WindowHandle window) const;
    bool Minimized(WindowHandle window) const;

    // Settings and records, open to the test.
    std::vector<Request> requests;
    std::map<std::pair<WindowHandle, std::uint32_t>, TrayIconRecord> icons;
    // The menu each icon (handler window, identifier) was last handed.
    std::map<std::pair<WindowHandle, std::uint32_t>, TrayPopupMenu*> trayMenus;
    bool trayAvailable = true;
    bool refuseTimers = false;
    std::uint32_t taskbarCreatedMessage = 0xC0DE;
    std::optional<TrayPoint> cursor = TrayPoint{640, 1000};
    TShiftState keys = 0;
    std::uint32_t doubleClickTime = 500;
    WindowHandle applicationWindow;
    WindowHandle mainForm = NoWindow;
    bool mainFormIsMdiFrame = false;
    bool showMainForm = true;
    std::optional<ActiveControlWindows> activeControl;
    // Window calls in order, e.g. "foreground 1", "hide 2", "restore 1", "visible 2 0",
    // "focus 5", "post-null 2", "process-messages".
    std::vector<std::string> calls;
    std::uint64_t now = 0;

private:
    struct Filter {
        WindowHandle window;
        int serial;
        WindowFilterProc proc;
    };
    class FakeFilter;

    std::map<WindowHandle, TrayNotificationSink*> trayWindows;
    std::map<WindowHandle, TimerSink*> timerWindows;
    std::vector<WindowHandle> hiddenWindows;
    std::map<std::pair<WindowHandle, std::uintptr_t>, Timer> timers;
    std::map<WindowHandle, bool> visible;
    std::map<WindowHandle, bool> minimized;
    std::vector<Filter> filters;
    WindowHandle nextWindow = 1;
    int nextFilter = 1;
};

} // namespace tarnwick::fake
