#include "app/main_window.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDockWidget>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPalette>
#include <QPixmap>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <exception>
#include <memory>
#include <utility>

#include "app/about.h"
#include "app/archive_pane.h"
#include "app/browser_model.h"
#include "app/browser_view.h"
#include "app/busy_cursor.h"
#include "app/dialogs.h"
#include "app/elided_label.h"
#include "app/folder_tree.h"
#include "app/image_list.h"
#include "app/node_data.h"
#include "app/prefs.h"
#include "app/preview_window.h"
#include "app/qt_text.h"
#include "base/exceptions.h"
#include "base/ustring.h"
#include "data_folder/data_folder.h"
#include "extract/entry_fetch.h"
#include "extract/entry_filter.h"
#include "extract/entry_source.h"
#include "platform/directories.h"
#include "platform/locale.h"
#include "platform/native_path.h"

namespace {

// The regular-expression toggle of the filter box: ".*", on a highlighted square while it is on.
QIcon RegexToggleIcon(bool on) {
    QPixmap picture(16, 16);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    if (on) {
        painter.fillRect(picture.rect(), QColor(0x33, 0x99, 0xFF));
    }
    painter.setPen(on ? Qt::white : Qt::black);
    QFont font = painter.font();
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral(".*"));
    return QIcon(picture);
}

constexpr int kClientWidth = 603;
constexpr int kClientHeight = 488;
constexpr int kFilterBoxHeight = 21;
constexpr int kFolderTreeWidth = 170;
constexpr int kStatusBarHeight = 19;
constexpr int kStatusPanel0Width = 100;
constexpr int kFontPointSize = 8;
constexpr int kOpeningProgressIntervalMs = 100;

// The file a dropped URL names, byte for byte: toLocalFile() would turn bytes that are not UTF-8 into
// replacement characters, the name of another file.
QString DroppedPath(const QUrl& url) {
    if (url.isLocalFile() && url.host().isEmpty()) {
        const QByteArray decoded = QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
        return ToQString(platform::PathFromFileUrl(decoded.toStdString()));
    }
    return QDir::toNativeSeparators(url.toLocalFile());
}

// The folder part of a path with its trailing delimiter; empty when there is none.
std::u16string FolderPart(const std::u16string& path) {
    return path.substr(0, platform::FileNameStart(path));
}

// From the last "." of the last path component on, dot included; empty when it has none.
std::u16string ExtensionPart(const std::u16string& path) {
    const size_t dot = path.rfind(u'.');
    return dot == std::u16string::npos || dot < platform::FileNameStart(path) ? std::u16string()
                                                                              : path.substr(dot);
}

} // namespace

TForm1::TForm1(TDialogs& dialogs, const std::u16string& executablePath, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), executablePath_(executablePath) {
    setObjectName(QStringLiteral("Form1"));
    CreateControls();
    FormCreate();
}

TForm1::~TForm1() {
    // An opening under way reports to this window: it stops first.
    openJob_.reset();
    // The previews, which go with the window's children later, must not read from the archive after it.
    FreeArchive();
    dragFolder_.reset();
}

void TForm1::CreateControls() {
    QFont windowFont = font();
    windowFont.setPointSize(kFontPointSize);
    setFont(windowFont);
    setWindowIcon(ApplicationIcon());

    ImageList1 = new TImageList(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));

    MainMenu1 = menuBar();
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    Files1 = MainMenu1->addMenu(QStringLiteral("&Files")); // Alt+F opens it
    Files1->setObjectName(QStringLiteral("Files1"));
    Openarchive1 =
        Files1->addAction(ImageList1->Icon(image_index::kOpenArchive), QStringLiteral("Open archive"));
    Openarchive1->setObjectName(QStringLiteral("Openarchive1"));
    OpenDataFolder1 = Files1->addAction(QStringLiteral("Open Data folder\u2026"));
    OpenDataFolder1->setObjectName(QStringLiteral("OpenDataFolder1"));
    // Only while several archives are being opened off the window's thread.
    CancelOpening1 = Files1->addAction(QStringLiteral("Cancel opening"));
    CancelOpening1->setObjectName(QStringLiteral("CancelOpening1"));
    CancelOpening1->setShortcut(QKeySequence(Qt::Key_Escape));
    CancelOpening1->setVisible(false);
    connect(CancelOpening1, &QAction::triggered, this, [this] { RunHandler([this] { CancelOpening(); }); });
    extract1 =
        Files1->addAction(ImageList1->Icon(image_index::kExtract), QStringLiteral("Extract selection"));
    extract1->setObjectName(QStringLiteral("extract1"));
    ExtractWinners1 = Files1->addAction(QStringLiteral("Extract winners only\u2026"));
    ExtractWinners1->setObjectName(QStringLiteral("ExtractWinners1"));
    ExtractWinners1->setToolTip(QStringLiteral("Of the selected rows, only those the game sees"));
    CompareArchives1 = Files1->addAction(QStringLiteral("Compare archives\u2026"));
    CompareArchives1->setObjectName(QStringLiteral("CompareArchives1"));
    N1 = Files1->addSeparator(); // the "-" item: a separator line, with no text of its own in Qt
    N1->setObjectName(QStringLiteral("N1"));
    CloseArchive1 = Files1->addAction(ImageList1->Icon(image_index::kCross), QStringLiteral("CloseArchive"));
    CloseArchive1->setObjectName(QStringLiteral("CloseArchive1"));
    N2 = Files1->addSeparator();
    N2->setObjectName(QStringLiteral("N2"));
    Exit1 = Files1->addAction(QStringLiteral("Exit"));
    Exit1->setObjectName(QStringLiteral("Exit1"));
    // Shown beside the items, and reachable from anywhere in the window.
    Openarchive1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    extract1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    CloseArchive1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_W));
    Exit1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    OpenDataFolder1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    connect(OpenDataFolder1, &QAction::triggered, this,
            [this] { RunHandler([this] { OpenDataFolderClick(); }); });
    connect(CompareArchives1, &QAction::triggered, this,
            [this] { RunHandler([this] { CompareArchivesClick(); }); });
    connect(ExtractWinners1, &QAction::triggered, this,
            [this] { RunHandler([this] { ExtractWinnersClick(); }); });
    connect(Openarchive1, &QAction::triggered, this, [this] { RunHandler([this] { Openarchive1Click(); }); });
    connect(extract1, &QAction::triggered, this, [this] { RunHandler([this] { extract1Click(); }); });
    connect(CloseArchive1, &QAction::triggered, this,
            [this] { RunHandler([this] { CloseArchive1Click(); }); });
    // As the window's close button: FormClose releases the archive and writes the preferences.
    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    View1 = MainMenu1->addMenu(QStringLiteral("&View"));
    View1->setObjectName(QStringLiteral("View1"));
    FolderTree1 = View1->addAction(QStringLiteral("Folder tree"));
    FolderTree1->setObjectName(QStringLiteral("FolderTree1"));
    FolderTree1->setCheckable(true);
    connect(FolderTree1, &QAction::triggered, this, [this](bool shown) {
        RunHandler([this, shown] {
            folderTreeChosen_ = true;
            ShowFolderTree(shown);
        });
    });
    ConflictsOnly1 = View1->addAction(QStringLiteral("Conflicts only"));
    ConflictsOnly1->setObjectName(QStringLiteral("ConflictsOnly1"));
    ConflictsOnly1->setToolTip(QStringLiteral("Only the paths that more than one archive holds"));
    ConflictsOnly1->setCheckable(true);
    ConflictsOnly1->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    connect(ConflictsOnly1, &QAction::triggered, this,
            [this](bool on) { RunHandler([this, on] { ShowConflictsOnly(on); }); });
    // The Data folder's own files beside its archives, overriding them as in the game.
    LooseFiles1 = View1->addAction(QStringLiteral("Loose files"));
    LooseFiles1->setObjectName(QStringLiteral("LooseFiles1"));
    LooseFiles1->setToolTip(
        QStringLiteral("The Data folder's files outside its archives, which override them"));
    LooseFiles1->setCheckable(true);
    LooseFiles1->setEnabled(false);
    connect(LooseFiles1, &QAction::triggered, this,
            [this](bool on) { RunHandler([this, on] { ShowLooseFiles(on); }); });
    Help1 = MainMenu1->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    About1 = Help1->addAction(QStringLiteral("About"));
    About1->setObjectName(QStringLiteral("About1"));
    connect(About1, &QAction::triggered, this,
            [this] { dialogs_.ShowMessage(this, QStringLiteral("About Parlivex"), AboutText()); });

    auto* client = new QWidget(this);
    auto* layout = new QVBoxLayout(client);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    ButtonedEdit1 = new QLineEdit(client);
    ButtonedEdit1->setObjectName(QStringLiteral("ButtonedEdit1"));
    ButtonedEdit1->setFixedHeight(kFilterBoxHeight);
    ButtonedEdit1LeftButton = ButtonedEdit1->addAction(ImageList1->IconInEveryState(image_index::kMagnifier),
                                                       QLineEdit::LeadingPosition);
    ButtonedEdit1LeftButton->setObjectName(QStringLiteral("ButtonedEdit1LeftButton"));
    ButtonedEdit1LeftButton->setEnabled(false);
    ButtonedEdit1RightButton =
        ButtonedEdit1->addAction(ImageList1->Icon(image_index::kCross), QLineEdit::TrailingPosition);
    ButtonedEdit1RightButton->setObjectName(QStringLiteral("ButtonedEdit1RightButton"));
    connect(ButtonedEdit1, &QLineEdit::textChanged, this,
            [this] { RunHandler([this] { ButtonedEdit1Change(); }); });
    connect(ButtonedEdit1RightButton, &QAction::triggered, this,
            [this] { RunHandler([this] { ButtonedEdit1RightButtonClick(); }); });
    // A file dropped on the filter box opens like one dropped anywhere else; dragged text is still typed.
    ButtonedEdit1->installEventFilter(this);
    // In the box, beside the clear button: its text as a regular expression instead of plain text or a
    // wildcard pattern.
    FilterRegexButton = ButtonedEdit1->addAction(RegexToggleIcon(false), QLineEdit::TrailingPosition);
    FilterRegexButton->setObjectName(QStringLiteral("FilterRegexButton"));
    FilterRegexButton->setToolTip(QStringLiteral("Regular expression"));
    FilterRegexButton->setCheckable(true);
    connect(FilterRegexButton, &QAction::toggled, this, [this](bool on) {
        FilterRegexButton->setIcon(RegexToggleIcon(on));
        RunHandler([this] { ApplyFilter(); });
    });
    layout->addWidget(ButtonedEdit1);

    browserModel_ = new TBrowserModel(*ImageList1, this);
    BrowserTree = new TBrowserTreeView(*browserModel_, client);
    BrowserTree->setObjectName(QStringLiteral("BrowserTree"));
    connect(BrowserTree->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        RunHandler([this, column] { BrowserTreeHeaderClick(Qt::LeftButton, column); });
    });
    connect(BrowserTree, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        RunHandler([this, index] { BrowserTreeActivated(index.row()); });
    });
    BrowserTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(BrowserTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { RunHandler([this, at] { BrowserTreeContextMenu(at); }); });
    BrowserTree->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(BrowserTree->header(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { RunHandler([this, at] { HeaderContextMenu(at); }); });
    connect(BrowserTree, &TBrowserTreeView::dragRowsOut, this, [this] {
        if (!Opening()) { // the archives the rows are of are about to be replaced
            RunHandler([this] { BrowserTreeDragRowsOut(); });
        }
    });
    connect(&BrowserTree->RowSelection(), &QItemSelectionModel::selectionChanged, this,
            [this] { UpdateRowCounts(); });
    // The folder tree beside the list, hidden until the user shows it (View > Folder tree).
    BrowserSplitter = new QSplitter(Qt::Horizontal, client);
    BrowserSplitter->setObjectName(QStringLiteral("BrowserSplitter"));
    BrowserSplitter->setChildrenCollapsible(false);
    FolderTree = new TFolderTree(BrowserSplitter);
    FolderTree->hide();
    connect(FolderTree, &TFolderTree::folderChosen, this, [this] { RunHandler([this] { ApplyFilter(); }); });
    FolderTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FolderTree, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { RunHandler([this, at] { FolderTreeContextMenu(at); }); });
    BrowserSplitter->addWidget(FolderTree);
    BrowserSplitter->addWidget(BrowserTree);
    BrowserSplitter->setStretchFactor(0, 0);
    BrowserSplitter->setStretchFactor(1, 1);
    BrowserSplitter->setSizes({kFolderTreeWidth, kClientWidth});
    layout->addWidget(BrowserSplitter);
    setCentralWidget(client);

    // The archives of a data folder, beside the list while several archives are open.
    ArchiveDock = new QDockWidget(QStringLiteral("Archives"), this);
    ArchiveDock->setObjectName(QStringLiteral("ArchiveDock"));
    ArchiveDock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    ArchivePane1 = new TArchivePane(ArchiveDock);
    ArchiveDock->setWidget(ArchivePane1);
    addDockWidget(Qt::LeftDockWidgetArea, ArchiveDock);
    ArchiveDock->hide();
    Archives1 = ArchiveDock->toggleViewAction();
    Archives1->setObjectName(QStringLiteral("Archives1"));
    Archives1->setEnabled(false);
    View1->addAction(Archives1);
    connect(ArchivePane1, &TArchivePane::takingPartChanged, this,
            [this](const std::vector<bool>& takingPart) {
                RunHandler([this, &takingPart] { SetTakingPart(takingPart); });
            });
    connect(ArchivePane1, &TArchivePane::pluginsFileWanted, this,
            [this] { RunHandler([this] { ChooseLoadOrderFile(true); }); });
    connect(ArchivePane1, &TArchivePane::compareWanted, this,
            [this](const std::u16string& path) { RunHandler([this, &path] { CompareWith(path); }); });
    connect(ArchivePane1, &TArchivePane::iniFileWanted, this,
            [this] { RunHandler([this] { ChooseLoadOrderFile(false); }); });
    connect(ArchivePane1, &TArchivePane::automaticWanted, this,
            [this](bool plugins) { RunHandler([this, plugins] { UseAutomaticLoadOrderFile(plugins); }); });

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(kStatusBarHeight);
    for (int panel = 0; panel < 2; ++panel) {
        StatusPanels[panel] = new TElidedLabel(StatusBar1);
        StatusPanels[panel]->setObjectName(QStringLiteral("StatusPanel%1").arg(panel));
    }
    StatusPanels[0]->setFixedWidth(kStatusPanel0Width);
    StatusBar1->addWidget(StatusPanels[0]);
    StatusBar1->addWidget(StatusPanels[1], 1); // reaches the counts at the right edge
    StatusCounts = new QLabel(StatusBar1);
    StatusCounts->setObjectName(QStringLiteral("StatusCounts"));
    StatusBar1->addPermanentWidget(StatusCounts);
    StatusCancel = new QPushButton(QStringLiteral("Cancel"), StatusBar1);
    StatusCancel->setObjectName(QStringLiteral("StatusCancel"));
    StatusCancel->setToolTip(QStringLiteral("Stop opening (Esc): the window stays as it was"));
    StatusCancel->setFlat(true);
    StatusCancel->hide();
    connect(StatusCancel, &QPushButton::clicked, this, [this] { RunHandler([this] { CancelOpening(); }); });
    StatusBar1->addPermanentWidget(StatusCancel);
    openProgressTimer_ = new QTimer(this);
    openProgressTimer_->setInterval(kOpeningProgressIntervalMs);
    connect(openProgressTimer_, &QTimer::timeout, this, [this] { ShowOpeningProgress(); });
    setStatusBar(StatusBar1);

    setTabOrder(ButtonedEdit1, BrowserTree);

    // Ctrl+F, and Escape in the list, go to the filter box; Escape there clears it.
    const auto focusFilterBox = [this] {
        ButtonedEdit1->setFocus(Qt::ShortcutFocusReason);
        ButtonedEdit1->selectAll();
    };
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this, focusFilterBox);
    listEscape_ =
        new QShortcut(QKeySequence(Qt::Key_Escape), BrowserTree, nullptr, nullptr, Qt::WidgetShortcut);
    connect(listEscape_, &QShortcut::activated, this, focusFilterBox);
    filterEscape_ =
        new QShortcut(QKeySequence(Qt::Key_Escape), ButtonedEdit1, nullptr, nullptr, Qt::WidgetShortcut);
    connect(filterEscape_, &QShortcut::activated, this,
            [this] { RunHandler([this] { ButtonedEdit1RightButtonClick(); }); });
    UpdateActions();

    // The client area (filter box, list, status bar) is 603 x 488; the menu bar comes on top of it.
    resize(kClientWidth, kClientHeight + MainMenu1->sizeHint().height());
    if (const QScreen* screen = this->screen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
}

void TForm1::ShowException(const std::u16string& message) {
    std::u16string text = message;
    if (!text.empty() && text.back() > u'.') {
        text += u'.';
    }
    dialogs_.ShowErrorBox(this, ToQString(kApplicationTitle), ToQString(text));
}

QString TForm1::StatusPanelText(int panel) const {
    return StatusPanels[panel]->FullText();
}

void TForm1::SetStatusPanelText(int panel, const QString& text) {
    StatusPanels[panel]->SetFullText(text);
}

void TForm1::FreeArchive() {
    for (TPreviewWindow* preview : findChildren<TPreviewWindow*>(Qt::FindDirectChildrenOnly)) {
        preview->StopReading();
    }
    StopReadingSizes();
    archive_.reset();
    if (dataFolder_) {
        // The rows refer to its table.
        browserModel_->Clear();
        browserModel_->SetDataFolder(nullptr);
        FolderTree->Empty();
        ArchivePane1->Empty();
        ArchiveDock->hide();
        Archives1->setEnabled(false);
        BrowserTree->header()->setSectionHidden(TBrowserModel::kArchiveColumn, true);
        dataFolder_.reset();
        dataFolderPath_.clear();
        keptRows_.clear();
    }
}

void TForm1::StartReadingSizes() {
    StopReadingSizes();
    if (dataFolder_) {
        StartReadingRowSizes();
        return;
    }
    if (!archive_ || archive_->FileCount() == 0) {
        return;
    }
    try {
        sizesReader_ = archive_->shareIndex();
    } catch (const Exception&) {
        // No handle to read through: the sizes stay unknown.
        browserModel_->SetSizes({});
        return;
    }
    const uint64_t serial = ++sizesSerial_;
    sizesJob_ = std::make_unique<TPreviewJob>([this, reader = sizesReader_.get(), serial,
                                               hook = sizesJobHook_](const std::atomic<bool>& cancelled) {
        if (hook) {
            hook(cancelled);
        }
        if (cancelled.load()) {
            return;
        }
        std::vector<uint32_t> sizes = reader->ReadEntrySizes(&cancelled);
        if (cancelled.load()) {
            return;
        }
        // The window waits for this thread before it goes, so it is alive when the call is queued.
        QMetaObject::invokeMethod(
            this, [this, serial, sizes = std::move(sizes)] { SizesRead(serial, sizes); },
            Qt::QueuedConnection);
    });
}

void TForm1::StopReadingSizes() {
    sizesJob_.reset(); // cancels and joins
    sizesReader_.reset();
    sizesReaders_.clear();
    ++sizesSerial_; // sizes already on their way belong to no list any more
}

void TForm1::StartReadingRowSizes() {
    if (dataFolder_->table.Rows().empty()) {
        return;
    }
    // The loose files' sizes are known from the walk; only the archives' are read.
    std::vector<std::vector<uint32_t>> looseSizes(dataFolder_->sources.size());
    try {
        for (size_t i = 0; i < dataFolder_->sources.size(); ++i) {
            const TDataSource& source = dataFolder_->sources[i];
            sizesReaders_.push_back(source.reader ? source.reader->shareIndex() : nullptr);
            if (source.loose) {
                looseSizes[i] = source.loose->EntrySizes();
            }
        }
    } catch (const Exception&) {
        sizesReaders_.clear();
        browserModel_->SetSizes({});
        return;
    }
    // The sizes of each archive's entries, then one per row of the table (the rows' entries).
    const uint64_t serial = ++sizesSerial_;
    sizesJob_ = std::make_unique<TPreviewJob>(
        [this, serial, hook = sizesJobHook_, table = &dataFolder_->table,
         looseSizes = std::move(looseSizes)](const std::atomic<bool>& cancelled) {
            if (hook) {
                hook(cancelled);
            }
            std::vector<std::vector<uint32_t>> perSource;
            for (const std::unique_ptr<TwbBSAFile>& reader : sizesReaders_) {
                if (cancelled.load()) {
                    return;
                }
                perSource.push_back(reader ? reader->ReadEntrySizes(&cancelled)
                                           : looseSizes[perSource.size()]);
            }
            if (cancelled.load()) {
                return;
            }
            std::vector<uint32_t> sizes;
            sizes.reserve(table->Rows().size());
            for (const TSourceRow& row : table->Rows()) {
                const std::vector<uint32_t>& of = perSource[row.source];
                sizes.push_back(row.entry < of.size() ? of[row.entry] : TBrowserModel::kSizeUnknown);
            }
            QMetaObject::invokeMethod(
                this, [this, serial, sizes = std::move(sizes)] { SizesRead(serial, sizes); },
                Qt::QueuedConnection);
        });
}

void TForm1::SizesRead(uint64_t serial, const std::vector<uint32_t>& sizes) {
    if (serial != sizesSerial_) {
        return;
    }
    StopReadingSizes(); // its thread is at its end
    TBrowserModel& model = *browserModel_;
    model.SetSizes(sizes);
    if (sortWaitsForSizes_) {
        // The rows were sorted by sizes not known then: sorted again, now that they are.
        sortWaitsForSizes_ = false;
        RestoreViewSelection(model.SortNodes(model.SortColumn(), model.SortDirection(), CurrentListRow()));
    }
}

QString TForm1::RowCountsText() const {
    return StatusCounts->text();
}

void TForm1::UpdateRowCounts() {
    const TBrowserModel& model = *browserModel_;
    if (dataFolder_ ? dataFolder_->table.Rows().empty() : !archive_ || archive_->FileCount() == 0) {
        StatusCounts->clear();
        return;
    }
    const QLocale locale;
    QString text = QStringLiteral("%1 / %2 rows, %3 selected")
                       .arg(locale.toString(model.rowCount()), locale.toString(model.NodeCount()),
                            locale.toString(model.SelectedCount()));
    const int hidden = model.HiddenSelectedCount();
    if (hidden > 0) {
        text += QStringLiteral(" (%1 hidden by the filter)").arg(locale.toString(hidden));
    }
    StatusCounts->setText(text);
}

void TForm1::HeaderContextMenu(const QPoint& at) {
    QHeaderView& header = *BrowserTree->header();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("HeaderMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const struct {
        int column;
        const char* name;
        QString text;
    } items[] = {{TBrowserModel::kSizeColumn, "HeaderMenuSize", QStringLiteral("Size")},
                 {TBrowserModel::kStoredColumn, "HeaderMenuStored", QStringLiteral("Stored")}};
    for (const auto& item : items) {
        QAction* action = menu->addAction(item.text);
        action->setObjectName(QString::fromLatin1(item.name));
        action->setCheckable(true);
        action->setChecked(!header.isSectionHidden(item.column));
        connect(action, &QAction::toggled, this, [this, column = item.column](bool shown) {
            RunHandler([this, column, shown] {
                sizeColumnsChosen_ = true;
                ShowSizeColumn(column, shown);
            });
        });
    }
    menu->popup(header.mapToGlobal(at));
}

void TForm1::ShowSizeColumn(int column, bool shown) {
    BrowserTree->header()->setSectionHidden(column, !shown);
}

void TForm1::UpdateActions() {
    // While archives are being opened, nothing extracts from those they will replace.
    extract1->setEnabled(HasArchive() && !Opening());
    ExtractWinners1->setEnabled(dataFolder_ != nullptr && !Opening());
    LooseFiles1->setEnabled(dataFolder_ != nullptr && !dataFolderPath_.empty() && !Opening());
    // Also after a failed open, whose path and the old rows are still shown.
    CloseArchive1->setEnabled(HasArchive() || !archivePath_.empty());
}

void TForm1::FormCreate() {
    setAcceptDrops(true);
    archivePath_.clear();
    FreeArchive();
    lastBsaDir_.clear();
    lastExtractDir_.clear();
    exeDir_ = FolderPart(executablePath_);
    setWindowTitle(ToQString(kWindowCaption));
    LoadPrefs();
}

void TForm1::FormClose() {
    CancelOpening();
    FreeArchive();
    dragFolder_.reset(); // the last drag's files
    SavePrefs();
}

void TForm1::closeEvent(QCloseEvent* event) {
    RunHandler([this] { FormClose(); });
    event->accept();
}

void TForm1::Openarchive1Click() {
    const std::u16string initialFolder = !lastBsaDir_.empty() ? lastBsaDir_ : platform::CurrentDirectory();
    // Several chosen: one list of them all, in the order given.
    const QStringList chosen = dialogs_.OpenFiles(this, ToQString(initialFolder),
                                                  QStringLiteral("bsa archives"), QStringLiteral("*.bsa"));
    std::vector<std::u16string> paths;
    for (const QString& path : chosen) {
        paths.push_back(FromQString(path));
    }
    OpenArchivesGiven(paths);
}

void TForm1::CloseArchive1Click() {
    CancelOpening();
    browserModel_->Clear();
    FolderTree->Empty();
    FreeArchive();
    archivePath_.clear();
    SetStatusPanelText(1, QString());
    UpdateActions();
    UpdateRowCounts();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ButtonedEdit1) {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            if (static_cast<QDropEvent*>(event)->mimeData()->hasUrls()) {
                // The window's own handlers take it: the filter box would type the file's address.
                QMainWindow::event(event);
                return true;
            }
            break;
        case QEvent::ShortcutOverride: {
            // The box would take some of the menu's keys for itself (Ctrl+E moves to the end of the line on
            // X11); the menu comes first.
            const QKeySequence keys(static_cast<QKeyEvent*>(event)->keyCombination());
            for (const QAction* action : Files1->actions()) {
                if (!action->shortcut().isEmpty() &&
                    action->shortcut().matches(keys) == QKeySequence::ExactMatch) {
                    event->ignore();
                    return true;
                }
            }
            break;
        }
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        paths.append(DroppedPath(url));
    }
    event->acceptProposedAction();
    // Opened once the drop is over, so that the drag source is not kept waiting by a message box.
    QMetaObject::invokeMethod(
        this, [this, paths] { RunHandler([this, &paths] { WMDropFiles(paths); }); }, Qt::QueuedConnection);
}

void TForm1::WMDropFiles(const QStringList& paths) {
    // The first dropped item decides: a folder opens as a Data folder, an archive with the other archives
    // dropped with it in the order given; anything else is ignored.
    if (paths.isEmpty()) {
        return;
    }
    const std::u16string first = FromQString(paths.constFirst());
    if (platform::DirectoryExists(first)) {
        OpenDataFolder(first);
        return;
    }
    if (platform::LowerCase(ExtensionPart(first)) != u".bsa") {
        return;
    }
    std::vector<std::u16string> archives;
    for (const QString& path : paths) {
        std::u16string archive = FromQString(path);
        if (platform::LowerCase(ExtensionPart(archive)) == u".bsa" && !platform::DirectoryExists(archive)) {
            archives.push_back(std::move(archive));
        }
    }
    OpenArchivesGiven(archives);
}

void TForm1::OpenCommandLineArgument(const QStringList& arguments) {
    if (arguments.size() < 2) {
        return;
    }
    const QString path = ToQString(platform::AbsolutePath(FromQString(arguments.at(1))));
    RunHandler([this, &path] { WMDropFiles({path}); });
}

void TForm1::OpenArchive(const std::u16string& path) {
    if (platform::LowerCase(ExtensionPart(path)) != u".bsa") {
        return;
    }
    CancelOpening(); // archives being opened meanwhile would replace this one
    SetStatusPanelText(1, ToQString(path));
    archivePath_ = path;
    lastBsaDir_ = FolderPart(archivePath_);
    if (lastExtractDir_.empty()) {
        lastExtractDir_ = lastBsaDir_;
    }
    FreeArchive();
    UpdateActions();
    TOpenedArchive opened = ::OpenArchive(archivePath_);
    if (!opened.result) {
        dialogs_.ShowMessage(this, ToQString(kApplicationTitle), ToQString(opened.result.reason));
        return;
    }
    archive_ = std::move(opened.reader);
    UpdateActions();
    FillBrowser();
}

void TForm1::FillBrowser() {
    const TBusyCursor busy;
    std::vector<TNodeDataBrw> placeholder;
    placeholder.emplace_back(u"fbk_Opening_Archive", image_index::kOpening);
    browserModel_->SetNodes(std::move(placeholder));

    std::vector<TNodeDataBrw> nodes;
    std::vector<TBrowserModel::TRowStorage> storage;
    const uint32_t count = archive_->FileCount();
    if (count == 0) {
        nodes.emplace_back(u"fbk_Nothing_Found", image_index::kNothingFound);
    } else {
        nodes.reserve(count);
        storage.reserve(count);
        for (TEntryRef entry = 0; entry < count; ++entry) {
            nodes.emplace_back(archive_->EntryString(entry), 0, entry);
            const TwbBSAFile::TEntryStorage stored = archive_->EntryStorage(entry);
            storage.push_back({stored.storedSize, TBrowserModel::kSizeUnknown, stored.compressed, true});
        }
    }
    browserModel_->SetNodes(std::move(nodes), std::move(storage));
    // The sizes come from the entries' data: read meanwhile, off this thread, so that the rows show at once.
    sortWaitsForSizes_ = false;
    StartReadingSizes();
    UpdateRowCounts();
    // Made when it is shown: an archive of many folders costs nothing for it while it is hidden.
    FolderTree->Empty();
    if (FolderTree->isVisibleTo(this)) {
        FolderTree->Fill(*archive_);
    }
    // A new list starts at its top left, whatever was scrolled to in the old one.
    BrowserTree->scrollToTop();
    BrowserTree->horizontalScrollBar()->setValue(0);
}

void TForm1::ButtonedEdit1Change() {
    ApplyFilter();
}

void TForm1::ButtonedEdit1RightButtonClick() {
    ButtonedEdit1->setText(QString()); // raises the change event, which filters already
    ApplyFilter();
}

void TForm1::ApplyFilter() {
    const int current = CurrentListRow();
    using TKeeps = std::function<bool(std::u16string_view)>;
    // The folder chosen in the tree, when one is, narrows the list together with the filter box.
    const std::u16string folder = FolderTree->ChosenFolder();
    // Rows of several archives: those of archives left out are hidden, and with Conflicts only the others.
    std::function<bool(uint32_t)> rowKeeps;
    if (dataFolder_) {
        rowKeeps = [this](uint32_t row) { return DataRowKept(row); };
    }
    const auto withFolder = [&folder](TKeeps keeps) -> TKeeps {
        if (folder.empty()) {
            return keeps;
        }
        return [&folder, keeps](std::u16string_view entry) {
            return EntryInFolder(entry, folder) && (!keeps || keeps(entry));
        };
    };
    if (FilterRegexButton->isChecked()) {
        const QString pattern = ButtonedEdit1->text().trimmed();
        QRegularExpression expression(pattern, QRegularExpression::CaseInsensitiveOption);
        if (!expression.isValid()) {
            // The rows stay as they were; the box says why they do not follow.
            ShowFilterError(QStringLiteral("Not a valid regular expression: %1 (at character %2)")
                                .arg(expression.errorString())
                                .arg(expression.patternErrorOffset() + 1));
            return;
        }
        ShowFilterError(QString());
        expression.optimize();
        browserModel_->Filter(
            withFolder(
                pattern.isEmpty()
                    ? TKeeps()
                    : [&expression](std::u16string_view
                                        entry) { return expression.match(QStringView(entry)).hasMatch(); }),
            rowKeeps);
    } else {
        ShowFilterError(QString());
        const TEntryFilter filter(FromQString(ButtonedEdit1->text()));
        browserModel_->Filter(
            withFolder(filter.KeepsAll()
                           ? TKeeps()
                           : [&filter](std::u16string_view entry) { return filter.Keeps(entry); }),
            rowKeeps);
    }
    RestoreViewSelection(current);
    UpdateRowCounts();
}

void TForm1::ShowFolderTree(bool shown) {
    FolderTree->setVisible(shown);
    if (shown && HasArchive() && FolderTree->topLevelItemCount() == 0) {
        if (dataFolder_) {
            FolderTree->Fill(SourceIndexes(*dataFolder_));
        } else {
            FolderTree->Fill(*archive_);
        }
    }
    if (shown && FolderTree->width() < kFolderTreeWidth / 2) {
        const int total = BrowserSplitter->width();
        BrowserSplitter->setSizes({kFolderTreeWidth, std::max(total - kFolderTreeWidth, kFolderTreeWidth)});
    }
    FolderTree1->setChecked(shown);
    if (!shown && !FolderTree->ChosenFolder().empty()) {
        // A hidden tree narrows nothing: back to every folder.
        FolderTree->setCurrentItem(FolderTree->topLevelItem(0));
    }
}

void TForm1::FolderTreeContextMenu(const QPoint& at) {
    QTreeWidgetItem* item = FolderTree->itemAt(at);
    if (!HasArchive() || item == nullptr || Opening()) {
        return;
    }
    const std::u16string folder = TFolderTree::FolderOf(item);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("FolderMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* extract = menu->addAction(QStringLiteral("Extract\u2026"));
    extract->setObjectName(QStringLiteral("FolderMenuExtract"));
    connect(extract, &QAction::triggered, this,
            [this, folder] { RunHandler([this, folder] { ExtractFolderClick(folder); }); });
    menu->popup(FolderTree->viewport()->mapToGlobal(at));
}

void TForm1::ShowFilterError(const QString& reason) {
    ButtonedEdit1->setToolTip(reason);
    QPalette palette; // empty: everything from the window, as before
    if (!reason.isEmpty()) {
        palette.setColor(QPalette::Base, QColor(0xFF, 0xD0, 0xD0));
        palette.setColor(QPalette::Text, Qt::black);
    }
    ButtonedEdit1->setPalette(palette);
}

void TForm1::BrowserTreeContextMenu(const QPoint& at) {
    const QModelIndex clicked = BrowserTree->indexAt(at);
    if (!HasArchive() || !clicked.isValid()) {
        return;
    }
    const int row = clicked.row();
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("RowMenu"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* preview = menu->addAction(QStringLiteral("Preview"));
    preview->setObjectName(QStringLiteral("RowMenuPreview"));
    connect(preview, &QAction::triggered, this,
            [this, row] { RunHandler([this, row] { BrowserTreeActivated(row); }); });
    QAction* extract = menu->addAction(QStringLiteral("Extract\u2026"));
    extract->setObjectName(QStringLiteral("RowMenuExtract"));
    extract->setEnabled(extract1->isEnabled());
    connect(extract, &QAction::triggered, this, [this] { RunHandler([this] { extract1Click(); }); });
    // The selected files alone, side by side in the chosen folder; files of one name collide as always.
    QAction* extractFlat = menu->addAction(QStringLiteral("Extract here without folders\u2026"));
    extractFlat->setObjectName(QStringLiteral("RowMenuExtractFlat"));
    extractFlat->setEnabled(extract1->isEnabled());
    connect(extractFlat, &QAction::triggered, this, [this] { RunHandler([this] { extract1Click(true); }); });
    if (dataFolder_) {
        QAction* winners = menu->addAction(ExtractWinners1->text());
        winners->setObjectName(QStringLiteral("RowMenuExtractWinners"));
        winners->setEnabled(ExtractWinners1->isEnabled());
        connect(winners, &QAction::triggered, this,
                [this] { RunHandler([this] { ExtractWinnersClick(); }); });
    }
    menu->addSeparator();
    QAction* copyPath = menu->addAction(QStringLiteral("Copy path"));
    copyPath->setObjectName(QStringLiteral("RowMenuCopyPath"));
    connect(copyPath, &QAction::triggered, this, [this] { RunHandler([this] { CopySelectedRows(false); }); });
    QAction* copyName = menu->addAction(QStringLiteral("Copy file name"));
    copyName->setObjectName(QStringLiteral("RowMenuCopyName"));
    connect(copyName, &QAction::triggered, this, [this] { RunHandler([this] { CopySelectedRows(true); }); });
    menu->popup(BrowserTree->viewport()->mapToGlobal(at));
}

void TForm1::CopySelectedRows(bool fileNamesOnly) {
    // The shown rows that are selected, in their order, one per line; placeholders are no entries.
    QStringList lines;
    for (int modelRow = 0; modelRow < browserModel_->rowCount(); ++modelRow) {
        const int listRow = browserModel_->ListRow(modelRow);
        const TNodeDataBrw& node = browserModel_->Node(listRow);
        if (browserModel_->Selected(listRow) && node.entry != kNoEntry) {
            lines.append(
                ToQString(fileNamesOnly ? EntryFileText(node.filename) : std::u16string_view(node.filename)));
        }
    }
    if (!lines.isEmpty()) {
        QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
    }
}

void TForm1::BrowserTreeActivated(int modelRow) {
    if (!HasArchive() || modelRow < 0 || modelRow >= browserModel_->rowCount()) {
        return;
    }
    const TNodeDataBrw& node = browserModel_->Node(browserModel_->ListRow(modelRow));
    if (node.icon == image_index::kNothingFound || node.icon == image_index::kOpening) {
        return;
    }
    // A row of several archives is previewed from its own archive, or its loose file.
    const std::unique_ptr<TEntrySource> entries = dataFolder_ ? dataFolder_->SourceOf(node.entry).Entries()
                                                              : std::make_unique<TArchiveEntries>(*archive_);
    auto* preview = new TPreviewWindow(*entries, node.filename, dialogs_, this, previewJobHook_);
    preview->show();
}

void TForm1::BrowserTreeHeaderClick(Qt::MouseButton button, int column) {
    if (button != Qt::LeftButton) {
        return;
    }
    TBrowserModel& model = *browserModel_;
    if (model.SortColumn() < 0 || column != model.SortColumn()) {
        model.SetSortState(column, Qt::AscendingOrder);
    } else {
        model.SetSortState(column, model.SortDirection() == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                               : Qt::AscendingOrder);
    }
    const int current = model.SortNodes(model.SortColumn(), model.SortDirection(), CurrentListRow());
    RestoreViewSelection(current);
    sortWaitsForSizes_ = !model.SizesKnown() &&
                         (column == TBrowserModel::kSizeColumn || column == TBrowserModel::kStoredColumn);
    // The arrow shows the column last sorted and its direction (the header would otherwise flip it on its
    // own, for any click).
    QHeaderView& header = *BrowserTree->header();
    header.setSortIndicator(model.SortColumn(), model.SortDirection());
    header.setSortIndicatorShown(true);
}

int TForm1::CurrentListRow() const {
    const QModelIndex current = BrowserTree->selectionModel()->currentIndex();
    return current.isValid() ? browserModel_->ListRow(current.row()) : -1;
}

void TForm1::RestoreViewSelection(int currentListRow) {
    BrowserTree->RowSelection().ShowRowFlags(currentListRow);
    BrowserTree->viewport()->update();
}

std::u16string TForm1::PrefsFileName() const {
    return PrefsFileToRead(PrefsFileCandidates(exeDir_));
}

void TForm1::LoadPrefs() {
    try {
        const TIniFile prefs(PrefsFileName());
        lastBsaDir_ = prefs.ReadString(u"path", u"lastBsaDir", u"");
        lastExtractDir_ = prefs.ReadString(u"path", u"lastExtractDir", u"");
        // Written once the user has shown or hidden the tree; absent, the window starts as it always did.
        const std::u16string tree = prefs.ReadString(u"view", u"folderTree", u"");
        if (tree == u"1" || tree == u"0") {
            folderTreeChosen_ = true;
            ShowFolderTree(tree == u"1");
        }
        chosenLoadOrderFiles_ = ReadChosenLoadOrderFiles(prefs);
        // Likewise the Size and Stored columns.
        for (const auto& [column, key] : {std::pair{TBrowserModel::kSizeColumn, u"sizeColumn"},
                                          std::pair{TBrowserModel::kStoredColumn, u"storedColumn"}}) {
            const std::u16string shown = prefs.ReadString(u"view", key, u"");
            if (shown == u"1" || shown == u"0") {
                sizeColumnsChosen_ = true;
                ShowSizeColumn(column, shown == u"1");
            }
        }
    } catch (const std::exception&) {
        // The folders are a convenience: without them the dialogs start in the current folder.
    }
}

void TForm1::SavePrefs() {
    // Beside the program if that folder can be written, else in the user's configuration folder. A failure
    // keeps the old file, and nobody needs to hear of it.
    try {
        for (const std::u16string& fileName : PrefsFileCandidates(exeDir_)) {
            // The per-user folder may not exist yet.
            QDir().mkpath(QFileInfo(ToQString(fileName)).absolutePath());
            TIniFile prefs(fileName);
            prefs.WriteString(u"path", u"lastBsaDir", lastBsaDir_);
            prefs.WriteString(u"path", u"lastExtractDir", lastExtractDir_);
            if (folderTreeChosen_) {
                prefs.WriteString(u"view", u"folderTree", FolderTree1->isChecked() ? u"1" : u"0");
            }
            if (sizeColumnsChosen_) {
                const QHeaderView& header = *BrowserTree->header();
                prefs.WriteString(u"view", u"sizeColumn",
                                  header.isSectionHidden(TBrowserModel::kSizeColumn) ? u"0" : u"1");
                prefs.WriteString(u"view", u"storedColumn",
                                  header.isSectionHidden(TBrowserModel::kStoredColumn) ? u"0" : u"1");
            }
            WriteChosenLoadOrderFiles(prefs, chosenLoadOrderFiles_);
            if (prefs.UpdateFile()) {
                return;
            }
        }
    } catch (const std::exception&) {
    }
}
