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

HFONT CreateFormFont(int pixelHeight, bool underline) {
    LOGFONTA font{};
    font.lfHeight = -pixelHeight;
    font.lfWeight = FW_NORMAL;
    font.lfUnderline = underline ? TRUE : FALSE;
    font.lfCharSet = GB2312_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    lstrcpynA(font.lfFaceName, "MS Sans Serif", LF_FACESIZE);
    return CreateFontIndirectA(&font);
}

HIMAGELIST CreateIconImageList(HINSTANCE instance, int size, std::initializer_list<int> icons) {
    HIMAGELIST list =
        ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, static_cast<int>(icons.size()), 0);
    for (int id : icons) {
        auto icon = static_cast<HICON>(
            LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
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
