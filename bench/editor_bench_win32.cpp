// Windows build: what the start pays for the rule editor (the behaviour object, its FormCreate
// and its window, hidden), and opening it over a rule file of 10,000 rules, the first time (its
// controls are made then) and again, each until the window has painted. Google Benchmark is not
// packaged for mingw, so this times itself and reports medians. Needs a display; under Wine:
//   sh tests/trayicon/with-display.sh cmake/wine-run.sh build/windows/bench/editor_bench_win32.exe
#include "rules_common.h"

#include "forms/setParamUnit.h"
#include "platform/win32/TrayWin32.h"
#include "rules/RuleFile.h"
#include "ui/win32/Views.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

using namespace tarnwick;
using Clock = std::chrono::steady_clock;

namespace {

double Milliseconds(Clock::time_point from, Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> times) {
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Opens the editor modally as the program does; the first message its modal loop takes paints
// the window and ends the run. Returns the milliseconds from Execute to the painted window.
double TimedOpening(win32::ApplicationWindows& windows, TsetParamForm& form) {
    Clock::time_point shown;
    windows.Post([&] {
        RedrawWindow(windows.Editor()->Hwnd(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        shown = Clock::now();
        form.Cancel();
    });
    const Clock::time_point start = Clock::now();
    form.Execute(nullptr);
    return Milliseconds(start, shown);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 11;
    const auto folder = std::filesystem::temp_directory_path() /
                        ("tarnwick-bench-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::string rules = (folder / "configData.ini").string();
    SaveRules(bench::LargeTable(), rules);

    Win32TrayPlatform tray;
    win32::ApplicationWindows windows(GetModuleHandleA(nullptr), tray);
    std::vector<double> creation, first, again;
    bool loaded = true;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        auto form = std::make_unique<TsetParamForm>(
            [&](TsetParamForm& f) { return windows.CreateSetParamFormView(f); });
        creation.push_back(Milliseconds(start, Clock::now()));
        form->setRuleFilePath(rules);
        form->setPacFilePath((folder / "IETarnwick.pac").string());
        first.push_back(TimedOpening(windows, *form));
        again.push_back(TimedOpening(windows, *form));
        loaded = loaded && form->Table().rowCount() == bench::RuleCount + 1;
    }
    std::printf("rule editor, %d rules, medians of %d rounds: made at the start %.2f ms, "
                "first opening %.1f ms, a later opening %.1f ms; rules loaded: %s\n",
                bench::RuleCount, rounds, Median(creation), Median(first), Median(again),
                loaded ? "yes" : "NO");
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return loaded ? 0 : 1;
}
