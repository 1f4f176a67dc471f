#pragma once
// A status bar panel: one line of text, elided in the middle when the panel is too narrow for it, and shown
// whole as the tooltip. Its text never widens the window. Control characters and line separators (a path may
// hold them) are shown escaped, as the command-line tool prints them, so that the text stays one line.
#include <QLabel>
#include <QString>

// text on one line: tab, line feed and carriage return as "\t", "\n" and "\r", the other C0 controls and DEL
// as three octal digits ("\033"), the C1 controls and the line and paragraph separators as "\u0085".
QString OneLineText(const QString& text);

class TElidedLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    void SetFullText(const QString& text);
    const QString& FullText() const { return fullText_; }

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowElidedText();

    QString fullText_;
};
