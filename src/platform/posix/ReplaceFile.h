#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarnwick {

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& path);

// Writes bytes to a temporary file beside path (path + ".XXXXXX", with the given mode),
// flushes it, renames it over path and flushes the folder, so that a crash leaves the old
// file or the new one. Returns 0, or the errno of the failing step; then the temporary file
// is gone and path is as it was.
int ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode);

} // namespace tarnwick
