// Measures a program's start: the time from launching it to its icon sitting in the
// notification area, and its peak memory (maximum resident set size). The notification area is
// the "panel" window of trayer on the display of $DISPLAY; an icon is "in" it once a window
// carrying the program's _NET_WM_PID has been embedded below that panel. Also the shared
// objects mapped when the icon appears, and the private memory it has written (Private_Dirty)
// once it has settled.
//
// Usage: startup_probe PROGRAM [ARGS...]
// Runs the program once and prints one line:
//   start_ms=... peak_kib=... private_kib=... objects=...
// The benchmark script alternates programs run by run, so that a change in the machine's load
// falls on all of them alike.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

bool HasClass(Display* display, Window window, const char* name, const char* cls) {
    XClassHint hint{};
    if (!XGetClassHint(display, window, &hint))
        return false;
    const bool match = hint.res_name && hint.res_class && std::strcmp(hint.res_name, name) == 0 &&
                       std::strcmp(hint.res_class, cls) == 0;
    XFree(hint.res_name);
    XFree(hint.res_class);
    return match;
}

Window FindPanel(Display* display) {
    Window root = DefaultRootWindow(display), parent = 0, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && !found; ++i)
            if (HasClass(display, children[i], "panel", "trayer"))
                found = children[i];
        XFree(children);
    }
    return found;
}

long WindowPid(Display* display, Window window, Atom pidAtom) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(display, window, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format,
                           &items, &after, &data) == Success &&
        data) {
        if (format == 32 && items == 1)
            pid = static_cast<long>(*reinterpret_cast<unsigned long*>(data));
        XFree(data);
    }
    return pid;
}

bool Embedded(Display* display, Window under, Atom pidAtom, pid_t pid) {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, under, &root, &parent, &children, &count))
        return false;
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i)
        found = WindowPid(display, children[i], pidAtom) == pid ||
                Embedded(display, children[i], pidAtom, pid);
    XFree(children);
    return found;
}

int IgnoreXErrors(Display*, XErrorEvent*) {
    return 0; // windows come and go while the tree is walked
}

// Distinct shared objects in the process's mappings.
int SharedObjects(pid_t pid) {
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::set<std::string> objects;
    for (std::string line; std::getline(maps, line);) {
        const auto path = line.find('/');
        if (path != std::string::npos && line.find(".so", path) != std::string::npos)
            objects.insert(line.substr(path));
    }
    return static_cast<int>(objects.size());
}

long PrivateDirtyKib(pid_t pid) {
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    for (std::string line; std::getline(rollup, line);)
        if (line.rfind("Private_Dirty:", 0) == 0)
            return std::atol(line.c_str() + 14);
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_probe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(IgnoreXErrors);
    const Window panel = FindPanel(display);
    if (!panel) {
        std::fprintf(stderr, "startup_probe: no trayer panel on this display\n");
        return 1;
    }
    const Atom pidAtom = XInternAtom(display, "_NET_WM_PID", False);

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    bool seen = false;
    double ms = 0;
    while (!seen) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        seen = Embedded(display, panel, pidAtom, pid);
        ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        if (ms > 20000 || waitpid(pid, nullptr, WNOHANG) == pid)
            break;
    }
    if (!seen) {
        std::fprintf(stderr, "startup_probe: %s showed no icon\n", argv[1]);
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        return 1;
    }
    const int objects = SharedObjects(pid);
    // Let the program settle (first paint, menus built) before it is asked to end.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const long privateKib = PrivateDirtyKib(pid);
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    std::printf("start_ms=%.1f peak_kib=%ld private_kib=%ld objects=%d\n", ms, usage.ru_maxrss,
                privateKib, objects);
    // Wait (a bounded while) until the notification area has let go of the icon.
    for (int i = 0; i < 1000 && Embedded(display, panel, pidAtom, pid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    XCloseDisplay(display);
    return 0;
}
