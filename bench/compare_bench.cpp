// The comparison window over two versions of an archive that differ in 200,000 paths (bench_data.h),
// driven offscreen as a user drives it: from "Compare" to the first rows shown and to the end of the
// comparison (every row shown), a header click, and one filter keystroke. Run BM_CompareToRows alone for
// the window's peak memory (the counters give the resident memory before and the peak after). Needs the
// benchmark data (bench_generate, or bench/run).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QHeaderView>
#include <QItemSelection>
#include <QLineEdit>
#include <QTreeView>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

#include "app/compare_window.h"
#include "app/main_window.h"
#include "base/ustring.h"
#include "bench/bench_data.h"
#include "bench/silent_dialogs.h"

namespace {

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    double pages = 0;
    double resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

struct Comparison {
    SilentDialogs dialogs;
    std::unique_ptr<TForm1> window;
    TCompareWindow* compare = nullptr;
    QTreeView* list = nullptr;
    QLineEdit* filter = nullptr;
};

std::u16string ArchivePath(const char* name) {
    return FromUtf8(bench::DataFolder() + "/" + name);
}

// The main window, shown; nullptr when the data is missing.
std::unique_ptr<Comparison> MainWindow(benchmark::State& state) {
    if (!std::filesystem::exists(bench::DataFolder() + "/" + bench::kCompareNewerName)) {
        state.SkipWithError("no benchmark data: run bench_generate (or bench/run) first");
        return nullptr;
    }
    auto comparison = std::make_unique<Comparison>();
    const std::string executable =
        (std::filesystem::temp_directory_path() / "parlivex-compare-bench").string();
    comparison->window = std::make_unique<TForm1>(comparison->dialogs, FromUtf8(executable));
    comparison->window->show();
    QApplication::processEvents();
    return comparison;
}

// Opens the comparison window; when firstRows is given, the time until it shows its first row goes there.
void StartComparison(Comparison& comparison, double* firstRows = nullptr) {
    const auto started = std::chrono::steady_clock::now();
    comparison.compare = comparison.window->CompareArchives(ArchivePath(bench::kCompareOlderName),
                                                            ArchivePath(bench::kCompareNewerName));
    comparison.list = comparison.compare->findChild<QTreeView*>(QStringLiteral("CompareList"));
    comparison.filter = comparison.compare->findChild<QLineEdit*>(QStringLiteral("CompareFilter"));
    bool shown = false;
    while (comparison.compare->Busy()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (!shown && comparison.list->model()->rowCount() > 0) {
            shown = true;
            if (firstRows != nullptr) {
                *firstRows =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                        .count();
            }
        }
    }
    QApplication::processEvents(); // the view lays out the last rows
    if (!shown && firstRows != nullptr) {
        *firstRows =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    }
}

// Every 50th row selected (4,000 of 200,000), which sorting and filtering keep.
void SelectSomeRows(Comparison& comparison) {
    QItemSelection selection;
    const QAbstractItemModel& model = *comparison.list->model();
    for (int row = 0; row < model.rowCount(); row += 50) {
        selection.select(model.index(row, 0), model.index(row, model.columnCount() - 1));
    }
    comparison.list->selectionModel()->select(selection,
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void CloseComparison(Comparison& comparison) {
    comparison.compare->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    comparison.compare = nullptr;
}

// From "Compare" to every difference shown; the counter first_rows_ms is the time to the first rows.
void BM_CompareToRows(benchmark::State& state) {
    auto comparison = MainWindow(state);
    if (!comparison) {
        return;
    }
    const double before = ResidentMiB();
    double firstRows = 0;
    double firstRowsTotal = 0;
    int rows = 0;
    for (auto _ : state) {
        StartComparison(*comparison, &firstRows);
        firstRowsTotal += firstRows;
        rows = comparison->list->model()->rowCount();
        state.PauseTiming();
        CloseComparison(*comparison);
        state.ResumeTiming();
    }
    state.counters["rows"] = rows;
    state.counters["first_rows_ms"] = firstRowsTotal / static_cast<double>(state.iterations());
    state.counters["start_MiB"] = before;
    state.counters["peak_MiB"] = PeakResidentMiB();
}

// A click on the header of a column (the argument), the order turning at each click, 4,000 rows selected.
void BM_CompareHeaderClick(benchmark::State& state) {
    auto comparison = MainWindow(state);
    if (!comparison) {
        return;
    }
    StartComparison(*comparison);
    SelectSomeRows(*comparison);
    const int column = static_cast<int>(state.range(0));
    if (column >= comparison->list->model()->columnCount()) {
        state.SkipWithError("no such column");
        return;
    }
    QHeaderView& header = *comparison->list->header();
    for (auto _ : state) {
        const Qt::SortOrder order =
            header.sortIndicatorSection() == column && header.sortIndicatorOrder() == Qt::AscendingOrder
                ? Qt::DescendingOrder
                : Qt::AscendingOrder;
        comparison->list->sortByColumn(column, order);
        QApplication::processEvents();
    }
    state.counters["rows"] = comparison->list->model()->rowCount();
}

// Typing one more letter, then taking it back: each change filters all 200,000 rows again, 4,000 of them
// selected. Arg 0: about a tenth of the rows shown; 1: all of them.
void BM_CompareFilterKeystroke(benchmark::State& state) {
    auto comparison = MainWindow(state);
    if (!comparison) {
        return;
    }
    StartComparison(*comparison);
    SelectSomeRows(*comparison);
    const bool all = state.range(0) != 0;
    const QString shorter = all ? QStringLiteral("dd") : QStringLiteral("textures\\armo");
    const QString longer = all ? QStringLiteral("dds") : QStringLiteral("textures\\armor");
    bool useLonger = true;
    comparison->filter->setText(shorter);
    QApplication::processEvents();
    int shown = 0;
    for (auto _ : state) {
        comparison->filter->setText(useLonger ? longer : shorter);
        useLonger = !useLonger;
        QApplication::processEvents();
        shown = comparison->list->model()->rowCount();
    }
    int visible = 0;
    for (int row = 0; row < comparison->list->model()->rowCount(); ++row) {
        visible += comparison->list->isRowHidden(row, QModelIndex()) ? 0 : 1;
    }
    state.counters["rows"] = shown;
    state.counters["rows_visible"] = visible;
    state.counters["selected"] =
        static_cast<double>(comparison->list->selectionModel()->selectedRows().size());
}

BENCHMARK(BM_CompareToRows)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_CompareHeaderClick)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CompareFilterKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
