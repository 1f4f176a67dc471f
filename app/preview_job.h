#pragma once
// One piece of a preview's work on a thread of its own. The preview cancels it when the work is no longer
// wanted (the window closes, another level or face is chosen, the zoom passes to another level, the archive
// goes); destroying the job cancels it and waits for its thread, so that no work outlives the window or what
// it reads. The work hands its result to the window itself, as a call queued to the window's thread.
#include <atomic>
#include <functional>
#include <thread>

// The steps of the preview's work: reading the entry from the archive, making it into what is shown (the
// text, the hex view, an image Qt reads, a texture's header), decoding a texture's surface.
enum class TPreviewStep { Read, Prepare, Decode };

// Called on the job's thread at the start of each step, with the job's cancel flag; the step goes on when it
// returns. Tests hold a job where it is with it; the program passes none.
using TPreviewJobHook = std::function<void(TPreviewStep step, const std::atomic<bool>& cancelled)>;

class TPreviewJob {
public:
    using Work = std::function<void(const std::atomic<bool>& cancelled)>;

    // Starts work on a new thread. Raises std::system_error when no thread can be started.
    explicit TPreviewJob(Work work) : thread_(std::move(work), std::cref(cancelled_)) {}
    // Cancels the work and waits for its thread to end.
    ~TPreviewJob() {
        Cancel();
        thread_.join();
    }
    TPreviewJob(const TPreviewJob&) = delete;
    TPreviewJob& operator=(const TPreviewJob&) = delete;

    // Raises the work's cancel flag: the work stops at its next look at the flag and hands over nothing.
    void Cancel() { cancelled_.store(true); }

private:
    std::atomic<bool> cancelled_{false};
    std::thread thread_;
};
