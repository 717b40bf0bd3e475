#include "gui/shell/LarkspanApplication.h"

#include "core/layout/MessageLayout.h"
#include "gui/shell/Controls.h"
#include "gui/shell/MainThread.h"

#include <QMessageBox>
#include <QProxyStyle>
#include <QStyle>
#include <QThread>

#include <exception>
#include <utility>

namespace larkspan {

namespace {

QPointer<QWidget> mainWindow;
UnhandledErrorHook unhandledErrorHook;

// Fusion marks the focused control only once the keyboard has moved the focus in that window,
// so every window counts as keyboard-driven each time it is shown. Only windows are watched
// (the style hands each to the filter), so no other control's events pass through it.
class WindowShowFilter final : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            static_cast<QWidget*>(watched)->setAttribute(Qt::WA_KeyboardFocusChange);
        }
        return false;
    }
};

class FocusShownFromTheStart final : public QProxyStyle {
public:
    using QProxyStyle::polish;
    using QProxyStyle::QProxyStyle;

    void polish(QWidget* widget) override {
        QProxyStyle::polish(widget);
        if (widget->isWindow()) {
            widget->installEventFilter(&windows_);
        }
    }

private:
    WindowShowFilter windows_;
};

} // namespace

LarkspanApplication::LarkspanApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool LarkspanApplication::notify(QObject* receiver, QEvent* event) {
    // Handlers that expect a failure catch it themselves; this is the boundary for the rest, so
    // that an unforeseen error is shown instead of ending the program.
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        ShowUnhandledError(error.what());
    } catch (...) {
        ShowUnhandledError("Unknown error");
    }
    return false;
}

void LarkspanApplication::SetMainWindow(QWidget* window) {
    mainWindow = window;
}

QWidget* LarkspanApplication::MainWindow() {
    return mainWindow.data();
}

void ApplyProgramStyle(QApplication& app) {
    auto* style = new FocusShownFromTheStart(QLatin1String(kProgramStyle));
    QApplication::setStyle(style);
    // The desktop's colour scheme would otherwise leak into the Fusion palette.
    QApplication::setPalette(style->standardPalette());
    app.setFont(ProgramFont());
}

void ShowUnhandledError(const std::string& message) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr && QThread::currentThread() != app->thread()) {
        RunOnMainThread([&message] { ShowUnhandledError(message); });
        return;
    }
    const std::string text = UnhandledErrorText(message);
    if (UnhandledErrorHook hook = unhandledErrorHook) {
        hook(text);
        return;
    }
    // Owned by the active window, like every box of the program: no taskbar button of its own.
    QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                    QString::fromStdString(text), QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

UnhandledErrorHook SetUnhandledErrorHook(UnhandledErrorHook hook) {
    return std::exchange(unhandledErrorHook, std::move(hook));
}

} // namespace larkspan
