// Pictures drawn from PNGs rendered at build time: "<folder>/<name>.svg" is held as
// "<folder>/<name>@<width>x<height>.png" at every pixel size the program asks for on a screen of
// ratio 1 and 2 (resources/CMakeLists.txt). Any other size is scaled from the nearest larger
// one, or the largest.

#include "shell/PictureDrawing.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>

namespace larkspan {

namespace {

// The pre-rendered file to draw `pixels` from, or "" when the picture has none.
QString BestRendering(const QString& resourcePath, QSize pixels) {
    const QFileInfo svg(resourcePath);
    const QString base = svg.completeBaseName();
    const QString exact = QStringLiteral("%1/%2@%3x%4.png")
                              .arg(svg.path(), base)
                              .arg(pixels.width())
                              .arg(pixels.height());
    if (QFileInfo::exists(exact)) {
        return exact;
    }
    QString best;
    QSize bestSize;
    const QString prefix = base + QLatin1Char('@');
    for (const QString& name : QDir(svg.path()).entryList({prefix + QStringLiteral("*.png")})) {
        const QStringList sides = name.mid(prefix.size()).chopped(4).split(QLatin1Char('x'));
        if (sides.size() != 2) {
            continue;
        }
        const QSize size(sides[0].toInt(), sides[1].toInt());
        const bool covers = size.width() >= pixels.width() && size.height() >= pixels.height();
        const bool bestCovers =
            bestSize.width() >= pixels.width() && bestSize.height() >= pixels.height();
        // Scaling down keeps the drawing sharp; among those the smallest, otherwise the largest.
        const bool better = best.isEmpty() || (covers && !bestCovers) ||
                            (covers && bestCovers && size.width() < bestSize.width()) ||
                            (!covers && !bestCovers && size.width() > bestSize.width());
        if (better) {
            best = svg.path() + QLatin1Char('/') + name;
            bestSize = size;
        }
    }
    return best;
}

} // namespace

bool DrawPicture(const QString& resourcePath, QImage& image) {
    const QString file = BestRendering(resourcePath, image.size());
    const QImage rendering(file);
    if (file.isEmpty() || rendering.isNull()) {
        return false;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRect(QPoint(0, 0), image.size()), rendering);
    return true;
}

} // namespace larkspan
