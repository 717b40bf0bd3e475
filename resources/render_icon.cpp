// Build-time tool: renders an SVG file to a square PNG of a given size with a transparent
// background. Used for the fixed-size application icons of the hicolor theme.
//
//   larkspan_render_icon <input.svg> <size> <output.png>

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char** argv) {
    // A build machine has no display; the offscreen platform is all the renderer needs.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <input.svg> <size> <output.png>\n", argv[0]);
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    bool ok = false;
    const int side = QByteArray(argv[2]).toInt(&ok);
    const QString output = QString::fromLocal8Bit(argv[3]);
    if (!ok || side <= 0) {
        std::fprintf(stderr, "invalid size: %s\n", argv[2]);
        return 2;
    }

    QSvgRenderer renderer(input);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter, QRectF(0, 0, side, side));
    }
    QDir().mkpath(QFileInfo(output).absolutePath());
    if (!image.save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
