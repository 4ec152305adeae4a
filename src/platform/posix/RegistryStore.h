#pragma once

#include "proxyconfig/RegistryBackend.h"

#include <memory>
#include <string>

namespace tarnwick {

// Where the current user's hive is kept: $XDG_CONFIG_HOME/tarnwick/HKEY_CURRENT_USER.reg,
// with ~/.config in place of an unset (or relative) XDG_CONFIG_HOME. Read afresh at every call.
std::string RegistryStorePath();

// The hive kept in the REGEDIT4 file at path. Every change is a read-modify-write under an
// advisory lock (flock on path + ".lock"), written to a temporary file in the same folder,
// flushed and renamed over the old file. A file that cannot be parsed is never replaced: no key
// of it can be opened for reading, and every write to it fails.
std::unique_ptr<RegistryBackend> RegistryFileStore(const std::string& path);

} // namespace tarnwick
