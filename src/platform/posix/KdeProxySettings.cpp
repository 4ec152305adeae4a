#include "platform/posix/KdeProxySettings.h"

#include "platform/ProgramFolders.h"
#include "platform/posix/ReplaceFile.h"
#include "rules/Error.h"
#include "rules/FileSystem.h"

#include <gio/gio.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tarnwick {

namespace {

constexpr const char* Group = "Proxy Settings";
constexpr const char* TypeKey = "ProxyType";
constexpr const char* ScriptKey = "Proxy Config Script";

std::string Trim(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// One line with its end ("\n", or nothing on a last line without one).
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const auto end = text.find('\n', start);
        const auto next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// The group a header line opens ("" when the line is no header).
std::optional<std::string> Header(const std::string& line) {
    const std::string t = Trim(line.substr(0, line.find('\n')));
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return t.substr(1, close - 1);
}

// The key a line sets, with options such as [$e] left off; a key with a locale ("key[de]")
// is another key. Nothing for comments, blank lines and headers.
std::optional<std::string> KeyOf(const std::string& line) {
    const std::string t = Trim(line.substr(0, line.find('\n')));
    if (t.empty() || t[0] == '#' || t[0] == '[')
        return std::nullopt;
    const auto equals = t.find('=');
    if (equals == std::string::npos)
        return std::nullopt;
    std::string key = Trim(t.substr(0, equals));
    const auto bracket = key.find('[');
    if (bracket != std::string::npos) {
        if (bracket + 1 >= key.size() || key[bracket + 1] != '$')
            return std::nullopt;
        key = Trim(key.substr(0, bracket));
    }
    return key;
}

std::string ValueOf(const std::string& line) {
    const auto equals = line.find('=');
    return equals == std::string::npos ? std::string() : Trim(line.substr(equals + 1));
}

std::string WithoutEnd(const std::string& line) {
    return line.substr(0, line.find('\n'));
}

// KConfig's escapes for a value written by us.
std::string Escape(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == ' ' && (i == 0 || i + 1 == value.size()))
            out += "\\s";
        else
            out += c;
    }
    return out;
}

std::string Unescape(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '\\' || i + 1 == value.size()) {
            out += value[i];
            continue;
        }
        const char c = value[++i];
        out += c == 's' ? ' ' : c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

// The file's text, empty when there is none; nullopt when something is there that cannot be
// read (or is no regular file), which must not be replaced by a file of two lines alone.
std::optional<std::string> ReadKioslaverc(const std::string& path) {
    if (auto text = LocalFileSystem().readFile(path))
        return text;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 && errno == ENOENT)
        return std::string();
    return std::nullopt;
}

bool KdeSession() {
    const char* desktops = std::getenv("XDG_CURRENT_DESKTOP");
    std::string list = desktops ? desktops : "";
    std::size_t start = 0;
    while (start <= list.size()) {
        const auto end = std::min(list.find(':', start), list.size());
        if (list.compare(start, end - start, "KDE") == 0)
            return true;
        start = end + 1;
    }
    const char* full = std::getenv("KDE_FULL_SESSION");
    return full && std::string(full) == "true";
}

// Running KDE programs reread their proxy settings on this signal. Only a bus that is there
// already is used: starting one for a signal that no one would hear makes no sense.
void TellKio() {
    std::string address;
    if (const char* env = std::getenv("DBUS_SESSION_BUS_ADDRESS"); env && *env) {
        address = env;
    } else if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        const std::string socket = std::string(runtime) + "/bus";
        struct stat info {};
        if (::stat(socket.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
            return;
        gchar* escaped = g_dbus_address_escape_value(socket.c_str());
        address = std::string("unix:path=") + escaped;
        g_free(escaped);
    } else {
        return;
    }
    GDBusConnection* bus = g_dbus_connection_new_for_address_sync(
        address.c_str(),
        static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, nullptr, nullptr);
    if (!bus)
        return;
    g_dbus_connection_emit_signal(bus, nullptr, "/KIO/Scheduler", "org.kde.KIO.Scheduler",
                                  "reparseSlaveConfiguration", g_variant_new("(s)", ""), nullptr);
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
    g_dbus_connection_close_sync(bus, nullptr, nullptr);
    g_object_unref(bus);
}

} // namespace

DesktopProxyState KdeProxyLines(const std::string& text) {
    DesktopProxyState state;
    bool inGroup = false;
    for (const std::string& line : Lines(text)) {
        if (const auto group = Header(line)) {
            inGroup = *group == Group;
            continue;
        }
        const auto key = KeyOf(line);
        if (!inGroup || !key)
            continue;
        if (*key == TypeKey)
            state.mode = WithoutEnd(line);
        else if (*key == ScriptKey)
            state.url = WithoutEnd(line);
    }
    return state;
}

std::string SetKdeProxyLines(const std::string& text, const DesktopProxyState& lines) {
    std::vector<std::string> out = Lines(text);
    // Where the group is: its header, and the line after its last key.
    std::optional<std::size_t> header;
    std::size_t end = 0;
    bool inGroup = false;
    std::optional<std::size_t> typeLine, scriptLine;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (const auto group = Header(out[i])) {
            inGroup = *group == Group && !header;
            if (inGroup) {
                header = i;
                end = i + 1;
            }
            continue;
        }
        if (!inGroup)
            continue;
        const auto key = KeyOf(out[i]);
        if (key && *key == TypeKey)
            typeLine = i;
        if (key && *key == ScriptKey)
            scriptLine = i;
        if (!Trim(WithoutEnd(out[i])).empty())
            end = i + 1;
    }
    if (!header && (lines.mode || lines.url)) {
        if (!out.empty() && out.back().back() != '\n')
            out.back() += '\n';
        if (!out.empty())
            out.push_back("\n");
        out.push_back(std::string("[") + Group + "]\n");
        header = out.size() - 1;
        end = out.size();
    }
    // Lines to remove are marked, lines to add go in after the group's last line.
    std::vector<std::string> added;
    const auto set = [&](std::optional<std::size_t> at, const std::optional<std::string>& line) {
        if (at) {
            const bool ended = out[*at].back() == '\n';
            out[*at] = line ? *line + (ended ? "\n" : "") : std::string();
        } else if (line) {
            added.push_back(*line + "\n");
        }
    };
    set(typeLine, lines.mode);
    set(scriptLine, lines.url);
    if (!added.empty()) {
        if (end > 0 && out[end - 1].back() != '\n')
            out[end - 1] += '\n';
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(end), added.begin(), added.end());
    }
    // A group left with nothing in it goes, with the blank line that set it apart.
    if (header && !lines.mode && !lines.url) {
        std::size_t next = *header + 1;
        bool empty = true;
        for (; next < out.size() && !Header(out[next]); ++next)
            if (!Trim(WithoutEnd(out[next])).empty())
                empty = false;
        if (empty && next == out.size()) {
            out.resize(*header);
            if (!out.empty() && out.back() == "\n")
                out.pop_back();
        }
    }
    std::string result;
    for (const std::string& line : out)
        result += line;
    return result;
}

KdeProxySettings::KdeProxySettings(std::string path, bool kdeSession)
    : path_(std::move(path)), kdeSession_(kdeSession) {}

KdeProxySettings::KdeProxySettings()
    : KdeProxySettings(UserConfigFolder() + "/kioslaverc", KdeSession()) {}

bool KdeProxySettings::present() {
    struct stat info {};
    return kdeSession_ || ::stat(path_.c_str(), &info) == 0;
}

DesktopProxyState KdeProxySettings::read() {
    return KdeProxyLines(ReadKioslaverc(path_).value_or(""));
}

void KdeProxySettings::write(const DesktopProxyState& state) {
    const std::optional<std::string> before = ReadKioslaverc(path_);
    const auto fail = [&] { throw RegistryError("Failed to set data for '" + path_ + "'"); };
    if (!before)
        fail();
    const std::string text = SetKdeProxyLines(*before, state);
    if (text == *before)
        return;
    if (text.empty()) {
        // Nothing was there before the program wrote the file.
        if (::unlink(path_.c_str()) != 0)
            fail();
    } else if (ReplaceFileAtomically(path_, text, 0600) != 0) {
        fail();
    }
    if (KdeProxyLines(ReadKioslaverc(path_).value_or("")) != state)
        fail();
    TellKio();
}

DesktopProxyState KdeProxySettings::pointingAt(const std::string& url) const {
    return DesktopProxyState{std::string(TypeKey) + "=2",
                             std::string(ScriptKey) + "=" + Escape(url)};
}

bool KdeProxySettings::pointsAt(const DesktopProxyState& state, const std::string& url) const {
    return state.mode && state.url && ValueOf(*state.mode) == "2" &&
           Unescape(ValueOf(*state.url)) == url;
}

} // namespace tarnwick
