#pragma once

#include "proxyconfig/Registry.h"

namespace tarnwick {

// Accessors for the machine's current-user hive: the real registry on Windows, the file store
// $XDG_CONFIG_HOME/tarnwick/HKEY_CURRENT_USER.reg elsewhere (the variable is read for every
// accessor made, so a test can point it elsewhere).
RegistryFactory CurrentUserRegistry();

} // namespace tarnwick
