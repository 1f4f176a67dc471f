#include "app/image_list.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <QSvgRenderer>

// The resources live in a static library: register them before the first look-up. (Outside any namespace, as
// the registration function is a global one.)
static void InitResources() {
    Q_INIT_RESOURCE(parlivex);
}

namespace {

QImage RenderSvg(const QString& resource, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    return image;
}

} // namespace

TImageList::TImageList(QObject* parent) : QObject(parent) {
    InitResources();
    icons_.reserve(kCount);
    images_.reserve(kCount);
    for (int index = 0; index < kCount; ++index) {
        const QString resource = QStringLiteral(":/imagelist/%1.svg").arg(index);
        QIcon icon;
        QImage image;
        if (QFile::exists(resource)) {
            image = RenderSvg(resource, kIconSize);
            const QPixmap picture = QPixmap::fromImage(image);
            const QPixmap sharper = QPixmap::fromImage(RenderSvg(resource, 2 * kIconSize)); // for 2x screens
            // The same picture whether the row or item is selected or under the mouse (the style would tint
            // it otherwise).
            for (const QIcon::Mode mode : {QIcon::Normal, QIcon::Active, QIcon::Selected}) {
                icon.addPixmap(picture, mode);
                icon.addPixmap(sharper, mode);
            }
        } else {
            image = QImage(kIconSize, kIconSize, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            icon.addPixmap(QPixmap::fromImage(image));
        }
        icons_.push_back(icon);
        images_.push_back(image);
    }
}

const QIcon& TImageList::Icon(int index) const {
    return index >= 0 && index < Count() ? icons_[static_cast<size_t>(index)] : none_;
}

QImage TImageList::Image(int index) const {
    return index >= 0 && index < Count() ? images_[static_cast<size_t>(index)] : QImage();
}

QIcon TImageList::IconInEveryState(int index) const {
    QIcon icon;
    const QPixmap pixmap = QPixmap::fromImage(Image(index));
    icon.addPixmap(pixmap, QIcon::Normal);
    icon.addPixmap(pixmap, QIcon::Disabled);
    return icon;
}

QIcon ApplicationIcon() {
    InitResources();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128}) {
        icon.addPixmap(QPixmap::fromImage(RenderSvg(QStringLiteral(":/app/parlivex.svg"), size)));
    }
    return icon;
}
