#include "tests/app/app_test_support.h"

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <QWindow>

#include "base/ustring.h"

namespace apptest {
namespace {

QtMessageHandler previousHandler = nullptr;

void RecordModelTesterComplaints(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if ((type == QtWarningMsg || type == QtCriticalMsg) && context.category != nullptr &&
        qstrcmp(context.category, "qt.modeltest") == 0) {
        ModelTesterComplaints().push_back(message);
    }
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    }
}

} // namespace

void InstallModelTesterWatch() {
    previousHandler = qInstallMessageHandler(RecordModelTesterComplaints);
}

std::vector<QString>& ModelTesterComplaints() {
    static std::vector<QString> complaints;
    return complaints;
}

QStringList TScriptedDialogs::OpenFiles(QWidget* owner, const QString& initialFolder,
                                        const QString& description, const QString& pattern) {
    if (openManyAnswers.empty()) {
        return TDialogs::OpenFiles(owner, initialFolder, description, pattern);
    }
    openCalls.push_back({initialFolder, description, pattern});
    QStringList answer = openManyAnswers.front();
    openManyAnswers.pop_front();
    return answer;
}

std::optional<QString> TScriptedDialogs::OpenFile(QWidget*, const QString& initialFolder,
                                                  const QString& description, const QString& pattern) {
    openCalls.push_back({initialFolder, description, pattern});
    if (openAnswers.empty()) {
        return std::nullopt;
    }
    QString answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
}

QString TScriptedDialogs::PickFolder(QWidget*, const QString& prompt, const QString& initialFolder) {
    pickCalls.push_back({prompt, initialFolder});
    if (pickAnswers.empty()) {
        return {};
    }
    QString answer = pickAnswers.front();
    pickAnswers.pop_front();
    return answer;
}

std::optional<QString> TScriptedDialogs::SaveFile(QWidget*, const QString& suggestedName,
                                                  const QString& description, const QString& pattern) {
    saveCalls.push_back({suggestedName, description, pattern});
    if (saveAnswers.empty()) {
        return std::nullopt;
    }
    QString answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
}

void TScriptedDialogs::ShowMessage(QWidget*, const QString& caption, const QString& text) {
    messages.push_back({caption, text});
}

void TScriptedDialogs::ShowErrorBox(QWidget*, const QString& caption, const QString& text) {
    errors.push_back({caption, text});
}

fixture::EntrySpec Entry(std::string name, std::string_view content, fixture::Storage storage) {
    return Entry(std::move(name), std::vector<uint8_t>(content.begin(), content.end()), storage);
}

fixture::EntrySpec Entry(std::string name, std::vector<uint8_t> content, fixture::Storage storage) {
    fixture::EntrySpec entry;
    entry.name = std::move(name);
    entry.data = std::move(content);
    entry.storage = storage;
    return entry;
}

fixture::FolderSpec RootFolder(std::vector<fixture::EntrySpec> files) {
    fixture::FolderSpec folder;
    folder.files = std::move(files);
    folder.nameLengthOverride = 0; // no name bytes at all, as the games' tools write it
    return folder;
}

QString Q(const std::u16string& text) {
    return QString::fromStdU16String(text);
}
QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}
std::u16string U16(const std::filesystem::path& path) {
    return FromUtf8(path.string());
}
std::string Utf8(const QString& text) {
    return text.toStdString();
}

WindowTest::WindowTest() : binFolder_(temp_.Path() / "bin") {
    std::filesystem::create_directories(binFolder_);
    executablePath_ = U16(binFolder_ / "parlivex");
}

WindowTest::~WindowTest() = default;

void WindowTest::TearDown() {
    EXPECT_TRUE(ModelTesterComplaints().empty()) << Utf8(ModelTesterComplaints().front());
    ModelTesterComplaints().clear();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass stayed";
    while (QApplication::overrideCursor() != nullptr) {
        QApplication::restoreOverrideCursor();
    }
}

TForm1& WindowTest::CreateWindow() {
    form_.reset();
    form_ = std::make_unique<TForm1>(dialogs_, executablePath_);
    form_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
    new QAbstractItemModelTester(&Model(), QAbstractItemModelTester::FailureReportingMode::Warning, &Model());
    return *form_;
}

QTreeView* WindowTest::Tree() {
    return Control<QTreeView>("BrowserTree");
}

std::filesystem::path WindowTest::WriteArchive(const std::string& name, const fixture::ArchiveSpec& recipe) {
    // With the system's separators, as the window gives paths back.
    const std::filesystem::path path = (temp_.Path() / std::filesystem::u8path(name)).make_preferred();
    std::filesystem::create_directories(path.parent_path());
    fixture::WriteArchiveFile(recipe, path.string());
    return path;
}

fixture::ArchiveSpec Recipe(std::vector<fixture::FolderSpec> folders, uint32_t version) {
    fixture::ArchiveSpec recipe;
    recipe.version = version;
    recipe.folders = std::move(folders);
    return recipe;
}

void WindowTest::OpenByDialog(const std::filesystem::path& path) {
    dialogs_.openAnswers.push_back(Q(path));
    Action("Openarchive1")->trigger();
}

bool WindowTest::Drop(const std::vector<std::filesystem::path>& paths, QWidget* onto) {
    QList<QUrl> urls;
    for (const std::filesystem::path& path : paths) {
        urls.append(QUrl::fromLocalFile(Q(path)));
    }
    return Drop(urls, onto);
}

bool WindowTest::Drop(const QList<QUrl>& urls, QWidget* onto) {
    QMimeData mime;
    QStringList addresses;
    for (const QUrl& url : urls) {
        addresses.append(url.toString());
    }
    mime.setUrls(urls);
    mime.setText(addresses.join(QLatin1Char('\n')));
    return DropMime(mime, onto != nullptr ? onto : Control<QStatusBar>("StatusBar1"));
}

bool WindowTest::DropMime(QMimeData& mime, QWidget* onto) {
    QWindow* window = form_->windowHandle();
    const QPointF at = QPointF(onto->mapTo(form_.get(), onto->rect().center()));
    QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    if (!enter.isAccepted()) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(window, &leave);
        return false;
    }
    QDropEvent drop(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
    QCoreApplication::processEvents();
    return drop.isAccepted();
}

QStringList WindowTest::ColumnTexts(int column) {
    QStringList texts;
    for (int row = 0; row < Model().rowCount(); ++row) {
        texts.append(Model().index(row, column).data().toString());
    }
    return texts;
}

QStringList WindowTest::VisibleEntries() {
    QStringList entries;
    for (int row = 0; row < Model().rowCount(); ++row) {
        entries.append(Model().index(row, TBrowserModel::kPathColumn).data().toString() +
                       Model().index(row, TBrowserModel::kFileColumn).data().toString());
    }
    return entries;
}

QStringList WindowTest::AllEntries() {
    QStringList entries;
    for (int row = 0; row < Model().NodeCount(); ++row) {
        entries.append(Q(Model().Node(row).filename));
    }
    return entries;
}

int WindowTest::IconOfRow(int modelRow) {
    return Model().index(modelRow, TBrowserModel::kIconColumn).data(TBrowserModel::kIconIndexRole).toInt();
}

void WindowTest::ClickHeader(int column, Qt::MouseButton button) {
    QHeaderView* header = Tree()->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), button, Qt::NoModifier, at);
}

void WindowTest::ClickRow(int modelRow, Qt::KeyboardModifiers modifiers) {
    QTreeView* tree = Tree();
    const QModelIndex index = Model().index(modelRow, TBrowserModel::kFileColumn);
    tree->scrollTo(index);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, modifiers, tree->visualRect(index).center());
}

void WindowTest::DragRow(int modelRow) {
    QTreeView* list = Tree();
    QWidget* viewport = list->viewport();
    const QPoint from = list->visualRect(Model().index(modelRow, TBrowserModel::kFileColumn)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    for (const int step : {2, QApplication::startDragDistance() + 10}) {
        const QPoint to = from + QPoint(step, step);
        QMouseEvent move(QEvent::MouseMove, to, viewport->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
    }
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, from);
}

void WindowTest::SelectAllRows() {
    QTest::keyClick(Tree(), Qt::Key_A, Qt::ControlModifier);
}

bool WindowTest::WaitForOpening() {
    if (!form_->Opening()) {
        return true;
    }
    QSignalSpy ended(form_.get(), &TForm1::openingEnded);
    return ended.wait(kOpeningWaitMs) && !form_->Opening();
}

void WindowTest::TypeFilter(const QString& text) {
    QTest::keyClicks(Control<QLineEdit>("ButtonedEdit1"), text);
}

void WindowTest::ExtractTo(const std::filesystem::path& destination) {
    dialogs_.pickAnswers.push_back(Q(destination));
    Action("extract1")->trigger();
}

} // namespace apptest
