#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace tarnwick {

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string FolderOf(const std::string& path);

// Replaces the file at path with bytes, so that a crash leaves the old file or the new one:
// writes a temporary file beside it, flushes it, renames it over the file and flushes the
// folder. A link is followed and the file it names is replaced (the link stays). Only a
// regular file or a missing one is replaced: a folder gives EISDIR, any other kind of file
// EACCES, a file the caller may not write EACCES, before anything is written. An existing
// file keeps its mode; a new one gets newFileMode. After the rename, the temporary files of
// earlier writes of the same file whose writer is gone are removed.
// Returns 0, or the errno of the failing step; then path is as it was and the temporary file
// is gone.
int ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t newFileMode);

// The name of a temporary file of ReplaceFileAtomically for the file named `name` (without
// folder), written by process pid; the last six characters are filled in at random.
std::string TemporaryFileName(const std::string& name, pid_t pid);

} // namespace tarnwick
