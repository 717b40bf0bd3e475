#pragma once

// The application object: the last-resort handler for errors that escape an event handler,
// the program's fixed look, and the main window that message boxes centre over.

#include <QApplication>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <string>

namespace larkspan {

class LarkspanApplication : public QApplication {
public:
    LarkspanApplication(int& argc, char** argv);

    // Delivers the event; an exception that escapes the receiver's handler is shown in the
    // unhandled-error box and the event loop goes on.
    bool notify(QObject* receiver, QEvent* event) override;

    // The window message boxes are centred over; none (nullptr) until the main window is set.
    // The pointer clears itself when that window is destroyed.
    static void SetMainWindow(QWidget* window);
    static QWidget* MainWindow();
};

// The style every window is drawn in.
inline constexpr const char* kProgramStyle = "Fusion";

// Fusion style with its own palette and the program font (ProgramFont() at pixel size 11), so
// that every window has the same geometry on every desktop; every window marks its focused
// control from the moment it is shown. Call once, right after the application object exists.
void ApplyProgramStyle(QApplication& app);

// Shows the box for an error nobody caught: the stop icon, the application title
// (QGuiApplication::applicationDisplayName) as caption, and the message with the full-stop
// rule applied. Waits for the user. From another thread the box is shown on the main thread.
void ShowUnhandledError(const std::string& message);

// Test seam: when set, the unhandled-error box is not shown; the hook receives its text
// instead. Returns the hook that was set before.
using UnhandledErrorHook = std::function<void(const std::string& text)>;
UnhandledErrorHook SetUnhandledErrorHook(UnhandledErrorHook hook);

} // namespace larkspan
