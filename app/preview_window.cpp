#include "app/preview_window.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>
#include <new>
#include <system_error>
#include <type_traits>

#include "app/dialogs.h"
#include "app/preview_canvas.h"
#include "app/qt_text.h"
#include "archive/bsa_file.h"
#include "base/exceptions.h"
#include "extract/entry_fetch.h"
#include "extract/entry_path.h"
#include "extract/entry_source.h"
#include "extract/user_file.h"
#include "texture/mip_choice.h"

TPreviewWindow::TPreviewWindow(const TEntrySource& reader, const std::u16string& entry, TDialogs& dialogs,
                               QWidget* parent, TPreviewJobHook hook)
    : QWidget(parent, Qt::Window), entry_(entry), dialogs_(dialogs), hook_(std::move(hook)) {
    setObjectName(QStringLiteral("PreviewWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQString(entry) + QStringLiteral(" - Parlivex"));
    resize(720, 560);
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("PreviewInfo"));
    info_->setWordWrap(true);
    info_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    top->addWidget(info_, 1);
    busy_ = new QLabel(QStringLiteral("decoding…"), this);
    busy_->setObjectName(QStringLiteral("PreviewBusy"));
    busy_->hide();
    top->addWidget(busy_, 0, Qt::AlignTop);
    layout->addLayout(top);
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);

    // Looked up once, here: the index is the archive's, which the window's caller holds.
    const std::optional<TEntryRef> found = FindEntryByString(reader.Index(), entry);
    if (!found) {
        ShowFetchFailure(QStringLiteral("not found in the archive"));
        return;
    }
    std::shared_ptr<TEntrySource> ownReader;
    try {
        ownReader = reader.Share();
    } catch (const Exception& e) {
        ShowFetchFailure(ToQString(e.Message()));
        return;
    } catch (const std::bad_alloc&) {
        ShowFetchFailure(QStringLiteral("out of memory"));
        return;
    }
    StartJob([this, ownReader = std::move(ownReader), entryRef = *found,
              hook = hook_](uint64_t serial, const std::atomic<bool>& cancelled) mutable {
        if (hook) {
            hook(TPreviewStep::Read, cancelled);
        }
        TEntryRead read;
        if (!cancelled.load()) {
            read = ReadPreviewedEntry(*ownReader, entryRef);
        }
        // Let go of the archive first: StopReading waits for no more than the read.
        ownReader.reset();
        // A read that ended is handed over even when cancelled meanwhile: StopReading still takes it.
        if (read.read || !cancelled.load()) {
            Deliver(serial, std::move(read));
        }
    });
}

TPreviewWindow::~TPreviewWindow() {
    job_.reset();
}

QString TPreviewWindow::InfoText() const {
    return info_->text();
}

const QImage& TPreviewWindow::ShownImage() const {
    static const QImage none;
    if (kind_ != Kind::Image) {
        return none;
    }
    const TPictureRequest chosen = Chosen();
    const auto found = pictures_.find({chosen.level, chosen.channels});
    return found != pictures_.end() && chosen.layer == picturesLayer_ ? found->second : none;
}

void TPreviewWindow::StopReading() {
    // Past reading, the read's thread has ended (the next job replaced it).
    if (stage_ != Stage::Reading) {
        return;
    }
    job_.reset();
    // A read that ended before it was cancelled has handed its bytes over already: they are taken now.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (stage_ == Stage::Reading) {
        DropJob();
        ShowFetchFailure(QStringLiteral("the archive was closed before it was read"));
    }
}

void TPreviewWindow::closeEvent(QCloseEvent* event) {
    // Stopped now, and nothing more taken from it; its thread is waited for when the window is deleted.
    if (job_ != nullptr) {
        job_->Cancel();
    }
    wantedSerial_ = 0;
    QWidget::closeEvent(event);
}

void TPreviewWindow::StartJob(Work work) {
    job_.reset();
    const uint64_t serial = ++lastSerial_;
    try {
        job_ = std::make_unique<TPreviewJob>(
            [work = std::move(work), serial](const std::atomic<bool>& cancelled) {
                work(serial, cancelled);
            });
    } catch (const std::system_error& e) {
        DropJob();
        const QString reason =
            QStringLiteral("no thread to work on: %1").arg(QString::fromLocal8Bit(e.what()));
        if (canvas_ != nullptr) {
            info_->setText(facts_ + QStringLiteral("; cannot show it: ") + reason);
            canvas_->SetUnavailable();
        } else {
            ShowFetchFailure(reason);
        }
        return;
    }
    wantedSerial_ = serial;
    busy_->show();
}

void TPreviewWindow::DropJob() {
    job_.reset();
    wantedSerial_ = 0;
    busy_->hide();
}

// Called on the job's thread: the result reaches the window on its own thread, where a result of a job that
// was replaced meanwhile is dropped. The job is waited for when the window goes, so `this` is alive here.
template <typename Result> void TPreviewWindow::Deliver(uint64_t serial, Result result) {
    QMetaObject::invokeMethod(
        this,
        [this, serial, result = std::move(result)]() mutable {
            if (serial != wantedSerial_) {
                return;
            }
            DropJob(); // its thread is at its end
            if constexpr (std::is_same_v<Result, TEntryRead>) {
                EntryRead(std::move(result));
            } else if constexpr (std::is_same_v<Result, TPreviewContent>) {
                ContentPrepared(std::move(result));
            } else {
                PictureDecoded(result.first, std::move(result.second));
            }
        },
        Qt::QueuedConnection);
}

void TPreviewWindow::EntryRead(TEntryRead read) {
    if (!read.read) {
        ShowFetchFailure(read.reason);
        return;
    }
    stage_ = Stage::Preparing;
    data_ = std::move(read.data);
    storage_ = read.storage;
    const QString extension = ToQString(SplitEntryPath(entry_).fExt).toLower();
    StartJob(
        [this, data = data_, extension, hook = hook_](uint64_t serial, const std::atomic<bool>& cancelled) {
            if (hook) {
                hook(TPreviewStep::Prepare, cancelled);
            }
            if (cancelled.load()) {
                return;
            }
            TPreviewContent content = PrepareContent(*data, extension, cancelled);
            if (!cancelled.load()) {
                Deliver(serial, std::move(content));
            }
        });
}

void TPreviewWindow::ContentPrepared(TPreviewContent content) {
    stage_ = Stage::Shown;
    switch (content.kind) {
    case Kind::Error:
        ShowFetchFailure(content.reason);
        return;
    case Kind::Text:
        ShowText(content.text);
        return;
    case Kind::Binary:
        ShowBinary(content.text);
        return;
    case Kind::Image:
        break;
    }
    kind_ = Kind::Image;
    texture_ = content.texture;
    if (texture_) {
        dds_ = content.dds;
    } else {
        pictures_[{0, TChannels::All}] = content.picture;
        facts_ = QStringLiteral("%1, %2×%3, 1 mip level")
                     .arg(content.imageFormat)
                     .arg(content.picture.width())
                     .arg(content.picture.height());
    }
    ShowImageControls(texture_);
    ShowSurface();
}

void TPreviewWindow::ShowFetchFailure(const QString& reason) {
    stage_ = Stage::Shown;
    kind_ = Kind::Error;
    info_->setText(QStringLiteral("Cannot show %1: %2").arg(ToQString(entry_), reason));
    layout()->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
}

void TPreviewWindow::ShowImageControls(bool texture) {
    auto* bar = new QHBoxLayout;
    fitButton_ = new QPushButton(QStringLiteral("Fit"), this);
    fitButton_->setObjectName(QStringLiteral("PreviewFit"));
    auto* actualButton = new QPushButton(QStringLiteral("1:1"), this);
    actualButton->setObjectName(QStringLiteral("PreviewActualSize"));
    connect(fitButton_, &QPushButton::clicked, this, [this] { canvas_->SetFit(true); });
    connect(actualButton, &QPushButton::clicked, this, [this] { canvas_->SetFit(false); });
    bar->addWidget(fitButton_);
    bar->addWidget(actualButton);
    if (texture) {
        mipChoice_ = new QComboBox(this);
        mipChoice_->setObjectName(QStringLiteral("PreviewMip"));
        for (uint32_t mip = 0; mip < dds_.mipCount; ++mip) {
            mipChoice_->addItem(
                QStringLiteral("Mip %1: %2×%3").arg(mip).arg(MipWidth(dds_, mip)).arg(MipHeight(dds_, mip)));
        }
        faceChoice_ = new QComboBox(this);
        faceChoice_->setObjectName(QStringLiteral("PreviewFace"));
        static const char* const kFaces[] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};
        for (uint32_t layer = 0; layer < dds_.layerCount; ++layer) {
            const uint32_t face = dds_.cubeMap ? CubeFaceOfLayer(dds_, layer) : 0;
            faceChoice_->addItem(dds_.cubeMap ? QStringLiteral("Face %1 (%2)").arg(face).arg(kFaces[face])
                                              : QStringLiteral("Layer %1").arg(layer));
        }
        faceChoice_->setEnabled(dds_.layerCount > 1);
        mipChoice_->setEnabled(dds_.mipCount > 1);
        connect(mipChoice_, &QComboBox::currentIndexChanged, this, [this] { ShowSurface(); });
        connect(faceChoice_, &QComboBox::currentIndexChanged, this, [this] { ShowSurface(); });
        bar->addWidget(mipChoice_);
        bar->addWidget(faceChoice_);
    }
    channelChoice_ = new QComboBox(this);
    channelChoice_->setObjectName(QStringLiteral("PreviewChannels"));
    // In the order of TChannels.
    channelChoice_->addItems({QStringLiteral("RGBA"), QStringLiteral("RGB only"), QStringLiteral("R only"),
                              QStringLiteral("G only"), QStringLiteral("B only"),
                              QStringLiteral("Alpha only")});
    channelChoice_->setToolTip(QStringLiteral("Channels shown; one channel alone shows as grey"));
    connect(channelChoice_, &QComboBox::currentIndexChanged, this, [this] { ShowSurface(); });
    bar->addWidget(channelChoice_);
    bar->addStretch(1);
    auto* copyButton = new QPushButton(QStringLiteral("Copy image"), this);
    copyButton->setObjectName(QStringLiteral("PreviewCopyImage"));
    copyButton->setToolTip(
        QStringLiteral("The picture as shown, at its own size, to the clipboard (Ctrl+C)"));
    const auto copy = [this] {
        WithChosenPicture([](const QImage& picture) { QGuiApplication::clipboard()->setImage(picture); });
    };
    connect(copyButton, &QPushButton::clicked, this, copy);
    connect(new QShortcut(QKeySequence::Copy, this), &QShortcut::activated, this, copy);
    auto* saveButton = new QPushButton(QStringLiteral("Save as PNG…"), this);
    saveButton->setObjectName(QStringLiteral("PreviewSavePng"));
    connect(saveButton, &QPushButton::clicked, this, &TPreviewWindow::SaveAsPng);
    bar->addWidget(copyButton);
    bar->addWidget(saveButton);
    static_cast<QVBoxLayout*>(layout())->addLayout(bar);
    canvas_ = new TPreviewCanvas(this);
    connect(canvas_, &TPreviewCanvas::DrawnSizeWanted, this, &TPreviewWindow::RequestDrawn);
    static_cast<QVBoxLayout*>(layout())->addWidget(canvas_, 1);
    // Controls added to a window on the screen would be shown by a call queued for later, and laid out only
    // then; the canvas's size must be known now, so that the first picture can be chosen for it.
    for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (control->isHidden() && !control->testAttribute(Qt::WA_WState_ExplicitShowHide) && isVisible()) {
            control->show();
        }
    }
    layout()->activate();
    canvas_->setFocus();
}

TPictureRequest TPreviewWindow::Chosen() const {
    TPictureRequest chosen;
    if (mipChoice_ != nullptr) {
        chosen.level = uint32_t(std::max(0, mipChoice_->currentIndex()));
        chosen.layer = uint32_t(std::max(0, faceChoice_->currentIndex()));
    }
    chosen.channels =
        channelChoice_ != nullptr ? TChannels(std::max(0, channelChoice_->currentIndex())) : TChannels::All;
    return chosen;
}

void TPreviewWindow::ShowSurface() {
    pendingAction_ = {}; // it was for the picture chosen before
    const TPictureRequest chosen = Chosen();
    if (texture_) {
        facts_ = QStringLiteral("DDS %1, %2×%3, %4 mip level%5")
                     .arg(QString::fromStdString(dds_.formatName))
                     .arg(dds_.width)
                     .arg(dds_.height)
                     .arg(dds_.mipCount)
                     .arg(dds_.mipCount == 1 ? "" : "s");
        if (dds_.layerCount > 1) {
            facts_ +=
                QStringLiteral(", %1 %2").arg(dds_.layerCount).arg(dds_.cubeMap ? "cube faces" : "layers");
        }
        if (chosen.layer != picturesLayer_) {
            pictures_.clear();
            picturesLayer_ = chosen.layer;
        }
    }
    info_->setText(facts_ + QStringLiteral("; %1").arg(storage_));
    // Only the pictures of the channels chosen now are kept, beside the levels as decoded.
    std::erase_if(pictures_, [&](const auto& picture) {
        return picture.first.second != TChannels::All && picture.first.second != chosen.channels;
    });
    const QSize size = texture_ ? QSize(int(MipWidth(dds_, chosen.level)), int(MipHeight(dds_, chosen.level)))
                                : pictures_.at({0, TChannels::All}).size();
    canvas_->SetPicture(size);
    RequestDrawn(canvas_->ShownSize());
}

void TPreviewWindow::RequestDrawn(QSize drawn) {
    if (canvas_ == nullptr) {
        return;
    }
    TPictureRequest wanted = Chosen();
    if (texture_) {
        wanted.level = DrawnMipLevel(dds_, wanted.level, uint32_t(drawn.width()), uint32_t(drawn.height()));
    }
    if (const auto found = pictures_.find({wanted.level, wanted.channels}); found != pictures_.end()) {
        // Decoded before: whatever job runs decodes what is no longer wanted.
        DropJob();
        canvas_->SetDrawn(found->second);
        return;
    }
    if (job_ != nullptr && (decoding_ == wanted || pendingAction_)) {
        return; // a picture asked for by an action comes first; the canvas asks again after it
    }
    StartDecode(wanted);
}

void TPreviewWindow::StartDecode(TPictureRequest wanted) {
    const auto decoded = pictures_.find({wanted.level, TChannels::All});
    const QImage level = decoded != pictures_.end() ? decoded->second : QImage();
    decoding_ = wanted;
    StartJob([this, data = data_, dds = dds_, wanted, level,
              hook = hook_](uint64_t serial, const std::atomic<bool>& cancelled) {
        if (hook) {
            hook(TPreviewStep::Decode, cancelled);
        }
        if (cancelled.load()) {
            return;
        }
        TDecodedPicture picture = DecodePicture(*data, dds, wanted, level, cancelled);
        if (!cancelled.load()) {
            Deliver(serial, std::pair{wanted, std::move(picture)});
        }
    });
}

void TPreviewWindow::PictureDecoded(TPictureRequest request, TDecodedPicture picture) {
    if (!picture.failure.isEmpty()) {
        info_->setText(facts_ + QStringLiteral("; cannot show it: ") + picture.failure);
        canvas_->SetUnavailable();
        pendingAction_ = {};
        return;
    }
    pictures_[{request.level, TChannels::All}] = picture.level;
    pictures_[{request.level, request.channels}] = picture.shown;
    canvas_->SetDrawn(picture.shown);
    if (pendingAction_ && request == Chosen()) {
        const auto action = std::move(pendingAction_);
        pendingAction_ = {};
        action(picture.shown);
    }
}

void TPreviewWindow::WithChosenPicture(std::function<void(const QImage&)> action) {
    if (canvas_ == nullptr) {
        return;
    }
    if (const QImage& shown = ShownImage(); !shown.isNull()) {
        action(shown);
        return;
    }
    pendingAction_ = std::move(action);
    StartDecode(Chosen());
}

void TPreviewWindow::SaveAsPng() {
    const TPictureRequest chosen = Chosen();
    QString name = ToQString(SplitEntryPath(entry_).fName);
    if (texture_ && dds_.layerCount > 1) {
        name += QStringLiteral("_%1%2").arg(dds_.cubeMap ? "face" : "layer").arg(chosen.layer);
    }
    if (chosen.level > 0) {
        name += QStringLiteral("_mip%1").arg(chosen.level);
    }
    const std::optional<QString> path = dialogs_.SaveFile(
        this, name + QStringLiteral(".png"), QStringLiteral("PNG images"), QStringLiteral("*.png"));
    if (!path) {
        return;
    }
    WithChosenPicture([this, path = FromQString(*path)](const QImage& picture) {
        std::u16string reason;
        try {
            if (WriteUserFile(path, PictureAsPng(picture), reason)) {
                return;
            }
        } catch (const Exception& e) {
            reason = e.Message();
        } catch (const std::bad_alloc&) {
            reason = u"out of memory";
        }
        dialogs_.ShowErrorBox(this, QStringLiteral("Parlivex"),
                              QStringLiteral("Cannot write %1: %2.").arg(ToQString(path), ToQString(reason)));
    });
}

void TPreviewWindow::ShowText(const QString& text) {
    kind_ = Kind::Text;
    info_->setText(QStringLiteral("Text, %1 bytes; %2").arg(data_->size()).arg(storage_));
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("PreviewText"));
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setPlainText(text);
    static_cast<QVBoxLayout*>(layout())->addWidget(text_, 1);
    findBar_ = new QWidget(this);
    auto* bar = new QHBoxLayout(findBar_);
    bar->setContentsMargins(0, 0, 0, 0);
    findBox_ = new QLineEdit(findBar_);
    findBox_->setObjectName(QStringLiteral("PreviewFind"));
    findBox_->setPlaceholderText(QStringLiteral("Find (Enter: next, Escape: close)"));
    bar->addWidget(findBox_, 1);
    findStatus_ = new QLabel(findBar_);
    findStatus_->setObjectName(QStringLiteral("PreviewFindStatus"));
    bar->addWidget(findStatus_);
    findBar_->hide();
    layout()->addWidget(findBar_);
    connect(findBox_, &QLineEdit::returnPressed, this, &TPreviewWindow::FindNext);
    connect(findBox_, &QLineEdit::textEdited, findStatus_, &QLabel::clear);
    findBox_->installEventFilter(this);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &TPreviewWindow::OpenFindBox);
    text_->installEventFilter(this);
    text_->setFocus();
}

void TPreviewWindow::OpenFindBox() {
    findBar_->show();
    findBox_->setFocus();
    findBox_->selectAll();
}

void TPreviewWindow::CloseFindBox() {
    findBar_->hide();
    findStatus_->clear();
    text_->setFocus();
}

bool TPreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && findBox_ != nullptr &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Find)) {
        if (event->type() == QEvent::KeyPress) {
            OpenFindBox();
        }
        event->accept();
        return true;
    }
    // Escape in the find box closes the find box, not the window (whose shortcut it would otherwise be).
    if (watched == findBox_ &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        if (event->type() == QEvent::KeyPress) {
            CloseFindBox();
        }
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TPreviewWindow::FindNext() {
    const QString wanted = findBox_->text();
    if (wanted.isEmpty()) {
        return;
    }
    if (text_->find(wanted)) {
        findStatus_->clear();
        return;
    }
    // From the top once more, so that Enter goes round; where the text is nowhere, the view stays where it
    // was.
    const QTextCursor before = text_->textCursor();
    const int scrolledTo = text_->verticalScrollBar()->value();
    text_->moveCursor(QTextCursor::Start);
    if (text_->find(wanted)) {
        findStatus_->setText(QStringLiteral("from the top"));
        return;
    }
    text_->setTextCursor(before);
    text_->verticalScrollBar()->setValue(scrolledTo);
    findStatus_->setText(QStringLiteral("not found"));
}

void TPreviewWindow::ShowBinary(const QString& hex) {
    kind_ = Kind::Binary;
    info_->setText(QStringLiteral("%1 bytes; %2").arg(data_->size()).arg(storage_));
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("PreviewHex"));
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setPlainText(hex);
    static_cast<QVBoxLayout*>(layout())->addWidget(text_, 1);
}
