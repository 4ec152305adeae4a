#pragma once

#include <windows.h>

#include <commctrl.h>

#include <initializer_list>
#include <string>

namespace tarnwick::win32 {

// Texts are GBK bytes and go to the ANSI API unchanged: the program runs with code page 936.
std::string WindowText(HWND window);

// The windows' font: "MS Sans Serif" at the given pixel height, with the GBK character set so
// that the system links in a face with the Chinese glyphs. The caller deletes it.
HFONT CreateFormFont(int pixelHeight, bool underline = false);

// A 32-bit image list of the icon resources, each drawn at size x size pixels.
HIMAGELIST CreateIconImageList(HINSTANCE instance, int size, std::initializer_list<int> icons);

// Sets the initial, the reshow and the autopop delay of a tooltip control.
void SetHintPause(HWND tooltip, int milliseconds);

// A window procedure in front of a control's own (its previous procedure stays reachable).
using SubclassProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM, UINT_PTR id, DWORD_PTR data);
void Subclass(HWND window, SubclassProc proc, void* data);

} // namespace tarnwick::win32
