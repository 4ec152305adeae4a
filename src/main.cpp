#include "ui/qt/Application.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Qt's own application object comes first: no window or style exists without it.
    QApplication qtApplication(argc, argv);
    tarnwick::TApplication Application;
    Application.SetHintPause(100);
    Application.SetShowHint(true);
    Application.Initialize();
    Application.SetTitle(QStringLiteral("Tarnwick"));
    Application.CreateMainForm();     // NotifyIcon1Startup while it loads, then FormCreate
    Application.CreateSetParamForm(); // hidden until opened
    return Application.Run();
}
