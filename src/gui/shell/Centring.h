#pragma once

class QWidget;

namespace larkspan {

// Moves `window` so that its outer frame is centred over `owner`'s outer frame, or over the
// screen when `owner` is null; a corner left of or above 0 is raised to 0. Some window systems
// tell a window's frame only once it is on screen: until then the owner's frame (or none) is the
// estimate. The one centring rule of every window of the program.
void CentreWindow(QWidget& window, const QWidget* owner);

} // namespace larkspan
