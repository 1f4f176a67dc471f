// The preview of a texture of 16 MiB (BC7, 4096×4096, one level, stored LZ4-compressed; and the same with all
// its mip levels):
// - from a double-click on its row to the picture in its preview window: the fetch, the decoding, the window
//   and its first painting;
// - how long the main window takes to answer a user meanwhile: key presses in the list, keystrokes in the
//   filter box and clicks on a row, posted from another thread every few milliseconds as the window system
//   would deliver them, each timed from its posting to the end of its handling.
// The archive is written by the test writer into a temporary folder; nothing else is needed.
#include <benchmark/benchmark.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointingDevice>
#include <QTest>
#include <QTreeView>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/browser_model.h"
#include "app/dialogs.h"
#include "app/main_window.h"
#include "app/preview_window.h"
#include "base/ustring.h"
#include "bench/silent_dialogs.h"
#include "fixtures/bsa_writer.h"
#include "fixtures/dds_writer.h"

namespace {

using Clock = std::chrono::steady_clock;

std::filesystem::path WriteTextureArchive(uint32_t mipCount) {
    constexpr uint32_t kSide = 4096;
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = kSide;
    ddsRecipe.height = kSide;
    ddsRecipe.mipCount = mipCount;
    ddsRecipe.fourCc = fixture::FourCc("DX10");
    ddsRecipe.dxgiFormat = 98; // BC7_UNORM
    ddsRecipe.data =
        fixture::RandomBlocks(16, fixture::BlockSurfaceBytes(kSide, kSide, 16, mipCount) / 16, 7, true);
    fixture::ArchiveSpec recipe;
    recipe.version = 105;
    recipe.folders = {
        {"meshes", {{"a.nif", {'a'}, fixture::Storage::Raw}, {"b.nif", {'b'}, fixture::Storage::Raw}}},
        {"textures\\landscape", {{"big.dds", fixture::BuildDds(ddsRecipe), fixture::Storage::Lz4Frame}}}};
    const auto path = std::filesystem::temp_directory_path() / "parlivex-preview-bench.bsa";
    fixture::WriteArchiveFile(recipe, path.string());
    return path;
}

// Events posted to the window, timed from their posting to the end of their handling.
class TLatencyProbe {
public:
    void Post(QObject* receiver, QEvent* event) {
        const std::lock_guard lock(mutex_);
        posted_[event] = Clock::now();
        QCoreApplication::postEvent(receiver, event);
    }
    // Called by the application after each event's handling.
    void Handled(const QEvent* event) {
        const std::lock_guard lock(mutex_);
        if (const auto found = posted_.find(event); found != posted_.end()) {
            latencies_.push_back(
                std::chrono::duration<double, std::milli>(Clock::now() - found->second).count());
            posted_.erase(found);
        }
    }
    std::vector<double> TakeLatencies() {
        const std::lock_guard lock(mutex_);
        return std::exchange(latencies_, {});
    }

private:
    std::mutex mutex_;
    std::unordered_map<const QEvent*, Clock::time_point> posted_;
    std::vector<double> latencies_;
};

class TTimingApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        const bool handled = QApplication::notify(receiver, event);
        probe.Handled(event);
        return handled;
    }
    TLatencyProbe probe;
};

TTimingApplication& App() {
    return *static_cast<TTimingApplication*>(QCoreApplication::instance());
}

// A user at the main window: every few milliseconds a key press or release in the list, a keystroke in the
// filter box (a letter, then a backspace), or a click on a row, in turn, until stopped.
class TUser {
public:
    TUser(QTreeView& list, QLineEdit& filter, QPoint row) : list_(list), filter_(filter), row_(row) {
        thread_ = std::thread([this] { Run(); });
    }
    ~TUser() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run() {
        constexpr auto kEvery = std::chrono::milliseconds(4);
        for (unsigned step = 0; !stop_; ++step) {
            TLatencyProbe& probe = App().probe;
            const QPointF at(row_);
            switch (step % 8) {
            case 0:
            case 1:
                probe.Post(&list_,
                           new QKeyEvent(step % 2 == 0 ? QEvent::KeyPress : QEvent::KeyRelease,
                                         (step / 8) % 2 == 0 ? Qt::Key_Down : Qt::Key_Up, Qt::NoModifier));
                break;
            case 2:
            case 3:
                probe.Post(&filter_, new QKeyEvent(step % 2 == 0 ? QEvent::KeyPress : QEvent::KeyRelease,
                                                   Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
                break;
            case 4:
            case 5:
                probe.Post(&filter_, new QKeyEvent(step % 2 == 0 ? QEvent::KeyPress : QEvent::KeyRelease,
                                                   Qt::Key_Backspace, Qt::NoModifier));
                break;
            default:
                probe.Post(
                    list_.viewport(),
                    new QMouseEvent(step % 2 == 0 ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, at,
                                    at, Qt::LeftButton, step % 2 == 0 ? Qt::LeftButton : Qt::NoButton,
                                    Qt::NoModifier));
                break;
            }
            std::this_thread::sleep_for(kEvery);
        }
    }

    QTreeView& list_;
    QLineEdit& filter_;
    QPoint row_;
    std::atomic<bool> stop_ = false;
    std::thread thread_;
};

// The main window with the texture's archive open.
struct TOpenWindow {
    explicit TOpenWindow(uint32_t mipCount)
        : archive(WriteTextureArchive(mipCount)),
          window(dialogs,
                 FromUtf8((std::filesystem::temp_directory_path() / "parlivex-preview-bench").string())) {
        window.show();
        window.OpenArchive(FromUtf8(archive.string()));
        QApplication::processEvents();
        list = window.findChild<QTreeView*>(QStringLiteral("BrowserTree"));
        filter = window.findChild<QLineEdit*>(QStringLiteral("ButtonedEdit1"));
    }
    ~TOpenWindow() { std::filesystem::remove(archive); }
    // The centre of the texture's row, or of the first row.
    QPoint Row(const QString& file) const {
        for (int row = 0; row < list->model()->rowCount(); ++row) {
            const QModelIndex index = list->model()->index(row, TBrowserModel::kFileColumn);
            if (index.data().toString() == file) {
                return list->visualRect(index).center();
            }
        }
        return list->visualRect(list->model()->index(0, TBrowserModel::kFileColumn)).center();
    }

    std::filesystem::path archive;
    SilentDialogs dialogs;
    TForm1 window;
    QTreeView* list = nullptr;
    QLineEdit* filter = nullptr;
};

// Double-clicks the texture's row and waits, taking events as they come (no polling), until the preview's
// jobs are done and the whole preview window is painted with the picture. The preview, or null.
TPreviewWindow* OpenPreviewAndWaitForThePicture(TOpenWindow& open, QPoint row) {
    QTest::mouseClick(open.list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    QTest::mouseDClick(open.list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    auto* preview = open.window.findChild<TPreviewWindow*>();
    if (preview == nullptr) {
        return nullptr;
    }
    for (;;) {
        while (preview->Busy()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        // The first painting of the whole window, the picture included; it may ask for another level.
        benchmark::DoNotOptimize(preview->grab());
        QCoreApplication::processEvents();
        if (!preview->Busy()) {
            return preview->ShownKind() == TPreviewWindow::Kind::Image ? preview : nullptr;
        }
    }
}

void ClosePreview(TPreviewWindow* preview) {
    delete preview; // nothing when null
    QCoreApplication::processEvents();
}

// state.range(0): the texture's mip levels (1: the whole 4096×4096 level is decoded; 13, as the games'
// textures have them: the picture fitted into the window is drawn from a smaller level).
void BM_PreviewTextureFromDoubleClick(benchmark::State& state) {
    TOpenWindow open(uint32_t(state.range(0)));
    const QPoint row = open.Row(QStringLiteral("big.dds"));
    // The first preview of a process also pays for Qt's first window of its kind and for fresh memory on
    // the threads that read and decode: a run before the measured ones takes that.
    ClosePreview(OpenPreviewAndWaitForThePicture(open, row));
    for (auto _ : state) {
        TPreviewWindow* preview = OpenPreviewAndWaitForThePicture(open, row);
        if (preview == nullptr) {
            state.SkipWithError("no picture");
            break;
        }
        state.PauseTiming();
        ClosePreview(preview);
        state.ResumeTiming();
    }
}

// One preview of the texture, from the double-click to the picture, with a user at the main window all the
// while: the latencies of the user's events go to `latencies`, the time the double-click itself took to be
// handled to `doubleClickMs`. False when no picture came.
bool PreviewWithAUser(TOpenWindow& open, QPoint row, QPoint otherRow, std::vector<double>& latencies,
                      double& doubleClickMs) {
    App().probe.TakeLatencies();
    TPreviewWindow* preview = nullptr;
    {
        const TUser user(*open.list, *open.filter, otherRow);
        const Clock::time_point clicked = Clock::now();
        QTest::mouseClick(open.list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
        QTest::mouseDClick(open.list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
        doubleClickMs = std::chrono::duration<double, std::milli>(Clock::now() - clicked).count();
        preview = open.window.findChild<TPreviewWindow*>();
        while (preview != nullptr && preview->Busy()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
    }
    // What the user sent before stopping is answered too.
    QCoreApplication::processEvents();
    const std::vector<double> these = App().probe.TakeLatencies();
    latencies.insert(latencies.end(), these.begin(), these.end());
    const bool shown = preview != nullptr && preview->ShownKind() == TPreviewWindow::Kind::Image;
    ClosePreview(preview);
    open.filter->clear();
    QCoreApplication::processEvents();
    return shown;
}

// The same as BM_PreviewTextureFromDoubleClick with a user at the main window all the while. The counters:
// the latencies of the user's events over all runs (milliseconds from posting to the end of handling:
// median, 99th percentile, longest, and how many took over 50 ms), and the longest time the double-click
// itself took. The first preview window of a process costs Qt a few tens of milliseconds to show, whatever it
// holds: a run before the measured ones takes it, and its longest latency is warmup_max_ms.
void BM_MainWindowLatencyWhilePreviewDecodes(benchmark::State& state) {
    TOpenWindow open(uint32_t(state.range(0)));
    const QPoint row = open.Row(QStringLiteral("big.dds"));
    const QPoint otherRow = open.Row(QStringLiteral("a.nif"));
    // Made once here, before another thread makes events: the devices events name.
    QPointingDevice::primaryPointingDevice();
    QInputDevice::primaryKeyboard();
    std::vector<double> warmup;
    double doubleClickMs = 0;
    if (!PreviewWithAUser(open, row, otherRow, warmup, doubleClickMs)) {
        state.SkipWithError("no picture");
        return;
    }
    std::vector<double> latencies;
    double longestDoubleClick = 0;
    for (auto _ : state) {
        if (!PreviewWithAUser(open, row, otherRow, latencies, doubleClickMs)) {
            state.SkipWithError("no picture");
            break;
        }
        longestDoubleClick = std::max(longestDoubleClick, doubleClickMs);
    }
    if (latencies.empty()) {
        return;
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["events"] = double(latencies.size());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["p99_ms"] = latencies[latencies.size() * 99 / 100];
    state.counters["max_ms"] = latencies.back();
    state.counters["over_50ms"] =
        double(std::count_if(latencies.begin(), latencies.end(), [](double ms) { return ms > 50; }));
    state.counters["dclick_ms"] = longestDoubleClick;
    state.counters["warmup_max_ms"] = warmup.empty() ? 0 : *std::max_element(warmup.begin(), warmup.end());
}

} // namespace

// The CPU time is that of the whole process, so that it includes the decoding threads.
BENCHMARK(BM_PreviewTextureFromDoubleClick)
    ->Arg(1)
    ->Arg(13)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(10);
BENCHMARK(BM_MainWindowLatencyWhilePreviewDecodes)
    ->Arg(1)
    ->Arg(13)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Iterations(10);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TTimingApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
