#pragma once

#include "rules/Error.h"

namespace tarnwick {

// The error shown for a failed file operation's errno: the code of the message table where
// the table has one, otherwise "I/O error N: " and the system's words for it.
IoError IoErrorFor(int error);

} // namespace tarnwick
