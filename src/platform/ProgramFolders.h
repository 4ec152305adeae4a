#pragma once

#include <string>

namespace tarnwick {

// Where the program keeps the files it writes and the help file it opens. Both end with the
// path separator; the file names are appended to them.
struct ProgramFolders {
    std::string files; // IETarnwick.pac and configData.ini
    std::string help;  // Help/help.chm is below it
};

#ifndef _WIN32
// The decision itself, apart from the machine (Linux paths). A program run from the build
// tree or from an unpacked folder keeps everything beside its executable. An installed one
// (its folder not writable, as /usr/bin for a user, or the installed desktop entry found in
// <prefix>/share/applications, which also covers root) writes into configFolder, which holds
// the registry stand-in, and reads the help from <prefix>/share/tarnwick/.
ProgramFolders ChooseProgramFolders(const std::string& executableFolder, bool installed,
                                    const std::string& configFolder);

#endif

// The machine's answer for the running executable. On Linux the configuration folder is
// created when it is chosen. On Windows everything stays beside the executable: the zip is
// unpacked into a folder of the user's.
ProgramFolders MachineProgramFolders();

#ifndef _WIN32
// The user's configuration folder: $XDG_CONFIG_HOME, or ~/.config when the variable is unset
// or relative; without a final separator.
std::string UserConfigFolder();
// UserConfigFolder() + "/tarnwick/": the program's own, beside the registry stand-in.
std::string ConfigurationFolder();
#endif

// The running executable's full path (GBK bytes on Windows).
std::string ExecutablePath();

} // namespace tarnwick
