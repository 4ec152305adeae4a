#include "forms/ErrorBox.h"
#include "platform/win32/TrayWin32.h"
#include "ui/win32/Controls.h"
#include "ui/win32/Views.h"

namespace tarnwick::win32 {

namespace {
constexpr UINT WmRunTasks = WM_APP + 100;
} // namespace

// ---------------------------------------------------------------------------------------
// Form

LRESULT CALLBACK Form::StaticProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        auto* form = static_cast<Form*>(create->lpCreateParams);
        form->hwnd_ = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!form || message == WM_NCDESTROY) {
        if (form)
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        return DefWindowProcA(window, message, wParam, lParam);
    }
    return form->WindowProc(message, wParam, lParam);
}

void Form::CreateForm(const char* className, const FormLayout& layout, DWORD style, DWORD exStyle,
                      HWND owner) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    if (!GetClassInfoExA(instance, className, &windowClass)) {
        windowClass.cbSize = sizeof windowClass;
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = &Form::StaticProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        windowClass.lpszClassName = className;
        RegisterClassExA(&windowClass);
    }
    RECT outer{0, 0, layout.clientWidth, layout.clientHeight};
    ClientToWindowRect(outer, style, exStyle, 96);
    CreateWindowExA(exStyle, className, layout.caption.c_str(), style, layout.left, layout.top,
                    outer.right - outer.left, outer.bottom - outer.top, owner, nullptr, instance,
                    this);
    // The DPI is known once the window exists (it is the one of the monitor it lands on).
    dpi_ = WindowDpi(hwnd_);
    if (dpi_ != 96) {
        outer = RECT{0, 0, Scale(layout.clientWidth), Scale(layout.clientHeight)};
        ClientToWindowRect(outer, style, exStyle, dpi_);
        SetWindowPos(hwnd_, nullptr, Scale(layout.left), Scale(layout.top),
                     outer.right - outer.left, outer.bottom - outer.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
}

void Form::FollowDpiChange(WPARAM wParam, LPARAM lParam) {
    const int dpi = HIWORD(wParam);
    if (dpi > 0)
        dpi_ = dpi;
    ApplyDpi();
    const auto* suggested = reinterpret_cast<const RECT*>(lParam);
    if (suggested)
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::FormShow() {
    // A minimised window stays minimised.
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_SHOWMINNOACTIVE : SW_SHOW);
}

void Form::FormBringToFront() {
    if (IsIconic(hwnd_))
        ShowWindow(hwnd_, SW_RESTORE);
    SetForegroundWindow(hwnd_);
    BringWindowToTop(hwnd_);
    SetActiveWindow(hwnd_);
}

bool Form::FollowActivation(WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && IsChild(hwnd_, focus))
            focusedControl_ = focus;
        return false;
    }
    HWND control = focusedControl_;
    if (!control || !IsWindow(control) || !IsChild(hwnd_, control) || !IsWindowVisible(control) ||
        !IsWindowEnabled(control) || IsIconic(hwnd_))
        return false;
    SetFocus(control);
    return true;
}

bool Form::DialogKey(const MSG& message) {
    if (message.message != WM_KEYDOWN || (message.wParam != VK_TAB && message.wParam != VK_RETURN))
        return false;
    HWND focus = GetFocus();
    if (!focus || (focus != hwnd_ && !IsChild(hwnd_, focus)))
        return false;
    const auto code = focus == hwnd_ ? 0
                                     : SendMessageA(focus, WM_GETDLGCODE, message.wParam,
                                                    reinterpret_cast<LPARAM>(&message));
    if (message.wParam == VK_RETURN) {
        if (!(code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) || !IsWindowEnabled(focus))
            return false;
        SendMessageA(GetParent(focus), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(focus), BN_CLICKED),
                     reinterpret_cast<LPARAM>(focus));
        return true;
    }
    if (code & (DLGC_WANTTAB | DLGC_WANTALLKEYS) || GetKeyState(VK_CONTROL) < 0)
        return false;
    const std::vector<HWND> order = TabOrder();
    const int count = static_cast<int>(order.size());
    if (count == 0)
        return true;
    const bool backwards = GetKeyState(VK_SHIFT) < 0;
    // The focused control's place: itself, or the entry it lives in (a grid's editor).
    int at = -1;
    for (int i = 0; i < count && at < 0; ++i)
        if (order[static_cast<std::size_t>(i)] == focus)
            at = i;
    for (int i = 0; i < count && at < 0; ++i)
        if (IsChild(order[static_cast<std::size_t>(i)], focus))
            at = i;
    if (at < 0)
        at = backwards ? count : -1;
    for (int step = 1; step <= count; ++step) {
        const int next = ((at + (backwards ? -step : step)) % count + count) % count;
        HWND control = order[static_cast<std::size_t>(next)];
        if (control && IsWindowVisible(control) && IsWindowEnabled(control)) {
            if (control != focus)
                SetFocus(control);
            break;
        }
    }
    return true;
}

void InitCommonControlsOnce() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES |
                                                           ICC_STANDARD_CLASSES};
        return InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)done;
}

HWND FormWindow(FormView* view) {
    if (auto* form = dynamic_cast<Form*>(view))
        return form->Hwnd();
    return nullptr;
}

// ---------------------------------------------------------------------------------------
// ApplicationWindows

ApplicationWindows::ApplicationWindows(HINSTANCE instance, Win32TrayPlatform& tray)
    : instance_(instance), tray_(tray) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &ApplicationWindows::TaskProc;
    windowClass.hInstance = instance_;
    windowClass.lpszClassName = "TarnwickTasks";
    RegisterClassExA(&windowClass);
    taskWindow_ = CreateWindowExA(0, "TarnwickTasks", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  instance_, this);
    SetWindowLongPtrA(taskWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));

    // The one error box: caption "Tarnwick", error icon, OK, over the window it concerns.
    SetErrorPresenter([](FormView* parent, const std::string& text) {
        HWND owner = FormWindow(parent);
        if (owner && !IsWindowVisible(owner))
            owner = nullptr;
        MessageBoxA(owner, text.c_str(), ApplicationTitle,
                    MB_OK | MB_ICONERROR | (owner ? 0 : MB_TASKMODAL));
    });
}

ApplicationWindows::~ApplicationWindows() {
    SetErrorPresenter({});
    if (taskWindow_)
        DestroyWindow(taskWindow_);
}

void ApplicationWindows::ApplyHints(int pauseMilliseconds, bool show) {
    hintPause_ = pauseMilliseconds;
    showHints_ = show;
    for (HWND tooltip : tooltips_) {
        SetHintPause(tooltip, hintPause_);
        SendMessageA(tooltip, TTM_ACTIVATE, showHints_ ? TRUE : FALSE, 0);
    }
}

void ApplicationWindows::AddTooltip(HWND tooltip) {
    if (!tooltip)
        return;
    // Hints show over a window that is not the active one too (the main window of a tray
    // program rarely is).
    SetWindowLongPtrA(tooltip, GWL_STYLE, GetWindowLongPtrA(tooltip, GWL_STYLE) | TTS_ALWAYSTIP);
    tooltips_.push_back(tooltip);
    SetHintPause(tooltip, hintPause_);
    SendMessageA(tooltip, TTM_ACTIVATE, showHints_ ? TRUE : FALSE, 0);
}

void ApplicationWindows::SetTitle(const std::string& title) {
    // The application window carries the program's name to the shell.
    if (auto window = reinterpret_cast<HWND>(tray_.ApplicationWindow()))
        SetWindowTextA(window, title.c_str());
}

std::unique_ptr<MainFormView> ApplicationWindows::CreateMainFormView(TMainForm& form) {
    auto view = std::make_unique<MainWindow>(*this, form);
    main_ = view.get();
    return view;
}

std::unique_ptr<SetParamFormView> ApplicationWindows::CreateSetParamFormView(TsetParamForm& form) {
    auto view = std::make_unique<EditorWindow>(*this, form);
    editor_ = view.get();
    return view;
}

void ApplicationWindows::Forget(const Form* form) {
    if (form == main_)
        main_ = nullptr;
    if (form == editor_)
        editor_ = nullptr;
}

void ApplicationWindows::Dispatch(MSG& message) {
    // Tab and Enter act as dialog keys in the window the message belongs to; a key used so
    // is not translated, so no character follows it.
    HWND root = message.hwnd ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    Form* form = main_ && root == main_->Hwnd()       ? static_cast<Form*>(main_)
                 : editor_ && root == editor_->Hwnd() ? static_cast<Form*>(editor_)
                                                      : nullptr;
    if (form && form->DialogKey(message))
        return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
}

int ApplicationWindows::RunMessageLoop() {
    MSG message;
    while (true) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got < 0)
            return 1;
        Dispatch(message);
    }
}

void ApplicationWindows::QuitMessageLoop() {
    PostQuitMessage(0);
}

void ApplicationWindows::Post(std::function<void()> task) {
    tasks_.push_back(std::move(task));
    PostMessageA(taskWindow_, WmRunTasks, 0, 0);
}

void ApplicationWindows::RunPostedTasks() {
    while (!tasks_.empty()) {
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        RunGuarded(nullptr, task);
    }
}

LRESULT CALLBACK ApplicationWindows::TaskProc(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    if (message == WmRunTasks) {
        if (auto* self =
                reinterpret_cast<ApplicationWindows*>(GetWindowLongPtrA(window, GWLP_USERDATA)))
            self->RunPostedTasks();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ApplicationWindows::EndSession() {
    if (ending_)
        return;
    ending_ = true;
    // Windows may end the process as soon as this message returns: the end runs here, in the
    // order Exit gives (an open editor ends as cancelled, then the windows are destroyed).
    if (onEnd_)
        RunGuarded(nullptr, onEnd_);
    if (OnSessionEnded)
        OnSessionEnded();
}

} // namespace tarnwick::win32
