#include "platform/win32/TrayWin32.h"

#include "platform/win32/TrayRecord.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstring>

namespace tarnwick {

// The component speaks the shell's own message numbers.
static_assert(msg::Size == WM_SIZE && msg::Activate == WM_ACTIVATE &&
              msg::ShowWindow == WM_SHOWWINDOW && msg::WindowPosChanged == WM_WINDOWPOSCHANGED);
static_assert(msg::MouseMove == WM_MOUSEMOVE && msg::LButtonDown == WM_LBUTTONDOWN &&
              msg::LButtonUp == WM_LBUTTONUP && msg::LButtonDblClk == WM_LBUTTONDBLCLK &&
              msg::RButtonDown == WM_RBUTTONDOWN && msg::RButtonUp == WM_RBUTTONUP &&
              msg::MButtonDown == WM_MBUTTONDOWN && msg::MButtonUp == WM_MBUTTONUP);
static_assert(msg::BalloonHide == NIN_BALLOONHIDE && msg::BalloonTimeout == NIN_BALLOONTIMEOUT &&
              msg::BalloonUserClick == NIN_BALLOONUSERCLICK &&
              msg::TrayCallback == WM_USER + 0x400);
static_assert(msg::SizeMinimized == SIZE_MINIMIZED && msg::Active == WA_ACTIVE &&
              msg::ActiveByClick == WA_CLICKACTIVE);
static_assert(static_cast<int>(ShowCommand::Hide) == SW_HIDE &&
              static_cast<int>(ShowCommand::Restore) == SW_RESTORE);
static_assert(static_cast<DWORD>(TrayRequest::Add) == NIM_ADD &&
              static_cast<DWORD>(TrayRequest::Modify) == NIM_MODIFY &&
              static_cast<DWORD>(TrayRequest::Delete) == NIM_DELETE);

namespace {

constexpr char TrayHandlerClass[] = "TTrayIconHandler";
constexpr char TimerHandlerClass[] = "TTickTimerHandler";
constexpr char ApplicationClass[] = "TarnwickApplication";

// A common-controls library that the tray handler loaded itself (old NT platforms only).
HMODULE CommonControlsModule = nullptr;

// How many of the component's icon handles have been destroyed: a handle in a record is the
// same picture as before only while none has been (a freed handle may come back for another).
std::uint64_t IconsFreed = 0;

bool SameRequest(const TrayIconRecord& a, const TrayIconRecord& b) {
    return a.hWnd == b.hWnd && a.uID == b.uID && a.uFlags == b.uFlags &&
           a.uCallbackMessage == b.uCallbackMessage && a.hIcon == b.hIcon &&
           std::memcmp(a.szTip, b.szTip, sizeof a.szTip) == 0;
}

HWND Hwnd(WindowHandle window) {
    return reinterpret_cast<HWND>(window);
}
WindowHandle Handle(HWND window) {
    return reinterpret_cast<WindowHandle>(window);
}

// NT 4 and older need the common controls initialised again after a user change.
bool OldNtPlatform() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return false;
    return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion <= 4;
}

template <typename Sink> Sink* SinkOf(HWND window) {
    return reinterpret_cast<Sink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK TrayHandlerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case msg::TrayCallback:
        if (auto* sink = SinkOf<TrayNotificationSink>(window)) {
            // Nothing may unwind through the system's dispatch; the program's handlers guard
            // themselves, so anything arriving here has no one left to report it.
            try {
                sink->TrayNotification(static_cast<std::uint32_t>(wParam),
                                       static_cast<std::uint32_t>(lParam));
            } catch (...) {
            }
        }
        return 0;
    case WM_DESTROY:
    case WM_CLOSE:
    case WM_QUIT:
    case WM_NCDESTROY:
    case WM_QUERYENDSESSION: // consents to log-off and shutdown
    case WM_ENDSESSION:
        return 1;
    case WM_USERCHANGED:
        if (!OldNtPlatform())
            return 0;
        if (!CommonControlsModule) {
            CommonControlsModule = LoadLibraryA("comctl32.dll");
            if (CommonControlsModule) {
                using InitProc = void(WINAPI*)();
                if (auto init = reinterpret_cast<InitProc>(reinterpret_cast<void*>(
                        GetProcAddress(CommonControlsModule, "InitCommonControls"))))
                    init();
            }
        } else {
            FreeLibrary(CommonControlsModule);
            CommonControlsModule = nullptr;
        }
        return 1;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

LRESULT CALLBACK TimerHandlerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        if (auto* sink = SinkOf<TimerSink>(window))
            sink->TimerTick(static_cast<std::uintptr_t>(wParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterClassOnce(const char* name, WNDPROC proc) {
    WNDCLASSA existing{};
    if (GetClassInfoA(GetModuleHandleA(nullptr), name, &existing))
        return;
    WNDCLASSA wc{};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

// A hidden window of one of the classes above: top-level (never shown, no parent) where it
// must hear broadcasts, else message-only, which costs the display nothing.
HWND CreateHiddenWindow(const char* className, WNDPROC proc, void* sink, bool hearsBroadcasts) {
    RegisterClassOnce(className, proc);
    HWND window = CreateWindowExA(0, className, "", WS_POPUP, 0, 0, 0, 0,
                                  hearsBroadcasts ? nullptr : HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window)
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(sink));
    return window;
}

// A filter in front of a window's procedure, through the system's subclassing, which lets
// several filters on one window come and go in any order.
class Win32WindowFilter : public WindowFilter {
public:
    Win32WindowFilter(HWND window, WindowFilterProc proc)
        : window_(window), proc_(std::move(proc)) {
        installed_ =
            SetWindowSubclass(window_, &Win32WindowFilter::Proc, reinterpret_cast<UINT_PTR>(this),
                              reinterpret_cast<DWORD_PTR>(this)) != FALSE;
    }
    ~Win32WindowFilter() override {
        if (installed_)
            RemoveWindowSubclass(window_, &Win32WindowFilter::Proc,
                                 reinterpret_cast<UINT_PTR>(this));
    }
    bool Installed() const { return installed_; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) {
        auto* self = reinterpret_cast<Win32WindowFilter*>(data);
        // A copy: the filter may be taken out (its component freed) while it runs.
        WindowFilterProc proc = self->proc_;
        try {
            proc(WindowMessage{message, wParam, lParam});
        } catch (...) {
        }
        return DefSubclassProc(window, message, wParam, lParam);
    }

    HWND window_;
    WindowFilterProc proc_;
    bool installed_ = false;
};

} // namespace

AnsiNotifyIconRecord ToAnsiRecord(const TrayIconRecord& record) {
    AnsiNotifyIconRecord r;
    std::memset(&r, 0, sizeof r);
    // The shell's own size for this version of the record on this target (see TrayRecord.h).
    r.cbSize = AnsiNotifyIconRecordSize;
    r.hWnd = Hwnd(record.hWnd);
    r.uID = record.uID;
    r.uFlags = record.uFlags;
    r.uCallbackMessage = record.uCallbackMessage;
    r.hIcon = reinterpret_cast<HICON>(record.hIcon);
    std::memcpy(r.szTip, record.szTip, sizeof r.szTip);
    r.szTip[sizeof r.szTip - 1] = '\0';
    return r;
}

// ---------------------------------------------------------------------------------------

Win32TrayPlatform::Win32TrayPlatform() {
    RegisterClassOnce(ApplicationClass, DefWindowProcA);
    // Never shown: the main window carries the program's one taskbar button. A tool window
    // stays out of the taskbar and the Alt-Tab list even so, should anything show it.
    HWND app = CreateWindowExA(WS_EX_TOOLWINDOW, ApplicationClass, "Tarnwick",
                               WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0, 0, 0,
                               nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    applicationWindow_ = Handle(app);
}

Win32TrayPlatform::~Win32TrayPlatform() {
    if (applicationWindow_ != NoWindow)
        DestroyWindow(Hwnd(applicationWindow_));
}

bool Win32TrayPlatform::NotifyIcon(TrayRequest request, const TrayIconRecord& record) {
    // Every request is a round trip to the shell, and the start makes a dozen. Two kinds can
    // be answered here: a change or removal of an icon the shell was never asked to add can
    // only fail there; a change to exactly what the shell last accepted for the icon (same
    // picture handle, no handle freed since) changes nothing. After any add, even a refused
    // one (which may have been a timeout), the shell is asked again.
    auto icon = std::find_if(offered_.begin(), offered_.end(), [&](const Offered& o) {
        return o.accepted.hWnd == record.hWnd && o.accepted.uID == record.uID;
    });
    if (request != TrayRequest::Add && icon == offered_.end())
        return false;
    if (request == TrayRequest::Modify && icon->known && icon->iconsFreedAt == IconsFreed &&
        SameRequest(icon->accepted, record))
        return true;
    AnsiNotifyIconRecord r = ToAnsiRecord(record);
    const bool done = Shell_NotifyIconA(static_cast<DWORD>(request), &r) != FALSE;
    if (icon == offered_.end())
        icon = offered_.insert(offered_.end(), Offered{record});
    if (request == TrayRequest::Delete && done) {
        offered_.erase(icon);
        return done;
    }
    // A refused add (the icon is there already) or change leaves the shell's state unknown.
    icon->known = done;
    icon->accepted = record;
    icon->iconsFreedAt = IconsFreed;
    return done;
}

std::uint32_t Win32TrayPlatform::RegisterTaskbarCreatedMessage() {
    // The broadcast exists from common controls 4.71 on.
    bool recent = false;
    if (HMODULE comctl = LoadLibraryA("comctl32.dll")) {
        auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
            reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
        DLLVERSIONINFO info{};
        info.cbSize = sizeof info;
        if (getVersion && SUCCEEDED(getVersion(&info)))
            recent =
                info.dwMajorVersion > 4 || (info.dwMajorVersion == 4 && info.dwMinorVersion >= 71);
        FreeLibrary(comctl);
    }
    return recent ? RegisterWindowMessageA("TaskbarCreated") : 0;
}

WindowHandle Win32TrayPlatform::CreateTrayHandlerWindow(TrayNotificationSink& sink) {
    // Log-off and shutdown are broadcast to top-level windows only.
    return Handle(CreateHiddenWindow(TrayHandlerClass, TrayHandlerProc, &sink, true));
}

WindowHandle Win32TrayPlatform::CreateTimerWindow(TimerSink& sink) {
    return Handle(CreateHiddenWindow(TimerHandlerClass, TimerHandlerProc, &sink, false));
}

void Win32TrayPlatform::DestroyHiddenWindow(WindowHandle window) {
    SetWindowLongPtrA(Hwnd(window), GWLP_USERDATA, 0);
    DestroyWindow(Hwnd(window));
}

bool Win32TrayPlatform::SetTimer(WindowHandle window, std::uintptr_t id, std::uint32_t interval) {
    return ::SetTimer(Hwnd(window), id, interval, nullptr) != 0;
}

bool Win32TrayPlatform::KillTimer(WindowHandle window, std::uintptr_t id) {
    return ::KillTimer(Hwnd(window), id) != FALSE;
}

std::optional<TrayPoint> Win32TrayPlatform::CursorPos() {
    POINT p;
    if (!GetCursorPos(&p))
        return std::nullopt;
    return TrayPoint{p.x, p.y};
}

TShiftState Win32TrayPlatform::KeyState() {
    TShiftState s = 0;
    if (GetAsyncKeyState(VK_SHIFT) < 0)
        s |= ssShift;
    if (GetAsyncKeyState(VK_MENU) < 0)
        s |= ssAlt;
    if (GetAsyncKeyState(VK_CONTROL) < 0)
        s |= ssCtrl;
    return s;
}

std::uint32_t Win32TrayPlatform::DoubleClickTime() {
    return GetDoubleClickTime();
}

void Win32TrayPlatform::ProcessMessages() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message == WM_QUIT) {
            // Leave it for the message loop that owns it.
            PostQuitMessage(static_cast<int>(m.wParam));
            break;
        }
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
}

void Win32TrayPlatform::SetWindowVisible(WindowHandle window, bool visible) {
    ::ShowWindow(Hwnd(window), visible ? SW_SHOW : SW_HIDE);
}

void Win32TrayPlatform::ShowWindow(WindowHandle window, ShowCommand command) {
    if (window != applicationWindow_) {
        ::ShowWindow(Hwnd(window), command == ShowCommand::Hide ? SW_HIDE : SW_RESTORE);
        return;
    }
    // The application's taskbar entry is the main window's own button: hiding the main window
    // (done before this) takes it away, and restoring the application ends the main window's
    // minimised state. The application window itself stays hidden.
    if (command == ShowCommand::Restore && mainForm_ != NoWindow && IsIconic(Hwnd(mainForm_)))
        ::ShowWindow(Hwnd(mainForm_), SW_RESTORE);
}

bool Win32TrayPlatform::SetForegroundWindow(WindowHandle window) {
    return ::SetForegroundWindow(Hwnd(window)) != FALSE;
}

void Win32TrayPlatform::PostNullMessage(WindowHandle window) {
    PostMessageA(Hwnd(window), WM_NULL, 0, 0);
}

void Win32TrayPlatform::SetFocus(WindowHandle window) {
    ::SetFocus(Hwnd(window));
}

std::unique_ptr<WindowFilter> Win32TrayPlatform::InstallFilter(WindowHandle window,
                                                               WindowFilterProc filter) {
    if (window == NoWindow)
        return nullptr;
    return std::make_unique<Win32WindowFilter>(Hwnd(window), std::move(filter));
}

std::unique_ptr<TrayIconImage> Win32TrayPlatform::CreateIconImage() {
    return std::make_unique<Win32IconImage>();
}

bool Win32TrayPlatform::LoadStockLogoIcon(TrayIconImage& icon) {
    HICON logo = LoadIconA(nullptr, IDI_WINLOGO);
    auto* image = dynamic_cast<Win32IconImage*>(&icon);
    if (!logo || !image)
        return false;
    image->SetIcon(reinterpret_cast<IconHandle>(logo));
    return true;
}

// ---------------------------------------------------------------------------------------

Win32IconImage::~Win32IconImage() {
    Drop();
}

void Win32IconImage::Drop() {
    if (icon_ != 0) {
        DestroyIcon(reinterpret_cast<HICON>(icon_));
        ++IconsFreed;
    }
    icon_ = 0;
}

void Win32IconImage::SetIcon(IconHandle icon) {
    Drop();
    if (icon != 0)
        icon_ = reinterpret_cast<IconHandle>(CopyIcon(reinterpret_cast<HICON>(icon)));
    Changed();
}

void Win32IconImage::Assign(const TrayIconImage& other) {
    SetIcon(other.Handle());
}

void Win32IconImage::Clear() {
    Drop();
    Changed();
}

void Win32IconList::GetIcon(int index, TrayIconImage& icon) const {
    if (index < 0 || index >= Count()) {
        icon.Clear();
        return;
    }
    if (auto* image = dynamic_cast<Win32IconImage*>(&icon))
        image->SetIcon(icons_[static_cast<std::size_t>(index)]);
}

} // namespace tarnwick
