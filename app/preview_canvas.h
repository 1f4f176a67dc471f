#pragma once
// The preview's picture over a checkerboard in a scrolling view: fitted to the view, without scroll bars, or
// at a zoom that the wheel changes about the pointer (1:1 from a button), with scroll bars, dragging and the
// arrow keys when it is larger than the view. The point under the pointer stays there whatever the zoom, also
// while the picture is smaller than the view.
//
// The canvas draws what it was given and never makes pictures itself: its owner says how large the picture
// is (SetPicture) and hands it a copy to draw (SetDrawn), which may be smaller (a smaller mip level) while
// that is as large as the picture is shown. When a paint finds the copy too small for the size the picture is
// shown at now, or far larger than needed, it draws what it has, scaled, and asks for another copy with
// DrawnSizeWanted, which reaches the owner after the paint; the copy arrives later.
#include <QAbstractScrollArea>
#include <QBrush>
#include <QImage>
#include <QSize>

class TPreviewCanvas : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit TPreviewCanvas(QWidget* parent);

    // A new picture of `size` pixels, with nothing to draw yet; shown at the fit or zoom chosen before.
    void SetPicture(QSize size);
    // The copy of the picture to draw, at any size (drawn scaled to the size the picture is shown at), in
    // answer to DrawnSizeWanted or not; a null image draws nothing.
    void SetDrawn(const QImage& drawn);
    // No copy will come for this picture (it cannot be decoded): draw nothing and ask no more, until the
    // next SetPicture.
    void SetUnavailable();
    const QImage& Drawn() const { return drawn_; }

    void SetFit(bool fit);
    bool Fit() const { return fit_; }
    double Zoom() const { return fit_ ? FitZoom() : zoom_; }
    // The picture's size as it is drawn now: its size times the zoom, at least 1×1.
    QSize ShownSize() const;
    // The point of the picture (in its own pixels) at viewPoint of the view; outside it when the point is.
    QPointF PictureAt(QPointF viewPoint) const;

signals:
    // A copy of the picture at least `shown` large (and not much larger) would be drawn better than the one
    // there is. Sent after the paint that found it, once for each shown size; until a copy comes, again
    // after each paint at another size.
    void DrawnSizeWanted(QSize shown);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The room the picture has: in fit mode there are no scroll bars, so all of the widget but its frame.
    QSize Room() const;
    double FitZoom() const;
    // Where the picture's top left corner lies in the view: the scroll bars' values, negated. The picture is
    // placed by setting them (Place): centred when it is smaller than the view, unless the wheel zoomed it
    // about the pointer somewhere else.
    QPoint Origin() const;
    bool Scrollable() const;
    // The view's edges (the scroll bars' values) when nothing else placed the picture.
    QPoint StandardPlace() const;
    // The view's top left corner at `edges` of the picture as shown, with scroll bars that reach from there.
    void Place(QPoint edges);
    void UpdateCursor();
    // Whether another copy should be asked for to draw the picture at `shown`.
    bool WantsAnotherCopy(QSize shown) const;
    // The drawn copy made smaller to `shown`, kept while the zoom stays, so that repainting (scrolling, a
    // window over it) does not scale it again.
    const QImage& Scaled(QSize shown);

    QSize size_;
    QImage drawn_;
    QImage scaled_;
    bool unavailable_ = false;
    QSize askedFor_;       // the shown size another copy was last asked for
    bool waiting_ = false; // for the copy asked for
    QBrush checker_;
    bool fit_ = true;
    double zoom_ = 1.0;
    bool placed_ = false;  // the wheel placed the picture: kept where it is when the view is resized
    bool placing_ = false; // inside Place, whose scroll bars resize the view
    bool dragging_ = false;
    QPoint dragFrom_;
    QPoint dragScroll_;
};
