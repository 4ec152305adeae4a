// The floor of the Windows start-up benchmark: the least a Win32 program with one window and
// one notification-area icon does, built with the program's flags. With --label the window also
// shows one line of Chinese text: the honest floor for a program whose every text is Chinese.
#include <windows.h>

#include <shellapi.h>

namespace {

LRESULT CALLBACK FloorProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = &FloorProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = "TarnwickFloor";
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, "TarnwickFloor", "Floor", WS_OVERLAPPEDWINDOW, 224, 146, 346,
                                  222, nullptr, nullptr, instance, nullptr);
    if (commandLine && lstrcmpA(commandLine, "--label") == 0)
        CreateWindowExW(0, L"STATIC", L"发送意见给作者。", WS_CHILD | WS_VISIBLE, 112, 88, 200, 20,
                        window, nullptr, instance, nullptr);

    NOTIFYICONDATAA icon{};
    icon.cbSize = sizeof icon;
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_ICON | NIF_TIP | NIF_MESSAGE;
    icon.uCallbackMessage = WM_APP;
    icon.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32512)); // IDI_APPLICATION
    lstrcpynA(icon.szTip, "Floor", sizeof icon.szTip);
    Shell_NotifyIconA(NIM_ADD, &icon);
    ShowWindow(window, SW_SHOW);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    Shell_NotifyIconA(NIM_DELETE, &icon);
    return 0;
}
