#pragma once
// The hourglass for the whole application while a routine runs; the normal cursor comes back when the
// routine ends, also when an error passes.
#include <QApplication>
#include <QCursor>

class TBusyCursor {
public:
    TBusyCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
    ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
    TBusyCursor(const TBusyCursor&) = delete;
    TBusyCursor& operator=(const TBusyCursor&) = delete;
};
