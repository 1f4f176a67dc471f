#pragma once
// A status bar panel: one line of text, elided in the middle when the panel is too narrow for it, and shown
// whole as the tooltip. Its text never widens the window.
#include <QLabel>
#include <QString>

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
