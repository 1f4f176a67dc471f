#pragma once
// The window's dialogs behind one small interface, so that tests can answer them. TQtDialogs shows the real
// ones. Paths come back in native form.
#include <QString>
#include <optional>

class QWidget;

class TDialogs {
public:
    virtual ~TDialogs() = default;

    // Open-file dialog with one filter entry; the chosen file must exist. Nothing when cancelled.
    virtual std::optional<QString> OpenFile(QWidget* owner, const QString& initialFolder,
                                            const QString& filterDescription,
                                            const QString& filterPattern) = 0;
    // Folder picker showing prompt, starting at initialFolder (empty: none preselected); the user may type a
    // path and make a new folder. The chosen folder, or empty when cancelled.
    virtual QString PickFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) = 0;
    // Modal message box with one OK button.
    virtual void ShowMessage(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Modal error box (error icon, one OK button).
    virtual void ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) = 0;
};

class TQtDialogs : public TDialogs {
public:
    std::optional<QString> OpenFile(QWidget* owner, const QString& initialFolder,
                                    const QString& filterDescription, const QString& filterPattern) override;
    QString PickFolder(QWidget* owner, const QString& prompt, const QString& initialFolder) override;
    void ShowMessage(QWidget* owner, const QString& caption, const QString& text) override;
    void ShowErrorBox(QWidget* owner, const QString& caption, const QString& text) override;
};
