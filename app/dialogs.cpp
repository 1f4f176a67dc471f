#include "app/dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

std::optional<QString> TQtDialogs::OpenFile(QWidget* owner, const QString& initialFolder,
                                            const QString& filterDescription, const QString& filterPattern) {
    QFileDialog dialog(owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(QStringLiteral("%1 (%2)").arg(filterDescription, filterPattern));
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDirectory(initialFolder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

QString TQtDialogs::PickFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) {
    // The file dialog in folder mode offers a box for typing a path and a button for a new folder.
    QFileDialog dialog(owner, prompt);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::LookIn, prompt);
    if (!initialFolder.isEmpty()) {
        dialog.setDirectory(initialFolder);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
}

void TQtDialogs::ShowMessage(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void TQtDialogs::ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.exec();
}
