#include "ui/win32/Controls.h"

#include <commctrl.h>

namespace tarnwick::win32 {

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthA(window);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

namespace {

// The per-DPI functions came with Windows 10 (1607); older systems scale the system's values.
template <typename F> F User32Function(const char* name) {
    return reinterpret_cast<F>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), name)));
}

int SystemDpi() {
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

} // namespace

void MakeDpiAware() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    using SetAware = BOOL(WINAPI*)();
    if (auto setContext = User32Function<SetContext>("SetProcessDpiAwarenessContext")) {
        // PER_MONITOR_AWARE_V2, else PER_MONITOR_AWARE.
        if (setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))) ||
            setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-3))))
            return;
        if (GetLastError() == ERROR_ACCESS_DENIED)
            return; // the manifest has set it already
    }
    if (auto setAware = User32Function<SetAware>("SetProcessDPIAware"))
        setAware();
}

int WindowDpi(HWND window) {
    using GetDpi = UINT(WINAPI*)(HWND);
    static const auto getDpi = User32Function<GetDpi>("GetDpiForWindow");
    const int dpi = getDpi && window ? static_cast<int>(getDpi(window)) : 0;
    return dpi > 0 ? dpi : SystemDpi();
}

int SystemMetric(int index, int dpi) {
    using GetMetric = int(WINAPI*)(int, UINT);
    static const auto getMetric = User32Function<GetMetric>("GetSystemMetricsForDpi");
    if (getMetric)
        return getMetric(index, static_cast<UINT>(dpi));
    return MulDiv(GetSystemMetrics(index), dpi, SystemDpi());
}

void ClientToWindowRect(RECT& rect, DWORD style, DWORD exStyle, int dpi) {
    using Adjust = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
    static const auto adjust = User32Function<Adjust>("AdjustWindowRectExForDpi");
    if (!adjust || !adjust(&rect, style, FALSE, exStyle, static_cast<UINT>(dpi)))
        AdjustWindowRectEx(&rect, style, FALSE, exStyle);
}

HFONT CreateFormFont(int dpi, bool underline) {
    using ParametersForDpi = BOOL(WINAPI*)(UINT, UINT, void*, UINT, UINT);
    static const auto forDpi = User32Function<ParametersForDpi>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (forDpi &&
        forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi))) {
        font = metrics.lfMessageFont;
    } else if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
        font.lfHeight = MulDiv(font.lfHeight, dpi, SystemDpi());
    } else {
        font.lfHeight = -MulDiv(11, dpi, 96);
        lstrcpynW(font.lfFaceName, L"Tahoma", LF_FACESIZE);
    }
    if (font.lfHeight == 0)
        font.lfHeight = -MulDiv(11, dpi, 96);
    font.lfWeight = FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfCharSet = GB2312_CHARSET;
    return CreateFontIndirectW(&font);
}

int TextHeight(HFONT font) {
    HDC screen = GetDC(nullptr);
    HGDIOBJ old = SelectObject(screen, font);
    TEXTMETRICA metrics{};
    GetTextMetricsA(screen, &metrics);
    SelectObject(screen, old);
    ReleaseDC(nullptr, screen);
    return metrics.tmHeight;
}

HICON LoadIconSized(HINSTANCE instance, int id, int size) {
    return static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
}

HIMAGELIST CreateIconImageList(HINSTANCE instance, int size, std::initializer_list<int> icons) {
    HIMAGELIST list =
        ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(icons.size()), 0);
    for (int id : icons) {
        HICON icon = LoadIconSized(instance, id, size);
        ImageList_AddIcon(list, icon);
        if (icon)
            DestroyIcon(icon);
    }
    return list;
}

void SetHintPause(HWND tooltip, int milliseconds) {
    if (!tooltip)
        return;
    SendMessageA(tooltip, TTM_SETDELAYTIME, TTDT_INITIAL, MAKELPARAM(milliseconds, 0));
    SendMessageA(tooltip, TTM_SETDELAYTIME, TTDT_RESHOW, MAKELPARAM(milliseconds / 5, 0));
}

void Subclass(HWND window, SubclassProc proc, void* data) {
    SetWindowSubclass(window, proc, 1, reinterpret_cast<DWORD_PTR>(data));
}

} // namespace tarnwick::win32
