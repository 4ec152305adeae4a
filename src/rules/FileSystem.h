#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tarnwick {

// What the rule module needs from the disk. The platform library provides the real one
// (LocalFileSystem); tests may pass their own.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Replaces the file at path with exactly these bytes: written to a temporary file in the
    // same folder, flushed and renamed over the target. On failure the old file is left as it
    // was, no temporary file remains, and IoError is thrown with the code of the message table.
    virtual void replaceFile(const std::string& path, std::string_view bytes) = 0;

    // The whole content of the file, or nothing when it is missing or cannot be read.
    virtual std::optional<std::string> readFile(const std::string& path) = 0;
};

// The file system of the machine; defined by the platform library.
FileSystem& LocalFileSystem();

// The running executable's folder, ending with its path separator ("/" on Linux, "\" on
// Windows). Defined by the platform library.
std::string ExecutableFolder();

} // namespace tarnwick
