#include "gui/shell/Pictures.h"

#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPixmapCache>
#include <QtGlobal>

#include <algorithm>
#include <array>
#include <cmath>

namespace larkspan {

namespace {

constexpr std::array<const char*, kGlyph24Count> kGlyph24Files{
    ":/pictures/list24/start",
    ":/pictures/list24/stop",
    ":/pictures/list24/pro",
};

constexpr std::array<const char*, kGlyph16Count> kGlyph16Files{
    ":/pictures/list16/globe",     ":/pictures/list16/mail",  ":/pictures/list16/pdf",
    ":/pictures/list16/pdf-arrow", ":/pictures/list16/text",  ":/pictures/list16/text-arrow",
    ":/pictures/list16/gear",      ":/pictures/list16/play",  ":/pictures/list16/view",
    ":/pictures/list16/camera",    ":/pictures/list16/info",  ":/pictures/list16/power",
    ":/pictures/list16/paypal",    ":/pictures/list16/video",
};

constexpr const char* kDonateFile = ":/pictures/donate";
constexpr const char* kSideFile = ":/pictures/side";
constexpr const char* kLogoFile = ":/pictures/larkspan";

// The renderings made at build time: one, two and three times the logical size.
constexpr int kLargestScale = 3;

// The ratio of the densest screen, so a picture is sharp wherever its window is moved. Without
// a screen (or before the application exists) plain pixels are the only sensible choice.
qreal ScreenRatio() {
    if (qGuiApp == nullptr) {
        return 1.0;
    }
    const qreal ratio = qGuiApp->devicePixelRatio();
    return ratio > 0 ? ratio : 1.0;
}

// A PNG resource, read as PNG outright: left to find the format itself, the reader first asks
// every installed image-format plugin whether it reads the file.
QImage ReadPng(const QString& path) {
    QImageReader reader(path, "png");
    reader.setAutoDetectImageFormat(false);
    return reader.read();
}

QPixmap Cached(const char* name, QSize logicalSize) {
    return LoadPicture(QString::fromLatin1(name), logicalSize, ScreenRatio());
}

} // namespace

QPixmap LoadPicture(const QString& name, QSize logicalSize, qreal devicePixelRatio) {
    if (devicePixelRatio <= 0) {
        devicePixelRatio = 1.0;
    }
    const QSize pixels(static_cast<int>(std::ceil(logicalSize.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(logicalSize.height() * devicePixelRatio)));
    const QString key = QStringLiteral("larkspan:%1@%2x%3x%4")
                            .arg(name)
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }

    // Scaled down from a finer rendering, a picture stays sharp; scaled up it would blur.
    const int scale = std::clamp(static_cast<int>(std::ceil(devicePixelRatio)), 1, kLargestScale);
    QImage image = ReadPng(name + QStringLiteral("@%1x.png").arg(scale));
    if (image.isNull()) {
        qWarning("Picture %s could not be loaded", qPrintable(name));
        // An image's alpha channel is guaranteed on every platform; transparent on purpose.
        image = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    } else if (image.size() != pixels) {
        image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }

    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

QPixmap Picture24(Glyph24 glyph) {
    return Cached(kGlyph24Files.at(static_cast<std::size_t>(glyph)), kGlyph24Size);
}

QPixmap Picture16(Glyph16 glyph) {
    return Cached(kGlyph16Files.at(static_cast<std::size_t>(glyph)), kGlyph16Size);
}

QPixmap DonateBadge() {
    return Cached(kDonateFile, kDonateBadgeSize);
}

QPixmap SideIllustration() {
    return Cached(kSideFile, kSideIllustrationSize);
}

QPixmap AppLogo() {
    return Cached(kLogoFile, kAppLogoSize);
}

QIcon AppIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        // The theme icons, each drawn for its size; the icon engine picks an entry by pixel size.
        icon.addPixmap(
            QPixmap::fromImage(ReadPng(QStringLiteral(":/icons/%1x%1/larkspan.png").arg(side))));
    }
    return icon;
}

} // namespace larkspan
