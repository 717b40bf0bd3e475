#pragma once

// The program's pictures: hand-drawn SVGs (resources/pictures) rendered at build time to PNGs at
// one, two and three times their size and compiled in as Qt resources. Call everything here on
// the GUI thread once the QApplication exists (QPixmap is a GUI-thread type).

#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace larkspan {

// The 24 x 24 button glyphs, in the order of their list.
enum class Glyph24 { Start, Stop, Pro };
inline constexpr int kGlyph24Count = 3;

// The 16 x 16 menu and small-button glyphs, in the order of their list.
enum class Glyph16 {
    Website,
    Mail,
    Pdf,
    PdfArrow,
    Text,
    TextArrow,
    Gear,
    Play,
    View,
    Camera,
    Info,
    Power,
    PayPal,
    Video,
};
inline constexpr int kGlyph16Count = 14;

inline constexpr QSize kGlyph24Size{24, 24};
inline constexpr QSize kGlyph16Size{16, 16};
inline constexpr QSize kDonateBadgeSize{42, 16};
inline constexpr QSize kSideIllustrationSize{73, 230};
inline constexpr QSize kAppLogoSize{128, 128};

// Each returns a pixmap of exactly the given logical size with a transparent background. On a
// high-density screen the pixmap holds size x ratio pixels and carries that ratio, so it still
// lays out at its logical size. Results are cached.
QPixmap Picture24(Glyph24 glyph);
QPixmap Picture16(Glyph16 glyph);
QPixmap DonateBadge();      // 42 x 16, the status bar's donation badge
QPixmap SideIllustration(); // 73 x 230, the picture on the main window's left strip
QPixmap AppLogo();          // 128 x 128, the About window's logo

// The window icon: the logo's motif at 16, 24, 32, 48, 64, 128 and 256 pixels.
QIcon AppIcon();

// One picture, a resource name without its ending (":/pictures/list16/globe"), at a logical
// size for a device pixel ratio: the rendering made for the next whole ratio up
// (<name>@<n>x.png, n from 1 to 3), scaled smoothly to the exact pixel size when the ratio is
// not whole (or above 3). A missing or unreadable resource gives a transparent pixmap of the
// right size and a warning, so a window still lays out.
QPixmap LoadPicture(const QString& name, QSize logicalSize, qreal devicePixelRatio);

} // namespace larkspan
