// The Windows backend, under Wine: the shell's record, the handler window's dispatch by icon
// identifier, timers in a message loop, and the window filters.
#include "platform/win32/TrayWin32.h"
#include "platform/win32/TrayRecord.h"
#include "trayicon/NotifyIcon.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace tarnwick {
namespace {

// Runs the thread's message loop until done() or the time is up.
template <typename Done> bool PumpUntil(Done done, DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > milliseconds)
            return false;
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(1);
    }
    return true;
}

HWND Hwnd(WindowHandle w) {
    return reinterpret_cast<HWND>(w);
}

// Without a caption, so that Wine does not wait for a window manager to hide it.
HWND CreateTopLevel() {
    return CreateWindowExA(0, "STATIC", "owner", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

TEST(TrayWin32, RecordHasTheShellLayoutAndTheComponentsFields) {
    static_assert(offsetof(NOTIFYICONDATAA, cbSize) == 0);
    // 488 bytes with 32-bit handles; this 64-bit build's handles make it 504.
    EXPECT_EQ(AnsiNotifyIconRecordSize, sizeof(void*) == 4 ? 488u : 504u);
    EXPECT_EQ(AnsiNotifyIconRecordSize, offsetof(NOTIFYICONDATAA, guidItem));

    Win32TrayPlatform platform;
    TNotifyIcon icon(platform, NoWindow);
    icon.SetHint(std::string(200, 't'));
    const TrayIconRecord& record = icon.IconRecord();
    EXPECT_EQ(record.cbSize, 488u);

    const AnsiNotifyIconRecord r = ToAnsiRecord(record);
    EXPECT_EQ(r.cbSize, AnsiNotifyIconRecordSize);
    EXPECT_EQ(reinterpret_cast<WindowHandle>(r.hWnd), record.hWnd);
    EXPECT_TRUE(IsWindow(r.hWnd));
    EXPECT_EQ(r.uID, icon.IconId());
    EXPECT_EQ(r.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
    EXPECT_EQ(r.uCallbackMessage, 0x800u);
    EXPECT_EQ(std::string(r.szTip), std::string(127, 't'));
    // The balloon fields are never written.
    EXPECT_EQ(r.dwState, 0u);
    EXPECT_EQ(r.dwStateMask, 0u);
    EXPECT_EQ(r.szInfo[0], '\0');
    EXPECT_EQ(r.szInfoTitle[0], '\0');
    EXPECT_EQ(r.dwInfoFlags, 0u);
}

TEST(TrayWin32, CallbackMessagesReachTheirOwnIcon) {
    Win32TrayPlatform platform;
    TNotifyIcon first(platform, NoWindow);
    TNotifyIcon second(platform, NoWindow);
    ASSERT_EQ(first.IconRecord().hWnd, second.IconRecord().hWnd) << "one shared handler window";
    int firstClicks = 0, secondClicks = 0, balloons = 0;
    first.OnClick = [&](TNotifyIcon*) { ++firstClicks; };
    second.OnClick = [&](TNotifyIcon* sender) {
        EXPECT_EQ(sender, &second);
        ++secondClicks;
    };
    second.OnBalloonHintClick = [&](TNotifyIcon*) { ++balloons; };
    HWND handler = Hwnd(second.IconRecord().hWnd);
    EXPECT_EQ(SendMessageA(handler, 0x800, second.IconId(), WM_LBUTTONDOWN), 0);
    SendMessageA(handler, 0x800, second.IconId(), WM_LBUTTONUP);
    SendMessageA(handler, 0x800, second.IconId(), 0x405);
    SendMessageA(handler, 0x800, 0xFFFF, WM_LBUTTONUP);
    EXPECT_EQ(secondClicks, 1);
    EXPECT_EQ(balloons, 1);
    EXPECT_EQ(firstClicks, 0);

    // Posted, through the message loop, too.
    PostMessageA(handler, 0x800, first.IconId(), WM_LBUTTONDOWN);
    PostMessageA(handler, 0x800, first.IconId(), WM_LBUTTONUP);
    EXPECT_TRUE(PumpUntil([&] { return firstClicks == 1; }, 2000));
}

TEST(TrayWin32, HandlerWindowRefusesToCloseAndConsentsToEndTheSession) {
    Win32TrayPlatform platform;
    TNotifyIcon icon(platform, NoWindow);
    HWND handler = Hwnd(icon.IconRecord().hWnd);
    EXPECT_EQ(SendMessageA(handler, WM_CLOSE, 0, 0), 1);
    EXPECT_EQ(SendMessageA(handler, WM_QUERYENDSESSION, 0, 0), 1);
    EXPECT_EQ(SendMessageA(handler, WM_USERCHANGED, 0, 0), 0);
    EXPECT_TRUE(IsWindow(handler));
}

void Count(void* data) {
    ++*static_cast<int*>(data);
}

TEST(TrayWin32, TimerTicksInTheMessageLoopUntilStopped) {
    Win32TrayPlatform platform;
    int ticks = 0;
    TTickTimer timer(platform, &ticks, &Count);
    ASSERT_TRUE(timer.Start(10));
    EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }, 5000));
    EXPECT_TRUE(timer.Stop());
    const int stoppedAt = ticks;
    PumpUntil([] { return false; }, 100);
    EXPECT_EQ(ticks, stoppedAt);
    EXPECT_FALSE(timer.Stop());
}

// Counts the add requests the component makes.
class CountingIcon : public TNotifyIcon {
public:
    using TNotifyIcon::TNotifyIcon;
    int adds = 0;
    bool AddTrayIcon() override {
        ++adds;
        return TNotifyIcon::AddTrayIcon();
    }
};

TEST(TrayWin32, TaskbarRestartBroadcastReachesTheApplicationWindowFilter) {
    Win32TrayPlatform platform;
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    ASSERT_NE(platform.RegisterTaskbarCreatedMessage(), 0u);
    EXPECT_EQ(platform.RegisterTaskbarCreatedMessage(), taskbarCreated);
    CountingIcon icon(platform, NoWindow);
    // Shell_NotifyIconA may fail where Wine has no notification area: the result is not used.
    icon.SetIconVisible(true);
    const int before = icon.adds;
    SendMessageA(Hwnd(platform.ApplicationWindow()), taskbarCreated, 0, 0);
    EXPECT_EQ(icon.adds, before + 1);
    icon.SetIconVisible(false);
    SendMessageA(Hwnd(platform.ApplicationWindow()), taskbarCreated, 0, 0);
    EXPECT_EQ(icon.adds, before + 1);
}

TEST(TrayWin32, MinimiseHidesTheMainWindowAndAShowRestoresTheApplication) {
    Win32TrayPlatform platform;
    HWND mainForm = CreateTopLevel();
    ASSERT_TRUE(mainForm);
    HWND app = Hwnd(platform.ApplicationWindow());
    auto icon = std::make_unique<TNotifyIcon>(platform, reinterpret_cast<WindowHandle>(mainForm));
    icon->SetMinimizeToTray(true);
    platform.SetMainForm(reinterpret_cast<WindowHandle>(mainForm));
    ShowWindow(mainForm, SW_SHOW);
    ShowWindow(mainForm, SW_MINIMIZE);
    SendMessageA(app, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_FALSE(IsWindowVisible(mainForm));
    EXPECT_FALSE(IsWindowVisible(app));
    EXPECT_TRUE(icon->IconVisible());

    // An explicit show of the owner restores the application, which ends the main window's
    // minimised state; the application window itself is never shown (the main window
    // carries the taskbar button).
    ShowWindow(mainForm, SW_SHOWMINNOACTIVE);
    EXPECT_TRUE(IsWindowVisible(mainForm));
    EXPECT_FALSE(IsIconic(mainForm));
    EXPECT_FALSE(IsWindowVisible(app));

    // Filters come out with the component, in any order of several: a message after both
    // are gone must reach neither (a filter left in would run on a freed component).
    platform.SetMainForm(NoWindow);
    auto other = std::make_unique<TNotifyIcon>(platform, reinterpret_cast<WindowHandle>(mainForm));
    icon.reset();
    other->SetMinimizeToTray(true);
    other->SetIconVisible(false);
    SendMessageA(app, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_TRUE(other->IconVisible());
    other.reset();
    SendMessageA(app, WM_SIZE, SIZE_MINIMIZED, 0);
    SendMessageA(mainForm, WM_SHOWWINDOW, TRUE, 0);
    DestroyWindow(mainForm);
}

// Whether the shell accepts the record depends on Wine having a notification area (its
// explorer with a display); where it does, the requests behave as the shell's do.
TEST(TrayWin32, ShellRequestsWhereWineHasANotificationArea) {
    Win32TrayPlatform platform;
    Win32IconImage logo;
    platform.LoadStockLogoIcon(logo);
    TNotifyIcon icon(platform, NoWindow);
    // An icon the shell was never asked to add cannot be changed or removed, with or without
    // a notification area (the backend answers these without a round trip).
    EXPECT_FALSE(icon.UpdateTrayIcon());
    EXPECT_FALSE(icon.RemoveTrayIcon());
    icon.SetIcon(logo);
    icon.SetHint("Tarnwick");
    const bool added = icon.AddTrayIcon();
    RecordProperty("ShellAccepted", added ? "yes" : "no");
    std::printf("Shell_NotifyIconA add: %s\n",
                added ? "accepted" : "refused (no notification area)");
    if (!added)
        return;
    EXPECT_FALSE(icon.AddTrayIcon()) << "the icon is there already";
    EXPECT_TRUE(icon.UpdateTrayIcon());
    EXPECT_TRUE(icon.RemoveTrayIcon());
    EXPECT_FALSE(icon.RemoveTrayIcon());
    EXPECT_FALSE(icon.UpdateTrayIcon());
    // Added again after a removal, it is asked for again.
    EXPECT_TRUE(icon.AddTrayIcon());
    EXPECT_TRUE(icon.UpdateTrayIcon());
    EXPECT_TRUE(icon.RemoveTrayIcon());
}

TEST(TrayWin32, InputAndIconServices) {
    Win32TrayPlatform platform;
    EXPECT_GT(platform.DoubleClickTime(), 0u);
    EXPECT_TRUE(platform.CursorPos().has_value());
    EXPECT_EQ(platform.KeyState() & ~(ssShift | ssAlt | ssCtrl), 0);

    Win32IconImage stock;
    int changes = 0;
    stock.OnChange = [&] { ++changes; };
    ASSERT_TRUE(platform.LoadStockLogoIcon(stock));
    EXPECT_FALSE(stock.Empty());
    EXPECT_EQ(changes, 1);

    Win32IconList list({stock.Handle(), stock.Handle()});
    TNotifyIcon icon(platform, NoWindow);
    icon.SetIconList(&list);
    icon.SetIconIndex(4);
    EXPECT_EQ(icon.IconIndex(), 1);
    EXPECT_NE(icon.IconRecord().hIcon, 0u);
    // The component keeps a copy of its own.
    EXPECT_NE(icon.IconRecord().hIcon, stock.Handle());
    icon.SetIconIndex(-1);
    EXPECT_EQ(icon.IconRecord().hIcon, 0u);
}

} // namespace
} // namespace tarnwick
