// Rule module on a 10,000-rule table: loading and saving the rule file, building the script.
#include "rules_common.h"

#include "rules/FileSystem.h"
#include "rules/PacScript.h"
#include "rules/RuleFile.h"
#include "rules/RuleTester.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

using namespace tarnwick;

namespace {

// A folder of its own under the temporary folder, removed at the end.
class BenchFolder {
public:
    BenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tarnwick-bench-XXXXXX");
        path_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string file(const char* name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

void LoadRulesFromDisk(benchmark::State& state) {
    BenchFolder folder;
    const std::string path = folder.file("configData.ini");
    SaveRules(bench::LargeTable(), path);
    RuleTable table;
    for (auto _ : state) {
        LoadRules(table, path);
        benchmark::DoNotOptimize(table.cell(2, bench::RuleCount));
    }
    state.counters["rules"] = bench::RuleCount;
}
BENCHMARK(LoadRulesFromDisk)->Unit(benchmark::kMillisecond);

void BuildPacScriptOfTable(benchmark::State& state) {
    const RuleTable table = bench::LargeTable();
    for (auto _ : state) {
        std::string script = BuildPacScript(table);
        benchmark::DoNotOptimize(script.data());
    }
}
BENCHMARK(BuildPacScriptOfTable)->Unit(benchmark::kMillisecond);

void SaveRulesToDisk(benchmark::State& state) {
    // Includes the flush to the disk that makes the replacement safe.
    BenchFolder folder;
    const std::string path = folder.file("configData.ini");
    const RuleTable table = bench::LargeTable();
    for (auto _ : state)
        SaveRules(table, path);
}
BENCHMARK(SaveRulesToDisk)->Unit(benchmark::kMillisecond);

void RuleFileTextOfTable(benchmark::State& state) {
    // SaveRules without the disk.
    const RuleTable table = bench::LargeTable();
    for (auto _ : state) {
        std::string text = RuleFileText(table);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(RuleFileTextOfTable)->Unit(benchmark::kMillisecond);

// The rule tester on the whole table: an address that no rule matches, so every row is tried;
// the host's address is known at once (no lookup is timed).
void TestAddressAgainstTable(benchmark::State& state) {
    class KnownHost : public HostResolver {
    public:
        HostLookup Lookup(const std::string&) override {
            return {HostLookup::State::Resolved, 0xC0000201};
        }
    } resolver;
    const RuleTable table = bench::LargeTable();
    const TestAddress address = ParseTestAddress("http://www.nowhere.test/path/page.html");
    for (auto _ : state) {
        RuleVerdict verdict = EvaluateRules(table, address, resolver);
        benchmark::DoNotOptimize(verdict.kind);
    }
    state.counters["rules"] = bench::RuleCount;
}
BENCHMARK(TestAddressAgainstTable)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
