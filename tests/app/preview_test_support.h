#pragma once
// What the preview tests share: opening a preview from a row as a user does, waiting for its jobs, and a gate
// that holds its jobs at the start of a step.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QTest>
#include <QTreeView>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/preview_job.h"
#include "app/preview_window.h"
#include "app_test_support.h"
#include "fixtures/dds_writer.h"

namespace apptest {

// A BC1 texture of 1024×1024, larger than the preview window, with 3 mips in colours that tell them apart:
// red, blue, green.
inline std::vector<uint8_t> LargeTexture() {
    fixture::DdsSpec ddsRecipe;
    ddsRecipe.width = ddsRecipe.height = 1024;
    ddsRecipe.mipCount = 3;
    for (const auto& [colour, blocks] :
         {std::pair{0xF800, 256 * 256}, {0x001F, 128 * 128}, {0x07E0, 64 * 64}}) {
        const fixture::Bytes block = fixture::Bc1Block(uint16_t(colour), 0, {});
        for (int i = 0; i < blocks; ++i) {
            ddsRecipe.data.insert(ddsRecipe.data.end(), block.begin(), block.end());
        }
    }
    return fixture::BuildDds(ddsRecipe);
}

// Holds the preview jobs that reach one of the steps given until it is opened; a held job also goes on when
// it is cancelled. Counts what the jobs did at the gate, for the test to see.
class TJobGate {
public:
    explicit TJobGate(std::set<TPreviewStep> held) : state_(std::make_shared<State>()) {
        state_->held = std::move(held);
    }

    // The hook to give the window (TForm1::SetPreviewJobHook).
    TPreviewJobHook Hook() const {
        return [state = state_](TPreviewStep step, const std::atomic<bool>& cancelled) {
            std::unique_lock lock(state->mutex);
            if (!state->held.contains(step)) {
                return;
            }
            ++state->arrived;
            state->changed.notify_all();
            while (!state->open && !cancelled.load()) {
                state->changed.wait_for(lock, std::chrono::milliseconds(2));
            }
            if (cancelled.load()) {
                ++state->cancelled;
                // Slow to leave once cancelled, so that a window that did not wait for its job's thread
                // would be seen gone before the job left.
                lock.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                lock.lock();
            }
            ++state->left;
            state->changed.notify_all();
        };
    }

    void Open() { SetOpen(true); }
    // Holds the jobs that arrive from now on again.
    void Close() { SetOpen(false); }
    // Waits (up to a minute) until `count` jobs have arrived at the gate in all.
    bool WaitForArrived(int count) const {
        std::unique_lock lock(state_->mutex);
        return state_->changed.wait_for(lock, std::chrono::minutes(1),
                                        [&] { return state_->arrived >= count; });
    }
    int Arrived() const { return Read(&State::arrived); }
    int Cancelled() const { return Read(&State::cancelled); }
    int Left() const { return Read(&State::left); }

private:
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::set<TPreviewStep> held;
        bool open = false;
        int arrived = 0;
        int cancelled = 0;
        int left = 0;
    };
    void SetOpen(bool open) {
        const std::lock_guard lock(state_->mutex);
        state_->open = open;
        state_->changed.notify_all();
    }
    int Read(int State::*count) const {
        const std::lock_guard lock(state_->mutex);
        return (*state_).*count;
    }

    std::shared_ptr<State> state_;
};

class PreviewTest : public WindowTest {
protected:
    // The row whose "File" cell is name.
    int RowOf(const QString& name) { return int(ColumnTexts(2).indexOf(name)); }

    void DoubleClickRow(int modelRow) {
        QTreeView* tree = Tree();
        const QPoint at = tree->visualRect(Model().index(modelRow, TBrowserModel::kFileColumn)).center();
        // As the system delivers a double-click: a click, then the second press as a double-click.
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    }

    // The preview windows open now.
    std::vector<TPreviewWindow*> Previews() {
        QApplication::processEvents();
        std::vector<TPreviewWindow*> open;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* preview = qobject_cast<TPreviewWindow*>(widget); preview && preview->isVisible()) {
                open.push_back(preview);
            }
        }
        return open;
    }

    // Lets the preview's jobs run to their end, and the pictures its canvas asks for when it is painted
    // arrive.
    static void Settle(TPreviewWindow* preview) {
        for (;;) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !preview->Busy(); }, 60000));
            auto* canvas = preview->findChild<QAbstractScrollArea*>("PreviewCanvas");
            if (canvas == nullptr) {
                return;
            }
            canvas->viewport()->grab(); // a paint, which may ask for another copy of the picture
            QApplication::processEvents();
            if (!preview->Busy()) {
                return;
            }
        }
    }

    // The preview that a double-click on the row of `name` opens; with `settle`, once it shows the entry.
    TPreviewWindow* OpenByDoubleClick(const QString& name, bool settle = true) {
        const size_t before = Previews().size();
        DoubleClickRow(RowOf(name));
        const auto open = Previews();
        EXPECT_EQ(open.size(), before + 1) << Utf8(name);
        for (TPreviewWindow* preview : open) {
            if (preview->windowTitle().contains(name)) {
                if (settle) {
                    Settle(preview);
                }
                return preview;
            }
        }
        return nullptr;
    }
};

} // namespace apptest
