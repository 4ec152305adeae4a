// Turns start at login on or off for this executable, for a check with the system's tools.
// Prints the executable's path; exits 1 on a failure.
#include "platform/ProgramFolders.h"
#include "platform/StartAtLogin.h"

#include <cstdio>
#include <cstring>
#include <exception>

int main(int argc, char* argv[]) {
    if (argc != 2 || (std::strcmp(argv[1], "on") != 0 && std::strcmp(argv[1], "off") != 0)) {
        std::fprintf(stderr, "usage: start_at_login_tool on|off\n");
        return 2;
    }
    try {
        auto startAtLogin = tarnwick::MachineStartAtLogin();
        startAtLogin->SetOn(std::strcmp(argv[1], "on") == 0);
        std::printf("%s\n", tarnwick::ExecutablePath().c_str());
        return startAtLogin->IsOn() == (std::strcmp(argv[1], "on") == 0) ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
