#include "proxyconfig/DesktopProxy.h"

namespace tarnwick {

// On Windows the registry values the switch writes are the desktop's settings.
DesktopProxyStores LocalDesktopProxyStores() {
    return {};
}

} // namespace tarnwick
