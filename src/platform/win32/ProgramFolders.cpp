#include "platform/ProgramFolders.h"

#include "rules/FileSystem.h"

#include <windows.h>

namespace tarnwick {

ProgramFolders MachineProgramFolders() {
    const std::string folder = ExecutableFolder();
    return {folder, folder};
}

std::string ExecutablePath() {
    // Long paths are cut at MAX_PATH by the ANSI call; grow the buffer until the path fits.
    std::string path(MAX_PATH, '\0');
    for (int attempt = 0; attempt < 6; ++attempt) {
        const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
    return {};
}

} // namespace tarnwick
