#include "app/preview_window.h"

#include <QAbstractScrollArea>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <memory>
#include <new>
#include <span>
#include <thread>

#include "app/qt_text.h"
#include "archive/bsa_file.h"
#include "base/exceptions.h"
#include "extract/entry_fetch.h"
#include "extract/entry_path.h"
#include "platform/locale.h"
#include "texture/dds_decode.h"
#include "texture/texture_error.h"

namespace {

constexpr size_t kHexViewBytes = 64 * 1024;
constexpr int kCheckerSquare = 8;

QString LowerExtension(const std::u16string& ext) {
    return ToQString(ext).toLower();
}

bool IsTextExtension(const QString& ext) {
    static const std::array<const char*, 10> kText = {".txt", ".ini", ".xml", ".json", ".csv",
                                                      ".psc", ".lst", ".cfg", ".log",  ".md"};
    return std::any_of(kText.begin(), kText.end(), [&](const char* e) { return ext == QLatin1String(e); });
}

// The format name Qt's image readers know the extension by, or null.
const char* QtImageFormat(const QString& ext) {
    if (ext == QLatin1String(".png"))
        return "PNG";
    if (ext == QLatin1String(".jpg") || ext == QLatin1String(".jpeg"))
        return "JPEG";
    if (ext == QLatin1String(".bmp"))
        return "BMP";
    if (ext == QLatin1String(".tga"))
        return "TGA";
    return nullptr;
}

bool IsValidUtf8(const TBytes& bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const uint8_t b = bytes[i];
        size_t extra = 0;
        uint32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07;
        } else {
            return false;
        }
        if (n - i <= extra) {
            return false;
        }
        for (size_t k = 1; k <= extra; ++k) {
            if ((bytes[i + k] & 0xC0) != 0x80) {
                return false;
            }
            cp = cp << 6 | (bytes[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
        static constexpr uint32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

QString HexView(const TBytes& bytes) {
    const size_t shown = std::min(bytes.size(), kHexViewBytes);
    QString out;
    out.reserve(qsizetype(shown / 16 + 1) * 78);
    static const char kDigits[] = "0123456789abcdef";
    for (size_t row = 0; row < shown; row += 16) {
        out += QStringLiteral("%1  ").arg(qulonglong(row), 8, 16, QLatin1Char('0'));
        for (size_t k = 0; k < 16; ++k) {
            if (row + k < shown) {
                out += QLatin1Char(kDigits[bytes[row + k] >> 4]);
                out += QLatin1Char(kDigits[bytes[row + k] & 15]);
                out += QLatin1Char(' ');
            } else {
                out += QLatin1String("   ");
            }
            if (k == 7) {
                out += QLatin1Char(' ');
            }
        }
        out += QLatin1Char(' ');
        for (size_t k = 0; k < 16 && row + k < shown; ++k) {
            const uint8_t b = bytes[row + k];
            out += QLatin1Char(b >= 0x20 && b < 0x7F ? char(b) : '.');
        }
        out += QLatin1Char('\n');
    }
    if (bytes.size() > shown) {
        out += QStringLiteral("… the first %1 of %2 bytes\n").arg(shown).arg(bytes.size());
    }
    return out;
}

// Every pixel's alpha as grey, opaque.
QImage AlphaAsGrey(const QImage& rgba) {
    QImage grey(rgba.size(), QImage::Format_RGBA8888);
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar* from = rgba.constScanLine(y);
        uchar* to = grey.scanLine(y);
        for (int x = 0; x < rgba.width(); ++x) {
            const uchar a = from[4 * x + 3];
            to[4 * x] = to[4 * x + 1] = to[4 * x + 2] = a;
            to[4 * x + 3] = 255;
        }
    }
    return grey;
}

// A picture over decoded pixels, which it takes over without a copy.
QImage WrapDecoded(RgbaImage&& decoded) {
    auto pixels = std::make_unique<PixelBytes>(std::move(decoded.pixels));
    QImage image(
        pixels->data(), int(decoded.width), int(decoded.height), qsizetype(decoded.width) * 4,
        QImage::Format_RGBA8888, [](void* held) { delete static_cast<PixelBytes*>(held); }, pixels.get());
    if (image.isNull()) {
        throw std::bad_alloc();
    }
    pixels.release(); // the picture frees them
    return image;
}

// Threads for decoding a large texture: as many as there are cores, within reason.
unsigned DecodingThreads() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

} // namespace

// The picture over a checkerboard in a scrolling view: fitted to the view, without scroll bars, or at a zoom
// that the wheel changes (1:1 from a button), with scroll bars, dragging and the arrow keys when it is larger
// than the view. The picture comes from a source that may hand a smaller copy (a smaller mip level) while
// that is as large as the picture is shown; it is asked again when the shown size outgrows it.
class TPreviewCanvas : public QAbstractScrollArea {
public:
    // The picture (or a copy of it at least shownSize large), or a null image when it cannot be had.
    using PictureSource = std::function<QImage(QSize shownSize)>;

    explicit TPreviewCanvas(QWidget* parent) : QAbstractScrollArea(parent) {
        setObjectName(QStringLiteral("PreviewCanvas"));
        setMinimumSize(64, 64);
        setFrameShape(QFrame::NoFrame);
        setFocusPolicy(Qt::StrongFocus);
        for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
            bar->setSingleStep(32);
        }
        QImage checker(2 * kCheckerSquare, 2 * kCheckerSquare, QImage::Format_RGB32);
        checker.fill(QColor(204, 204, 204));
        for (const QPoint corner : {QPoint(kCheckerSquare, 0), QPoint(0, kCheckerSquare)}) {
            for (int y = 0; y < kCheckerSquare; ++y) {
                for (int x = 0; x < kCheckerSquare; ++x) {
                    checker.setPixelColor(corner + QPoint(x, y), QColor(153, 153, 153));
                }
            }
        }
        checker_ = QBrush(checker);
        SetFit(true);
    }

    // Shows a picture of `size` pixels from `source`, at the fit or zoom chosen before.
    void SetPicture(QSize size, PictureSource source) {
        size_ = size;
        source_ = std::move(source);
        drawn_ = scaled_ = QImage();
        askedFor_ = QSize();
        sourceFailed_ = false;
        UpdateScrollBars();
        viewport()->update();
    }
    // Asks the source now for the picture at the size it is shown, so that a failure shows at once.
    void Prepare() { Drawn(ShownSize()); }
    // The picture at its own size; null when there is none.
    const QImage& FullPicture() { return Drawn(size_); }

    void SetFit(bool fit) {
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
    bool Fit() const { return fit_; }
    double Zoom() const { return fit_ ? FitZoom() : zoom_; }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(viewport());
        painter.fillRect(event->rect(), palette().window());
        const QSize shown = ShownSize();
        const QImage& drawn = Drawn(shown);
        if (drawn.isNull()) {
            return;
        }
        const QRect target(Origin(shown), shown);
        painter.setBrushOrigin(target.topLeft());
        painter.fillRect(target.intersected(event->rect()), checker_);
        if (drawn.size() == shown) {
            painter.drawImage(target.topLeft(), drawn);
        } else if (shown.width() < drawn.width()) {
            painter.drawImage(target.topLeft(), Scaled(drawn, shown));
        } else {
            // Enlarged: each pixel a square; the painter draws only the part in view.
            painter.drawImage(target, drawn);
        }
    }
    void resizeEvent(QResizeEvent* event) override {
        QAbstractScrollArea::resizeEvent(event);
        UpdateScrollBars();
    }
    void scrollContentsBy(int, int) override { viewport()->update(); }

    // Zooms about the point under the pointer.
    void wheelEvent(QWheelEvent* event) override {
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
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || !Scrollable()) {
            QAbstractScrollArea::mousePressEvent(event);
            return;
        }
        dragFrom_ = event->position().toPoint();
        dragScroll_ = QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
        dragging_ = true;
        viewport()->setCursor(Qt::ClosedHandCursor);
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!dragging_) {
            QAbstractScrollArea::mouseMoveEvent(event);
            return;
        }
        const QPoint moved = event->position().toPoint() - dragFrom_;
        horizontalScrollBar()->setValue(dragScroll_.x() - moved.x());
        verticalScrollBar()->setValue(dragScroll_.y() - moved.y());
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (!dragging_ || event->button() != Qt::LeftButton) {
            QAbstractScrollArea::mouseReleaseEvent(event);
            return;
        }
        dragging_ = false;
        UpdateCursor();
    }

private:
    // The room the picture has: in fit mode there are no scroll bars, so all of the widget but its frame.
    QSize Room() const { return fit_ ? contentsRect().size() : viewport()->size(); }
    double FitZoom() const {
        if (size_.isEmpty()) {
            return 1.0;
        }
        const QSize room = Room();
        return std::min({1.0, double(room.width()) / size_.width(), double(room.height()) / size_.height()});
    }
    QSize ShownSize() const {
        const double zoom = Zoom();
        return QSize(std::max(1, int(std::lround(size_.width() * zoom))),
                     std::max(1, int(std::lround(size_.height() * zoom))));
    }
    // Where the picture's top left corner lies in the view: centred when it is smaller, else scrolled.
    QPoint Origin(QSize shown) const {
        const QSize room = Room();
        return QPoint(shown.width() <= room.width() ? (room.width() - shown.width()) / 2
                                                    : -horizontalScrollBar()->value(),
                      shown.height() <= room.height() ? (room.height() - shown.height()) / 2
                                                      : -verticalScrollBar()->value());
    }
    bool Scrollable() const {
        return horizontalScrollBar()->maximum() > 0 || verticalScrollBar()->maximum() > 0;
    }

    void UpdateScrollBars() {
        const QSize shown = size_.isEmpty() ? QSize(0, 0) : ShownSize();
        const QSize room = viewport()->size();
        horizontalScrollBar()->setRange(0, fit_ ? 0 : std::max(0, shown.width() - room.width()));
        verticalScrollBar()->setRange(0, fit_ ? 0 : std::max(0, shown.height() - room.height()));
        horizontalScrollBar()->setPageStep(room.width());
        verticalScrollBar()->setPageStep(room.height());
        UpdateCursor();
    }
    void UpdateCursor() {
        if (Scrollable()) {
            viewport()->setCursor(Qt::OpenHandCursor);
        } else {
            viewport()->unsetCursor();
        }
    }

    // The picture to draw at `shown`: asked of the source when there is none yet, when the one there is a
    // smaller copy than is shown now, or when it is more than twice as large as shown (a smaller level then
    // looks better than the painter's sampling of a large one).
    const QImage& Drawn(QSize shown) {
        const bool outgrown =
            drawn_.size() != size_ && (drawn_.width() < shown.width() || drawn_.height() < shown.height());
        const bool tooLarge = shown != askedFor_ && drawn_.width() >= 2 * shown.width() &&
                              drawn_.height() >= 2 * shown.height();
        if (source_ && !sourceFailed_ && (drawn_.isNull() || outgrown || tooLarge)) {
            askedFor_ = shown;
            drawn_ = source_(shown);
            scaled_ = QImage();
            sourceFailed_ = drawn_.isNull();
        }
        return drawn_;
    }
    // The drawn picture made smaller to `shown`, kept while the zoom stays, so that repainting (scrolling,
    // a window over it) does not scale it again.
    const QImage& Scaled(const QImage& drawn, QSize shown) {
        if (scaled_.size() != shown) {
            scaled_ = QImage(shown, QImage::Format_ARGB32_Premultiplied);
            scaled_.fill(Qt::transparent);
            QPainter painter(&scaled_);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.drawImage(QRect(QPoint(0, 0), shown), drawn);
        }
        return scaled_;
    }

    QSize size_;
    PictureSource source_;
    bool sourceFailed_ = false;
    QSize askedFor_; // the shown size drawn_ was asked for
    QImage drawn_;
    QImage scaled_;
    QBrush checker_;
    bool fit_ = true;
    double zoom_ = 1.0;
    bool dragging_ = false;
    QPoint dragFrom_;
    QPoint dragScroll_;
};

bool DecodeAsText(const TBytes& bytes, QString& text) {
    for (const uint8_t b : bytes) {
        if ((b < 0x20 && b != '\t' && b != '\n' && b != '\f' && b != '\r') || b == 0x7F) {
            return false;
        }
    }
    if (IsValidUtf8(bytes)) {
        text = QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        return true;
    }
    // Bytes that Windows-1252 leaves undefined are no text in it either.
    for (const uint8_t b : bytes) {
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) {
            return false;
        }
    }
    text = ToQString(
        platform::AnsiToUnicode(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())));
    return true;
}

TPreviewWindow::TPreviewWindow(TwbBSAFile& reader, const std::u16string& entry, QWidget* parent)
    : QWidget(parent, Qt::Window), entry_(entry) {
    setObjectName(QStringLiteral("PreviewWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(ToQString(entry) + QStringLiteral(" - Parlivex"));
    resize(720, 560);
    auto* layout = new QVBoxLayout(this);
    info_ = new QLabel(this);
    info_->setObjectName(QStringLiteral("PreviewInfo"));
    info_->setWordWrap(true);
    info_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Maximum);
    info_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(info_);
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(shortcut, &QShortcut::activated, this, &QWidget::close);

    const rFileData parts = SplitEntryPath(entry);
    // The entry string as the listing gave it: a "/" in it is part of a name.
    const std::optional<TEntryRef> found = reader.FindEntry(entry);
    if (!found) {
        ShowFetchFailure(QStringLiteral("not found in the archive"));
        return;
    }
    TEntryDescription description;
    if (DescribeEntry(reader, *found, description)) {
        storage_ = QStringLiteral("%1, %2 bytes stored")
                       .arg(ToQString(PackingName(description.packing)))
                       .arg(description.storage.storedSize);
    }
    if (const TFetchResult fetched = FetchEntry(reader, *found, data_); !fetched) {
        ShowFetchFailure(ToQString(fetched.reason));
        return;
    }
    storage_ += QStringLiteral(", %1 bytes uncompressed").arg(data_.size());
    const QString ext = LowerExtension(parts.fExt);
    QString text;
    if (ext == QLatin1String(".dds")) {
        ShowDds();
    } else if (QtImageFormat(ext) != nullptr) {
        ShowQtImage();
    } else if ((IsTextExtension(ext) || !data_.empty()) && DecodeAsText(data_, text)) {
        ShowText(text);
    } else {
        ShowBinary();
    }
}

QString TPreviewWindow::InfoText() const {
    return info_->text();
}

const QImage& TPreviewWindow::ShownImage() {
    static const QImage none;
    return canvas_ != nullptr ? canvas_->FullPicture() : none;
}

void TPreviewWindow::ShowFetchFailure(const QString& reason) {
    kind_ = Kind::Error;
    info_->setText(QStringLiteral("Cannot show %1: %2").arg(ToQString(entry_), reason));
    layout()->addItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Expanding));
}

void TPreviewWindow::ShowImageControls(bool dds) {
    auto* bar = new QHBoxLayout;
    fitButton_ = new QPushButton(QStringLiteral("Fit"), this);
    fitButton_->setObjectName(QStringLiteral("PreviewFit"));
    auto* actualButton = new QPushButton(QStringLiteral("1:1"), this);
    actualButton->setObjectName(QStringLiteral("PreviewActualSize"));
    connect(fitButton_, &QPushButton::clicked, this, [this] { canvas_->SetFit(true); });
    connect(actualButton, &QPushButton::clicked, this, [this] { canvas_->SetFit(false); });
    bar->addWidget(fitButton_);
    bar->addWidget(actualButton);
    if (dds) {
        mipChoice_ = new QComboBox(this);
        mipChoice_->setObjectName(QStringLiteral("PreviewMip"));
        for (uint32_t mip = 0; mip < dds_.mipCount; ++mip) {
            mipChoice_->addItem(
                QStringLiteral("Mip %1: %2×%3").arg(mip).arg(MipWidth(dds_, mip)).arg(MipHeight(dds_, mip)));
        }
        faceChoice_ = new QComboBox(this);
        faceChoice_->setObjectName(QStringLiteral("PreviewFace"));
        static const char* const kFaces[] = {"+X", "-X", "+Y", "-Y", "+Z", "-Z"};
        for (uint32_t layer = 0; layer < dds_.layerCount; ++layer) {
            faceChoice_->addItem(dds_.cubeMap
                                     ? QStringLiteral("Face %1 (%2)").arg(layer % 6).arg(kFaces[layer % 6])
                                     : QStringLiteral("Layer %1").arg(layer));
        }
        faceChoice_->setEnabled(dds_.layerCount > 1);
        mipChoice_->setEnabled(dds_.mipCount > 1);
        connect(mipChoice_, &QComboBox::currentIndexChanged, this, [this] { ShowDdsSurface(); });
        connect(faceChoice_, &QComboBox::currentIndexChanged, this, [this] { ShowDdsSurface(); });
        bar->addWidget(mipChoice_);
        bar->addWidget(faceChoice_);
    }
    alphaOnly_ = new QCheckBox(QStringLiteral("Alpha only"), this);
    alphaOnly_->setObjectName(QStringLiteral("PreviewAlphaOnly"));
    connect(alphaOnly_, &QCheckBox::toggled, this, [this, dds] { dds ? ShowDdsSurface() : ShowQtPicture(); });
    bar->addWidget(alphaOnly_);
    bar->addStretch(1);
    static_cast<QVBoxLayout*>(layout())->addLayout(bar);
    canvas_ = new TPreviewCanvas(this);
    static_cast<QVBoxLayout*>(layout())->addWidget(canvas_, 1);
    // The canvas's size is known from here on, so the first picture can be chosen for it.
    layout()->activate();
    canvas_->setFocus();
}

void TPreviewWindow::ShowDds() {
    try {
        dds_ = ReadDdsHeader(std::span<const uint8_t>(data_));
    } catch (const ETextureError& e) {
        ShowFetchFailure(ToQString(e.Message()));
        return;
    }
    kind_ = Kind::Image;
    ShowImageControls(true);
    ShowDdsSurface();
}

void TPreviewWindow::ShowDdsSurface() {
    const uint32_t mip = uint32_t(std::max(0, mipChoice_->currentIndex()));
    const uint32_t layer = uint32_t(std::max(0, faceChoice_->currentIndex()));
    QString facts = QStringLiteral("DDS %1, %2×%3, %4 mip level%5")
                        .arg(QString::fromStdString(dds_.formatName))
                        .arg(dds_.width)
                        .arg(dds_.height)
                        .arg(dds_.mipCount)
                        .arg(dds_.mipCount == 1 ? "" : "s");
    if (dds_.layerCount > 1) {
        facts += QStringLiteral(", %1 %2").arg(dds_.layerCount).arg(dds_.cubeMap ? "cube faces" : "layers");
    }
    info_->setText(facts + QStringLiteral("; %1").arg(storage_));
    if (layer != levelsLayer_) {
        levels_.clear();
        levelsLayer_ = layer;
    }
    const bool alphaOnly = alphaOnly_->isChecked();
    // Shown smaller than the level chosen, the smallest level that is still at least as large looks the same
    // and takes a fraction of the decoding: a 4096×4096 texture fitted into the window draws from 512×512.
    canvas_->SetPicture(
        QSize(int(MipWidth(dds_, mip)), int(MipHeight(dds_, mip))),
        [this, layer, mip, alphaOnly, facts](QSize shown) {
            uint32_t level = mip;
            while (level + 1 < dds_.mipCount && MipWidth(dds_, level + 1) >= uint32_t(shown.width()) &&
                   MipHeight(dds_, level + 1) >= uint32_t(shown.height())) {
                ++level;
            }
            try {
                const QImage& picture = DecodedLevel(layer, level);
                return alphaOnly ? AlphaAsGrey(picture) : picture;
            } catch (const ETextureError& e) {
                info_->setText(facts + QStringLiteral("; cannot show it: ") + ToQString(e.Message()));
            } catch (const std::bad_alloc&) {
                info_->setText(facts + QStringLiteral("; cannot show it: out of memory"));
            }
            return QImage();
        });
    canvas_->Prepare();
}

const QImage& TPreviewWindow::DecodedLevel(uint32_t layer, uint32_t mip) {
    auto found = levels_.find(mip);
    if (found == levels_.end()) {
        QImage decoded = WrapDecoded(
            DecodeDdsSurface(dds_, std::span<const uint8_t>(data_), layer, mip, DecodingThreads()));
        found = levels_.emplace(mip, std::move(decoded)).first;
    }
    return found->second;
}

void TPreviewWindow::ShowQtImage() {
    const QString ext = LowerExtension(SplitEntryPath(entry_).fExt);
    QImage loaded;
    if (!loaded.loadFromData(data_.data(), int(std::min<size_t>(data_.size(), INT32_MAX)),
                             QtImageFormat(ext))) {
        ShowFetchFailure(QStringLiteral("not a readable %1 image").arg(QLatin1String(QtImageFormat(ext))));
        return;
    }
    kind_ = Kind::Image;
    picture_ = loaded.convertToFormat(QImage::Format_RGBA8888);
    ShowImageControls(false);
    ShowQtPicture();
    info_->setText(QStringLiteral("%1, %2×%3, 1 mip level; %4")
                       .arg(QLatin1String(QtImageFormat(ext)))
                       .arg(picture_.width())
                       .arg(picture_.height())
                       .arg(storage_));
}

void TPreviewWindow::ShowQtPicture() {
    const QImage shown = alphaOnly_->isChecked() ? AlphaAsGrey(picture_) : picture_;
    canvas_->SetPicture(shown.size(), [shown](QSize) { return shown; });
}

void TPreviewWindow::ShowText(const QString& text) {
    kind_ = Kind::Text;
    info_->setText(QStringLiteral("Text, %1 bytes; %2").arg(data_.size()).arg(storage_));
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("PreviewText"));
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setPlainText(text);
    static_cast<QVBoxLayout*>(layout())->addWidget(text_, 1);
    findBox_ = new QLineEdit(this);
    findBox_->setObjectName(QStringLiteral("PreviewFind"));
    findBox_->setPlaceholderText(QStringLiteral("Find (Enter: next)"));
    findBox_->hide();
    layout()->addWidget(findBox_);
    connect(findBox_, &QLineEdit::returnPressed, this, &TPreviewWindow::FindNext);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &TPreviewWindow::OpenFindBox);
    text_->installEventFilter(this);
    text_->setFocus();
}

void TPreviewWindow::OpenFindBox() {
    findBox_->show();
    findBox_->setFocus();
    findBox_->selectAll();
}

bool TPreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == text_ && findBox_ != nullptr &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        static_cast<QKeyEvent*>(event)->matches(QKeySequence::Find)) {
        if (event->type() == QEvent::KeyPress) {
            OpenFindBox();
        }
        event->accept();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TPreviewWindow::FindNext() {
    const QString wanted = findBox_->text();
    if (wanted.isEmpty()) {
        return;
    }
    if (!text_->find(wanted)) {
        // From the top once more, so that Enter goes round.
        text_->moveCursor(QTextCursor::Start);
        text_->find(wanted);
    }
}

void TPreviewWindow::ShowBinary() {
    kind_ = Kind::Binary;
    info_->setText(QStringLiteral("%1 bytes; %2").arg(data_.size()).arg(storage_));
    text_ = new QPlainTextEdit(this);
    text_->setObjectName(QStringLiteral("PreviewHex"));
    text_->setReadOnly(true);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setPlainText(HexView(data_));
    static_cast<QVBoxLayout*>(layout())->addWidget(text_, 1);
}
