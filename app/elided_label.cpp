#include "app/elided_label.h"

#include <QResizeEvent>

QString OneLineText(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t unit = c.unicode();
        if (unit == u'\t' || unit == u'\n' || unit == u'\r') {
            line += u'\\';
            line += unit == u'\t' ? u't' : unit == u'\n' ? u'n' : u'r';
        } else if (unit < 0x20 || unit == 0x7F) {
            line += QStringLiteral("\\%1").arg(uint(unit), 3, 8, QLatin1Char('0'));
        } else if ((unit >= 0x80 && unit <= 0x9F) || unit == 0x2028 || unit == 0x2029) {
            line += QStringLiteral("\\u%1").arg(uint(unit), 4, 16, QLatin1Char('0'));
        } else {
            line += c;
        }
    }
    return line;
}

void TElidedLabel::SetFullText(const QString& text) {
    fullText_ = text;
    setToolTip(OneLineText(text));
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
    setText(fontMetrics().elidedText(OneLineText(fullText_), Qt::ElideMiddle, contentsRect().width()));
}
