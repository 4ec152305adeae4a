#include "forms/Application.h"
#include "forms/mainUnit.h"
#include "platform/SingleInstance.h"

#include <QAction>
#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Qt's own application object comes first: no window or style exists without it.
    QApplication qtApplication(argc, argv);
    // One copy per user: a later start shows the running copy's main window instead of adding
    // a second icon, and ends.
    tarnwick::SingleInstance instance(tarnwick::SingleInstanceName(), [] {
        if (tarnwick::TApplication* running = tarnwick::TApplication::Instance())
            if (tarnwick::TMainForm* form = running->MainForm())
                form->MMainInterface->trigger(); // as the tray menu's "主界面"
    });
    if (instance.state() == tarnwick::SingleInstance::State::HandedOver)
        return 0;
    if (instance.state() == tarnwick::SingleInstance::State::NoAnswer) {
        std::fprintf(stderr, "Tarnwick is already running but does not answer.\n");
        return 1;
    }
    tarnwick::TApplication Application;
    Application.SetHintPause(100);
    Application.SetShowHint(true);
    Application.Initialize();
    Application.SetTitle(QStringLiteral("Tarnwick"));
    Application.CreateMainForm();     // NotifyIcon1Startup while it loads, then FormCreate
    Application.CreateSetParamForm(); // hidden until opened
    return Application.Run();
}
