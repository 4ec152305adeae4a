#include "forms/Application.h"
#include "ui/qt/QtFrontEnd.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    // Qt's own application object comes first: no window or style exists without it.
    QApplication qtApplication(argc, argv);
    tarnwick::QtFrontEnd frontEnd;
    tarnwick::ApplicationServices services;
    services.tray = &frontEnd.Tray();
    return tarnwick::RunTarnwick(frontEnd, std::move(services));
}
