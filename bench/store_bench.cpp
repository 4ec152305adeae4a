// Parse and format times of large registry stores: many keys, many values in one key, and the
// settings operations of a start over a large store. Prints the best of a few runs.
#include "platform/CurrentUserRegistry.h"
#include "platform/posix/RegistryFile.h"
#include "platform/posix/RegistryStore.h"
#include "proxyconfig/Settings.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace tarnwick;

namespace {

std::string ManyKeys(int count) {
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n\r\n";
    for (int i = 0; i < count; ++i)
        text +=
            "[HKEY_CURRENT_USER\\Software\\Key" + std::to_string(i) + "]\r\n\"v\"=\"x\"\r\n\r\n";
    return text;
}

std::string ManyValues(int count) {
    std::string text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software]\r\n";
    for (int i = 0; i < count; ++i)
        text +=
            "\"Value" + std::to_string(i) + "\"=dword:0000000" + std::to_string(i % 10) + "\r\n";
    return text + "\r\n";
}

template <typename Body> double BestSeconds(int runs, Body body) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        body();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

void Report(const char* what, const std::string& text) {
    const double parse = BestSeconds(3, [&] {
        if (!RegistryFile::Parse(text))
            std::abort();
    });
    const RegistryFile file = *RegistryFile::Parse(text);
    const double format = BestSeconds(3, [&] { (void)file.format(); });
    std::printf("%-18s %8zu bytes  parse %9.3f ms  format %9.3f ms\n", what, text.size(),
                parse * 1e3, format * 1e3);
}

} // namespace

int main() {
    Report("8,000 keys", ManyKeys(8000));
    Report("16,000 values", ManyValues(16000));

    // A read and a write of the setting over the 8,000-key store, as a start and an exit do.
    char dir[] = "/tmp/tarnwick-store-bench.XXXXXX";
    if (!::mkdtemp(dir))
        return 1;
    ::setenv("XDG_CONFIG_HOME", dir, 1);
    const std::string folder = std::string(dir) + "/tarnwick";
    ::mkdir(folder.c_str(), 0700);
    std::ofstream(RegistryStorePath(), std::ios::binary) << ManyKeys(8000);
    const RegistryFactory registry = CurrentUserRegistry();
    const double read = BestSeconds(3, [&] { (void)ReadSetting(registry, "startHidden"); });
    const double write = BestSeconds(3, [&] { WriteSetting(registry, "startHidden", "true"); });
    std::printf("%-18s read %9.3f ms  write %9.3f ms\n", "settings, 8,000", read * 1e3,
                write * 1e3);
    std::system((std::string("rm -rf ") + dir).c_str());
    return 0;
}
