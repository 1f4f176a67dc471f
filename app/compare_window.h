#pragma once
// Two archives compared (two versions of a mod, say) in a window of its own: the entries only in the first,
// only in the second, and in both with different bytes, compared by content by the core's DiffArchivesInto
// on a thread of the window's own. The differences arrive in batches while it runs and are listed at once
// (TCompareModel), with the progress and the counts above them. Closing the window cancels the comparison
// and waits for its thread. The rows can be sorted by any column, narrowed by the filter box, their paths
// copied, and their entries extracted from either archive once the comparison is done.
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/compare_model.h"
#include "app/preview_job.h"
#include "extract/entry_fetch.h"

class QAction;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTreeView;
class TDialogs;

class TCompareWindow : public QWidget {
    Q_OBJECT
public:
    // For tests: called on the comparison's thread each time rows have been handed to the window, with the
    // job's cancel flag; the comparison goes on when it returns.
    using TBatchHook = std::function<void(const std::atomic<bool>& cancelled)>;

    // Starts comparing first with second (native paths). A child window of parent, deleted when closed;
    // dialogs (outliving the window) asks where to extract.
    TCompareWindow(const std::u16string& first, const std::u16string& second, TDialogs& dialogs,
                   QWidget* parent, TBatchHook hook = {});
    ~TCompareWindow() override;

    // Whether the comparison still runs.
    bool Busy() const { return job_ != nullptr; }
    // The line above the list: the progress and what was found so far, then what was found (or why nothing
    // could be compared).
    QString SummaryText() const;
    QTreeView& List() { return *list_; }
    TCompareModel& Model() { return *model_; }

    // The selected rows' entry strings, one a line, in the order shown, to the clipboard (Ctrl+C).
    void CopySelectedPaths();
    // The selected rows' entries of one archive (0 the first, 1 the second) extracted to a folder the user
    // picks; rows that archive does not hold are left out.
    void ExtractSelected(int side);

private:
    struct TArchives;
    void Progress(size_t done, size_t total);
    void Arrived(TCompareBatch batch);
    void Finished(std::shared_ptr<TArchives> archives, size_t same, const std::u16string& failure);
    void ShowSummary();
    void ShowMenu(const QPoint& at);
    void SaveSelection();
    void RestoreSelection();
    // The model rows selected, ascending, each once.
    std::vector<int> SelectedRows() const;

    std::u16string paths_[2];
    QString names_[2];
    TDialogs& dialogs_;
    QLabel* summary_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLineEdit* filter_ = nullptr;
    QTreeView* list_ = nullptr;
    TCompareModel* model_ = nullptr;
    QAction* extractActions_[2] = {};
    size_t done_ = 0;
    size_t total_ = 0;
    size_t same_ = 0;
    std::u16string failure_;
    std::u16string lastExtractFolder_;
    // The rows selected (by id) and the current row across a model reset; the selected rows the filter
    // hides.
    std::vector<uint32_t> savedSelection_;
    int64_t savedCurrent_ = -1;
    std::vector<uint32_t> hiddenSelection_;
    bool restoringSelection_ = false;
    // Both archives, kept open once compared, for extraction.
    std::shared_ptr<TArchives> archives_;
    std::unique_ptr<TPreviewJob> job_;
};
