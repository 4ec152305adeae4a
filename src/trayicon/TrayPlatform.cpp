#include "trayicon/TrayPlatform.h"

#include "trayicon/NotifyIcon.h"
#include "trayicon/TickTimer.h"

namespace tarnwick {

TrayPlatform::~TrayPlatform() {
    // Handlers left over by components that were never freed. The derived platform is gone
    // already, so their windows are not destroyed through it.
    if (trayIconHandler_) {
        trayIconHandler_->window_ = NoWindow;
        delete trayIconHandler_;
    }
    if (tickTimerHandler_) {
        tickTimerHandler_->window_ = NoWindow;
        delete tickTimerHandler_;
    }
}

} // namespace tarnwick
