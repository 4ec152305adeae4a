// Measures a program's start: the time from launching it to its icon sitting in the
// notification area, and its peak memory (maximum resident set size). The notification area is
// the "panel" window of trayer on the display of $DISPLAY; an icon is "in" it once a window
// carrying the program's _NET_WM_PID has been embedded below that panel.
//
// Usage: startup_probe RUNS PROGRAM [ARGS...]
// Prints one line per run and a summary line with the medians:
//   median start_ms=... peak_kib=...
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

template <typename T> T Median(std::vector<T> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s RUNS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const int runs = std::max(1, std::atoi(argv[1]));
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

    std::vector<double> times;
    std::vector<long> peaks;
    for (int run = 0; run < runs; ++run) {
        const auto start = Clock::now();
        const pid_t pid = fork();
        if (pid == 0) {
            execv(argv[2], argv + 2);
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
            std::fprintf(stderr, "startup_probe: %s showed no icon\n", argv[2]);
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return 1;
        }
        // Let the program settle (first paint, menus built) before it is asked to end.
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kill(pid, SIGTERM);
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        times.push_back(ms);
        peaks.push_back(usage.ru_maxrss);
        std::printf("run %d start_ms=%.1f peak_kib=%ld\n", run + 1, ms, usage.ru_maxrss);
        // Wait until the notification area has let go of the icon.
        while (Embedded(display, panel, pidAtom, pid))
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::printf("median start_ms=%.1f peak_kib=%ld\n", Median(times), Median(peaks));
    XCloseDisplay(display);
    return 0;
}
