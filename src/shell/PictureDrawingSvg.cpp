// Pictures rendered from their SVG resources at run time.

#include "shell/PictureDrawing.h"

#include <QPainter>
#include <QSvgRenderer>

namespace larkspan {

bool DrawPicture(const QString& resourcePath, QImage& image) {
    QSvgRenderer renderer(resourcePath);
    if (!renderer.isValid()) {
        return false;
    }
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    return true;
}

} // namespace larkspan
