#include "ui/qt/TerminationSignals.h"

namespace tarnwick {

// Windows ends a session through its own messages, which Qt turns into a quit request.
void WatchTerminationSignals(QObject*, std::function<void()>) {}

} // namespace tarnwick
