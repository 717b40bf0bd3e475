#include "app/Startup.h"

#include "app/LarkspanApplication.h"
#include "app/MainThread.h"
#include "app/MessageBox.h"
#include "app/Services.h"
#include "help/HelpTexts.h"
#include "platform/Platform.h"
#include "shell/MainWindow.h"
#include "shell/Pictures.h"

#include <QApplication>
#include <cstdio>
#include <memory>

namespace larkspan {

namespace {

// Without a display Qt aborts with a message about platform plugins that does not say what is
// wrong. A platform chosen explicitly (offscreen, say) is trusted; otherwise the session must
// have a display (on X11 or Wayland, one must be named).
bool DisplayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || platform::DisplayAvailable();
}

} // namespace

int RunLarkspan(int argc, char** argv) {
    if (!DisplayAvailable()) {
        std::fputs("Larkspan needs a graphical display, but neither DISPLAY nor WAYLAND_DISPLAY "
                   "is set.\n",
                   stderr);
        return 1;
    }

    const std::string product(help::ProductName);
    const std::unique_ptr<platform::InstanceLock> lock = platform::AcquireInstanceLock(product);
    if (!lock) {
        // The box needs an application object but nothing else: no title, no main window, so it
        // is centred on the screen. The running copy is left alone. The program's style still
        // applies, so this box looks like every other one.
        int qtArgc = argc > 0 ? 1 : 0;
        QApplication app(qtArgc, argv);
        ApplyProgramStyle(app);
        ShowCenteredMessage("An instance of Larkspan is already running!", MessageKind::Warning,
                            mbOK);
        return 0;
    }

    // The program takes no arguments, and Qt must not take any either ("-reverse" would mirror
    // the window): it is given the program's name alone.
    int qtArgc = argc > 0 ? 1 : 0;
    LarkspanApplication app(qtArgc, argv);
    ApplyProgramStyle(app);
    WatchProgramEnd();
    // The application title. Only the name is set: a display name would be appended by Qt to
    // the caption of every other window (message boxes included).
    QApplication::setApplicationName(QString::fromStdString(product));
    QApplication::setWindowIcon(AppIcon());

    TMainForm mainForm(SystemServices());
    LarkspanApplication::SetMainWindow(&mainForm);
    // A window whose creation asked to end the program is never shown; the quit it queued ends
    // the loop as soon as the loop runs.
    if (!mainForm.TerminationRequested()) {
        mainForm.show();
    }
    QApplication::exec();
    return 0;
}

} // namespace larkspan
