#include "forms/Application.h"
#include "platform/SingleInstance.h"
#include "ui/qt/QtFrontEnd.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char* argv[]) {
    // Qt's own application object comes first: no window or style exists without it.
    QApplication qtApplication(argc, argv);
    // One copy per user: a later start brings the running copy's main window up instead of
    // adding a second icon, and ends.
    tarnwick::SingleInstance instance(tarnwick::SingleInstanceName(),
                                      tarnwick::ShowRunningMainForm);
    if (instance.state() == tarnwick::SingleInstance::State::HandedOver)
        return 0;
    if (instance.state() == tarnwick::SingleInstance::State::NoAnswer) {
        std::fprintf(stderr, "Tarnwick is already running but does not answer.\n");
        return 1;
    }
    tarnwick::QtFrontEnd frontEnd;
    tarnwick::ApplicationServices services;
    services.tray = &frontEnd.Tray();
    return tarnwick::RunTarnwick(frontEnd, std::move(services));
}
