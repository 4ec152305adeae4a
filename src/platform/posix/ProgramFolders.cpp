#include "platform/ProgramFolders.h"

#include "rules/FileSystem.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir)
        return entry->pw_dir;
    return "/";
}

// The folder above "<prefix>/bin/": the install prefix with its separator.
std::string PrefixOf(const std::string& executableFolder) {
    std::string folder = executableFolder;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    const std::size_t slash = folder.rfind('/');
    return slash == std::string::npos ? std::string("./") : folder.substr(0, slash + 1);
}

// Every missing folder of path, like mkdir -p; errors show later, when a file is written.
void MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at != std::string::npos && at < path.size();) {
        at = path.find('/', at);
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return;
        if (at != std::string::npos)
            ++at;
    }
}

} // namespace

ProgramFolders ChooseProgramFolders(const std::string& executableFolder, bool installed,
                                    const std::string& configFolder) {
    if (!installed)
        return {executableFolder, executableFolder};
    return {configFolder, PrefixOf(executableFolder) + "share/tarnwick/"};
}

std::string UserConfigFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    return config && config[0] == '/' ? std::string(config) : HomeFolder() + "/.config";
}

std::string ConfigurationFolder() {
    return UserConfigFolder() + "/tarnwick/";
}

std::string ExecutablePath() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

ProgramFolders MachineProgramFolders() {
    const std::string folder = ExecutableFolder();
    const std::string entry = PrefixOf(folder) + "share/applications/tarnwick.desktop";
    const bool installed =
        ::access(entry.c_str(), F_OK) == 0 || ::access(folder.c_str(), W_OK) != 0;
    ProgramFolders folders = ChooseProgramFolders(folder, installed, ConfigurationFolder());
    if (installed)
        MakeFolders(folders.files);
    return folders;
}

} // namespace tarnwick
