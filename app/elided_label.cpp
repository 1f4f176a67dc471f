#include "app/elided_label.h"

#include <QResizeEvent>

void TElidedLabel::SetFullText(const QString& text) {
    fullText_ = text;
    setToolTip(text);
    ShowElidedText();
}

QSize TElidedLabel::minimumSizeHint() const {
    return QSize(0, QLabel::minimumSizeHint().height());
}

QSize TElidedLabel::sizeHint() const {
    return QSize(0, QLabel::sizeHint().height());
}

void TElidedLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    ShowElidedText();
}

void TElidedLabel::ShowElidedText() {
    // The start of a path and its file name say the most about it.
    setText(fontMetrics().elidedText(fullText_, Qt::ElideMiddle, contentsRect().width()));
}
