#pragma once
// Two archives compared (two versions of a mod, say) in a window of its own: the entries only in the first,
// only in the second, and in both with different bytes, compared by content by the core's DiffArchives on a
// thread of the window's own, the window showing the progress meanwhile. Closing the window cancels the
// comparison and waits for its thread.
#include <QWidget>
#include <memory>
#include <string>

#include "app/preview_job.h"
#include "data_folder/archive_diff.h"

class QLabel;
class QLineEdit;
class QTreeWidget;

class TCompareWindow : public QWidget {
    Q_OBJECT
public:
    enum Column { kEntryColumn = 0, kDifferenceColumn = 1 };

    // Starts comparing first with second (native paths). A child window of parent, deleted when closed.
    TCompareWindow(const std::u16string& first, const std::u16string& second, QWidget* parent);
    ~TCompareWindow() override;

    // Whether the comparison still runs.
    bool Busy() const { return job_ != nullptr; }
    // The line above the list: the progress, then what was found (or why nothing could be compared).
    QString SummaryText() const;
    QTreeWidget& List() { return *list_; }

private:
    void Progress(size_t done, size_t total);
    void Finished(const TArchiveDiff& diff, const std::u16string& failure);
    void ApplyFilter();

    std::u16string first_;
    std::u16string second_;
    QLabel* summary_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QTreeWidget* list_ = nullptr;
    std::unique_ptr<TPreviewJob> job_;
};
