// job-exit-scenario <folder> <when>: ends the program while an extraction job lives, the way
// the program ends (the event loop returns, the main window and the application object are
// destroyed, then EndProgram), and exits with status 0 if that went well.
//
// <folder> holds a textract.bin stand-in and becomes the application folder. <when>:
//   starting  the event loop ends before the job's first step reaches the main thread
//   running   the main window is closed while the extractor runs
//   box       the event loop is told to end while the job's error box is shown
// In the first two cases the extractor is let go once the event loop has ended, and the
// scenario prints "abandoned <n>", the number of jobs that then stopped for good.
// The installation record is the one the test staged (support/StagedRecords.h).

#include "app/SystemServices.h"
#include "gui/extraction/ConversionProcess.h"
#include "gui/extraction/FilenameEdit.h"
#include "gui/shell/Controls.h"
#include "gui/shell/LarkspanApplication.h"
#include "gui/shell/MainThread.h"
#include "gui/shell/MainWindow.h"
#include "gui/shell/MessageBox.h"
#include "platform/Platform.h"
#include "platform/ProgramEnd.h"
#include "support/StagedRecords.h"

#include <QLineEdit>
#include <QSignalBlocker>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

using namespace larkspan;

namespace {

// Documents and links the job hands to the desktop are printed, not opened.
class PrintingDesktop final : public DesktopPort {
public:
    void Open(const std::string& target) override { std::printf("opened %s\n", target.c_str()); }
    bool StartProgram(const std::string& path) override {
        std::printf("started %s\n", path.c_str());
        return false;
    }
};

void SetField(QLineEdit* field, const std::string& text) {
    const QSignalBlocker quiet(field);
    field->setText(QString::fromStdString(text));
}

// Everything up to the end: the event loop, the main window and the application object.
void RunScenario(int argc, char** argv, const std::string& folder, const std::string& when) {
    LarkspanApplication app(argc, argv);
    ApplyProgramStyle(app);
    WatchProgramEnd();
    if (when != "box") {
        SetMessageHook([](const MessageRequest& request) -> std::optional<int> {
            std::printf("box %s\n", request.text.c_str());
            return mrOk;
        });
    }
    // A scenario that hangs, in the event loop or in the teardown after it, fails with its own
    // status instead of holding up the test.
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::seconds(15));
        std::puts("watchdog: the program did not end");
        std::fflush(stdout);
        std::_Exit(3);
    }).detach();

    {
        // Static: a job left behind may outlive this scope.
        static PrintingDesktop desktop;
        const Services& system = SystemServices();
        TMainForm form(Services{system.messages, system.passwords, desktop, system.files,
                                system.records, system.tools, system.connector, folder + "/"});
        LarkspanApplication::SetMainWindow(&form);
        SetField(form.sFilenameEditInput, folder + "/in.pdf");
        SetField(form.sFilenameEditOutput, folder + "/out.txt");
        form.sEditPageCount->setText(QStringLiteral("3"));
        form.show();

        QTimer poll;
        if (when == "starting") {
            // Queued before the job exists, so the loop ends before the job's hand-over.
            QMetaObject::invokeMethod(&app, &QCoreApplication::quit, Qt::QueuedConnection);
        } else if (when == "running") {
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (platform::RegularFileExists(folder + "/started")) {
                    poll.stop();
                    form.ExitClick();
                }
            });
        } else {
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (QApplication::activeModalWidget() != nullptr) {
                    poll.stop();
                    QCoreApplication::quit();
                }
            });
        }
        poll.start(5);
        form.sBitBtnStart->click();
        QApplication::exec();
        std::puts("loop ended");

        // The extractor ends now, after the event loop: the job must give up without touching
        // the window, which is about to go.
        if (when != "box") {
            std::string error;
            platform::WriteFileNoFollow(folder + "/release", "", error);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
            while (TConversionProcess::AbandonedJobs() == 0 &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            std::printf("abandoned %d\n", TConversionProcess::AbandonedJobs());
        }
        std::fflush(stdout);
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: job-exit-scenario <folder> <starting|running|box>\n", stderr);
        return 2;
    }
    const std::string folder = argv[1];
    const std::string when = argv[2];
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    testsupport::AdoptStagedRecords();
    RunScenario(argc, argv, folder, when);
    return EndProgram(0);
}
