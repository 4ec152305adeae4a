#pragma once

#include <functional>

class QObject;

namespace tarnwick {

// Calls onSignal from the message loop when the process receives SIGTERM, SIGINT or SIGHUP
// (the desktop session's and the terminal's ways of ending a program). The signal handler
// itself only writes a byte to a pipe. Where there are no such signals it does nothing.
void WatchTerminationSignals(QObject* context, std::function<void()> onSignal);

} // namespace tarnwick
