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
    placed_ = false;
    Place(StandardPlace());
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
    placed_ = false;
    // 1:1 starts at the picture's middle.
    const QSize shown = ShownSize();
    const QSize room = Room();
    Place(QPoint((shown.width() - room.width()) / 2, (shown.height() - room.height()) / 2));
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
    const QRect target(Origin(), shown);
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
    if (!placing_) {
        // A picture the wheel put somewhere stays there; otherwise it is centred or kept in range.
        Place(placed_ ? QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value())
                      : StandardPlace());
    }
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
    const QPointF onPicture = PictureAt(at);
    zoom_ = std::clamp(Zoom() * std::pow(1.25, steps), 1.0 / 64, 64.0);
    if (fit_) {
        fit_ = false;
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    // Wherever that puts the picture, even beside the middle of a view wider than it or with a margin beside
    // it in a view narrower than it: the scroll bars reach from there to the usual places.
    placed_ = true;
    Place(QPoint(int(std::lround(onPicture.x() * zoom_ - at.x())),
                 int(std::lround(onPicture.y() * zoom_ - at.y()))));
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

QPointF TPreviewCanvas::PictureAt(QPointF viewPoint) const {
    return (viewPoint - QPointF(Origin())) / Zoom();
}

QPoint TPreviewCanvas::Origin() const {
    return -QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

bool TPreviewCanvas::Scrollable() const {
    return horizontalScrollBar()->maximum() > horizontalScrollBar()->minimum() ||
           verticalScrollBar()->maximum() > verticalScrollBar()->minimum();
}

namespace {

// Where the view's edge lies on one axis when nothing placed the picture: a picture smaller than the view in
// its middle, a larger one scrolled no further than its ends.
int StandardEdge(int shown, int room, int edge) {
    return shown <= room ? -((room - shown) / 2) : std::clamp(edge, 0, shown - room);
}

// The scroll bar of one axis with the view's edge at `edge` (picture pixels as shown; negative when the
// picture begins inside the view). It reaches every edge that shows as much of a picture larger than the
// view as there is, and from there to `edge`; for a smaller picture, `edge` alone while the picture lies
// wholly in the view, else from `edge` to where it would.
void PlaceAxis(QScrollBar& bar, int shown, int room, int edge) {
    int low = edge;
    int high = edge;
    if (shown > room) {
        low = std::min(edge, 0);
        high = std::max(edge, shown - room);
    } else if (edge > 0) {
        low = 0; // its start is cut off
    } else if (edge < shown - room) {
        high = shown - room; // its end is cut off
    }
    bar.setRange(low, high);
    bar.setValue(edge);
    bar.setPageStep(room);
}

} // namespace

QPoint TPreviewCanvas::StandardPlace() const {
    const QSize shown = size_.isEmpty() ? QSize(0, 0) : ShownSize();
    const QSize room = Room();
    return QPoint(StandardEdge(shown.width(), room.width(), horizontalScrollBar()->value()),
                  StandardEdge(shown.height(), room.height(), verticalScrollBar()->value()));
}

void TPreviewCanvas::Place(QPoint edges) {
    // Scroll bars that come or go change the room, and with it the ranges: once more for the new room.
    for (int round = 0; round < 3; ++round) {
        const QSize shown = size_.isEmpty() ? QSize(0, 0) : ShownSize();
        const QSize room = Room();
        placing_ = true;
        PlaceAxis(*horizontalScrollBar(), shown.width(), room.width(), edges.x());
        PlaceAxis(*verticalScrollBar(), shown.height(), room.height(), edges.y());
        placing_ = false;
        if (Room() == room) {
            break;
        }
        if (!placed_) {
            edges = StandardPlace();
        }
    }
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
