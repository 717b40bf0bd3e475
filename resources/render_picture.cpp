// Build-time tool: renders SVG drawings to PNG pictures of given pixel sizes with a transparent
// background (or, for an output named .bmp, to a bitmap without transparency, as the pages of
// Windows' installer take them). The program shows these PNGs (at one, two and three times their size, for screens
// of any density) and the desktop's theme icons are made of them, so the program itself needs no
// SVG renderer.
//
//   larkspan_render_picture <input.svg> <size>|<width>x<height> <output.png|.bmp> [...]
//   larkspan_render_picture --ico <output.ico> <input.png>...
//
// Each group of three arguments is one picture; one run renders them all, since starting the
// renderer costs more than drawing a picture. The second form packs PNGs into a Windows icon
// file (the icon resource of larkspan.exe).

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

namespace {

// "16" or "42x16".
bool ParseSize(const QByteArray& text, QSize& size) {
    const QList<QByteArray> parts = text.split('x');
    bool okWidth = false;
    bool okHeight = false;
    const int width = parts.value(0).toInt(&okWidth);
    const int height = parts.size() == 2 ? parts.value(1).toInt(&okHeight) : width;
    if (parts.size() > 2 || !okWidth || (parts.size() == 2 && !okHeight) || width <= 0 ||
        height <= 0) {
        return false;
    }
    size = QSize(width, height);
    return true;
}

bool Render(const char* input, const char* sizeText, const char* output) {
    QSize size;
    if (!ParseSize(QByteArray(sizeText), size)) {
        std::fprintf(stderr, "invalid size: %s\n", sizeText);
        return false;
    }
    QSvgRenderer renderer(QString::fromLocal8Bit(input));
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", input);
        return false;
    }
    // Rendered straight at the size shown: a drawing made for the pixel grid stays on it.
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    const QString path = QString::fromLocal8Bit(output);
    const bool bitmap = path.endsWith(QLatin1String(".bmp"), Qt::CaseInsensitive);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!(bitmap ? image.convertToFormat(QImage::Format_RGB888).save(path, "BMP")
                 : image.save(path, "PNG"))) {
        std::fprintf(stderr, "cannot write %s\n", output);
        return false;
    }
    return true;
}

void PutLittleEndian(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

// An icon file whose images are stored as PNG, which Windows reads at every size since Vista:
// a header, one entry per image (its size, 0 for 256; 32 bits per pixel; where its PNG lies),
// then the PNGs.
bool WriteIcon(const char* output, char** inputs, int count) {
    QList<QByteArray> pngs;
    QByteArray icon;
    PutLittleEndian(icon, 0, 2); // reserved
    PutLittleEndian(icon, 1, 2); // an icon, not a cursor
    PutLittleEndian(icon, static_cast<quint32>(count), 2);
    quint32 offset = 6 + 16 * static_cast<quint32>(count);
    for (int i = 0; i < count; ++i) {
        QFile file(QString::fromLocal8Bit(inputs[i]));
        const QByteArray png = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const QImage image = QImage::fromData(png, "PNG");
        if (image.isNull() || image.width() > 256 || image.height() > 256) {
            std::fprintf(stderr, "not a PNG of at most 256 x 256 pixels: %s\n", inputs[i]);
            return false;
        }
        icon.append(static_cast<char>(image.width() & 0xff));
        icon.append(static_cast<char>(image.height() & 0xff));
        icon.append('\0');            // no palette
        icon.append('\0');            // reserved
        PutLittleEndian(icon, 1, 2);  // colour planes
        PutLittleEndian(icon, 32, 2); // bits per pixel
        PutLittleEndian(icon, static_cast<quint32>(png.size()), 4);
        PutLittleEndian(icon, offset, 4);
        offset += static_cast<quint32>(png.size());
        pngs.append(png);
    }
    for (const QByteArray& png : pngs) {
        icon.append(png);
    }
    QFile file(QString::fromLocal8Bit(output));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(icon) != icon.size()) {
        std::fprintf(stderr, "cannot write %s\n", output);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // A build machine has no display; the offscreen platform is all the renderer needs.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc >= 4 && QByteArray(argv[1]) == "--ico") {
        return WriteIcon(argv[2], argv + 3, argc - 3) ? 0 : 1;
    }
    if (argc < 4 || (argc - 1) % 3 != 0) {
        std::fprintf(stderr,
                     "usage: %s <input.svg> <size>|<width>x<height> <output.png> [...]\n"
                     "       %s --ico <output.ico> <input.png>...\n",
                     argv[0], argv[0]);
        return 2;
    }
    for (int i = 1; i < argc; i += 3) {
        if (!Render(argv[i], argv[i + 1], argv[i + 2])) {
            return 1;
        }
    }
    return 0;
}
