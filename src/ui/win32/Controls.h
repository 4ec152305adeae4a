#pragma once

#include <windows.h>

#include <commctrl.h>

#include <initializer_list>
#include <string>

namespace tarnwick::win32 {

// Texts are GBK bytes and go to the ANSI API unchanged: the program runs with code page 936.
std::string WindowText(HWND window);

// Per-monitor DPI awareness (v2 where the system has it, else v1, else system-wide), for a
// process whose manifest did not already ask for it. Early, before any window exists.
void MakeDpiAware();

// The DPI a window is shown at (the system's where the system cannot tell per window).
int WindowDpi(HWND window);
// A system metric (GetSystemMetrics) at a DPI.
int SystemMetric(int index, int dpi);
// The window rectangle around a client rectangle at a DPI.
void ClientToWindowRect(RECT& rect, DWORD style, DWORD exStyle, int dpi);

// The windows' font: the system's message font at the DPI, with the GBK character set so
// that the system links in a face with the Chinese glyphs. The caller deletes it.
HFONT CreateFormFont(int dpi, bool underline = false);
// The height of a font's text (ascent plus descent) in pixels.
int TextHeight(HFONT font);

// An icon resource drawn at size x size pixels (the nearest size the resource holds, scaled).
HICON LoadIconSized(HINSTANCE instance, int id, int size);

// A 32-bit image list of the icon resources, each drawn at size x size pixels.
HIMAGELIST CreateIconImageList(HINSTANCE instance, int size, std::initializer_list<int> icons);

// Sets the initial, the reshow and the autopop delay of a tooltip control.
void SetHintPause(HWND tooltip, int milliseconds);

// A window procedure in front of a control's own (its previous procedure stays reachable).
using SubclassProc = LRESULT (*)(HWND, UINT, WPARAM, LPARAM, UINT_PTR id, DWORD_PTR data);
void Subclass(HWND window, SubclassProc proc, void* data);

} // namespace tarnwick::win32
