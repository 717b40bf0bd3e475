// Build-time tool: renders an SVG file to a PNG of a given size with a transparent background,
// or packs PNG files into a Windows icon file. Used for the fixed-size application icons of the
// hicolor theme, and where the program's Qt has no SVG renderer (Qt for Windows) for every
// picture of the program and the icon resource of larkspan.exe.
//
//   larkspan_render_icon <input.svg> <size | width x height> <output.png>
//   larkspan_render_icon --ico <output.ico> <input.png>...

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <cstdio>

namespace {

// "48" is 48 x 48; "42x16" is 42 wide and 16 high.
QSize ParseSize(const QByteArray& text) {
    static const QRegularExpression form(
        QStringLiteral("^([1-9][0-9]{0,3})(?:x([1-9][0-9]{0,3}))?$"));
    const QRegularExpressionMatch match = form.match(QString::fromLatin1(text));
    if (!match.hasMatch()) {
        return {};
    }
    const int width = match.captured(1).toInt();
    const int height = match.captured(2).isEmpty() ? width : match.captured(2).toInt();
    return {width, height};
}

void PutLittleEndian(QByteArray& out, quint32 value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.append(static_cast<char>((value >> (8 * i)) & 0xff));
    }
}

// An icon file whose images are stored as PNG, which Windows reads since Vista at every size.
// Each entry gives the size (0 for 256), 32 bits per pixel, and where its PNG lies in the file.
int WriteIcon(const QString& output, const QStringList& inputs) {
    QList<QByteArray> pngs;
    QList<QSize> sizes;
    for (const QString& input : inputs) {
        QFile file(input);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(input));
            return 1;
        }
        pngs.append(file.readAll());
        const QImage image = QImage::fromData(pngs.back(), "PNG");
        if (image.isNull() || image.width() > 256 || image.height() > 256) {
            std::fprintf(stderr, "not a PNG of at most 256 x 256 pixels: %s\n", qPrintable(input));
            return 1;
        }
        sizes.append(image.size());
    }
    QByteArray icon;
    PutLittleEndian(icon, 0, 2); // reserved
    PutLittleEndian(icon, 1, 2); // an icon, not a cursor
    PutLittleEndian(icon, static_cast<quint32>(pngs.size()), 2);
    quint32 offset = 6 + 16 * static_cast<quint32>(pngs.size());
    for (qsizetype i = 0; i < pngs.size(); ++i) {
        icon.append(static_cast<char>(sizes[i].width() & 0xff));
        icon.append(static_cast<char>(sizes[i].height() & 0xff));
        icon.append('\0');            // no palette
        icon.append('\0');            // reserved
        PutLittleEndian(icon, 1, 2);  // colour planes
        PutLittleEndian(icon, 32, 2); // bits per pixel
        PutLittleEndian(icon, static_cast<quint32>(pngs[i].size()), 4);
        PutLittleEndian(icon, offset, 4);
        offset += static_cast<quint32>(pngs[i].size());
    }
    for (const QByteArray& png : pngs) {
        icon.append(png);
    }
    QDir().mkpath(QFileInfo(output).absolutePath());
    QFile file(output);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(icon) != icon.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(output));
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A build machine has no display; the offscreen platform is all the renderer needs.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc >= 4 && QByteArray(argv[1]) == "--ico") {
        QStringList inputs;
        for (int i = 3; i < argc; ++i) {
            inputs.append(QString::fromLocal8Bit(argv[i]));
        }
        return WriteIcon(QString::fromLocal8Bit(argv[2]), inputs);
    }
    if (argc != 4) {
        std::fprintf(stderr,
                     "usage: %s <input.svg> <size | width x height> <output.png>\n"
                     "       %s --ico <output.ico> <input.png>...\n",
                     argv[0], argv[0]);
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QSize size = ParseSize(argv[2]);
    const QString output = QString::fromLocal8Bit(argv[3]);
    if (size.isEmpty()) {
        std::fprintf(stderr, "invalid size: %s\n", argv[2]);
        return 2;
    }

    QSvgRenderer renderer(input);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    // Drawn exactly as the program draws its pictures at run time (shell/Pictures.cpp).
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    QDir().mkpath(QFileInfo(output).absolutePath());
    if (!image.save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 1;
    }
    return 0;
}
