#include "platform/SingleInstance.h"

#include <windows.h>

namespace tarnwick {

namespace {

const char* const WindowClass = "TarnwickInstance";
// Sent by a later start; the answer tells it the first copy is alive.
constexpr UINT ShowRequest = WM_APP + 0x51;
constexpr LRESULT ShowAnswer = 0x5348;

LRESULT CALLBACK InstanceWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == ShowRequest) {
        auto* activate =
            reinterpret_cast<std::function<void()>*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        // Answered before the window comes up, so the later start is not held meanwhile.
        ReplyMessage(ShowAnswer);
        if (activate && *activate)
            (*activate)();
        return ShowAnswer;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RegisterWindowClass() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = InstanceWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = WindowClass;
    RegisterClassA(&windowClass); // fails harmlessly when already registered
}

} // namespace

struct SingleInstance::Holder {
    HANDLE mutex = nullptr;
    HWND window = nullptr;
    std::function<void()> activate;

    ~Holder() {
        if (window)
            DestroyWindow(window);
        if (mutex)
            CloseHandle(mutex);
    }
};

SingleInstance::SingleInstance(const std::string& name, std::function<void()> activate,
                               std::chrono::milliseconds patience)
    : holder_(std::make_unique<Holder>()) {
    holder_->activate = std::move(activate);
    // "Local\": one copy per logon session, as the notification area is per session.
    holder_->mutex = CreateMutexA(nullptr, FALSE, ("Local\\" + name).c_str());
    if (!holder_->mutex || GetLastError() != ERROR_ALREADY_EXISTS) {
        state_ = State::First;
        RegisterWindowClass();
        holder_->window = CreateWindowExA(0, WindowClass, name.c_str(), 0, 0, 0, 0, 0, HWND_MESSAGE,
                                          nullptr, GetModuleHandleA(nullptr), nullptr);
        if (holder_->window)
            SetWindowLongPtrA(holder_->window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(&holder_->activate));
        return;
    }
    // The first copy creates its window right after the mutex; it may still be on its way.
    const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(patience.count());
    for (;;) {
        if (HWND first = FindWindowExA(HWND_MESSAGE, nullptr, WindowClass, name.c_str())) {
            DWORD process = 0;
            GetWindowThreadProcessId(first, &process);
            // Lets the first copy take the foreground, which a background process may not.
            AllowSetForegroundWindow(process);
            const ULONGLONG now = GetTickCount64();
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutA(first, ShowRequest, 0, 0, SMTO_ABORTIFHUNG,
                                    static_cast<UINT>(now < end ? end - now : 1), &answer) &&
                answer == static_cast<DWORD_PTR>(ShowAnswer)) {
                state_ = State::HandedOver;
                holder_.reset();
                return;
            }
        }
        if (GetTickCount64() >= end) {
            state_ = State::NoAnswer;
            holder_.reset();
            return;
        }
        Sleep(50);
    }
}

SingleInstance::~SingleInstance() = default;

std::string SingleInstanceName() {
    return "Tarnwick";
}

} // namespace tarnwick
