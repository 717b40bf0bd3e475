#include "app/Startup.h"

#include "app/SystemServices.h"
#include "core/extraction/JobProgress.h"
#include "core/help/HelpTexts.h"
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MainThread.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/MessageBox.h"
#include "gui/shell/Pictures.h"
#include "platform/Platform.h"
#include "platform/ProgramEnd.h"

#include <QApplication>
#include <QImageReader>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <system_error>
#include <thread>

namespace larkspan {

namespace {

// Without a display Qt aborts with a message about platform plugins that does not say what is
// wrong. A platform chosen explicitly (offscreen, say) is trusted; otherwise the session must
// have a display (on X11 or Wayland, one must be named).
bool DisplayAvailable() {
    return !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || platform::DisplayAvailable();
}

} // namespace

namespace {

// Runs `work` on a thread of its own, or here when no thread can be had; Join waits for it.
class SideWork {
public:
    explicit SideWork(void (*work)()) {
        try {
            thread_ = std::thread(work);
        } catch (const std::system_error&) {
            work();
        }
    }
    ~SideWork() { Join(); }
    SideWork(const SideWork&) = delete;
    SideWork& operator=(const SideWork&) = delete;
    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

private:
    std::thread thread_;
};

void ScanImageFormats() {
    QImageReader::supportedImageFormats();
}

// What an earlier run, killed during a download or a job, left in the temporary folder. Only one
// copy runs, and this one has started neither yet, so none of the program's own files there is in
// use by it; a partial file that another program still holds is left alone.
void RemoveStaleDownloads() {
    platform::RemoveStalePartialFiles(platform::TemporaryFolder());
    platform::RemoveOwnTemporaryFiles(kProgressFilePrefix);
}

// The program up to its end: the event loop has ended, and the windows and the application
// object are gone. Returns main's status.
int RunUntilTheEnd(int argc, char** argv) {
    if (!DisplayAvailable()) {
        std::fputs("Larkspan needs a graphical display, but neither DISPLAY nor WAYLAND_DISPLAY "
                   "is set.\n",
                   stderr);
        return 1;
    }

    // The second core prepares what the main window needs while the main thread connects to
    // the display: the font configuration, and (once the application object exists) the list
    // of picture formats, which the toolkit builds from its plugins when the menu bar is made.
    SideWork fonts(&platform::PrepareFontConfiguration);
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
    // The menu bar belongs to the window, whose layout is measured below it; a desktop's global
    // menu would take it away (and asking the desktop whether it has one costs start-up time).
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeMenuBar);
    LarkspanApplication app(qtArgc, argv);
    SideWork formats(&ScanImageFormats);
    SideWork staleDownloads(&RemoveStaleDownloads);
    ApplyProgramStyle(app);
    WatchProgramEnd();
    // The application title. Only the name is set: a display name would be appended by Qt to
    // the caption of every other window (message boxes included).
    QApplication::setApplicationName(QString::fromStdString(product));
    // The icon's seven sizes are decoded and handed to the window system as soon as the event
    // loop runs (inside the record's error box, if there is one), not before the main window is
    // on screen: the frame's icon is the one thing that waits for it.
    QTimer::singleShot(0, &app, [] { QApplication::setWindowIcon(AppIcon()); });

    // Joined before the window measures its first text, so the toolkit does not load the
    // configuration a second time alongside.
    fonts.Join();
    TMainForm mainForm(SystemServices());
    // Where the system's end of a window is slow, the program ends as its window closes.
    QObject::connect(&mainForm, &TMainForm::Closing, [] { platform::EndAsTheMainWindowCloses(0); });
    formats.Join();
    LarkspanApplication::SetMainWindow(&mainForm);
    // A window whose creation asked to end the program is never shown; the quit it queued ends
    // the loop as soon as the loop runs.
    if (!mainForm.TerminationRequested()) {
        mainForm.show();
    }
    // Done before the event loop can open a download window that writes there.
    staleDownloads.Join();
    QApplication::exec();
    return 0;
}

} // namespace

int RunLarkspan(int argc, char** argv) {
    return EndProgram(RunUntilTheEnd(argc, argv));
}

} // namespace larkspan
