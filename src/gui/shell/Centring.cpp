#include "gui/shell/Centring.h"

#include "core/layout/MessageLayout.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace larkspan {

void CentreWindow(QWidget& window, const QWidget* owner) {
    // The native window must exist for the window system to tell its frame.
    static_cast<void>(window.winId());
    const QMargins margins =
        window.windowHandle() != nullptr ? window.windowHandle()->frameMargins() : QMargins();
    int frameWidth = margins.left() + margins.right();
    int frameHeight = margins.top() + margins.bottom();
    Rect area;
    if (owner != nullptr) {
        const QRect frame = owner->window()->frameGeometry();
        area = {frame.left(), frame.top(), frame.width(), frame.height()};
        if (margins.isNull()) {
            frameWidth = frame.width() - owner->window()->width();
            frameHeight = frame.height() - owner->window()->height();
        }
    } else if (const QScreen* screen = window.screen() != nullptr
                                           ? window.screen()
                                           : QGuiApplication::primaryScreen()) {
        const QRect geometry = screen->availableGeometry();
        area = {geometry.left(), geometry.top(), geometry.width(), geometry.height()};
    }
    const Point corner =
        CenterOver(area, window.width() + frameWidth, window.height() + frameHeight);
    window.move(corner.x, corner.y);
}

} // namespace larkspan
