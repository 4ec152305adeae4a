#include "forms/Application.h"
#include "platform/SingleInstance.h"
#include "platform/win32/TrayWin32.h"
#include "ui/win32/Controls.h"
#include "ui/win32/Views.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Sharp at every scaling: the windows scale themselves (the manifest asks for it too, but
    // a copy started through a loader that drops it would be stretched as a bitmap).
    tarnwick::win32::MakeDpiAware();
    // One copy per session: a later start brings the running copy's main window up instead of
    // adding a second icon, and ends.
    tarnwick::SingleInstance running(tarnwick::SingleInstanceName(), tarnwick::ShowRunningMainForm);
    if (running.state() != tarnwick::SingleInstance::State::First)
        return running.state() == tarnwick::SingleInstance::State::HandedOver ? 0 : 1;
    // The notification area's platform first: its hidden application window carries the
    // "TaskbarCreated" broadcast and the tray menu.
    tarnwick::Win32TrayPlatform tray;
    tarnwick::win32::ApplicationWindows windows(instance, tray);
    // The end of the Windows session: once the program's end has run in WM_ENDSESSION, the
    // windows go at once, since the system may end the process when the message returns. The
    // process then ends here: the message may have come to a modal loop of a window that is
    // gone now, which must not run on.
    windows.OnSessionEnded = [] {
        if (tarnwick::TApplication* application = tarnwick::TApplication::Instance())
            application->DestroyForms();
        ExitProcess(0);
    };
    tarnwick::ApplicationServices services;
    services.tray = &tray;
    return tarnwick::RunTarnwick(windows, std::move(services));
}
