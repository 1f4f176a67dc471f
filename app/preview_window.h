#pragma once
// A preview of one archive entry (or loose file) in a window of its own: a picture for textures and images,
// read-only text
// for text, and the storage facts with a hex view for anything else. A failed fetch or a texture that cannot
// be decoded shows the reason in the window.
//
// The window only shows and asks: the entry is read, made into what is shown, and a texture's surfaces
// decoded on a job's thread (app/preview_job.h, app/preview_content.h), one job at a time, while the window
// shows "decoding…" and stays responsive. The entry is read once, through a reader of the job's own that
// shares the archive's index; from then on the window holds its bytes, so it stays valid after the archive is
// closed. StopReading must be called before the reader it was made with goes.
#include <QImage>
#include <QWidget>
#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "app/preview_content.h"
#include "app/preview_job.h"
#include "base/bytes.h"
#include "texture/dds_header.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TDialogs;
class TEntrySource;
class TPreviewCanvas;

class TPreviewWindow : public QWidget {
    Q_OBJECT
public:
    using Kind = TPreviewKind;

    // Looks entry (folder + "\" + file) up in reader and starts reading it. Raises nothing: every failure is
    // shown. dialogs (which must outlive the window) asks where a picture is saved. hook: for tests, passed
    // to every job (see TPreviewJobHook).
    TPreviewWindow(const TEntrySource& reader, const std::u16string& entry, TDialogs& dialogs,
                   QWidget* parent = nullptr, TPreviewJobHook hook = {});
    // Cancels the job that runs and waits for it.
    ~TPreviewWindow() override;

    // What the entry shows as; Error also while it is being read and made ready.
    Kind ShownKind() const { return kind_; }
    // The line under the picture or above the text: format, size, mip count, storage; or the reason.
    QString InfoText() const;
    // Whether a job runs: the entry is read or made ready, or a picture decoded ("decoding…" shows).
    bool Busy() const { return wantedSerial_ != 0; }
    // The picture of the level and face chosen, with the channels chosen, at its own size, once it was
    // decoded (while the picture is fitted, a smaller level may be all that is decoded); null otherwise.
    const QImage& ShownImage() const;

    // The reader the window was made with is about to go (the archive is closed, another one opened, the
    // main window closes): a read still running is cancelled and waited for, and the window then says that
    // the archive was closed. Afterwards the window uses nothing of that reader.
    void StopReading();

protected:
    // Ctrl+F in the text itself opens the find box (the text view would otherwise keep the key); Escape in
    // the find box closes it.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Stage { Reading, Preparing, Shown };

    // Work on a job's thread: it hands its result over with Deliver and the serial it is given.
    using Work = std::function<void(uint64_t serial, const std::atomic<bool>& cancelled)>;
    // Runs work on a job of its own in place of the one that runs (which is cancelled and waited for); only
    // the result of the latest job is taken.
    void StartJob(Work work);
    // Cancels and waits for the job that runs, and takes nothing more from it.
    void DropJob();
    template <typename Result> void Deliver(uint64_t serial, Result result);

    void EntryRead(TEntryRead read);
    void ContentPrepared(TPreviewContent content);
    void PictureDecoded(TPictureRequest request, TDecodedPicture picture);

    void OpenFindBox();
    void CloseFindBox();
    void ShowFetchFailure(const QString& reason);
    void ShowImageControls(bool texture);
    // Shows the level, face and channels now chosen: the facts line, and the picture, asked for at the
    // size it is drawn at.
    void ShowSurface();
    // The picture chosen, as a copy at least `drawn` large: from the pictures decoded when it is there, else
    // from a job (unless that job runs already).
    void RequestDrawn(QSize drawn);
    void StartDecode(TPictureRequest wanted);
    // Runs action with the picture chosen at its own size: now when it was decoded, else once it is (unless
    // another choice is made first).
    void WithChosenPicture(std::function<void(const QImage&)> action);
    // "Save as PNG…": asks where, then writes the picture chosen there as a PNG file.
    void SaveAsPng();
    TPictureRequest Chosen() const;
    void ShowText(const QString& text);
    void ShowBinary(const QString& hex);
    void FindNext();

    std::u16string entry_;
    TDialogs& dialogs_;
    std::function<void(const QImage&)> pendingAction_; // waits for the picture chosen (WithChosenPicture)
    TPreviewJobHook hook_;
    Stage stage_ = Stage::Reading;
    std::unique_ptr<TPreviewJob> job_;
    uint64_t lastSerial_ = 0;
    uint64_t wantedSerial_ = 0; // the job whose result is taken; 0: none
    TPictureRequest decoding_;  // what the picture job that runs decodes

    std::shared_ptr<const TBytes> data_;
    QString storage_; // "raw, 1234 bytes stored, 1234 bytes uncompressed" …
    Kind kind_ = Kind::Error;
    bool texture_ = false;
    DdsInfo dds_;
    QString facts_; // the facts line of a texture or image, without the storage
    // Pictures decoded of layer picturesLayer_, by level and channels shown.
    std::map<std::pair<uint32_t, TChannels>, QImage> pictures_;
    uint32_t picturesLayer_ = 0;

    QLabel* info_ = nullptr;
    QLabel* busy_ = nullptr;
    TPreviewCanvas* canvas_ = nullptr;
    QComboBox* mipChoice_ = nullptr;
    QComboBox* faceChoice_ = nullptr;
    QComboBox* channelChoice_ = nullptr;
    QPushButton* fitButton_ = nullptr;
    QPlainTextEdit* text_ = nullptr;
    QWidget* findBar_ = nullptr; // the find box, and beside it "not found" after a search in vain
    QLineEdit* findBox_ = nullptr;
    QLabel* findStatus_ = nullptr;
};
