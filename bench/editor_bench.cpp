// Making the rule editor at the start, opening it over a rule file of 10,000 rules (the opening
// reloads the file), and scrolling the grid through that table. Runs on the offscreen platform
// unless told otherwise.
#include "forms/setParamUnit.h"
#include "rules/CodePage.h"
#include "rules/RuleFile.h"
#include "rules/RuleTable.h"
#include "ui/qt/QtSetParamForm.h"
#include "ui/qt/RuleGrid.h"

#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int RuleCount = 10000;

// A rule file of RuleCount rules of all four types, written once per run.
class RuleFolder {
public:
    RuleFolder() {
        tarnwick::RuleTable table;
        table.ensureRowCount(RuleCount + 1);
        const auto& names = tarnwick::RuleTypeNames();
        for (int row = 1; row <= RuleCount; ++row) {
            const int type = row % 4;
            std::string value = type == 2   ? "10." + std::to_string(row % 250) + ".0.1;255.255.0.0"
                                : type == 3 ? tarnwick::RuleTypeDefaults()[3]
                                            : "*.host" + std::to_string(row) + ".example";
            table.setCell(tarnwick::RuleTable::TypeColumn, row, names[type]);
            table.setCell(tarnwick::RuleTable::ValueColumn, row, value);
            table.setCell(tarnwick::RuleTable::ProxyColumn, row,
                          "10.0.0." + std::to_string(row % 250) + ":8080");
        }
        tarnwick::SaveRules(table, rulePath());
    }
    std::string rulePath() const { return dir_.filePath("configData.ini").toStdString(); }
    std::string pacPath() const { return dir_.filePath("IETarnwick.pac").toStdString(); }

private:
    QTemporaryDir dir_;
};

const RuleFolder& Rules() {
    static const RuleFolder folder;
    return folder;
}

std::unique_ptr<tarnwick::TsetParamForm> NewEditor() {
    auto form = tarnwick::NewQtSetParamForm();
    form->setRuleFilePath(Rules().rulePath());
    form->setPacFilePath(Rules().pacPath());
    return form;
}

// What the start pays for the editor: the behaviour object, its FormCreate and its view, hidden.
void BM_EditorCreation(benchmark::State& state) {
    for (auto _ : state) {
        auto form = NewEditor();
        benchmark::DoNotOptimize(form.get());
        state.PauseTiming();
        form.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EditorCreation)->Unit(benchmark::kMillisecond)->Iterations(20);

// The first opening of a newly created editor: its widgets, native window, activation,
// LoadRules.
void BM_EditorFirstOpening(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto form = NewEditor();
        state.ResumeTiming();
        tarnwick::WidgetOf(*form).show();
        benchmark::DoNotOptimize(tarnwick::WidgetOf(*form).StringGrid1->model()->rowCount());
        state.PauseTiming();
        form.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rules"] = RuleCount;
}
BENCHMARK(BM_EditorFirstOpening)->Unit(benchmark::kMillisecond)->Iterations(10);

// A later opening of the same editor (the table already has its 10,000 rows).
void BM_EditorReopening(benchmark::State& state) {
    auto form = NewEditor();
    tarnwick::WidgetOf(*form).show();
    tarnwick::WidgetOf(*form).hide();
    for (auto _ : state) {
        tarnwick::WidgetOf(*form).show();
        state.PauseTiming();
        tarnwick::WidgetOf(*form).hide();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_EditorReopening)->Unit(benchmark::kMillisecond)->Iterations(20);

// Shows the editor and lets the grid lay out its 10,000 rows.
bool ShownForScrolling(tarnwick::QtSetParamForm& form, QScrollBar*& bar, QWidget*& viewport) {
    form.show();
    for (int i = 0; i < 10; ++i)
        QCoreApplication::processEvents();
    bar = form.StringGrid1->verticalScrollBar();
    viewport = form.StringGrid1->viewport();
    return bar->maximum() > 0 && viewport->isVisible();
}

// One page down in the 10,000-row grid, painted.
void BM_EditorScrollPage(benchmark::State& state) {
    auto form = NewEditor();
    QScrollBar* bar = nullptr;
    QWidget* viewport = nullptr;
    if (!ShownForScrolling(tarnwick::WidgetOf(*form), bar, viewport)) {
        state.SkipWithError("the grid has nothing to scroll");
        return;
    }
    for (auto _ : state) {
        int next = bar->value() + bar->pageStep();
        if (next > bar->maximum())
            next = 0;
        bar->setValue(next);
        viewport->repaint();
    }
}
BENCHMARK(BM_EditorScrollPage)->Unit(benchmark::kMicrosecond);

// From the top of the table to its end in one jump (dragging the scroll box), painted.
void BM_EditorScrollToEnd(benchmark::State& state) {
    auto form = NewEditor();
    QScrollBar* bar = nullptr;
    QWidget* viewport = nullptr;
    if (!ShownForScrolling(tarnwick::WidgetOf(*form), bar, viewport)) {
        state.SkipWithError("the grid has nothing to scroll");
        return;
    }
    for (auto _ : state) {
        bar->setValue(bar->value() == 0 ? bar->maximum() : 0);
        viewport->repaint();
    }
}
BENCHMARK(BM_EditorScrollToEnd)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
