// The window at 200,000 rows, driven offscreen as a user drives it: opening the archive to its rows, filling
// the list from the open archive, one header click (the Size and Stored columns once the sizes are read), one
// filter keystroke (substring or wildcard) with a few thousand rows selected, a folder chosen in the folder
// tree; and the reading of the entries' sizes that the window does off its thread. Reports the peak memory
// with the archive open. The same for a Data folder of 20 archives and 1,000,000 entries: opening it to its
// rows (every archive read, the winners found, the list filled), a filter keystroke, "Conflicts only"
// (run those alone, --benchmark_filter=DataFolder, for the peak memory of the folder alone). The comparison
// window over two versions of an archive that differ in 200,000 paths: from "Compare" to the first rows shown
// and to every row shown, a header click and a filter keystroke (run BM_CompareToRows alone for its peak
// memory). Needs the benchmark data (bench_generate, or bench/run).
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <QItemSelection>
#include <QLineEdit>
#include <QTreeView>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/resource.h>
#include <unistd.h>

#include "app/browser_model.h"
#include "app/compare_window.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "archive/bsa_file.h"
#include "base/ustring.h"
#include "bench/bench_data.h"
#include "bench/silent_dialogs.h"

namespace {

constexpr int kSelectEvery = 50; // 4,000 of 200,000 rows selected

struct OpenWindow {
    SilentDialogs dialogs;
    std::unique_ptr<TForm1> window;
    QTreeView* list = nullptr;
    QLineEdit* filter = nullptr;
};

std::string SmallArchivePath() {
    return bench::DataFolder() + "/small-v105.bsa";
}

// Until the window's job has read the entries' sizes and handed them to the list.
void WaitForSizes(OpenWindow& open) {
    while (!open.window->BrowserModel().SizesKnown()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
}

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// A new main window, shown, whose dialogs answer nothing. The executable's folder is where prefs.ini would
// go; the window is never closed, so nothing is written.
std::unique_ptr<TForm1> ShownWindow(SilentDialogs& dialogs) {
    const std::string executable =
        (std::filesystem::temp_directory_path() / "parlivex-window-bench").string();
    auto window = std::make_unique<TForm1>(dialogs, FromUtf8(executable));
    window->show();
    return window;
}

// The window with the 200,000-entry archive open, shown and laid out; nullptr when the data is missing.
std::unique_ptr<OpenWindow> OpenSmallArchive(benchmark::State& state) {
    const std::string path = SmallArchivePath();
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no benchmark data: run bench_generate (or bench/run) first");
        return nullptr;
    }
    auto open = std::make_unique<OpenWindow>();
    open->window = ShownWindow(open->dialogs);
    open->window->OpenArchive(FromUtf8(path));
    QApplication::processEvents();
    open->list = open->window->findChild<QTreeView*>(QStringLiteral("BrowserTree"));
    open->filter = open->window->findChild<QLineEdit*>(QStringLiteral("ButtonedEdit1"));
    WaitForSizes(*open);
    return open;
}

void SelectSomeRows(QTreeView& list) {
    QItemSelection selection;
    const QAbstractItemModel& model = *list.model();
    for (int row = 0; row < model.rowCount(); row += kSelectEvery) {
        selection.select(model.index(row, 0), model.index(row, model.columnCount() - 1));
    }
    list.selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

// From "Open archive" to the rows: the index read, the list filled and laid out (the sizes come later).
void BM_WindowOpenToRows(benchmark::State& state) {
    auto open = OpenSmallArchive(state);
    if (!open) {
        return;
    }
    const std::u16string path = FromUtf8(SmallArchivePath());
    for (auto _ : state) {
        open->window->OpenArchive(path);
        QApplication::processEvents();
    }
    state.counters["rows"] = open->list->model()->rowCount();
    state.counters["peak_MiB"] = PeakResidentMiB();
}

void BM_WindowFillList(benchmark::State& state) {
    auto open = OpenSmallArchive(state);
    if (!open) {
        return;
    }
    for (auto _ : state) {
        open->window->FillBrowser();
        QApplication::processEvents(); // the view lays out the new rows
    }
    state.counters["rows"] = open->list->model()->rowCount();
    state.counters["peak_MiB"] = PeakResidentMiB();
}

void BM_WindowHeaderClickSort(benchmark::State& state) {
    auto open = OpenSmallArchive(state);
    if (!open) {
        return;
    }
    SelectSomeRows(*open->list);
    const int column = static_cast<int>(state.range(0));
    open->window->BrowserTreeHeaderClick(Qt::LeftButton, column); // the column's keys are ready from here on
    for (auto _ : state) {
        open->window->BrowserTreeHeaderClick(Qt::LeftButton, column);
        QApplication::processEvents();
    }
    state.counters["peak_MiB"] = PeakResidentMiB();
}

// The first click after a fill, which also works out the column's sort keys.
void BM_WindowFirstHeaderClick(benchmark::State& state) {
    auto open = OpenSmallArchive(state);
    if (!open) {
        return;
    }
    const int column = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        open->window->FillBrowser();
        SelectSomeRows(*open->list);
        QApplication::processEvents();
        WaitForSizes(*open);
        state.ResumeTiming();
        open->window->BrowserTreeHeaderClick(Qt::LeftButton, column);
        QApplication::processEvents();
    }
}

// Arg 0: plain text (a substring); 1: a wildcard pattern.
void BM_WindowFilterKeystroke(benchmark::State& state) {
    auto open = OpenSmallArchive(state);
    if (!open) {
        return;
    }
    SelectSomeRows(*open->list);
    // Typing one more letter, then taking it back: each change filters all 200,000 rows again.
    const bool wildcard = state.range(0) != 0;
    const QString shorter =
        wildcard ? QStringLiteral("textures\\*armo*.dds") : QStringLiteral("textures\\armo");
    const QString longer =
        wildcard ? QStringLiteral("textures\\*armor*.dds") : QStringLiteral("textures\\armor");
    bool useLonger = true;
    open->filter->setText(shorter);
    for (auto _ : state) {
        open->filter->setText(useLonger ? longer : shorter);
        useLonger = !useLonger;
        QApplication::processEvents();
    }
    state.counters["peak_MiB"] = PeakResidentMiB();
}

// A click on a folder of the tree and on another, in turn: each narrows the 200,000 rows to its subtree.
void BM_WindowFolderTreeChoice(benchmark::State& state) {
    auto open = OpenSmallArchive(state);
    if (!open) {
        return;
    }
    SelectSomeRows(*open->list);
    open->window->ShowFolderTree(true);
    auto* tree = open->window->findChild<QTreeWidget*>(QStringLiteral("FolderTree"));
    QTreeWidgetItem* all = tree->topLevelItem(0);
    if (all == nullptr || all->childCount() < 2) {
        state.SkipWithError("the archive has too few folders");
        return;
    }
    // The largest top folders (textures, meshes), then one below.
    QTreeWidgetItem* choices[] = {all->child(all->childCount() - 1), all->child(0)->child(0) != nullptr
                                                                         ? all->child(0)->child(0)
                                                                         : all->child(1)};
    int next = 0;
    for (auto _ : state) {
        tree->setCurrentItem(choices[next]);
        next ^= 1;
        QApplication::processEvents();
    }
    state.counters["rows"] = open->list->model()->rowCount();
    state.counters["peak_MiB"] = PeakResidentMiB();
}

// What the window's sizes job does: every entry's decoded size, read in file order.
void BM_EntrySizes(benchmark::State& state) {
    const std::string path = SmallArchivePath();
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no benchmark data: run bench_generate (or bench/run) first");
        return;
    }
    TwbBSAFile archive(FromUtf8(path));
    for (auto _ : state) {
        benchmark::DoNotOptimize(archive.ReadEntrySizes());
    }
}

std::string DataFolderPath() {
    return bench::DataFolder() + "/" + bench::kDataFolderName;
}

// Until the window's opening of several archives, off its thread, has shown their rows.
void WaitForOpening(OpenWindow& open) {
    QEventLoop loop;
    QObject::connect(open.window.get(), &TForm1::openingEnded, &loop, &QEventLoop::quit);
    if (open.window->Opening()) {
        loop.exec();
    }
}

// The window with the Data folder open; nullptr when the data is missing.
std::unique_ptr<OpenWindow> OpenBenchDataFolder(benchmark::State& state) {
    const std::string path = DataFolderPath();
    if (!std::filesystem::exists(path + "/Skyrim - Part19.bsa")) {
        state.SkipWithError("no benchmark data: run bench_generate (or bench/run) first");
        return nullptr;
    }
    auto open = std::make_unique<OpenWindow>();
    open->window = ShownWindow(open->dialogs);
    open->window->OpenDataFolder(FromUtf8(path));
    WaitForOpening(*open);
    QApplication::processEvents();
    open->list = open->window->findChild<QTreeView*>(QStringLiteral("BrowserTree"));
    open->filter = open->window->findChild<QLineEdit*>(QStringLiteral("ButtonedEdit1"));
    return open;
}

void BM_DataFolderOpenToRows(benchmark::State& state) {
    auto open = OpenBenchDataFolder(state);
    if (!open) {
        return;
    }
    const std::u16string path = FromUtf8(DataFolderPath());
    for (auto _ : state) {
        open->window->OpenDataFolder(path);
        WaitForOpening(*open);
        QApplication::processEvents();
    }
    state.counters["rows"] = open->list->model()->rowCount();
    WaitForSizes(*open);
    state.counters["peak_MiB"] = PeakResidentMiB();
}

void BM_DataFolderFilterKeystroke(benchmark::State& state) {
    auto open = OpenBenchDataFolder(state);
    if (!open) {
        return;
    }
    SelectSomeRows(*open->list);
    // Typing one more letter, then taking it back: each change filters all 1,000,000 rows again.
    bool useLonger = true;
    open->filter->setText(QStringLiteral("textures\\armo"));
    int shown = 0;
    for (auto _ : state) {
        open->filter->setText(useLonger ? QStringLiteral("textures\\armor")
                                        : QStringLiteral("textures\\armo"));
        useLonger = !useLonger;
        QApplication::processEvents();
        shown = open->list->model()->rowCount();
    }
    state.counters["rows"] = shown;
    state.counters["peak_MiB"] = PeakResidentMiB();
}

// View > Conflicts only turned on (timed) and off again (not timed).
void BM_DataFolderConflictsOnly(benchmark::State& state) {
    auto open = OpenBenchDataFolder(state);
    if (!open) {
        return;
    }
    QAction* conflicts = open->window->findChild<QAction*>(QStringLiteral("ConflictsOnly1"));
    int shown = 0;
    for (auto _ : state) {
        conflicts->trigger();
        QApplication::processEvents();
        shown = open->list->model()->rowCount();
        state.PauseTiming();
        conflicts->trigger();
        QApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["rows"] = shown;
    state.counters["peak_MiB"] = PeakResidentMiB();
}

// The comparison window over two versions of an archive that differ in 200,000 paths (bench_data.h).

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
    comparison->window = ShownWindow(comparison->dialogs);
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
    SelectSomeRows(*comparison->list);
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
    SelectSomeRows(*comparison->list);
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

BENCHMARK(BM_DataFolderOpenToRows)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DataFolderFilterKeystroke)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DataFolderConflictsOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK(BM_WindowOpenToRows)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowFillList)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowHeaderClickSort)
    ->DenseRange(0, TBrowserModel::kColumnCount - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_WindowFirstHeaderClick)
    ->DenseRange(0, TBrowserModel::kColumnCount - 1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_WindowFilterKeystroke)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WindowFolderTreeChoice)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EntrySizes)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
