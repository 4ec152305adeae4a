#include "platform/posix/GnomeProxySettings.h"
#include "platform/posix/KdeProxySettings.h"

namespace tarnwick {

DesktopProxyStores LocalDesktopProxyStores() {
    DesktopProxyStores stores;
    stores.push_back(std::make_unique<GnomeProxySettings>());
    stores.push_back(std::make_unique<KdeProxySettings>());
    return stores;
}

} // namespace tarnwick
