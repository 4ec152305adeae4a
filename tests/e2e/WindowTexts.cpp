// Prints the texts of the child controls of the program's top-level window of a class, one a
// line in UTF-8, so that the end-to-end test under Wine can read what a window shows.
// Usage: window_texts.exe WINDOW_CLASS   (exit 1: no such window)
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

BOOL CALLBACK PrintText(HWND control, LPARAM) {
    wchar_t text[1024] = {};
    const int length = GetWindowTextW(control, text, static_cast<int>(std::size(text)));
    if (length <= 0)
        return TRUE;
    std::string utf8(static_cast<std::size_t>(length) * 4, '\0');
    utf8.resize(static_cast<std::size_t>(WideCharToMultiByte(
        CP_UTF8, 0, text, length, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr)));
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fputc('\n', stdout);
    return TRUE;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    HWND window = FindWindowA(argv[1], nullptr);
    if (!window)
        return 1;
    EnumChildWindows(window, PrintText, 0);
    return 0;
}
