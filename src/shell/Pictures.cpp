#include "shell/Pictures.h"

#include "shell/PictureDrawing.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmapCache>
#include <QtGlobal>

#include <array>
#include <cmath>

namespace larkspan {

namespace {

constexpr std::array<const char*, kGlyph24Count> kGlyph24Files{
    ":/pictures/list24/start.svg",
    ":/pictures/list24/stop.svg",
    ":/pictures/list24/pro.svg",
};

constexpr std::array<const char*, kGlyph16Count> kGlyph16Files{
    ":/pictures/list16/globe.svg",  ":/pictures/list16/mail.svg",
    ":/pictures/list16/pdf.svg",    ":/pictures/list16/pdf-arrow.svg",
    ":/pictures/list16/text.svg",   ":/pictures/list16/text-arrow.svg",
    ":/pictures/list16/gear.svg",   ":/pictures/list16/play.svg",
    ":/pictures/list16/view.svg",   ":/pictures/list16/camera.svg",
    ":/pictures/list16/info.svg",   ":/pictures/list16/power.svg",
    ":/pictures/list16/paypal.svg", ":/pictures/list16/video.svg",
};

constexpr const char* kDonateFile = ":/pictures/donate.svg";
constexpr const char* kSideFile = ":/pictures/side.svg";
constexpr const char* kLogoFile = ":/pictures/larkspan.svg";
// Scaled down to 16 or 24 pixels the logo's detail turns to mush, so those sizes have their
// own drawings of the same motif on the pixel grid.
constexpr const char* kIcon16File = ":/pictures/larkspan-16.svg";
constexpr const char* kIcon24File = ":/pictures/larkspan-24.svg";

// The ratio of the densest screen, so a picture is sharp wherever its window is moved. Without
// a screen (or before the application exists) plain pixels are the only sensible choice.
qreal ScreenRatio() {
    if (qGuiApp == nullptr) {
        return 1.0;
    }
    const qreal ratio = qGuiApp->devicePixelRatio();
    return ratio > 0 ? ratio : 1.0;
}

QPixmap Cached(const char* resourcePath, QSize logicalSize) {
    return RenderPicture(QString::fromLatin1(resourcePath), logicalSize, ScreenRatio());
}

} // namespace

QPixmap RenderPicture(const QString& resourcePath, QSize logicalSize, qreal devicePixelRatio) {
    if (devicePixelRatio <= 0) {
        devicePixelRatio = 1.0;
    }
    const QSize pixels(static_cast<int>(std::ceil(logicalSize.width() * devicePixelRatio)),
                       static_cast<int>(std::ceil(logicalSize.height() * devicePixelRatio)));
    const QString key = QStringLiteral("larkspan:%1@%2x%3x%4")
                            .arg(resourcePath)
                            .arg(pixels.width())
                            .arg(pixels.height())
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        return cached;
    }

    // Render into an image rather than straight into a pixmap: an image's alpha channel is
    // guaranteed on every platform, and the image starts out fully transparent on purpose.
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (!DrawPicture(resourcePath, image)) {
        qWarning("Picture %s could not be loaded", qPrintable(resourcePath));
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
        const char* file = side == 16 ? kIcon16File : side == 24 ? kIcon24File : kLogoFile;
        // The icon engine picks an entry by pixel size, so each entry is rendered 1:1.
        icon.addPixmap(RenderPicture(QString::fromLatin1(file), QSize(side, side), 1.0));
    }
    return icon;
}

} // namespace larkspan
