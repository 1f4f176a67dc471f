#include "app/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QTreeView>
#include <iterator>

namespace {

// A size where the file list shows names, sizes and dates whole.
constexpr QSize kFileDialogSize(920, 520);
// Name, size, type, date modified.
constexpr int kColumnWidths[] = {360, 90, 110, 170};

// The longest run of characters without a place to break, before one is made.
constexpr int kLongestUnbrokenRun = 32;
constexpr QChar kZeroWidthSpace(0x200B);

// Brings the dialog up as the user left it last time, or at a readable size the first time; the file list's
// detail view with columns wide enough for its texts.
void RestoreLayout(QFileDialog& dialog, const QByteArray& state, const QSize& size) {
    if (!state.isEmpty() && dialog.restoreState(state)) {
        dialog.resize(size);
        return;
    }
    dialog.resize(kFileDialogSize);
    dialog.setViewMode(QFileDialog::Detail);
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QHeaderView& columns = *details->header();
        for (int column = 0; column < std::ssize(kColumnWidths) && column < columns.count(); ++column) {
            columns.resizeSection(column, kColumnWidths[column]);
        }
    }
}

} // namespace

QString WithLineBreakChances(const QString& text) {
    QString result;
    result.reserve(text.size() + text.size() / 8);
    int run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        result.append(c);
        if (c.isSpace() || c == kZeroWidthSpace) {
            run = 0;
            continue;
        }
        ++run;
        const bool separator = c == u'/' || c == u'\\';
        const bool last = i + 1 == text.size();
        // Never between the two halves of a surrogate pair.
        if ((separator || run >= kLongestUnbrokenRun) && !last && !c.isHighSurrogate()) {
            result.append(kZeroWidthSpace);
            run = 0;
        }
    }
    return result;
}

std::optional<QString> TQtDialogs::OpenFile(QWidget* owner, const QString& initialFolder,
                                            const QString& filterDescription, const QString& filterPattern) {
    const QStringList chosen = OpenFiles(owner, initialFolder, filterDescription, filterPattern);
    if (chosen.isEmpty()) {
        return std::nullopt;
    }
    return chosen.constFirst();
}

QStringList TQtDialogs::OpenFiles(QWidget* owner, const QString& initialFolder,
                                  const QString& filterDescription, const QString& filterPattern) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(filterDescription, filterPattern));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    RestoreLayout(dialog, openLayout_.state, openLayout_.size);
    dialog.setDirectory(initialFolder);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    openLayout_ = {dialog.size(), dialog.saveState()};
    QStringList chosen;
    if (accepted) {
        for (const QString& file : dialog.selectedFiles()) {
            chosen.append(QDir::toNativeSeparators(file));
        }
    }
    return chosen;
}

QString TQtDialogs::PickFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) {
    // The file dialog in folder mode offers a box for typing a path and a button for a new folder.
    QFileDialog dialog(owner, prompt);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::LookIn, prompt);
    RestoreLayout(dialog, pickLayout_.state, pickLayout_.size);
    if (!initialFolder.isEmpty()) {
        dialog.setDirectory(initialFolder);
    }
    const bool accepted = dialog.exec() == QDialog::Accepted;
    pickLayout_ = {dialog.size(), dialog.saveState()};
    if (!accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

std::optional<QString> TQtDialogs::SaveFile(QWidget* owner, const QString& suggestedName,
                                            const QString& filterDescription, const QString& filterPattern) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(filterDescription, filterPattern));
    dialog.setDefaultSuffix(filterPattern.section(u'.', -1));
    RestoreLayout(dialog, saveLayout_.state, saveLayout_.size);
    if (!saveFolder_.isEmpty()) {
        dialog.setDirectory(saveFolder_);
    }
    dialog.selectFile(suggestedName);
    const bool accepted = dialog.exec() == QDialog::Accepted;
    saveLayout_ = {dialog.size(), dialog.saveState()};
    if (!accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    saveFolder_ = dialog.directory().absolutePath();
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

void TQtDialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, WithLineBreakChances(text), QMessageBox::Ok, owner);
    box.exec();
}

void TQtDialogs::ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, WithLineBreakChances(text), QMessageBox::Ok, owner);
    box.exec();
}
