#include "gui/shell/LarkspanApplication.h"

#include "gui/shell/MainThread.h"
#include "core/layout/MessageLayout.h"
#include "gui/shell/Controls.h"

#include <QMessageBox>
#include <QStyle>
#include <QThread>

#include <exception>
#include <utility>

namespace larkspan {

namespace {

QPointer<QWidget> mainWindow;
UnhandledErrorHook unhandledErrorHook;

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
    if (QStyle* style = QApplication::setStyle(QStringLiteral("Fusion"))) {
        // The desktop's colour scheme would otherwise leak into the Fusion palette.
        QApplication::setPalette(style->standardPalette());
    }
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
