#pragma once

#include "trayicon/TrayPlatform.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace tarnwick {

// The tray component's platform on Windows: the shell's notification area (Shell_NotifyIconA),
// hidden windows for the shared handlers, SetTimer timers, subclassed windows for the filters.
// It also creates the hidden application window that carries the "TaskbarCreated" broadcast.
class Win32TrayPlatform : public TrayPlatform {
public:
    Win32TrayPlatform();
    ~Win32TrayPlatform() override;

    // Registers the application's main window (a top-level window of the program).
    void SetMainForm(WindowHandle mainForm) { mainForm_ = mainForm; }

    bool NotifyIcon(TrayRequest request, const TrayIconRecord& record) override;
    std::uint32_t RegisterTaskbarCreatedMessage() override;
    WindowHandle CreateTrayHandlerWindow(TrayNotificationSink& sink) override;
    WindowHandle CreateTimerWindow(TimerSink& sink) override;
    void DestroyHiddenWindow(WindowHandle window) override;
    bool SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t interval) override;
    bool KillTimer(WindowHandle window, std::uintptr_t id) override;
    std::optional<TrayPoint> CursorPos() override;
    TShiftState KeyState() override;
    std::uint32_t DoubleClickTime() override;
    WindowHandle ApplicationWindow() override { return applicationWindow_; }
    WindowHandle MainFormWindow() override { return mainForm_; }
    void SetShowMainForm(bool show) override { showMainForm_ = show; }
    bool ShowMainForm() const override { return showMainForm_; }
    void ProcessMessages() override;
    void SetWindowVisible(WindowHandle window, bool visible) override;
    void ShowWindow(WindowHandle window, ShowCommand command) override;
    bool SetForegroundWindow(WindowHandle window) override;
    void PostNullMessage(WindowHandle window) override;
    void SetFocus(WindowHandle window) override;
    std::unique_ptr<WindowFilter> InstallFilter(WindowHandle window,
                                                WindowFilterProc filter) override;
    std::unique_ptr<TrayIconImage> CreateIconImage() override;
    bool LoadStockLogoIcon(TrayIconImage& icon) override;

private:
    WindowHandle applicationWindow_ = NoWindow;
    // The icons the shell has been asked to add and not since seen removed, each with what
    // it last accepted for it.
    struct Offered {
        TrayIconRecord accepted;
        bool known = false; // whether accepted holds what the shell shows
        std::uint64_t iconsFreedAt = 0;
    };
    std::vector<Offered> offered_;
    WindowHandle mainForm_ = NoWindow;
    bool showMainForm_ = true;
};

// An icon object over an HICON that it owns (a copy of what it was given).
class Win32IconImage : public TrayIconImage {
public:
    Win32IconImage() = default;
    ~Win32IconImage() override;
    IconHandle Handle() const override { return icon_; }
    bool Empty() const override { return icon_ == 0; }
    void Assign(const TrayIconImage& other) override;
    void Clear() override;
    // Takes a copy of the icon.
    void SetIcon(IconHandle icon);

private:
    void Drop();
    IconHandle icon_ = 0;
};

// An image list over icons the caller keeps alive.
class Win32IconList : public TrayImageList {
public:
    explicit Win32IconList(std::vector<IconHandle> icons) : icons_(std::move(icons)) {}
    int Count() const override { return static_cast<int>(icons_.size()); }
    void GetIcon(int index, TrayIconImage& icon) const override;

private:
    std::vector<IconHandle> icons_;
};

} // namespace tarnwick
