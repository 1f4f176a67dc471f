// The window at 200,000 rows, driven offscreen as a user drives it: opening the archive to its rows, filling
// the list from the open archive, one header click (the Size and Stored columns once the sizes are read), one
// filter keystroke (substring or wildcard) with a few thousand rows selected, a folder chosen in the folder
// tree; and the reading of the entries' sizes that the window does off its thread. Reports the peak memory
// with the archive open. The same for a Data folder of 20 archives and 1,000,000 entries: opening it to its
// rows (every archive read, the winners found, the list filled), a filter keystroke, "Conflicts only"
// (run those alone, --benchmark_filter=DataFolder, for the peak memory of the folder alone). Needs the
// benchmark data (bench_generate, or bench/run).
#include <benchmark/benchmark.h>

#include <QAction>
#include <QApplication>
#include <QEventLoop>
#include <QItemSelection>
#include <QLineEdit>
#include <QTreeView>
#include <QTreeWidget>
#include <filesystem>
#include <memory>
#include <sys/resource.h>

#include "app/browser_model.h"
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

// The window with the 200,000-entry archive open, shown and laid out; nullptr when the data is missing.
std::unique_ptr<OpenWindow> OpenSmallArchive(benchmark::State& state) {
    const std::string path = SmallArchivePath();
    if (!std::filesystem::exists(path)) {
        state.SkipWithError("no benchmark data: run bench_generate (or bench/run) first");
        return nullptr;
    }
    auto open = std::make_unique<OpenWindow>();
    // The executable's folder is where prefs.ini would go; the window is never closed, so nothing is written.
    const std::string executable =
        (std::filesystem::temp_directory_path() / "parlivex-window-bench").string();
    open->window = std::make_unique<TForm1>(open->dialogs, FromUtf8(executable));
    open->window->show();
    open->window->OpenArchive(FromUtf8(path));
    QApplication::processEvents();
    open->list = open->window->findChild<QTreeView*>(QStringLiteral("BrowserTree"));
    open->filter = open->window->findChild<QLineEdit*>(QStringLiteral("ButtonedEdit1"));
    WaitForSizes(*open);
    return open;
}

void SelectSomeRows(OpenWindow& open) {
    QItemSelection selection;
    const QAbstractItemModel& model = *open.list->model();
    for (int row = 0; row < model.rowCount(); row += kSelectEvery) {
        selection.select(model.index(row, 0), model.index(row, model.columnCount() - 1));
    }
    open.list->selectionModel()->select(selection, QItemSelectionModel::Select | QItemSelectionModel::Rows);
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
    SelectSomeRows(*open);
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
        SelectSomeRows(*open);
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
    SelectSomeRows(*open);
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
    SelectSomeRows(*open);
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
    const std::string executable =
        (std::filesystem::temp_directory_path() / "parlivex-window-bench").string();
    open->window = std::make_unique<TForm1>(open->dialogs, FromUtf8(executable));
    open->window->show();
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
    SelectSomeRows(*open);
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
