#include "app/image_list.h"

#include <QFile>
#include <QPainter>
#include <QPixmap>
#include <QString>
#ifndef PARLIVEX_PNG_ICONS
#include <QSvgRenderer>
#endif

// The resources live in a static library: register them before the first look-up. (Outside any namespace, as
// the registration function is a global one.)
static void InitResources() {
    Q_INIT_RESOURCE(parlivex);
}

namespace {

// The pictures are SVG files; builds without Qt's SVG module carry them rendered to PNG at build time
// instead, as "<name>-<size>.png" in 16, 24, 32, 48, 64 and 128 pixels.
#ifdef PARLIVEX_PNG_ICONS
QString PictureResource(const QString& name) {
    return name + QStringLiteral("-16.png");
}

QImage RenderPicture(const QString& resource, int size) {
    const QString name = resource.left(resource.size() - int(sizeof "-16.png") + 1);
    QImage image(QStringLiteral("%1-%2.png").arg(name).arg(size));
    if (image.isNull()) {
        image = QImage(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
#else
QString PictureResource(const QString& name) {
    return name + QStringLiteral(".svg");
}

QImage RenderPicture(const QString& resource, int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    if (renderer.isValid()) {
        QPainter painter(&image);
        renderer.render(&painter);
    }
    return image;
}
#endif

} // namespace

TImageList::TImageList(QObject* parent) : QObject(parent) {
    InitResources();
    icons_.reserve(kCount);
    images_.reserve(kCount);
    for (int index = 0; index < kCount; ++index) {
        const QString resource = PictureResource(QStringLiteral(":/imagelist/%1").arg(index));
        QIcon icon;
        QImage image;
        if (QFile::exists(resource)) {
            image = RenderPicture(resource, kIconSize);
            const QPixmap picture = QPixmap::fromImage(image);
            const QPixmap sharper =
                QPixmap::fromImage(RenderPicture(resource, 2 * kIconSize)); // for 2x screens
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
        icon.addPixmap(
            QPixmap::fromImage(RenderPicture(PictureResource(QStringLiteral(":/app/parlivex")), size)));
    }
    return icon;
}
