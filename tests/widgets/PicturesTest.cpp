#include "gui/shell/Pictures.h"

#include <QImage>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace larkspan;

namespace {

struct Picture {
    std::string name;
    std::function<QPixmap()> load;
    QSize size;
    QPoint background; // a pixel that lies outside the drawing
};

std::vector<Picture> AllPictures() {
    std::vector<Picture> all;
    const char* names24[] = {"Start", "Stop", "Pro"};
    for (int i = 0; i < kGlyph24Count; ++i) {
        all.push_back({std::string("Glyph24 ") + names24[i],
                       [i] { return Picture24(static_cast<Glyph24>(i)); },
                       kGlyph24Size,
                       {0, 0}});
    }
    const char* names16[] = {"Website",   "Mail",  "Pdf",    "PdfArrow", "Text",
                             "TextArrow", "Gear",  "Play",   "View",     "Camera",
                             "Info",      "Power", "PayPal", "Video"};
    for (int i = 0; i < kGlyph16Count; ++i) {
        all.push_back({std::string("Glyph16 ") + names16[i],
                       [i] { return Picture16(static_cast<Glyph16>(i)); },
                       kGlyph16Size,
                       {0, 0}});
    }
    all.push_back({"DonateBadge", DonateBadge, kDonateBadgeSize, {0, 0}});
    all.push_back({"SideIllustration", SideIllustration, kSideIllustrationSize, {0, 0}});
    all.push_back({"AppLogo", AppLogo, kAppLogoSize, {127, 0}});
    return all;
}

QImage Pixels(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

// Share of pixels that are fully covered by the drawing.
double OpaqueShare(const QImage& image) {
    long opaque = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) == 255) {
                ++opaque;
            }
        }
    }
    return static_cast<double>(opaque) / (image.width() * image.height());
}

// Pixels whose colour or coverage differs clearly between two images of one size.
int ClearlyDifferentPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            if (std::abs(qRed(p) - qRed(q)) > 40 || std::abs(qGreen(p) - qGreen(q)) > 40 ||
                std::abs(qBlue(p) - qBlue(q)) > 40 || std::abs(qAlpha(p) - qAlpha(q)) > 40) {
                ++count;
            }
        }
    }
    return count;
}

} // namespace

// A missing or broken resource renders as an empty canvas, so a drawing that covers part of
// its area with solid colour and leaves its background clear proves the picture is there.
TEST(Pictures, EveryPictureHasItsSizeAClearBackgroundAndASolidDrawing) {
    for (const Picture& picture : AllPictures()) {
        SCOPED_TRACE(picture.name);
        const QPixmap pixmap = picture.load();
        ASSERT_FALSE(pixmap.isNull());
        EXPECT_EQ(pixmap.deviceIndependentSize().toSize(), picture.size);
        EXPECT_TRUE(pixmap.hasAlphaChannel());
        const QImage image = Pixels(pixmap);
        EXPECT_EQ(qAlpha(image.pixel(picture.background)), 0);
        EXPECT_GT(OpaqueShare(image), 0.08);
    }
}

TEST(Pictures, SmallListEntriesAreAllDistinct) {
    std::vector<QImage> images;
    for (int i = 0; i < kGlyph16Count; ++i) {
        images.push_back(Pixels(Picture16(static_cast<Glyph16>(i))));
    }
    for (int i = 0; i < kGlyph16Count; ++i) {
        for (int j = i + 1; j < kGlyph16Count; ++j) {
            // Even the pairs that share a page (PDF and PDF with arrow) differ in a whole arrow.
            EXPECT_GE(ClearlyDifferentPixels(images[i], images[j]), 12)
                << "entries " << i << " and " << j;
        }
    }
}

TEST(Pictures, ButtonGlyphsAreAllDistinct) {
    const QImage start = Pixels(Picture24(Glyph24::Start));
    const QImage stop = Pixels(Picture24(Glyph24::Stop));
    const QImage pro = Pixels(Picture24(Glyph24::Pro));
    EXPECT_GE(ClearlyDifferentPixels(start, stop), 50);
    EXPECT_GE(ClearlyDifferentPixels(start, pro), 50);
    EXPECT_GE(ClearlyDifferentPixels(stop, pro), 50);
}

TEST(Pictures, HighDensityScreensGetMorePixelsAtTheSameLogicalSize) {
    const QPixmap sharp = LoadPicture(QStringLiteral(":/pictures/list16/globe"), {16, 16}, 2.0);
    EXPECT_EQ(sharp.size(), QSize(32, 32));
    EXPECT_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(sharp.deviceIndependentSize().toSize(), QSize(16, 16));
    // Drawn for those pixels, not the plain picture blown up: its edges are finer.
    const QImage plainBlownUp =
        Pixels(LoadPicture(QStringLiteral(":/pictures/list16/globe"), {16, 16}, 1.0))
            .scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GE(ClearlyDifferentPixels(Pixels(sharp), plainBlownUp), 100);

    // A fractional ratio rounds the pixel size up, so nothing of the drawing is cut off.
    const QPixmap scaled = LoadPicture(QStringLiteral(":/pictures/donate"), {42, 16}, 1.25);
    EXPECT_EQ(scaled.size(), QSize(53, 20));
    EXPECT_EQ(scaled.devicePixelRatio(), 1.25);
    EXPECT_GT(OpaqueShare(Pixels(scaled)), 0.5);
    // Past the finest rendering the picture is still made to the pixel size.
    EXPECT_EQ(LoadPicture(QStringLiteral(":/pictures/side"), {73, 230}, 4.0).size(),
              QSize(292, 920));
}

TEST(Pictures, MissingResourceGivesAnEmptyPictureOfTheRightSize) {
    const QPixmap missing =
        LoadPicture(QStringLiteral(":/pictures/no-such-picture"), {16, 16}, 1.0);
    ASSERT_EQ(missing.size(), QSize(16, 16));
    EXPECT_EQ(OpaqueShare(Pixels(missing)), 0.0);
    EXPECT_EQ(qAlpha(Pixels(missing).pixel(8, 8)), 0);
}

TEST(Pictures, AppIconOffersEveryThemeSizeDrawn) {
    const QIcon icon = AppIcon();
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(side);
        EXPECT_TRUE(icon.availableSizes().contains(QSize(side, side)));
        const QImage image = Pixels(icon.pixmap(QSize(side, side), 1.0));
        ASSERT_EQ(image.size(), QSize(side, side));
        EXPECT_GT(OpaqueShare(image), 0.2);
        EXPECT_EQ(qAlpha(image.pixel(side - 1, 0)), 0);
    }
}

// The theme icons installed for the desktop are rendered at build time by a separate tool.
TEST(Pictures, ThemeIconsAreBuiltAtEverySize) {
    for (const int side : {16, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(side);
        const QString path = QStringLiteral(LARKSPAN_ICON_DIR "/%1x%1/larkspan.png").arg(side);
        QImage image(path);
        ASSERT_FALSE(image.isNull()) << path.toStdString();
        EXPECT_EQ(image.size(), QSize(side, side));
        EXPECT_TRUE(image.hasAlphaChannel());
        image = image.convertToFormat(QImage::Format_ARGB32);
        EXPECT_EQ(qAlpha(image.pixel(side - 1, 0)), 0);
        // Same drawing as the program's own icon at that size.
        EXPECT_LE(ClearlyDifferentPixels(image, Pixels(AppIcon().pixmap(QSize(side, side), 1.0))),
                  side * side / 100);
    }
}
