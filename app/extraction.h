#pragma once
// Helpers of the extraction of the selected rows (the window's extract1Click, PickFolder, ExtractSelection
// and ExtractEntry live in extraction.cpp).
#include <QMenu>
#include <atomic>
#include <functional>

#include "app/extraction_report.h"

// Disables a menu for as long as it lives; it is enabled again also when an error passes.
class TMenuLock {
public:
    explicit TMenuLock(QMenu& menu) : menu_(menu) { menu_.setEnabled(false); }
    ~TMenuLock() { menu_.setEnabled(true); }
    TMenuLock(const TMenuLock&) = delete;
    TMenuLock& operator=(const TMenuLock&) = delete;

private:
    QMenu& menu_;
};

// What the window's extraction may be asked besides the entries and the destination: a cancel flag and
// progress of its own (instead of status panel 0), and the report of entries not written kept for the caller
// instead of shown at once.
struct TExtractionControl {
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(int done, int total)> progress;
    bool reportLater = false;
};
