#pragma once

class QWidget;

namespace larkspan {

// Moves `window` so that its outer frame is centred over `owner`'s outer frame, or over the
// screen when `owner` is null; a corner left of or above 0 is raised to 0. Some window systems
// tell a frame only once the window is on screen: until then the owner's frame (or none) is the
// estimate.
void CentreWindow(QWidget& window, const QWidget* owner);

} // namespace larkspan
