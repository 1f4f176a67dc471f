#pragma once
// The window's dialogs behind one small interface, so that tests can answer them. TQtDialogs shows the real
// ones. Paths come back in native form.
#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

class TDialogs {
public:
    virtual ~TDialogs() = default;

    // Open-file dialog with one filter entry; the chosen file must exist. Nothing when cancelled.
    virtual std::optional<QString> OpenFile(QWidget* owner, const QString& initialFolder,
                                            const QString& filterDescription,
                                            const QString& filterPattern) = 0;
    // The same, where several files may be chosen: in the order the dialog gives them; none when cancelled.
    // By default the one-file dialog.
    virtual QStringList OpenFiles(QWidget* owner, const QString& initialFolder,
                                  const QString& filterDescription, const QString& filterPattern) {
        const std::optional<QString> chosen =
            OpenFile(owner, initialFolder, filterDescription, filterPattern);
        return chosen ? QStringList{*chosen} : QStringList{};
    }
    // Folder picker showing prompt, starting at initialFolder (empty: none preselected); the user may type a
    // path and make a new folder. The chosen folder, or empty when cancelled.
    virtual QString PickFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) = 0;
    // Save-file dialog with one filter entry, offering suggestedName; asks before replacing a file. Nothing
    // when cancelled.
    virtual std::optional<QString> SaveFile(QWidget* owner, const QString& suggestedName,
                                            const QString& filterDescription,
                                            const QString& filterPattern) = 0;
    // Modal message box with one OK button.
    virtual void ShowMessage(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Modal error box (error icon, one OK button).
    virtual void ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) = 0;
};

// The file dialogs open at a size where names, sizes and dates can be read, and come back at the size and
// with the column widths the user left them at.
class TQtDialogs : public TDialogs {
public:
    std::optional<QString> OpenFile(QWidget* owner, const QString& initialFolder,
                                    const QString& filterDescription, const QString& filterPattern) override;
    QStringList OpenFiles(QWidget* owner, const QString& initialFolder, const QString& filterDescription,
                          const QString& filterPattern) override;
    QString PickFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) override;
    std::optional<QString> SaveFile(QWidget* owner, const QString& suggestedName,
                                    const QString& filterDescription, const QString& filterPattern) override;
    void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override;
    void ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) override;

private:
    struct Layout {
        QSize size;
        QByteArray state; // the dialog's own: view mode, column widths, side bar
    };
    Layout openLayout_;
    Layout pickLayout_;
    Layout saveLayout_;
    QString saveFolder_; // where the last file was saved
};

// text with a zero-width space after each path separator and inside every longer run without a place to
// break, so that a message box can wrap a long path or file name instead of cutting it at its edge.
QString WithLineBreakChances(const QString& text);
