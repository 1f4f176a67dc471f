// Renders SVG pictures to PNG files, for builds whose Qt cannot draw SVG (the Windows cross build): the
// SVG sources stay the only pictures kept in the repository.
//   render_icons OUTDIR SIZE[,SIZE...] FILE.svg...
// writes OUTDIR/NAME-SIZE.png for every file and size.
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fputs("usage: render_icons OUTDIR SIZE[,SIZE...] FILE.svg...\n", stderr);
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "render_icons: cannot create %s\n", argv[1]);
        return 1;
    }
    const QStringList sizes = QString::fromLocal8Bit(argv[2]).split(QLatin1Char(','));
    for (int i = 3; i < argc; ++i) {
        const QString svg = QString::fromLocal8Bit(argv[i]);
        QSvgRenderer renderer(svg);
        if (!renderer.isValid()) {
            std::fprintf(stderr, "render_icons: cannot read %s\n", argv[i]);
            return 1;
        }
        for (const QString& sizeText : sizes) {
            const int size = sizeText.toInt();
            QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            {
                QPainter painter(&image);
                renderer.render(&painter);
            }
            const QString png = out.filePath(QFileInfo(svg).completeBaseName() + QLatin1Char('-') + sizeText +
                                             QStringLiteral(".png"));
            if (size <= 0 || !image.save(png, "PNG")) {
                std::fprintf(stderr, "render_icons: cannot write %s\n", qPrintable(png));
                return 1;
            }
        }
    }
    return 0;
}
