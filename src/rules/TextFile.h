#pragma once

#include <string>

namespace tarnwick {

class FileSystem;

// Replaces the file at path with text followed by CR LF. Throws IoError; on failure the old
// file stays as it was.
void WriteTextFile(const std::string& path, const std::string& text);
void WriteTextFile(FileSystem& files, const std::string& path, const std::string& text);

} // namespace tarnwick
