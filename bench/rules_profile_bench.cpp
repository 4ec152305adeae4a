// Windows build: our LoadRules against a loader that asks GetPrivateProfileStringA for every
// value, on the same 10,000-rule file. Google Benchmark is not packaged for mingw, so this times
// itself: repeated runs, the median reported. Run it by hand, e.g. under Wine:
//   cmake/wine-run.sh build/windows/bench/rules_profile_bench.exe
#include "rules_common.h"

#include "rules/RuleFile.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <vector>

using namespace tarnwick;

namespace {

// The loader of the original program: the section list, then one call per value.
void LoadRulesThroughProfile(RuleTable& table, const std::string& path) {
    for (int row = 1; row < table.rowCount(); ++row)
        for (int column = 0; column < 3; ++column)
            table.setCell(column, row, std::string());
    // Large enough for every section name, so that both loaders load the same rules.
    std::vector<char> names(1 << 20);
    const DWORD length = GetPrivateProfileStringA(nullptr, nullptr, "", names.data(),
                                                  static_cast<DWORD>(names.size()), path.c_str());
    char value[2048];
    int row = 1;
    for (DWORD at = 0; at < length && names[at] != '\0'; ++row) {
        const char* section = names.data() + at;
        table.ensureRowCount(row + 1);
        for (int column = 0; column < 3; ++column) {
            const std::string key = "col" + std::to_string(column);
            const DWORD n = GetPrivateProfileStringA(section, key.c_str(), "", value, sizeof value,
                                                     path.c_str());
            table.setCell(column, row, std::string(value, n));
        }
        at += static_cast<DWORD>(std::strlen(section)) + 1;
    }
}

double MedianMilliseconds(int runs, const std::function<void()>& run) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int platformRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tarnwick-bench-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::string path = (folder / "configData.ini").string();
    SaveRules(bench::LargeTable(), path);

    RuleTable ours;
    RuleTable platform;
    const double oursMs = MedianMilliseconds(21, [&] { LoadRules(ours, path); });
    const double platformMs =
        MedianMilliseconds(platformRuns, [&] { LoadRulesThroughProfile(platform, path); });

    bool same = ours.rowCount() >= bench::RuleCount + 1;
    for (int row = 1; same && row <= bench::RuleCount; ++row)
        for (int column = 0; column < 3; ++column)
            same = same && ours.cell(column, row) == platform.cell(column, row);

    std::printf("LoadRules, %d rules: ours %.3f ms, GetPrivateProfileStringA per value %.1f ms "
                "(median of 21 and %d runs); ours is %.0fx faster; same rules: %s\n",
                bench::RuleCount, oursMs, platformMs, platformRuns, platformMs / oursMs,
                same ? "yes" : "NO");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return same ? 0 : 1;
}
