#include "rules/TextFile.h"

#include "rules/FileSystem.h"

namespace tarnwick {

void WriteTextFile(const std::string& path, const std::string& text) {
    WriteTextFile(LocalFileSystem(), path, text);
}

void WriteTextFile(FileSystem& files, const std::string& path, const std::string& text) {
    files.replaceFile(path, text + "\r\n");
}

} // namespace tarnwick
