#include "platform/StartAtLogin.h"

#include "platform/ProgramFolders.h"
#include "rules/Error.h"
#include "rules/FileSystem.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace tarnwick {

namespace {

[[noreturn]] void Fail(int error) {
    // The codes the file writer reports for the same causes.
    throw IoError(error == EACCES || error == EPERM || error == EROFS ? 5
                  : error == ENOENT || error == ENOTDIR               ? 3
                                                                      : error);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.pop_back();
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
        ++start;
    return text.substr(start);
}

// False when a key of the [Desktop Entry] group turns the entry off.
bool EnabledInside(const std::string& entry) {
    std::istringstream lines(entry);
    std::string line;
    bool inMainGroup = false;
    bool enabled = true;
    while (std::getline(lines, line)) {
        line = Trimmed(line);
        if (!line.empty() && line.front() == '[') {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string::npos)
            continue;
        const std::string key = Trimmed(line.substr(0, equals));
        const std::string value = Trimmed(line.substr(equals + 1));
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            enabled = false;
    }
    return enabled;
}

class XdgAutostart : public StartAtLogin {
public:
    XdgAutostart(std::string configHome, std::string executable)
        : folder_(std::move(configHome) + "/autostart"), path_(folder_ + "/tarnwick.desktop"),
          executable_(std::move(executable)) {}

    bool IsOn() override {
        const auto entry = LocalFileSystem().readFile(path_);
        return entry && EnabledInside(*entry);
    }

    void SetOn(bool on) override {
        if (!on) {
            if (::unlink(path_.c_str()) != 0 && errno != ENOENT)
                Fail(errno);
            return;
        }
        if (::mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST)
            Fail(errno);
        LocalFileSystem().replaceFile(path_, "[Desktop Entry]\n"
                                             "Type=Application\n"
                                             "Name=Tarnwick\n"
                                             "Comment=Chooses the proxy server rule by rule\n"
                                             "Exec=" +
                                                 DesktopExecQuoted(executable_) +
                                                 "\n"
                                                 "Icon=tarnwick\n"
                                                 "Terminal=false\n"
                                                 "StartupNotify=false\n"
                                                 "X-GNOME-Autostart-enabled=true\n");
    }

private:
    std::string folder_;
    std::string path_;
    std::string executable_;
};

} // namespace

std::string DesktopExecQuoted(const std::string& executable) {
    // Inside the quotes ", `, $ and \ take a backslash; the entry's string escaping then
    // doubles every backslash, and % is doubled for the field codes.
    std::string quoted = "\"";
    for (const char c : executable) {
        if (c == '"' || c == '`' || c == '$')
            quoted += "\\\\";
        if (c == '\\')
            quoted += "\\\\\\";
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    return quoted + "\"";
}

std::unique_ptr<StartAtLogin> AutostartEntry(std::string configHome, std::string executable) {
    return std::make_unique<XdgAutostart>(std::move(configHome), std::move(executable));
}

std::unique_ptr<StartAtLogin> MachineStartAtLogin() {
    return AutostartEntry(UserConfigFolder(), ExecutablePath());
}

} // namespace tarnwick
