#include "app/preview_canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {

constexpr int kCheckerSquare = 8;

QBrush CheckerBrush() {
    QImage checker(2 * kCheckerSquare, 2 * kCheckerSquare, QImage::Format_RGB32);
    checker.fill(QColor(204, 204, 204));
    for (const QPoint corner : {QPoint(kCheckerSquare, 0), QPoint(0, kCheckerSquare)}) {
        for (int y = 0; y < kCheckerSquare; ++y) {
            for (int x = 0; x < kCheckerSquare; ++x) {
                checker.setPixelColor(corner + QPoint(x, y), QColor(153, 153, 153));
            }
        }
    }
    return QBrush(checker);
}

} // namespace

TPreviewCanvas::TPreviewCanvas(QWidget* parent) : QAbstractScrollArea(parent), checker_(CheckerBrush()) {
    setObjectName(QStringLiteral("PreviewCanvas"));
    setMinimumSize(64, 64);
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        bar->setSingleStep(32);
    }
    SetFit(true);
}

void TPreviewCanvas::SetPicture(QSize size) {
    size_ = size;
    drawn_ = scaled_ = QImage();
    askedFor_ = QSize();
    waiting_ = false;
    unavailable_ = false;
    UpdateScrollBars();
    viewport()->update();
}

void TPreviewCanvas::SetDrawn(const QImage& drawn) {
    waiting_ = false;
    if (drawn.cacheKey() == drawn_.cacheKey()) {
        return; // the same picture, and the copy scaled from it still good
    }
    drawn_ = drawn;
    scaled_ = QImage();
    viewport()->update();
}

void TPreviewCanvas::SetUnavailable() {
    drawn_ = scaled_ = QImage();
    unavailable_ = true;
    waiting_ = false;
    viewport()->update();
}

void TPreviewCanvas::SetFit(bool fit) {
    fit_ = fit;
    const Qt::ScrollBarPolicy policy = fit ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    if (!fit) {
        zoom_ = 1.0;
    }
    UpdateScrollBars();
    // 1:1 starts at the picture's middle.
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        bar->setValue(bar->maximum() / 2);
    }
    viewport()->update();
}

QSize TPreviewCanvas::ShownSize() const {
    const double zoom = Zoom();
    return QSize(std::max(1, int(std::lround(size_.width() * zoom))),
                 std::max(1, int(std::lround(size_.height() * zoom))));
}

void TPreviewCanvas::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    painter.fillRect(event->rect(), palette().window());
    const QSize shown = ShownSize();
    if (WantsAnotherCopy(shown)) {
        askedFor_ = shown;
        waiting_ = true;
        // Told after this paint: the owner may hand a copy at once, which must not change what is drawn here.
        QMetaObject::invokeMethod(
            this, [this, shown] { emit DrawnSizeWanted(shown); }, Qt::QueuedConnection);
    }
    if (drawn_.isNull()) {
        return;
    }
    const QRect target(Origin(shown), shown);
    painter.setBrushOrigin(target.topLeft());
    painter.fillRect(target.intersected(event->rect()), checker_);
    if (drawn_.size() == shown) {
        painter.drawImage(target.topLeft(), drawn_);
    } else if (shown.width() < drawn_.width()) {
        painter.drawImage(target.topLeft(), Scaled(shown));
    } else {
        // Enlarged: each pixel a square; the painter draws only the part in view.
        painter.drawImage(target, drawn_);
    }
}

void TPreviewCanvas::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void TPreviewCanvas::scrollContentsBy(int, int) {
    viewport()->update();
}

// Zooms about the point under the pointer.
void TPreviewCanvas::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0 || size_.isEmpty()) {
        event->ignore();
        return;
    }
    const QPointF at = event->position();
    const QPointF onPicture = (at - QPointF(Origin(ShownSize()))) / Zoom();
    zoom_ = std::clamp(Zoom() * std::pow(1.25, steps), 1.0 / 64, 64.0);
    if (fit_) {
        fit_ = false;
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    UpdateScrollBars();
    horizontalScrollBar()->setValue(int(std::lround(onPicture.x() * zoom_ - at.x())));
    verticalScrollBar()->setValue(int(std::lround(onPicture.y() * zoom_ - at.y())));
    viewport()->update();
    event->accept();
}

// A picture larger than the view is dragged with the left button.
void TPreviewCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !Scrollable()) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    dragFrom_ = event->position().toPoint();
    dragScroll_ = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
    dragging_ = true;
    viewport()->setCursor(Qt::ClosedHandCursor);
}

void TPreviewCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    const QPoint moved = event->position().toPoint() - dragFrom_;
    horizontalScrollBar()->setValue(dragScroll_.x() - moved.x());
    verticalScrollBar()->setValue(dragScroll_.y() - moved.y());
}

void TPreviewCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_ || event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    UpdateCursor();
}

QSize TPreviewCanvas::Room() const {
    return fit_ ? contentsRect().size() : viewport()->size();
}

double TPreviewCanvas::FitZoom() const {
    if (size_.isEmpty()) {
        return 1.0;
    }
    const QSize room = Room();
    return std::min({1.0, double(room.width()) / size_.width(), double(room.height()) / size_.height()});
}

QPoint TPreviewCanvas::Origin(QSize shown) const {
    const QSize room = Room();
    return QPoint(shown.width() <= room.width() ? (room.width() - shown.width()) / 2
                                                : -horizontalScrollBar()->value(),
                  shown.height() <= room.height() ? (room.height() - shown.height()) / 2
                                                  : -verticalScrollBar()->value());
}

bool TPreviewCanvas::Scrollable() const {
    return horizontalScrollBar()->maximum() > 0 || verticalScrollBar()->maximum() > 0;
}

void TPreviewCanvas::UpdateScrollBars() {
    const QSize shown = size_.isEmpty() ? QSize(0, 0) : ShownSize();
    const QSize room = viewport()->size();
    horizontalScrollBar()->setRange(0, fit_ ? 0 : std::max(0, shown.width() - room.width()));
    verticalScrollBar()->setRange(0, fit_ ? 0 : std::max(0, shown.height() - room.height()));
    horizontalScrollBar()->setPageStep(room.width());
    verticalScrollBar()->setPageStep(room.height());
    UpdateCursor();
}

void TPreviewCanvas::UpdateCursor() {
    if (Scrollable()) {
        viewport()->setCursor(Qt::OpenHandCursor);
    } else {
        viewport()->unsetCursor();
    }
}

// Another copy is wanted when there is none yet, when the one there is a smaller copy than is shown now, or
// when it is more than twice as large as shown (a smaller level then looks better than the painter's sampling
// of a large one); asked once for each shown size. While a copy asked for has not come, the shown size is
// told again whenever it changes, as the copy on its way may no longer be the one wanted.
bool TPreviewCanvas::WantsAnotherCopy(QSize shown) const {
    if (size_.isEmpty() || unavailable_ || shown == askedFor_) {
        return false;
    }
    if (waiting_) {
        return true;
    }
    const bool outgrown =
        drawn_.size() != size_ && (drawn_.width() < shown.width() || drawn_.height() < shown.height());
    const bool tooLarge = drawn_.width() >= 2 * shown.width() && drawn_.height() >= 2 * shown.height();
    return drawn_.isNull() || outgrown || tooLarge;
}

const QImage& TPreviewCanvas::Scaled(QSize shown) {
    if (scaled_.size() != shown) {
        scaled_ = QImage(shown, QImage::Format_ARGB32_Premultiplied);
        scaled_.fill(Qt::transparent);
        QPainter painter(&scaled_);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(QRect(QPoint(0, 0), shown), drawn_);
    }
    return scaled_;
}
